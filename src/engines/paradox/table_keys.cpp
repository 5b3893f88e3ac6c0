// The current index and what depends on it: the records in a secondary index's order, key
// search, ranges, bookmarks.

#include "engines/paradox/table.h"

#include "base/errore.h"
#include "engines/paradox/collation.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

namespace korva::paradox {

using detail::stepPrior;
using detail::storeText;

// ---- order of the current index ------------------------------------------------------------------

int Table::compareKey(const std::uint8_t* a, const std::uint8_t* b, int nfields) const
{
    if (secIndex_ < 0)
        return file_->compareKeys(a, b, nfields);
    const SecondaryIndex& si = file_->secondaries()[static_cast<std::size_t>(secIndex_)];
    const Collation* coll = file_->collation();
    const bool ci = si.def.options & IndexOption::CaseInsensitive;
    for (int i = 0; i < nfields && i < static_cast<int>(si.fields.size()); ++i) {
        const FieldInfo& f = file_->fields()[static_cast<std::size_t>(si.fields[static_cast<std::size_t>(i)])];
        int c;
        if (f.def.type == FieldType::Alpha) {
            auto text = [&](const std::uint8_t* p) {
                return std::string_view(reinterpret_cast<const char*>(p + f.offset),
                                        strnlen(reinterpret_cast<const char*>(p + f.offset),
                                                static_cast<std::size_t>(f.bytes)));
            };
            if (coll)
                c = ci ? coll->compareCaseInsensitive(text(a), text(b)) : coll->compare(text(a), text(b));
            else
                c = text(a).compare(text(b));
        } else {
            c = std::memcmp(a + f.offset, b + f.offset, static_cast<std::size_t>(f.bytes));
        }
        if (si.descending[static_cast<std::size_t>(i)])
            c = -c;
        if (c)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

int Table::indexFieldCount() const
{
    if (secIndex_ < 0)
        return file_->keyFields();
    return static_cast<int>(file_->secondaries()[static_cast<std::size_t>(secIndex_)].fields.size());
}

int Table::indexField(int i) const
{
    if (secIndex_ < 0)
        return i;
    return file_->secondaries()[static_cast<std::size_t>(secIndex_)].fields[static_cast<std::size_t>(i)];
}

int Table::assignedKeyFields() const
{
    int n = 0;
    while (n < indexFieldCount() && keyAssigned_.count(indexField(n)))
        ++n;
    return n > 0 ? n : indexFieldCount();
}

// The records in the order of the current secondary index (the primary key, or the place in
// the table, settles equal keys).
void Table::buildOrder()
{
    std::vector<std::pair<std::string, Pos>> recs;
    recs.reserve(file_->recordCount());
    for (int b = 0; b < file_->blocks(); ++b)
        for (int r = 0; r < file_->countIn(b); ++r)
            recs.emplace_back(std::string(reinterpret_cast<const char*>(file_->record({b, r})),
                                          static_cast<std::size_t>(file_->recordSize())),
                              Pos{b, r});
    const int n = indexFieldCount();
    std::stable_sort(recs.begin(), recs.end(), [&](const auto& x, const auto& y) {
        return compareKey(reinterpret_cast<const std::uint8_t*>(x.first.data()),
                          reinterpret_cast<const std::uint8_t*>(y.first.data()), n) < 0;
    });
    orderRecs_.clear();
    orderPos_.clear();
    for (auto& [rec, pos] : recs) {
        orderRecs_.push_back(std::move(rec));
        orderPos_.push_back(pos);
    }
    orderGen_ = file_->generation();
    orderAborts_ = file_->aborts();
    orderValid_ = true;
}

void Table::ensureOrder()
{
    if (secIndex_ >= 0 && (!orderValid_ || orderGen_ != file_->generation()))
        buildOrder();
}

const std::uint8_t* Table::orderRec(int i) const
{
    return reinterpret_cast<const std::uint8_t*>(orderRecs_[static_cast<std::size_t>(i)].data());
}

// The first entry of the order whose key is >= key (`upper`: > key).
int Table::orderBound(const std::uint8_t* key, int nfields, bool upper) const
{
    int lo = 0, hi = static_cast<int>(orderRecs_.size());
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        int c = compareKey(orderRec(mid), key, nfields);
        if (c < 0 || (upper && c == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void Table::setOrderPos(int i)
{
    opos_ = i;
    const Pos p = orderPos_[static_cast<std::size_t>(i)];
    setPos(true, p.block, p.rec);
}

bool Table::inRange(const std::uint8_t* rec) const
{
    if (!ranged_)
        return true;
    return compareKey(rec, rangeStart_.data(), rangeFields_) >= 0 &&
           compareKey(rec, rangeEnd_.data(), rangeFields_) <= 0;
}

// ---- index and keys -------------------------------------------------------------------------------

void Table::setIndexName(const std::string& name)
{
    requireBrowse("cambiare indice");
    int sec = -1;
    if (!name.empty()) {
        const auto& list = file_->secondaries();
        for (std::size_t i = 0; i < list.size(); ++i)
            if (strcasecmp(list[i].def.name.c_str(), name.c_str()) == 0)
                sec = static_cast<int>(i);
        if (sec < 0)
            throw Error("Indice " + name + " non trovato nella tabella " + displayName());
    } else if (file_->keyFields() == 0) {
        // An unkeyed table's own order.
    }
    indexName_ = name;
    secIndex_ = sec;
    orderValid_ = false;
    ranged_ = false;
    first();
}

void Table::checkKeyIndex() const
{
    if (secIndex_ < 0 && file_->keyFields() == 0)
        throw Error("La tabella " + displayName() + " non ha un indice: ricerca per chiave impossibile");
}

void Table::setKey()
{
    requireBrowse("impostare la chiave");
    checkKeyIndex();
    if (state_ != DataSetState::SetKey)
        keyReturn_ = state_;
    std::fill(keyBuf_.begin(), keyBuf_.end(), 0);
    keyAssigned_.clear();
    state_ = DataSetState::SetKey;
}

void Table::editKey()
{
    requireBrowse("modificare la chiave");
    checkKeyIndex();
    if (state_ != DataSetState::SetKey)
        keyReturn_ = state_;
    state_ = DataSetState::SetKey;
}

void Table::positionAtKey(const std::uint8_t* key, int nfields, bool wantExact, bool& found)
{
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        int i = orderBound(key, nfields, false);
        const int size = static_cast<int>(orderRecs_.size());
        found = i < size && compareKey(orderRec(i), key, nfields) == 0 && inRange(orderRec(i));
        if (wantExact && !found)
            return;
        if (i < size && inRange(orderRec(i))) {
            setOrderPos(i);
            bof_ = eof_ = false;
        } else if (i > 0 && inRange(orderRec(i - 1))) {
            setOrderPos(i - 1);
            eof_ = true;
            bof_ = false;
        }
        notify();
        return;
    }
    bool exact = false;
    Pos p = file_->lowerBound(key, nfields, exact);
    found = exact && inRange(file_->record(p));
    if (wantExact && !found)
        return;
    int b = p.block, r = p.rec;
    if (b < file_->blocks() && inRange(file_->record(p))) {
        setPos(true, b, r);
        bof_ = eof_ = false;
    } else if (stepPrior(*file_, b, r) && inRange(file_->record({b, r}))) {
        setPos(true, b, r);
        eof_ = true;
        bof_ = false;
    }
    notify();
}

bool Table::gotoKey()
{
    requireActive();
    if (state_ != DataSetState::SetKey)
        throw Error("La tabella " + displayName() + " non è in modalità chiave");
    state_ = DataSetState::Browse;
    const int n = assignedKeyFields();
    bool found = false;
    positionAtKey(keyBuf_.data(), n, true, found);
    return found;
}

void Table::gotoNearest()
{
    requireActive();
    if (state_ != DataSetState::SetKey)
        throw Error("La tabella " + displayName() + " non è in modalità chiave");
    state_ = DataSetState::Browse;
    const int n = assignedKeyFields();
    bool found = false;
    positionAtKey(keyBuf_.data(), n, false, found);
}

std::vector<std::uint8_t> Table::keyFrom(const std::vector<std::string>& values, int& nfields)
{
    checkKeyIndex();
    if (values.empty() || static_cast<int>(values.size()) > indexFieldCount())
        throw Error("Numero di valori non valido per la chiave della tabella " + displayName());
    std::vector<std::uint8_t> key(static_cast<std::size_t>(file_->recordSize()), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const FieldInfo& f = file_->fields()[static_cast<std::size_t>(indexField(static_cast<int>(i)))];
        std::string blob;
        storeText(f, file_->codePage(), key.data() + f.offset, values[i], &blob);
    }
    nfields = static_cast<int>(values.size());
    return key;
}

bool Table::searchKey(const std::vector<std::string>& values, bool exact)
{
    requireBrowse("cercare la chiave");
    int n = 0;
    auto key = keyFrom(values, n);
    bool found = false;
    positionAtKey(key.data(), n, exact, found);
    return found;
}

bool Table::findKey(const std::vector<std::string>& values)
{
    return searchKey(values, true);
}

void Table::findNearest(const std::vector<std::string>& values)
{
    searchKey(values, false);
}

void Table::setRange(const std::vector<std::string>& start, const std::vector<std::string>& end)
{
    requireBrowse("impostare l'intervallo");
    int n1 = 0, n2 = 0;
    rangeStart_ = keyFrom(start, n1);
    rangeEnd_ = keyFrom(end, n2);
    if (n1 != n2)
        throw Error("Gli estremi dell'intervallo della tabella " + displayName() +
                    " devono avere lo stesso numero di campi");
    rangeFields_ = n1;
    ranged_ = true;
    first();
}

void Table::cancelRange()
{
    requireBrowse("annullare l'intervallo");
    ranged_ = false;
    first();
}

// ---- bookmarks ------------------------------------------------------------------------------------

Bookmark Table::getBookmark()
{
    requireActive();
    Bookmark b;
    if (!hasRecord_)
        return b;
    b.record.assign(reinterpret_cast<const char*>(orig_.data()), orig_.size());
    if (!ordinalKnown_) {
        ReadScope scope(*file_);
        relocate();
        ordinal_ = file_->ordinal({block_, rec_});
        ordinalKnown_ = true;
    }
    b.ordinal = ordinal_;
    b.valid = true;
    return b;
}

void Table::gotoBookmark(const Bookmark& bm)
{
    requireBrowse("tornare al segnalibro");
    if (!bm.valid)
        throw Error("Segnalibro non valido per la tabella " + displayName());
    ReadScope scope(*file_);
    const auto saved = orig_;
    const auto savedOrd = ordinal_;
    const bool savedHas = hasRecord_;
    orig_.assign(bm.record.begin(), bm.record.end());
    ordinal_ = bm.ordinal;
    hasRecord_ = true;
    int b = 0, r = 0;
    if (!findCurrent(b, r)) {
        orig_ = saved;
        ordinal_ = savedOrd;
        hasRecord_ = savedHas;
        throw Error("Il record del segnalibro non è più presente nella tabella " + displayName());
    }
    setPos(true, b, r);
    if (secIndex_ >= 0) {
        orderValid_ = false;
        relocate();
    }
    bof_ = eof_ = false;
    notify();
}

}  // namespace korva::paradox
