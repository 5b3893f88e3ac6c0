#pragma once

#include <QComboBox>
#include <QDialog>
#include <QHash>
#include <QTreeWidget>

#include <string>

class QLabel;
class QPushButton;

namespace korva::gui {

class Guardia;

// The directory list of the choosers: the path from the drive's root down to the current
// directory (open folders), then the current directory's subfolders. A click or Enter on an
// entry makes it the current directory.
class ListaDirectory : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListaDirectory(QWidget* parent = nullptr);

    const QString& directory() const { return directory_; }
    // Shows the directory; one that does not exist shows its nearest existing ancestor.
    void setDirectory(const QString& directory);

signals:
    void cambiata();

private:
    void apri(QTreeWidgetItem* voce);

    QString directory_;
};

// The drive chooser: on this platform the mount points of the machine.
class SceltaUnita : public QComboBox {
    Q_OBJECT
public:
    explicit SceltaUnita(QWidget* parent = nullptr);

    QString unita() const;
    // Selects the drive (a mount point), adding it when the list did not have it.
    void setUnita(const QString& unita);
    // The mount point that holds an existing path.
    static QString unitaDi(const QString& percorso);
};

// What the two directory choosers share: layout, handlers and result.
class SceltaDirectoryForm : public QDialog {
    Q_OBJECT
public:
    SceltaDirectoryForm(QWidget* owner, Guardia& guardia, const QString& titolo);

    // 1 when confirmed with OK, 2 otherwise (also when closed by the close box).
    qint16 Esito = 2;

    QLabel* Label1;  // the directory selected
    QLabel* Label2;  // "Percorso:"
    QLabel* Label3;  // "&Directory:"
    QLabel* Label4;  // "&Unità disco:"
    ListaDirectory* DirectoryListBox1;
    SceltaUnita* DriveComboBox1;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

    // Opens on a field's value: its drive, its directory (the nearest existing one), and
    // the current directory of the process when the field is empty or names nothing usable.
    void apriSu(const std::string& campo);

public slots:
    void OKBtnClick();
    void CancelBtnClick();
    void DirectoryListBox1Change();
    void DriveComboBox1Change();

private:
    Guardia& guardia_;
    // The last directory shown on each drive, where the list goes back when the drive is
    // chosen again.
    QHash<QString, QString> correntePerUnita_;
};

// The directory, absolute and without "." or "..", that the chooser shows for a field's value.
QString directoryDaMostrare(const std::string& campo);

}  // namespace korva::gui
