#include "gui/modello_righe.h"

namespace korva::gui {

ModelloRighe::ModelloRighe(QStringList intestazioni, QObject* parent)
    : QAbstractTableModel(parent), intestazioni_(std::move(intestazioni))
{
}

void ModelloRighe::imposta(std::vector<QStringList> righe)
{
    if (righe == righe_)
        return;
    beginResetModel();
    righe_ = std::move(righe);
    endResetModel();
}

int ModelloRighe::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(righe_.size());
}

int ModelloRighe::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(intestazioni_.size());
}

QVariant ModelloRighe::data(const QModelIndex& indice, int ruolo) const
{
    if (ruolo != Qt::DisplayRole || !indice.isValid() || indice.row() >= rowCount())
        return {};
    const QStringList& riga = righe_[static_cast<size_t>(indice.row())];
    return indice.column() < riga.size() ? riga[indice.column()] : QString();
}

QVariant ModelloRighe::headerData(int sezione, Qt::Orientation orientamento, int ruolo) const
{
    if (ruolo != Qt::DisplayRole)
        return {};
    if (orientamento == Qt::Horizontal)
        return sezione < intestazioni_.size() ? intestazioni_[sezione] : QVariant();
    return {};
}

}  // namespace korva::gui
