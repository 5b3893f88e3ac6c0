// Moving through the records: the current record kept and found again after other users
// changed the table, first, last, next, prior.

#include "engines/paradox/table.h"

#include "base/errore.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <cstring>

namespace korva::paradox {

using detail::stepNext;
using detail::stepPrior;

// ---- navigation ----------------------------------------------------------------------------------

void Table::requireBrowse(const char* what) const
{
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        throw Error("Impossibile " + std::string(what) + ": la tabella " + displayName() +
                    " ha modifiche non confermate");
}

void Table::loadCurrent()
{
    if (hasRecord_) {
        const std::uint8_t* r = file_->record({block_, rec_});
        orig_.assign(r, r + file_->recordSize());
        // The place in the table finds a record of an unkeyed table again after others
        // changed it; elsewhere it is worked out when asked for (it costs a walk of the blocks).
        ordinalKnown_ = !file_->exclusive() && file_->keyFields() == 0;
        if (ordinalKnown_)
            ordinal_ = file_->ordinal({block_, rec_});
    } else {
        std::fill(orig_.begin(), orig_.end(), 0);
    }
    buf_ = orig_;
    gen_ = file_->generation();
    pendingBlobs_.clear();
}

void Table::setPos(bool found, int block, int rec)
{
    hasRecord_ = found;
    block_ = block;
    rec_ = rec;
    loadCurrent();
}

// Steps through the chain order of a table file, skipping empty blocks.
bool detail::stepNext(TableFile& f, int& b, int& r)
{
    if (b < f.blocks() && r + 1 < f.countIn(b)) {
        ++r;
        return true;
    }
    for (int n = b + 1; n < f.blocks(); ++n)
        if (f.countIn(n) > 0) {
            b = n;
            r = 0;
            return true;
        }
    return false;
}

bool detail::stepPrior(TableFile& f, int& b, int& r)
{
    if (r > 0 && b < f.blocks()) {
        --r;
        return true;
    }
    for (int n = std::min(b, f.blocks()) - 1; n >= 0; --n)
        if (f.countIn(n) > 0) {
            b = n;
            r = f.countIn(n) - 1;
            return true;
        }
    return false;
}

bool Table::findCurrent(int& block, int& rec)
{
    if (!hasRecord_)
        return false;
    if (file_->keyFields() > 0) {
        bool exact = false;
        Pos p = file_->lowerBound(orig_.data(), file_->keyFields(), exact);
        block = p.block;
        rec = p.rec;
        return exact;
    }
    // Where it was, when nothing moved it; else where its place in the table says.
    if (block_ < file_->blocks() && rec_ < file_->countIn(block_) &&
        std::memcmp(file_->record({block_, rec_}), orig_.data(), orig_.size()) == 0) {
        block = block_;
        rec = rec_;
        return true;
    }
    Pos p = file_->fromOrdinal(ordinal_);
    if (ordinalKnown_ && p.block < file_->blocks() &&
        std::memcmp(file_->record(p), orig_.data(), orig_.size()) == 0) {
        block = p.block;
        rec = p.rec;
        return true;
    }
    for (int b = 0; b < file_->blocks(); ++b)
        for (int r = 0; r < file_->countIn(b); ++r)
            if (std::memcmp(file_->record({b, r}), orig_.data(), orig_.size()) == 0) {
                block = b;
                rec = r;
                return true;
            }
    p = file_->fromOrdinal(ordinal_);
    block = p.block;
    rec = p.rec;
    return false;
}

// After other users changed the table, finds the current record again (or the one now in its
// place).
void Table::relocate()
{
    if (secIndex_ >= 0) {
        if (orderValid_ && orderGen_ == file_->generation() && orderAborts_ == file_->aborts())
            return;
        buildOrder();
        if (!hasRecord_)
            return;
        // The current record again, by its bytes; else the one now in its place.
        const int n = indexFieldCount();
        int i = orderBound(orig_.data(), n, false);
        for (int j = i; j < static_cast<int>(orderRecs_.size()) && compareKey(orderRec(j), orig_.data(), n) == 0; ++j)
            if (orderRecs_[static_cast<std::size_t>(j)] == std::string(orig_.begin(), orig_.end())) {
                i = j;
                break;
            }
        if (i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i)))
            setOrderPos(i);
        else if (i > 0 && inRange(orderRec(i - 1)))
            setOrderPos(i - 1);
        else
            setPos(false, 0, 0);
        return;
    }
    if (gen_ == file_->generation() || !hasRecord_)
        return;
    int b = 0, r = 0;
    if (findCurrent(b, r)) {
        block_ = b;
        rec_ = r;
        gen_ = file_->generation();
        return;
    }
    if (b < file_->blocks() && r < file_->countIn(b) && inRange(file_->record({b, r})))
        setPos(true, b, r);
    else if (stepPrior(*file_, b, r) && inRange(file_->record({b, r})))
        setPos(true, b, r);
    else
        setPos(false, 0, 0);
}

void Table::first()
{
    requireBrowse("andare al primo record");
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        const int i = ranged_ ? orderBound(rangeStart_.data(), rangeFields_, false) : 0;
        const bool found = i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i));
        if (found)
            setOrderPos(i);
        else
            setPos(false, 0, 0);
        bof_ = true;
        eof_ = !found;
        notify();
        return;
    }
    int b = 0, r = -1;
    bool found;
    if (ranged_) {
        bool exact = false;
        Pos p = file_->lowerBound(rangeStart_.data(), rangeFields_, exact);
        b = p.block;
        r = p.rec;
        found = b < file_->blocks() && inRange(file_->record(p));
    } else {
        b = 0;
        found = file_->blocks() > 0 && (file_->countIn(0) > 0 ? (r = 0, true) : stepNext(*file_, b, r));
    }
    setPos(found, b, std::max(r, 0));
    bof_ = true;
    eof_ = !found;
    notify();
}

void Table::last()
{
    requireBrowse("andare all'ultimo record");
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        const int i = (ranged_ ? orderBound(rangeEnd_.data(), rangeFields_, true)
                               : static_cast<int>(orderRecs_.size())) - 1;
        const bool found = i >= 0 && inRange(orderRec(i));
        if (found)
            setOrderPos(i);
        else
            setPos(false, 0, 0);
        eof_ = true;
        bof_ = !found;
        notify();
        return;
    }
    int b = file_->blocks(), r = 0;
    if (ranged_) {
        Pos p = file_->upperBound(rangeEnd_.data(), rangeFields_);
        b = p.block;
        r = p.rec;
    }
    bool found = stepPrior(*file_, b, r) && inRange(file_->record({b, r}));
    setPos(found, b, r);
    eof_ = true;
    bof_ = !found;
    notify();
}

void Table::step(bool forward)
{
    requireBrowse(forward ? "andare al record successivo" : "andare al record precedente");
    ReadScope scope(*file_);
    relocate();
    if (secIndex_ >= 0) {
        const int i = opos_ + (forward ? 1 : -1);
        if (hasRecord_ && i >= 0 && i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i))) {
            setOrderPos(i);
            bof_ = eof_ = false;
        } else {
            (forward ? eof_ : bof_) = true;
        }
        notify();
        return;
    }
    int b = block_, r = rec_;
    if (hasRecord_ && (forward ? stepNext(*file_, b, r) : stepPrior(*file_, b, r)) &&
        inRange(file_->record({b, r}))) {
        setPos(true, b, r);
        bof_ = eof_ = false;
    } else {
        (forward ? eof_ : bof_) = true;
    }
    notify();
}

void Table::next()
{
    step(true);
}

void Table::prior()
{
    step(false);
}

bool Table::isEmpty()
{
    requireActive();
    if (!ranged_)
        return recordCount() == 0;
    ReadScope scope(*file_);
    if (secIndex_ >= 0) {
        ensureOrder();
        const int i = orderBound(rangeStart_.data(), rangeFields_, false);
        return !(i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i)));
    }
    bool exact = false;
    Pos p = file_->lowerBound(rangeStart_.data(), rangeFields_, exact);
    return !(p.block < file_->blocks() && inRange(file_->record(p)));
}

}  // namespace korva::paradox
