// Changing records: insert, edit, post, cancel, delete; adding an index; batches and batch
// append.

#include "engines/paradox/table.h"

#include "base/errore.h"
#include "engines/paradox/table_file.h"
#include "engines/paradox/table_internal.h"

#include <algorithm>
#include <cstring>

namespace korva::paradox {

using detail::getInt;
using detail::putInt;
using detail::stepPrior;

// ---- editing --------------------------------------------------------------------------------------

void Table::blankBuffer()
{
    std::fill(buf_.begin(), buf_.end(), 0);
    pendingBlobs_.clear();
}

void Table::append()
{
    insert();
}

void Table::insert()
{
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        post();
    if (state_ == DataSetState::SetKey)
        state_ = DataSetState::Browse;
    blankBuffer();
    state_ = DataSetState::Insert;
}

void Table::edit()
{
    requireActive();
    if (state_ == DataSetState::Edit || state_ == DataSetState::Insert)
        return;
    if (!hasRecord_)
        throw Error("La tabella " + displayName() + " non ha un record da modificare");
    ReadScope scope(*file_);
    relocate();
    if (!hasRecord_)
        throw Error("Il record da modificare non è più presente nella tabella " + displayName());
    state_ = DataSetState::Edit;
}

void Table::cancel()
{
    requireActive();
    if (state_ == DataSetState::SetKey) {
        state_ = keyReturn_;
        return;
    }
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        return;
    state_ = DataSetState::Browse;
    buf_ = orig_;
    pendingBlobs_.clear();
    notify();
}

void Table::post()
{
    requireActive();
    if (state_ == DataSetState::SetKey)
        throw Error("La tabella " + displayName() + " è in modalità chiave: nessun record da confermare");
    if (state_ != DataSetState::Edit && state_ != DataSetState::Insert)
        return;
    TableFile& f = *file_;
    for (std::size_t i = 0; i < f.fields().size(); ++i) {
        const FieldInfo& fi = f.fields()[i];
        if (fi.def.required && fi.def.type != FieldType::AutoInc &&
            Field(*this, static_cast<int>(i)).isNull())
            throw Error("Il campo " + fi.def.name + " della tabella " + displayName() +
                        " è obbligatorio");
    }
    const bool inserting = state_ == DataSetState::Insert;
    f.beginChange();
    Pos at{};
    try {
        if (!inserting) {
            int b = 0, r = 0;
            gen_ = ~0ull;  // always look the record up again under the write lock
            if (!findCurrent(b, r))
                throw Error("Il record è stato modificato o eliminato da un altro utente nella "
                            "tabella " + displayName());
            if (std::memcmp(f.record({b, r}), orig_.data(), orig_.size()) != 0)
                throw Error("Il record è stato modificato da un altro utente nella tabella " +
                            displayName());
            block_ = b;
            rec_ = r;
        }
        f.checkInsert(buf_.data(), inserting ? nullptr : orig_.data());
    } catch (...) {
        f.commitChange();  // nothing was changed: just release
        throw;
    }
    try {
        for (std::size_t i = 0; i < f.fields().size(); ++i) {
            const FieldInfo& fi = f.fields()[i];
            if (fi.def.type == FieldType::AutoInc) {
                std::uint8_t* p = buf_.data() + fi.offset;
                if (allZero(p, 4))
                    putInt(p, f.nextAutoInc(), 4);
                else
                    f.noteAutoInc(static_cast<std::uint32_t>(getInt(p, 4)));
            }
        }
        for (const auto& [i, value] : pendingBlobs_) {
            if (!inserting)
                f.freeBlob(orig_.data(), i);
            f.writeBlob(buf_.data(), i, value);
        }
        at = inserting ? f.insert(buf_.data()) : f.update({block_, rec_}, buf_.data());
        f.commitChange();
    } catch (...) {
        f.abortChange();
        throw;
    }
    state_ = DataSetState::Browse;
    hasRecord_ = true;
    block_ = at.block;
    rec_ = at.rec;
    loadCurrent();
    if (secIndex_ >= 0) {
        orderValid_ = false;
        ReadScope scope(f);
        relocate();
    }
    bof_ = eof_ = false;
    notify();
}

void Table::deleteRecord()
{
    requireActive();
    if (state_ == DataSetState::Insert) {
        cancel();
        return;
    }
    if (state_ == DataSetState::Edit)
        cancel();
    if (!hasRecord_)
        throw Error("La tabella " + displayName() + " non ha un record da eliminare");
    TableFile& f = *file_;
    f.beginChange();
    Pos next{};
    try {
        int b = 0, r = 0;
        if (!findCurrent(b, r) || std::memcmp(f.record({b, r}), orig_.data(), orig_.size()) != 0)
            throw Error("Il record da eliminare è stato modificato o eliminato da un altro utente "
                        "nella tabella " + displayName());
        for (std::size_t i = 0; i < f.fields().size(); ++i)
            if (isBlob(f.fields()[i].def.type))
                f.freeBlob(orig_.data(), static_cast<int>(i));
        next = f.erase({b, r});
        f.commitChange();
    } catch (...) {
        f.abortChange();
        throw;
    }
    ReadScope scope(f);
    if (secIndex_ >= 0) {
        // The record after the deleted one in the index's order.
        orderValid_ = false;
        buildOrder();
        const int n = indexFieldCount();
        int i = orderBound(orig_.data(), n, false);
        while (i < static_cast<int>(orderRecs_.size()) && compareKey(orderRec(i), orig_.data(), n) == 0 &&
               file_->compareKeys(orderRec(i), orig_.data(), file_->keyFields()) < 0)
            ++i;
        if (i < static_cast<int>(orderRecs_.size()) && inRange(orderRec(i))) {
            setOrderPos(i);
            bof_ = eof_ = false;
        } else if (i > 0 && inRange(orderRec(i - 1))) {
            setOrderPos(i - 1);
            eof_ = true;
            bof_ = false;
        } else {
            setPos(false, 0, 0);
            bof_ = eof_ = true;
        }
        notify();
        return;
    }
    int b = next.block, r = next.rec;
    if (b < f.blocks() && r < f.countIn(b) && inRange(f.record({b, r}))) {
        setPos(true, b, r);
        bof_ = eof_ = false;
    } else if (stepPrior(f, b, r) && inRange(f.record({b, r}))) {
        setPos(true, b, r);
        eof_ = true;
        bof_ = false;
    } else {
        setPos(false, 0, 0);
        bof_ = eof_ = true;
    }
    notify();
}

void Table::addIndex(const std::string& name, const std::string& fields, unsigned options)
{
    requireBrowse("aggiungere un indice");
    file_->addIndex({name, fields, options});
    // Reopened on the new set of files.
    const std::string current = indexName_;
    close();
    open();
    if (!current.empty())
        setIndexName(current);
}

void Table::batchAppend(Table& source)
{
    requireBrowse("aggiungere i record");
    source.requireBrowse("leggere i record");
    const int n = std::min(fieldCount(), source.fieldCount());
    long numero = 0;
    beginBatch();
    try {
        for (source.first(); !source.eof(); source.next()) {
            ++numero;
            try {
                append();
                for (int i = 0; i < n; ++i) {
                    Field from = source.field(i), to = field(i);
                    if (from.isNull())
                        continue;
                    if (isBlob(to.type()) && from.type() == to.type())
                        to.setBytes(from.asBytes());
                    else
                        to.setString(from.asString());
                }
                post();
            } catch (const Error& e) {
                cancel();
                throw Error("Record " + std::to_string(numero) + " della tabella " + source.displayName() +
                            ": " + e.what());
            }
        }
    } catch (...) {
        endBatch();  // the records appended before stay
        throw;
    }
    endBatch();
}

void Table::beginBatch()
{
    requireActive();
    file_->beginBatch();
}

void Table::endBatch()
{
    requireActive();
    file_->endBatch(true);
}

void Table::cancelBatch()
{
    requireActive();
    if (state_ == DataSetState::Insert || state_ == DataSetState::Edit)
        cancel();
    file_->endBatch(false);
}

}  // namespace korva::paradox
