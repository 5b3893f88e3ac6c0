#include "gui/scelta_directory.h"

#include "base/percorsi.h"
#include "gui/guardia.h"
#include "gui/pulsanti.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

namespace korva::gui {
namespace {

constexpr int kPercorso = Qt::UserRole;

}  // namespace

QString directoryDaMostrare(const std::string& campo)
{
    const QString corrente = QDir::currentPath();
    if (campo.empty())
        return corrente;
    // The nearest existing directory, each component matched without regard to case.
    QString percorso = QDir::cleanPath(QDir::current().absoluteFilePath(
        QString::fromStdString(percorsoFs(campo))));
    for (;;) {
        if (auto risolto = risolviPercorso(percorso.toStdString());
            risolto && esisteDirectory(*risolto))
            return QDir::cleanPath(QString::fromStdString(*risolto));
        const QString su = QFileInfo(percorso).path();
        if (su == percorso)
            return corrente;
        percorso = su;
    }
}

ListaDirectory::ListaDirectory(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    // Entries open with a click, never by expanding: no branch arrows.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* v) { apri(v); });
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* v) { apri(v); });
}

void ListaDirectory::apri(QTreeWidgetItem* voce)
{
    if (!voce)
        return;
    const QString percorso = voce->data(0, kPercorso).toString();
    if (percorso != directory_)
        setDirectory(percorso);
    else
        emit cambiata();
}

void ListaDirectory::setDirectory(const QString& directory)
{
    directory_ = directoryDaMostrare(directory.toStdString());
    clear();

    const QIcon aperta = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon chiusa = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // From the drive's root down to the directory, one level inside the other.
    const QString radice = SceltaUnita::unitaDi(directory_);
    auto* voce = new QTreeWidgetItem(this, QStringList(radice));
    voce->setData(0, kPercorso, radice);
    voce->setIcon(0, aperta);
    QString percorso = radice;
    const QString resto = directory_.mid(radice.size());
    for (const QString& parte : resto.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        percorso = QDir(percorso).filePath(parte);
        voce = new QTreeWidgetItem(voce, QStringList(parte));
        voce->setData(0, kPercorso, percorso);
        voce->setIcon(0, aperta);
    }
    QTreeWidgetItem* attuale = voce;

    const QStringList figli =
        QDir(directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& nome : figli) {
        auto* figlio = new QTreeWidgetItem(attuale, QStringList(nome));
        figlio->setData(0, kPercorso, QDir(directory_).filePath(nome));
        figlio->setIcon(0, chiusa);
    }
    expandAll();
    setCurrentItem(attuale);
    scrollToItem(attuale);
    emit cambiata();
}

SceltaUnita::SceltaUnita(QWidget* parent) : QComboBox(parent)
{
    QStringList unita;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            unita << volume.rootPath();
    unita.sort();
    unita.removeDuplicates();
    addItems(unita);
}

QString SceltaUnita::unita() const
{
    return currentText();
}

void SceltaUnita::setUnita(const QString& unita)
{
    int i = findText(unita);
    if (i < 0) {
        addItem(unita);
        i = count() - 1;
    }
    setCurrentIndex(i);
}

QString SceltaUnita::unitaDi(const QString& percorso)
{
    QStorageInfo volume(percorso);
    return volume.isValid() ? volume.rootPath() : QStringLiteral("/");
}

SceltaDirectoryForm::SceltaDirectoryForm(QWidget* owner, Guardia& guardia, const QString& titolo)
    : QDialog(owner), guardia_(guardia)
{
    setWindowTitle(titolo);
    QFont grassetto = font();
    grassetto.setBold(true);
    setFont(grassetto);

    Label2 = new QLabel(QStringLiteral("Percorso:"), this);
    Label1 = new QLabel(QStringLiteral("..."), this);
    Label1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Label3 = new QLabel(QStringLiteral("&Directory:"), this);
    DirectoryListBox1 = new ListaDirectory(this);
    Label3->setBuddy(DirectoryListBox1);
    Label4 = new QLabel(QStringLiteral("&Unità disco:"), this);
    DriveComboBox1 = new SceltaUnita(this);
    Label4->setBuddy(DriveComboBox1);
    OKBtn = creaOKBtn(this);
    CancelBtn = creaCancelBtn(this);

    auto* griglia = new QGridLayout(this);
    auto* percorso = new QHBoxLayout;
    percorso->addWidget(Label2);
    percorso->addWidget(Label1, 1);
    griglia->addLayout(percorso, 0, 0, 1, 2);
    griglia->addWidget(Label3, 1, 0);
    griglia->addWidget(DirectoryListBox1, 2, 0);
    griglia->addWidget(Label4, 3, 0);
    griglia->addWidget(DriveComboBox1, 4, 0);
    auto* pulsanti = new QVBoxLayout;
    pulsanti->addWidget(OKBtn);
    pulsanti->addWidget(CancelBtn);
    pulsanti->addStretch();
    griglia->addLayout(pulsanti, 2, 1, 3, 1);
    griglia->setColumnStretch(0, 1);
    griglia->setRowStretch(2, 1);
    setFixedSize(412, 284);

    connect(OKBtn, &QPushButton::clicked, this, &SceltaDirectoryForm::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &SceltaDirectoryForm::CancelBtnClick);
    connect(DirectoryListBox1, &ListaDirectory::cambiata, this,
            &SceltaDirectoryForm::DirectoryListBox1Change);
    connect(DriveComboBox1, &QComboBox::activated, this, &SceltaDirectoryForm::DriveComboBox1Change);
    OKBtn->setFocus();
}

void SceltaDirectoryForm::apriSu(const std::string& campo)
{
    const QString directory = directoryDaMostrare(campo);
    DriveComboBox1->setUnita(SceltaUnita::unitaDi(directory));
    DirectoryListBox1->setDirectory(directory);
    DriveComboBox1->setUnita(SceltaUnita::unitaDi(DirectoryListBox1->directory()));
    Label1->setText(DirectoryListBox1->directory());
}

void SceltaDirectoryForm::OKBtnClick()
{
    guardia_([&] {
        Esito = 1;
        accept();
    });
}

void SceltaDirectoryForm::CancelBtnClick()
{
    guardia_([&] {
        Esito = 2;
        reject();
    });
}

void SceltaDirectoryForm::DirectoryListBox1Change()
{
    guardia_([&] {
        const QString& directory = DirectoryListBox1->directory();
        Label1->setText(directory);
        Label1->setToolTip(directory);
        correntePerUnita_[SceltaUnita::unitaDi(directory)] = directory;
        DriveComboBox1->setUnita(SceltaUnita::unitaDi(directory));
    });
}

void SceltaDirectoryForm::DriveComboBox1Change()
{
    guardia_([&] {
        const QString unita = DriveComboBox1->unita();
        DirectoryListBox1->setDirectory(correntePerUnita_.value(unita, unita));
    });
}

}  // namespace korva::gui
