// The structural check of an open table: its files walked again from the disk.

#include "engines/paradox/table_file.h"

#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/secondary.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>

namespace korva::paradox {

// Walks the files again from the disk, independently of the model, and reports every
// inconsistency: counts, chain links, key order, the primary index and the free list.
std::vector<std::string> TableFile::check()
{
    std::vector<std::string> out;
    auto add = [&](const std::string& s) { out.push_back(s); };
    db_->dropCache();
    const std::uint64_t size = db_->file().size();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
    raw.resize(db_->file().readAt(0, raw.data(), raw.size()));
    Header h;
    try {
        h = parseHeader(raw.data(), raw.size(), size, display_);
    } catch (const Error& e) {
        add(e.what());
        return out;
    }
    const int rs = h.recordSize;
    const int cap = (h.blockSize - 6) / rs;
    std::vector<int> seen(static_cast<std::size_t>(h.fileBlocks) + 1, 0);
    std::vector<std::pair<int, int>> chain;  // block, count
    std::uint32_t total = 0;
    int prev = 0;
    std::string lastKey;
    for (int b = h.firstBlock; b != 0;) {
        if (b > h.fileBlocks || seen[b]) {
            add("catena dei blocchi interrotta al blocco " + std::to_string(b));
            break;
        }
        seen[b] = 1;
        const std::uint8_t* p = db_->read(static_cast<std::uint32_t>(b));
        const int add16 = static_cast<std::int16_t>(get16(p + 4));
        const int n = add16 / rs + 1;
        if (add16 % rs != 0 || n < 0 || n > cap) {
            add("conteggio non valido nel blocco " + std::to_string(b));
            break;
        }
        if (get16(p + 2) != prev)
            add("collegamento all'indietro errato nel blocco " + std::to_string(b));
        if (n == 0)
            add("blocco vuoto nella catena: " + std::to_string(b));
        for (int i = 0; i < n && h.keyFields > 0; ++i) {
            std::string k(reinterpret_cast<const char*>(p + 6 + static_cast<std::size_t>(i) * rs), keyBytes_);
            if (!lastKey.empty() || total + static_cast<std::uint32_t>(i) > 0) {
                const int c = compareKeys(reinterpret_cast<const std::uint8_t*>(lastKey.data()),
                                          reinterpret_cast<const std::uint8_t*>(k.data()), h.keyFields);
                // Duplicates always; the order only when it is one we can stand behind.
                if (c == 0 || (c > 0 && keysPlaceable_))
                    add("chiavi fuori ordine o duplicate nel blocco " + std::to_string(b));
            }
            lastKey = k;
        }
        chain.emplace_back(b, n);
        total += static_cast<std::uint32_t>(n);
        prev = b;
        b = get16(p);
    }
    if (total != h.numRecords)
        add("record nell'intestazione " + std::to_string(h.numRecords) + ", nei blocchi " +
            std::to_string(total));
    if (prev != h.lastBlock)
        add("ultimo blocco dell'intestazione " + std::to_string(h.lastBlock) + ", della catena " +
            std::to_string(prev));
    if (static_cast<int>(chain.size()) != h.usedBlocks)
        add("blocchi in uso nell'intestazione " + std::to_string(h.usedBlocks) + ", nella catena " +
            std::to_string(chain.size()));
    for (int f = h.firstFree; f != 0;) {
        if (f > h.fileBlocks || seen[f]) {
            add("elenco dei blocchi liberi non valido al blocco " + std::to_string(f));
            break;
        }
        seen[f] = 2;
        f = get16(db_->read(static_cast<std::uint32_t>(f)));
    }
    for (int b = 1; b <= h.fileBlocks; ++b)
        if (!seen[b])
            add("blocco " + std::to_string(b) + " né in uso né libero");
    if (db_->pagesOnDisk() < static_cast<std::uint32_t>(h.fileBlocks) + 1)
        add("file più corto dei suoi blocchi");

    if (h.keyFields > 0) {
        if (!px_) {
            add("indice primario assente");
            return out;
        }
        px_->dropCache();
        std::vector<std::uint8_t> praw(static_cast<std::size_t>(std::min<std::uint64_t>(px_->file().size(), 0xFFFF)));
        praw.resize(px_->file().readAt(0, praw.data(), praw.size()));
        Header ph;
        try {
            ph = parseHeader(praw.data(), praw.size(), px_->file().size(), *files_.px);
        } catch (const Error& e) {
            add(e.what());
            return out;
        }
        // Entries of another size would be read past the blocks.
        if (ph.fileType != FileType::PrimaryIndex || ph.recordSize != keyBytes_ + 6) {
            add("indice primario: struttura diversa dalla chiave della tabella");
            return out;
        }
        const int es = ph.recordSize;
        std::vector<std::pair<int, int>> leaves;
        std::uint32_t entries = 0;
        std::vector<bool> pseen(static_cast<std::size_t>(ph.fileBlocks) + 1, false);
        std::function<bool(int, int, std::string&, std::uint32_t&)> walk =
            [&](int block, int level, std::string& fk, std::uint32_t& stat) -> bool {
            if (block < 1 || block > ph.fileBlocks || pseen[block]) {
                add("indice primario: blocco " + std::to_string(block) + " non valido");
                return false;
            }
            pseen[block] = true;
            std::vector<std::uint8_t> page(px_->read(static_cast<std::uint32_t>(block)),
                                           px_->read(static_cast<std::uint32_t>(block)) + ph.blockSize);
            const int n = static_cast<std::int16_t>(get16(page.data() + 4)) / es + 1;
            if (n < 1 || n > (ph.blockSize - 6) / es) {
                add("indice primario: conteggio non valido nel blocco " + std::to_string(block));
                return false;
            }
            entries += static_cast<std::uint32_t>(n);
            stat = 0;
            for (int i = 0; i < n; ++i) {
                const std::uint8_t* e = page.data() + 6 + static_cast<std::size_t>(i) * es;
                std::string key(reinterpret_cast<const char*>(e), keyBytes_);
                const int child = getS16(e + keyBytes_);
                const std::uint32_t st = getS16(e + keyBytes_ + 2);
                if (i == 0)
                    fk = key;
                if (level == 1) {
                    leaves.emplace_back(child, static_cast<int>(st));
                    const std::size_t li = leaves.size() - 1;
                    if (li < chain.size()) {
                        const std::uint8_t* dp = db_->read(static_cast<std::uint32_t>(chain[li].first));
                        if (chain[li].second > 0 && std::memcmp(dp + 6, key.data(), key.size()) != 0)
                            add("indice primario: chiave della voce " + std::to_string(li + 1) +
                                " diversa dal primo record del blocco " + std::to_string(chain[li].first));
                    }
                } else {
                    std::string ck;
                    std::uint32_t cs = 0;
                    if (!walk(child, level - 1, ck, cs))
                        return false;
                    if (ck != key || cs != st)
                        add("indice primario: voce incoerente nel blocco " + std::to_string(block));
                }
                stat += st;
            }
            return true;
        };
        if (h.numRecords > 0) {
            std::string fk;
            std::uint32_t st = 0;
            if (ph.indexLevels < 1)
                add("indice primario vuoto per una tabella con record");
            else
                walk(ph.indexRoot, ph.indexLevels, fk, st);
        }
        if (entries != ph.numRecords)
            add("indice primario: voci nell'intestazione " + std::to_string(ph.numRecords) +
                ", contate " + std::to_string(entries));
        if (leaves != chain)
            add("indice primario: le voci non corrispondono ai blocchi dei dati");
    }
    checkSecondaries(out);
    return out;
}

// Every maintained secondary index holds exactly the entries the data calls for, in order, and
// its .Y indexes the blocks of its .X.
void TableFile::checkSecondaries(std::vector<std::string>& out)
{
    for (auto& [sp, im] : secondaryImages(collation_)) {
        const SecondaryIndex& si = *sp;
        auto add = [&](const std::string& s) { out.push_back("indice " + si.def.name + ": " + s); };
        auto parse = [&](const std::string& data, const std::string& what, Header& h, std::vector<std::string>& recs,
                         std::vector<std::tuple<std::string, int, int>>* blocks) {
            const auto* d = reinterpret_cast<const std::uint8_t*>(data.data());
            h = parseHeader(d, data.size(), data.size(), what);
            std::vector<bool> seen(static_cast<std::size_t>(h.fileBlocks) + 1, false);
            for (int b = h.firstBlock; b != 0;) {
                if (b > h.fileBlocks || seen[b] ||
                    static_cast<std::size_t>(h.headerSize) + static_cast<std::size_t>(b) * h.blockSize > data.size())
                    throw Error("catena dei blocchi non valida");
                seen[b] = true;
                const std::uint8_t* p = d + h.headerSize + static_cast<std::size_t>(b - 1) * h.blockSize;
                const int n = static_cast<std::int16_t>(get16(p + 4)) / h.recordSize + 1;
                if (n < 0 || n > (h.blockSize - 6) / h.recordSize)
                    throw Error("conteggio non valido nel blocco " + std::to_string(b));
                for (int i = 0; i < n; ++i)
                    recs.emplace_back(reinterpret_cast<const char*>(p + 6 + static_cast<std::size_t>(i) * h.recordSize),
                                      static_cast<std::size_t>(h.recordSize));
                if (blocks && n > 0)
                    blocks->emplace_back(recs[recs.size() - static_cast<std::size_t>(n)].substr(0, static_cast<std::size_t>(h.recordSize - 2)), b, n);
                b = get16(p);
            }
        };
        try {
            Header expH, actH;
            std::vector<std::string> expected, actual;
            std::vector<std::tuple<std::string, int, int>> xBlocks;
            parse(std::string(im.x.begin(), im.x.end()), si.xFile, expH, expected, nullptr);
            parse(readWholeFile(env_, files_.dir + "/" + si.xFile), si.xFile, actH, actual, &xBlocks);
            // Alpha entries in an order known only in part: the entries are checked, not their order.
            if (!(collation_ && collation_->exact()) && std::any_of(si.fields.begin(), si.fields.end(), [&](int f) {
                    return fields_[static_cast<std::size_t>(f)].def.type == FieldType::Alpha;
                })) {
                std::sort(expected.begin(), expected.end());
                std::sort(actual.begin(), actual.end());
            }
            if (actual != expected)
                add("le voci non corrispondono ai dati");
            if (actH.numRecords != hdr_.numRecords)
                add("numero di voci nell'intestazione diverso da quello dei record");
            // The .Y: its leaf entries are the .X blocks, their first keys and counts.
            const std::string ydata = readWholeFile(env_, files_.dir + "/" + si.yFile);
            const auto* yd = reinterpret_cast<const std::uint8_t*>(ydata.data());
            Header yh = parseHeader(yd, ydata.size(), ydata.size(), si.yFile);
            const int es = yh.recordSize, kb = es - 6;
            std::vector<std::tuple<std::string, int, int>> leaves;
            std::vector<bool> seen(static_cast<std::size_t>(yh.fileBlocks) + 1, false);
            std::function<void(int, int)> walk = [&](int block, int level) {
                if (block < 1 || block > yh.fileBlocks || seen[block] ||
                    static_cast<std::size_t>(yh.headerSize) + static_cast<std::size_t>(block) * yh.blockSize > ydata.size())
                    throw Error("blocco " + std::to_string(block) + " del file .Y non valido");
                seen[block] = true;
                const std::uint8_t* p = yd + yh.headerSize + static_cast<std::size_t>(block - 1) * yh.blockSize;
                const int n = static_cast<std::int16_t>(get16(p + 4)) / es + 1;
                if (n < 1 || n > (yh.blockSize - 6) / es)
                    throw Error("conteggio non valido nel file .Y");
                for (int i = 0; i < n; ++i) {
                    const std::uint8_t* e = p + 6 + static_cast<std::size_t>(i) * es;
                    if (level == 1)
                        leaves.emplace_back(std::string(reinterpret_cast<const char*>(e), static_cast<std::size_t>(kb)),
                                            getS16(e + kb), getS16(e + kb + 2));
                    else
                        walk(getS16(e + kb), level - 1);
                }
            };
            if (!xBlocks.empty())
                walk(yh.indexRoot, yh.indexLevels);
            if (leaves != xBlocks)
                add("il file " + si.yFile + " non corrisponde ai blocchi di " + si.xFile);
        } catch (const Error& e) {
            add(e.what());
        }
    }
}

}  // namespace korva::paradox
