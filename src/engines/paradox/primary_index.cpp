// The .PX tree: loaded and checked against the data blocks at every load, written back along
// the paths of changed blocks, or laid out anew when blocks come or go.

#include "engines/paradox/table_file.h"

#include "base/errore.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace korva::paradox {

void TableFile::loadPx()
{
    px_levels_.clear();
    pxMissing_ = false;
    if (hdr_.keyFields == 0)
        return;
    if (!files_.px) {
        pxMissing_ = true;
        if (!exclusive())
            throw Error("La tabella " + display_ + " non può essere aperta: manca l'indice primario (" +
                        files_.base + ".PX)");
        return;
    }
    if (!px_) {
        auto f = env_.open(files_.dir + "/" + *files_.px, readOnly_ ? OpenMode::Read : OpenMode::ReadWrite);
        std::uint8_t first[0x58];
        std::size_t got = f->readAt(0, first, sizeof first);
        const int hs = peekHeaderSize(first, got, *files_.px);
        px_ = std::make_unique<PagedFile>(std::move(f), *files_.px, hs, 1024);
    } else {
        px_->dropCache();
    }
    const std::string what = files_.dir + "/" + *files_.px;
    const std::uint64_t size = px_->file().size();
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
    raw.resize(px_->file().readAt(0, raw.data(), raw.size()));
    pxHdr_ = parseHeader(raw.data(), raw.size(), size, what);
    px_->setGeometry(pxHdr_.headerSize, pxHdr_.blockSize);
    pager_.removeFile(px_.get());
    pager_.addFile(px_.get());
    auto bad = [&](const std::string& why) {
        pxMissing_ = true;
        px_levels_.clear();
        if (!exclusive())
            throw Error("La tabella " + display_ + " non può essere aperta: l'indice primario " +
                        *files_.px + " non è valido (" + why + ")");
    };
    if (pxHdr_.fileType != FileType::PrimaryIndex || pxHdr_.numFields() != hdr_.keyFields ||
        pxHdr_.recordSize != keyBytes_ + 6)
        return bad("struttura diversa dalla chiave della tabella");
    for (int i = 0; i < hdr_.keyFields; ++i)
        if (pxHdr_.types[i] != hdr_.types[i] || pxHdr_.sizes[i] != hdr_.sizes[i])
            return bad("campi diversi dalla chiave della tabella");
    if (chain_.empty()) {
        if (pxHdr_.numRecords != 0)
            return bad("voci presenti in una tabella vuota");
        return;
    }
    const int levels = pxHdr_.indexLevels;
    if (levels < 1 || levels > 8)
        return bad("numero di livelli non valido");
    px_levels_.assign(static_cast<std::size_t>(levels), {});
    const int es = pxHdr_.recordSize;
    const int cap = (pxHdr_.blockSize - 6) / es;
    std::vector<bool> seen(static_cast<std::size_t>(pxHdr_.fileBlocks) + 1, false);
    std::size_t leaf = 0;
    std::uint32_t entries = 0;
    std::string why;
    // Depth-first, left to right: nodes of each level come in key order.
    std::function<bool(int, int, std::string&, std::uint32_t&)> walk =
        [&](int block, int level, std::string& firstKey, std::uint32_t& stat) -> bool {
        if (block < 1 || block > pxHdr_.fileBlocks || seen[block]) {
            why = "blocco " + std::to_string(block) + " non valido";
            return false;
        }
        seen[block] = true;
        const std::uint8_t* page = px_->read(static_cast<std::uint32_t>(block));
        const int add = static_cast<std::int16_t>(get16(page + 4));
        const int n = add / es + 1;
        if (add % es != 0 || n < 1 || n > cap) {
            why = "conteggio del blocco " + std::to_string(block) + " non valido";
            return false;
        }
        std::vector<std::uint8_t> copy(page, page + 6 + static_cast<std::size_t>(n) * es);
        PxNode node;
        node.block = static_cast<std::uint16_t>(block);
        const int depth = level - 1;  // 0 = leaves
        auto& below = depth == 0 ? px_levels_[0] : px_levels_[static_cast<std::size_t>(depth - 1)];
        node.begin = depth == 0 ? static_cast<int>(leaf) : static_cast<int>(below.size());
        stat = 0;
        entries += static_cast<std::uint32_t>(n);
        for (int i = 0; i < n; ++i) {
            const std::uint8_t* e = copy.data() + 6 + static_cast<std::size_t>(i) * es;
            const std::string key(reinterpret_cast<const char*>(e), keyBytes_);
            const int child = getS16(e + keyBytes_);
            const std::uint32_t st = getS16(e + keyBytes_ + 2);
            if (i == 0)
                firstKey = key;
            if (depth == 0) {
                if (leaf >= chain_.size() || chain_[leaf].block != child ||
                    chain_[leaf].count != st || chain_[leaf].firstKey != key) {
                    why = "voce " + std::to_string(leaf + 1) + " diversa dai blocchi dati";
                    return false;
                }
                ++leaf;
            } else {
                std::string childKey;
                std::uint32_t childStat = 0;
                if (!walk(child, level - 1, childKey, childStat))
                    return false;
                if (childKey != key || childStat != st) {
                    why = "voce del blocco " + std::to_string(block) + " incoerente";
                    return false;
                }
            }
            stat += st;
        }
        node.end = depth == 0 ? static_cast<int>(leaf) : static_cast<int>(below.size());
        px_levels_[static_cast<std::size_t>(depth)].push_back(node);
        return true;
    };
    std::string k;
    std::uint32_t s = 0;
    if (!walk(pxHdr_.indexRoot, levels, k, s))
        return bad(why);
    if (leaf != chain_.size())
        return bad("non tutti i blocchi dati sono indicizzati");
    if (entries != pxHdr_.numRecords)
        return bad("numero di voci incoerente");
    px_->dropCache();
}

std::string TableFile::pxNodeFirstKey(int level, int node) const
{
    while (level > 0) {
        node = px_levels_[static_cast<std::size_t>(level)][static_cast<std::size_t>(node)].begin;
        --level;
    }
    return chain_[static_cast<std::size_t>(px_levels_[0][static_cast<std::size_t>(node)].begin)].firstKey;
}

std::uint32_t TableFile::pxNodeStat(int level, int node) const
{
    const PxNode& n = px_levels_[static_cast<std::size_t>(level)][static_cast<std::size_t>(node)];
    std::uint32_t s = 0;
    for (int i = n.begin; i < n.end; ++i)
        s += level == 0 ? chain_[static_cast<std::size_t>(i)].count : pxNodeStat(level - 1, i);
    return s;
}

std::vector<std::uint8_t> TableFile::serializePxNode(int level, int node)
{
    const PxNode& n = px_levels_[static_cast<std::size_t>(level)][static_cast<std::size_t>(node)];
    const int es = keyBytes_ + 6;
    std::vector<std::uint8_t> entries(static_cast<std::size_t>(n.end - n.begin) * es, 0);
    for (int i = n.begin; i < n.end; ++i) {
        std::uint8_t* e = entries.data() + static_cast<std::size_t>(i - n.begin) * es;
        std::string key;
        int child;
        std::uint32_t stat;
        if (level == 0) {
            key = chain_[static_cast<std::size_t>(i)].firstKey;
            child = chain_[static_cast<std::size_t>(i)].block;
            stat = chain_[static_cast<std::size_t>(i)].count;
        } else {
            key = pxNodeFirstKey(level - 1, i);
            child = px_levels_[static_cast<std::size_t>(level - 1)][static_cast<std::size_t>(i)].block;
            stat = pxNodeStat(level - 1, i);
        }
        std::memcpy(e, key.data(), static_cast<std::size_t>(keyBytes_));
        putS16(e + keyBytes_, static_cast<std::uint32_t>(child));
        putS16(e + keyBytes_ + 2, stat);
        putS16(e + keyBytes_ + 4, 0);
    }
    return entries;
}

void TableFile::relayoutPx()
{
    const int es = keyBytes_ + 6;
    const int cap = (px_->pageSize() - 6) / es;
    px_levels_.clear();
    int count = static_cast<int>(chain_.size());
    int block = 1;
    while (count > 0) {
        std::vector<PxNode> level;
        for (int i = 0; i < count; i += cap)
            level.push_back({static_cast<std::uint16_t>(block++), i, std::min(count, i + cap)});
        px_levels_.push_back(level);
        if (level.size() == 1)
            break;
        count = static_cast<int>(level.size());
    }
    const int total = block - 1;
    if (total > 0xFFFF)
        throw Error("La tabella " + display_ + " è troppo grande per il suo indice primario");
    for (std::size_t l = 0; l < px_levels_.size(); ++l) {
        for (std::size_t n = 0; n < px_levels_[l].size(); ++n) {
            const int b = px_levels_[l][n].block;
            std::uint8_t* page = px_->write(static_cast<std::uint32_t>(b));
            std::memset(page, 0, static_cast<std::size_t>(px_->pageSize()));
            put16(page, static_cast<std::uint32_t>(b < total ? b + 1 : 0));
            put16(page + 2, static_cast<std::uint32_t>(b - 1));
            auto entries = serializePxNode(static_cast<int>(l), static_cast<int>(n));
            setCount(page, 0);
            put16(page + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(
                                static_cast<std::int16_t>(static_cast<int>(entries.size()) - es))));
            std::memcpy(page + 6, entries.data(), entries.size());
        }
    }
    px_->truncatePages(static_cast<std::uint32_t>(total + 1));
}

void TableFile::writePx()
{
    const int es = keyBytes_ + 6;
    if (pxRelayout_) {
        relayoutPx();
    } else {
        std::set<std::pair<int, int>> nodes;  // (level, node) on the paths of changed entries
        for (int ci : pxDirty_) {
            int idx = ci;
            for (std::size_t l = 0; l < px_levels_.size(); ++l) {
                const auto& lv = px_levels_[l];
                auto it = std::upper_bound(lv.begin(), lv.end(), idx,
                                           [](int v, const PxNode& n) { return v < n.begin; });
                idx = static_cast<int>(it - lv.begin()) - 1;
                nodes.insert({static_cast<int>(l), idx});
            }
        }
        for (auto [l, n] : nodes) {
            const int b = px_levels_[static_cast<std::size_t>(l)][static_cast<std::size_t>(n)].block;
            std::uint8_t* page = px_->write(static_cast<std::uint32_t>(b));
            auto entries = serializePxNode(l, n);
            put16(page + 4, static_cast<std::uint32_t>(static_cast<std::uint16_t>(
                                static_cast<std::int16_t>(static_cast<int>(entries.size()) - es))));
            std::memcpy(page + 6, entries.data(), entries.size());
        }
    }
    std::uint32_t entries = 0;
    int nodes = 0;
    for (const auto& lv : px_levels_) {
        nodes += static_cast<int>(lv.size());
        for (const auto& n : lv)
            entries += static_cast<std::uint32_t>(n.end - n.begin);
    }
    std::uint8_t* h = px_->write(0);
    put32(h + Hdr::NumRecords, entries);
    if (pxRelayout_) {
        put16(h + Hdr::UsedBlocks, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::FileBlocks, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::FirstBlock, nodes ? 1u : 0u);
        put16(h + Hdr::LastBlock, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::MaxBlocks, static_cast<std::uint32_t>(nodes));
        put16(h + Hdr::IndexRoot, px_levels_.empty() ? 1u : px_levels_.back()[0].block);
        h[Hdr::IndexLevels] = static_cast<std::uint8_t>(px_levels_.size());
        pxHdr_.fileBlocks = nodes;
    }
    h[Hdr::IndexStamp] = db_->read(0)[Hdr::ChangeCount1];
    pxDirty_.clear();
    pxRelayout_ = false;
}

}  // namespace korva::paradox
