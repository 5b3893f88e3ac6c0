// The index files besides the .PX tree: reading what the secondary indexes are, adding an
// index (a secondary one, or a lost primary), rebuilding the secondaries at every change.

#include "engines/paradox/table_file.h"

#include "base/codepage.h"
#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/file_switch.h"
#include "engines/paradox/secondary.h"
#include "engines/paradox/table.h"
#include "engines/paradox/table_internal.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace korva::paradox {

using detail::compareIndexKey;

void TableFile::loadSecondaries()
{
    secondaries_.clear();
    std::vector<std::string> missing;
    auto has = [&](const std::string& name) {
        for (const auto& f : files_.secondary)
            if (strcasecmp(f.c_str(), name.c_str()) == 0)
                return f;
        return std::string();
    };
    for (const auto& x : files_.secondary) {
        const std::string ext = x.substr(x.rfind('.') + 1);
        if (std::toupper(static_cast<unsigned char>(ext[0])) != 'X')
            continue;
        std::string y = has(files_.base + ".Y" + ext.substr(1));
        if (y.empty()) {
            missing.push_back(files_.base + ".Y" + ext.substr(1));
            continue;
        }
        const std::string path = files_.dir + "/" + x;
        auto f = env_.open(path, OpenMode::Read);
        const std::uint64_t size = f->size();
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(std::min<std::uint64_t>(size, 0xFFFF)));
        raw.resize(f->readAt(0, raw.data(), raw.size()));
        Header xh = parseHeader(raw.data(), raw.size(), size, path);
        const bool group = xh.fileType == FileType::XGMaintained || xh.fileType == FileType::XGNonMaintained;
        if (!group && xh.fileType != FileType::XMaintained && xh.fileType != FileType::XNonMaintained)
            throw Error("Il file " + path + " non è un indice secondario");
        const int extra = hdr_.keyFields > 0 ? hdr_.keyFields + 1 : 3;
        const int n = xh.numFields() - extra;
        if (n < 1 || xh.fieldNumbers.size() < static_cast<std::size_t>(n))
            throw Error("L'indice secondario " + path + " è danneggiato: campi non validi");
        SecondaryIndex si;
        si.xFile = x;
        si.yFile = y;
        const int cp = hdr_.effectiveCodePage();
        for (int i = 0; i < n; ++i) {
            const int number = xh.fieldNumbers[static_cast<std::size_t>(i)] & 0x7FFF;
            if (number < 1 || number > static_cast<int>(fields_.size()))
                throw Error("L'indice secondario " + path + " è danneggiato: campo " +
                            std::to_string(number) + " inesistente");
            si.fields.push_back(number - 1);
            si.descending.push_back((xh.fieldNumbers[static_cast<std::size_t>(i)] & 0x8000) != 0);
            si.def.fields += (i ? ";" : "") + fields_[static_cast<std::size_t>(number - 1)].def.name;
        }
        const std::uint8_t flags = xh.raw[Hdr::IndexFlags];
        si.def.name = group ? codepage::toUtf8(xh.indexName, cp) : fields_[static_cast<std::size_t>(si.fields[0])].def.name;
        if (flags & 0x01)
            si.def.options |= IndexOption::CaseInsensitive;
        if ((flags & 0x10) || std::find(si.descending.begin(), si.descending.end(), true) != si.descending.end())
            si.def.options |= IndexOption::Descending;
        if (flags & 0x20)
            si.def.options |= IndexOption::Unique;
        if (xh.fileType == FileType::XNonMaintained || xh.fileType == FileType::XGNonMaintained)
            si.def.options |= IndexOption::NonMaintained;
        if (!(si.def.options & IndexOption::NonMaintained) && !readOnly_) {
            for (const std::string* name : {&si.xFile, &si.yFile}) {
                if (secFiles_.count(*name))
                    continue;
                auto pf = std::make_unique<PagedFile>(
                    env_.open(files_.dir + "/" + *name, OpenMode::ReadWrite), *name, 0x800, hdr_.blockSize);
                pager_.addFile(pf.get());
                secFiles_.emplace(*name, std::move(pf));
            }
        }
        secondaries_.push_back(std::move(si));
    }
    for (const auto& y : files_.secondary) {
        const std::string ext = y.substr(y.rfind('.') + 1);
        if (std::toupper(static_cast<unsigned char>(ext[0])) == 'Y' && has(files_.base + ".X" + ext.substr(1)).empty())
            missing.push_back(files_.base + ".X" + ext.substr(1));
    }
    if (!missing.empty() && !exclusive()) {
        std::string list;
        for (const auto& m : missing)
            list += (list.empty() ? "" : ", ") + m;
        throw Error("La tabella " + display_ + " non può essere aperta: mancano file dei suoi indici (" +
                    list + ")");
    }
}

// How two records compare on the index's fields, as the index compares them (ascending: only
// equality and a consistent order matter here).
int detail::compareIndexKey(const SecondaryIndex& si, const std::vector<FieldInfo>& fields, const Collation* coll,
                            const std::uint8_t* a, const std::uint8_t* b)
{
    const bool ci = si.def.options & IndexOption::CaseInsensitive;
    for (int f : si.fields) {
        const FieldInfo& fi = fields[static_cast<std::size_t>(f)];
        int c;
        if (fi.def.type == FieldType::Alpha && coll) {
            std::string_view va(reinterpret_cast<const char*>(a + fi.offset),
                                strnlen(reinterpret_cast<const char*>(a + fi.offset), static_cast<std::size_t>(fi.bytes)));
            std::string_view vb(reinterpret_cast<const char*>(b + fi.offset),
                                strnlen(reinterpret_cast<const char*>(b + fi.offset), static_cast<std::size_t>(fi.bytes)));
            c = ci ? coll->compareCaseInsensitive(va, vb) : coll->compare(va, vb);
        } else {
            c = std::memcmp(a + fi.offset, b + fi.offset, static_cast<std::size_t>(fi.bytes));
        }
        if (c != 0)
            return c;
    }
    return 0;
}

bool isPrimaryIndex(const IndexDef& ix)
{
    return ix.name.empty() || (ix.options & IndexOption::Primary);
}

std::vector<int> TableFile::indexFields(const IndexDef& ix) const
{
    const std::string label = isPrimaryIndex(ix) ? std::string("primario") : ix.name;
    std::vector<int> pos;
    for (const auto& n : splitFields(ix.fields)) {
        const int p = fieldIndex(n);
        if (p < 0)
            throw Error("l'indice " + label + " usa il campo " + n + ", che la tabella non ha");
        const FieldDef& f = fields_[static_cast<std::size_t>(p)].def;
        if (isBlob(f.type))
            throw Error("il campo " + n + " (" + typeName(f.type) + ") non può far parte di un indice");
        pos.push_back(p);
    }
    if (pos.empty())
        throw Error("l'indice " + label + " non ha campi");
    return pos;
}

std::string TableFile::keyList() const
{
    std::string list;
    for (int i = 0; i < hdr_.keyFields; ++i)
        list += (i ? ";" : "") + fields_[static_cast<std::size_t>(i)].def.name;
    return list;
}

void TableFile::checkPrimaryDefinition(const std::vector<int>& pos) const
{
    if (hdr_.keyFields == 0)
        throw Error("la tabella non ha campi chiave: non può avere un indice primario");
    bool same = static_cast<int>(pos.size()) == hdr_.keyFields;
    for (std::size_t i = 0; same && i < pos.size(); ++i)
        same = pos[i] == static_cast<int>(i);
    if (!same)
        throw Error("l'indice primario deve essere formato dai campi chiave della tabella (" + keyList() +
                    "), nell'ordine");
}

SecondaryIndex TableFile::secondaryDefinition(const IndexDef& ix, const std::vector<int>& pos) const
{
    if (hdr_.keyFields == 0)
        throw Error("gli indici secondari richiedono una chiave primaria e la tabella non ne ha");
    if ((ix.options & (IndexOption::Unique | IndexOption::Descending)) && hdr_.version < Version::V7)
        throw Error("l'indice " + ix.name + " è univoco o discendente e richiede una tabella di livello 7");
    if (ix.options & (IndexOption::Expression | IndexOption::NonMaintained))
        throw Error("l'indice " + ix.name + " è su espressione o non mantenuto: non gestito");
    SecondaryIndex si;
    si.def = ix;
    si.def.options &= ~IndexOption::Primary;
    si.fields = pos;
    si.descending.assign(pos.size(), (ix.options & IndexOption::Descending) != 0);
    si.def.fields.clear();
    for (std::size_t i = 0; i < pos.size(); ++i)
        si.def.fields += (i ? ";" : "") + fields_[static_cast<std::size_t>(pos[i])].def.name;
    for (int f : pos)
        if (fields_[static_cast<std::size_t>(f)].def.type == FieldType::Alpha && !(collation_ && collation_->exact()))
            throw Error("l'ordinamento \"" + hdr_.sortOrderId + "\" della tabella non è gestito: impossibile "
                        "costruire l'indice " + ix.name);
    return si;
}

Header TableFile::headerNow()
{
    Header db = hdr_;
    db.raw.assign(db_->read(0), db_->read(0) + hdr_.headerSize);
    return db;
}

std::vector<IndexLeaf> TableFile::primaryLeaves() const
{
    std::vector<IndexLeaf> leaves;
    for (const auto& e : chain_)
        if (e.count > 0)
            leaves.push_back({e.firstKey, e.block, e.count});
    return leaves;
}

void TableFile::addIndex(const IndexDef& ix)
{
    if (!exclusive())
        throw Error("Per aggiungere un indice la tabella " + display_ + " va aperta in modo esclusivo");
    if (pager_.active())
        throw Error("La tabella " + display_ + " ha modifiche in corso: impossibile aggiungere l'indice");
    const std::string what = "Impossibile aggiungere l'indice " + (isPrimaryIndex(ix) ? std::string("primario") : ix.name) +
                             " alla tabella " + display_ + ": ";
    SecondaryIndex si;
    try {
        const std::vector<int> pos = indexFields(ix);
        if (isPrimaryIndex(ix)) {
            checkPrimaryDefinition(pos);
            if (files_.px && !pxMissing_)
                throw Error("la tabella ha già l'indice primario");
        } else {
            for (const auto& other : secondaries_)
                if (strcasecmp(other.def.name.c_str(), ix.name.c_str()) == 0)
                    throw Error("la tabella ha già l'indice " + other.def.name);
            si = secondaryDefinition(ix, pos);
            int group = 0;
            for (const auto& f : files_.secondary) {
                const std::string ext = f.substr(f.rfind('.') + 1);
                if (ext.size() == 3 && std::toupper(static_cast<unsigned char>(ext[1])) == 'G')
                    group = std::max(group, static_cast<int>(std::strtol(ext.substr(2).c_str(), nullptr, 16)) + 1);
            }
            nameIndexFiles(si, fields_, files_.base, group);
            for (const auto& f : files_.secondary)
                if (strcasecmp(f.c_str(), si.xFile.c_str()) == 0 || strcasecmp(f.c_str(), si.yFile.c_str()) == 0)
                    throw Error("la tabella ha già un indice sul campo " + si.def.fields);
        }
    } catch (const Error& e) {
        throw Error(what + e.what());
    }
    if (isPrimaryIndex(ix)) {
        const std::string name = files_.px ? *files_.px : files_.base + ".PX";
        replaceTableFiles(env_, files_.dir, files_.base,
                          {{name, buildPrimaryImage(headerNow(), fields_, name, primaryLeaves())}});
        return;
    }
    FileSwitch out(env_, files_.dir, files_.base);
    writeSecondary(out, si, allRecords(), headerNow());
    out.commit();
}

void TableFile::writeSecondary(FileSwitch& out, const SecondaryIndex& si, const RecordSet& records, const Header& db)
{
    File& x = out.add(si.xFile);
    std::uint64_t at = 0;
    auto y = writeIndexFiles(db, fields_, si, records, collation_, display_, [&](const std::uint8_t* p, std::size_t n) {
        x.writeAt(at, p, n);
        at += n;
    });
    out.add(si.yFile, y);
}

std::vector<std::pair<const SecondaryIndex*, IndexImages>> TableFile::secondaryImages(const Collation* coll)
{
    std::vector<std::pair<const SecondaryIndex*, IndexImages>> out;
    RecordSet records;
    bool collected = false;
    const Header db = headerNow();
    for (const auto& si : secondaries_) {
        if (si.def.options & IndexOption::NonMaintained)
            continue;
        if (!collected) {
            records = allRecords();
            collected = true;
        }
        out.emplace_back(&si, buildIndexImages(db, fields_, si, records, coll, display_));
    }
    return out;
}

void TableFile::rebuildSecondaries()
{
    for (auto& [sp, im] : secondaryImages(collation_)) {
        const SecondaryIndex& si = *sp;
        for (auto [name, image] : {std::pair{&si.xFile, &im.x}, std::pair{&si.yFile, &im.y}}) {
            PagedFile& f = *secFiles_.at(*name);
            // The new header may be longer than the old one: the geometry follows the file.
            const int hs = get16(image->data() + Hdr::HeaderSize);
            if (f.headerSize() != hs)
                f.setGeometry(hs, hdr_.blockSize);
            const std::uint32_t pages = static_cast<std::uint32_t>(1 + (image->size() - hs) / hdr_.blockSize);
            for (std::uint32_t p = 0; p < pages; ++p)
                std::memcpy(f.write(p), image->data() + f.offsetOf(p), f.sizeOf(p));
            f.truncatePages(pages);
        }
    }
}

}  // namespace korva::paradox
