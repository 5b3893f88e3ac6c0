#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

namespace korva::gui {

// The rows a read-only grid shows: column titles and a text per cell.
class ModelloRighe : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ModelloRighe(QStringList intestazioni, QObject* parent = nullptr);

    void imposta(std::vector<QStringList> righe);
    const std::vector<QStringList>& righe() const { return righe_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& indice, int ruolo = Qt::DisplayRole) const override;
    QVariant headerData(int sezione, Qt::Orientation orientamento, int ruolo = Qt::DisplayRole) const override;

private:
    QStringList intestazioni_;
    std::vector<QStringList> righe_;
};

}  // namespace korva::gui
