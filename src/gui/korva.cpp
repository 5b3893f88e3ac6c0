#include "gui/korva.h"

#include "checks/esistenza_conteggio.h"
#include "checks/rigenerazione_indici.h"
#include "checks/stampa_tabella.h"
#include "checks/verifica_tracciato.h"
#include "gui/aggiungi_tabella.h"
#include "gui/anteprima.h"
#include "gui/guardia.h"
#include "gui/listalck.h"
#include "gui/modello_righe.h"
#include "maintenance/backup.h"
#include "maintenance/compattazione.h"
#include "maintenance/integrita.h"
#include "maintenance/rigenerazione.h"

#include <QApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace korva::gui {

namespace {

constexpr const char* kInCorso = "ELABORAZIONE IN CORSO....";
constexpr const char* kTerminata = "ELABORAZIONE TERMINATA!";

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

QTableView* griglia(QWidget* parent, const char* nome, ModelloRighe* modello)
{
    auto* g = new QTableView(parent);
    g->setObjectName(QString::fromLatin1(nome));
    g->setModel(modello);
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->verticalHeader()->setDefaultSectionSize(g->fontMetrics().height() + 4);
    g->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    g->verticalHeader()->setFixedWidth(12);
    return g;
}

QLineEdit* campoSolaLettura(QWidget* parent, const char* nome)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(nome));
    e->setReadOnly(true);
    return e;
}

}  // namespace

EtichettaElaborazione::EtichettaElaborazione(QWidget* parent) : QLabel(parent)
{
    setMouseTracking(true);
}

void EtichettaElaborazione::mouseMoveEvent(QMouseEvent* e)
{
    if (text() == QLatin1String(kTerminata))
        hide();
    QLabel::mouseMoveEvent(e);
}

// The port the window's commands talk through: the program's own boxes, and the busy caption
// of this window.
class TKorvaForm::PortaFinestra : public korva::Interazione {
public:
    PortaFinestra(korva::Interazione& base, QLabel* etichetta, QProgressBar* barra)
        : base_(base), etichetta_(etichetta), barra_(barra)
    {
    }

    void messaggio(const std::string& testo) override { base_.messaggio(testo); }
    void messaggioConDettagli(const std::string& testo, const std::vector<std::string>& dettagli) override
    {
        base_.messaggioConDettagli(testo, dettagli);
    }
    void rapporto(const std::string& titolo, const std::vector<std::string>& righe) override
    {
        base_.rapporto(titolo, righe);
    }
    Risposta domanda(const std::string& testo) override { return base_.domanda(testo); }
    Risposta conferma(const std::string& testo) override { return base_.conferma(testo); }
    void errore(const std::string& testo) override { base_.errore(testo); }
    void progresso(const std::string& fase, std::int64_t fatto, std::int64_t totale) override
    {
        base_.progresso(fase, fatto, totale);
        if (totale <= 0)
            return;
        barra_->setFormat(QString::fromStdString(fase) + QStringLiteral(": %p%"));
        barra_->setValue(static_cast<int>(fatto * 100 / totale));
        barra_->setVisible(true);
        barra_->repaint();
    }
    void elaboraEventi() override { base_.elaboraEventi(); }

    // Shown at once, before the long work starts.
    void inizioElaborazione() override
    {
        etichetta_->setText(QString::fromLatin1(kInCorso));
        etichetta_->setVisible(true);
        etichetta_->repaint();
    }
    void fineElaborazione() override
    {
        etichetta_->setText(QString::fromLatin1(kTerminata));
        etichetta_->repaint();
        barra_->hide();
    }

private:
    korva::Interazione& base_;
    QLabel* etichetta_;
    QProgressBar* barra_;
};

TKorvaForm::TKorvaForm(QWidget* owner, std::string tracciatiDir, std::unique_ptr<TTabForm>& tabForm,
                       Guardia& guardia)
    : QDialog(owner), tabForm_(tabForm), guardia_(guardia)
{
    setObjectName(QStringLiteral("KorvaForm"));
    creaControlli();
    resize(640, 480);
    if (QScreen* schermo = owner ? owner->screen() : QApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(schermo->availableGeometry().center());
        move(r.topLeft());
    }

    // Opening.
    TabSet1->setCurrentIndex(0);
    Notebook1->setCurrentIndex(0);
    setWindowTitle(QStringLiteral("Gestione Tabelle - Ditta: ") + q(tabForm_->NomeDitta));
    porta_ = std::make_unique<PortaFinestra>(guardia_.interazione(), LabelElaborazione, BarraProgresso);
    gestione_ = std::make_unique<GestioneTabelle>(*porta_, *tabForm_, std::move(tracciatiDir));
    gestione_->setOnCambioRiga([this] { pianificaAggiornamento(); });
    // The report engine, open while the window lives; each print makes a preview of its own.
    motore_ = std::make_unique<report::MotoreReport>(gestione_->sessione());
    motore_->setAnteprima([&guardia = guardia_](std::shared_ptr<const report::Documento> documento,
                                                const report::RichiestaFinestra& richiesta) {
        (new TAnteprimaForm(std::move(documento), richiesta, guardia))->show();
    });
    if (gestione_->modoInterbase())
        ButtonRigeneraIndici->setText(QStringLiteral("&6. Elimina tabella"));
    aggiorna();
}

TKorvaForm::~TKorvaForm()
{
    if (gestione_)
        gestione_->setOnCambioRiga({});
}

QPushButton* TKorvaForm::pulsante(const char* nome, const char* testo, void (TKorvaForm::*slot)())
{
    auto* b = new QPushButton(QString::fromUtf8(testo), this);
    b->setObjectName(QString::fromLatin1(nome));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
}

void TKorvaForm::creaControlli()
{
    // Top left: the two dictionary buttons, the current table, the navigator.
    ButtonAggiungiTabella = pulsante("ButtonAggiungiTabella", "&1. Aggiungi tabella",
                                     &TKorvaForm::ButtonAggiungiTabellaClick);
    ButtonRimuoviTabella = pulsante("ButtonRimuoviTabella", "&2. Rimuovi tabella ",
                                    &TKorvaForm::ButtonRimuoviTabellaClick);
    ButtonTabellaCorrente = new QPushButton(QStringLiteral("Tabella Corrente"), this);
    ButtonTabellaCorrente->setObjectName(QStringLiteral("ButtonTabellaCorrente"));
    ButtonTabellaCorrente->setAutoDefault(false);
    ButtonTabellaCorrente->setFocusPolicy(Qt::NoFocus);
    EditTabellaCorrente = campoSolaLettura(this, "EditTabellaCorrente");

    DBNavigator1 = new QWidget(this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    auto* nav = new QHBoxLayout(DBNavigator1);
    nav->setContentsMargins(0, 0, 0, 0);
    nav->setSpacing(0);
    auto navBtn = [&](const char* nome, QStyle::StandardPixmap icona, const char* suggerimento,
                      void (GestioneTabelle::*passo)()) {
        auto* b = new QToolButton(DBNavigator1);
        b->setObjectName(QString::fromLatin1(nome));
        b->setIcon(style()->standardIcon(icona));
        b->setToolTip(QString::fromUtf8(suggerimento));
        connect(b, &QToolButton::clicked, this, [this, passo] { comando([&] { (gestione_.get()->*passo)(); }); });
        nav->addWidget(b);
        return b;
    };
    NavPrimo = navBtn("NavPrimo", QStyle::SP_MediaSkipBackward, "Primo", &GestioneTabelle::primo);
    NavPrecedente = navBtn("NavPrecedente", QStyle::SP_MediaSeekBackward, "Precedente", &GestioneTabelle::precedente);
    NavSuccessivo = navBtn("NavSuccessivo", QStyle::SP_MediaSeekForward, "Successivo", &GestioneTabelle::successivo);
    NavUltimo = navBtn("NavUltimo", QStyle::SP_MediaSkipForward, "Ultimo", &GestioneTabelle::ultimo);

    righeTabelle_ = new ModelloRighe({QStringLiteral("Nome"), QStringLiteral("PathParziale")}, this);
    DBGrid1 = griglia(this, "DBGrid1", righeTabelle_);
    DBGrid1->horizontalHeader()->resizeSection(0, DBGrid1->fontMetrics().horizontalAdvance(QLatin1Char('n')) * 10);
    DBGrid1->horizontalHeader()->resizeSection(1, DBGrid1->fontMetrics().horizontalAdvance(QLatin1Char('n')) * 40);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& attuale) { DBGrid1RigaScelta(attuale.row()); });

    // Right: the table commands.
    ButtonTestEsistenza = pulsante("ButtonTestEsistenza", "&3. Test esistenza ", &TKorvaForm::ButtonTestEsistenzaClick);
    ButtonCreaTabella = pulsante("ButtonCreaTabella", "&4. Crea Tabella   ", &TKorvaForm::ButtonCreaTabellaClick);
    ButtonAzzera = pulsante("ButtonAzzera", "&5. Azzera         ", &TKorvaForm::ButtonAzzeraClick);
    ButtonRigeneraIndici = pulsante("ButtonRigeneraIndici", "&6. Rigenera Indici", &TKorvaForm::ButtonRigeneraIndiciClick);
    ButtonNumeroRecord = pulsante("ButtonNumeroRecord", "&7. Numero record  ", &TKorvaForm::ButtonNumeroRecordClick);
    ButtonStampaTabella = pulsante("ButtonStampaTabella", "&8. Stampa tabella ", &TKorvaForm::ButtonStampaTabellaClick);
    ButtonCreaTutto = pulsante("ButtonCreaTutto", "&Crea tutto", &TKorvaForm::ButtonCreaTuttoClick);
    ButtonRigeneraTutto = pulsante("ButtonRigeneraTutto", "Ri&g.tutti gli ind.", &TKorvaForm::ButtonRigeneraTuttoClick);
    ButtonChiudi = pulsante("ButtonChiudi", "Ch&iudi", &TKorvaForm::ButtonChiudiClick);
    // Progress of long work, shown only while it runs.
    BarraProgresso = new QProgressBar(this);
    BarraProgresso->setObjectName(QStringLiteral("BarraProgresso"));
    BarraProgresso->setRange(0, 100);
    BarraProgresso->hide();

    // Bottom: the notebook and its tabs.
    TabSet1 = new QTabBar(this);
    TabSet1->setObjectName(QStringLiteral("TabSet1"));
    for (const char* tab : {"Principale", "Campi", "Indici multipli", "Manutenzione"})
        TabSet1->addTab(QString::fromLatin1(tab));
    TabSet1->setDrawBase(false);
    Notebook1 = new QStackedWidget(this);
    Notebook1->setObjectName(QStringLiteral("Notebook1"));
    connect(TabSet1, &QTabBar::currentChanged, this, &TKorvaForm::TabSet1Click);

    auto* principale = new QWidget(Notebook1);
    principale->setObjectName(QStringLiteral("Principale"));
    auto* gruppo = new QGroupBox(QStringLiteral("DATI TABELLA CORRENTE:"), principale);
    gruppo->setObjectName(QStringLiteral("GroupBox1"));
    auto* dati = new QFormLayout(gruppo);
    DBEditNomeTabella = campoSolaLettura(gruppo, "DBEditNomeTabella");
    DBEditNumeroCampi = campoSolaLettura(gruppo, "DBEditNumeroCampi");
    DBEditCampiChiavePrimaria = campoSolaLettura(gruppo, "DBEditCampiChiavePrimaria");
    DBEditIndiciSecSingoli = campoSolaLettura(gruppo, "DBEditIndiciSecSingoli");
    DBEditIndiciSecComposti = campoSolaLettura(gruppo, "DBEditIndiciSecComposti");
    dati->addRow(QStringLiteral("Nome:"), DBEditNomeTabella);
    dati->addRow(QStringLiteral("Numero campi:"), DBEditNumeroCampi);
    dati->addRow(QStringLiteral("Campi chiave primaria:"), DBEditCampiChiavePrimaria);
    dati->addRow(QStringLiteral("Indici sec. singoli:"), DBEditIndiciSecSingoli);
    dati->addRow(QStringLiteral("Indici sec. composti:"), DBEditIndiciSecComposti);
    for (QLineEdit* e : {DBEditNomeTabella, DBEditNumeroCampi, DBEditCampiChiavePrimaria,
                         DBEditIndiciSecSingoli, DBEditIndiciSecComposti})
        e->setMaximumWidth(fontMetrics().horizontalAdvance(QLatin1Char('n')) * 14);
    dati->setVerticalSpacing(2);
    auto* lp = new QHBoxLayout(principale);
    lp->addWidget(gruppo);
    lp->addStretch(1);

    righeCampi_ = new ModelloRighe({QStringLiteral("NomeTabella"), QStringLiteral("NumeroCampo"),
                                    QStringLiteral("NomeCampo"), QStringLiteral("TipoELunghezza"),
                                    QStringLiteral("Chiave"), QStringLiteral("IndiceSecSingolo"),
                                    QStringLiteral("TipoIndiceSecSingolo")},
                                   this);
    DBGridCampi = griglia(Notebook1, "DBGridCampi", righeCampi_);
    righeIndicic_ = new ModelloRighe({QStringLiteral("NomeTabella"), QStringLiteral("NomeIndiceSecComp"),
                                      QStringLiteral("NumeroCampo"), QStringLiteral("EstensioneIndiceSecComp"),
                                      QStringLiteral("TipoIndiceSecComp")},
                                     this);
    DBGridIndicic = griglia(Notebook1, "DBGridIndicic", righeIndicic_);
    for (QTableView* dettaglio : {DBGridCampi, DBGridIndicic})
        dettaglio->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* manutenzione = new QWidget(Notebook1);
    manutenzione->setObjectName(QStringLiteral("Manutenzione"));
    ButtonRicercaLCK = pulsante("ButtonRicercaLCK", "Ricerca file .lck", &TKorvaForm::ButtonRicercaLCKClick);
    ButtonVerTabCorr = pulsante("ButtonVerTabCorr", "Ver. tracc. tab. corrente", &TKorvaForm::ButtonVerTabCorrClick);
    ButtonVerTutteTab = pulsante("ButtonVerTutteTab", "Ver. tracc. tutte tab.   ", &TKorvaForm::ButtonVerTutteTabClick);
    ButtonBakTabCorr = pulsante("ButtonBakTabCorr", "Backup della tab. corr.  ", &TKorvaForm::ButtonBakTabCorrClick);
    ButtonBakUptutteTab = pulsante("ButtonBakUptutteTab", "Backup di tutte le tab.  ", &TKorvaForm::ButtonBakUptutteTabClick);
    ButtonVerIntTabCorr = pulsante("ButtonVerIntTabCorr", "Ver. integrità tab. corr.", &TKorvaForm::ButtonVerIntTabCorrClick);
    ButtonVerIntTutteTab = pulsante("ButtonVerIntTutteTab", "Ver. integrità tutte tab.", &TKorvaForm::ButtonVerIntTutteTabClick);
    ButtonRigIndTabCorr = pulsante("ButtonRigIndTabCorr", "Rigenera indici Tab.corr.", &TKorvaForm::ButtonRigIndTabCorrClick);
    ButtonRigIndTutteTab = pulsante("ButtonRigIndTutteTab", "Rigenera indici tutte tab.", &TKorvaForm::ButtonRigIndTutteTabClick);
    ButtonPackTabCorr = pulsante("ButtonPackTabCorr", "Compatta tabella corrente", &TKorvaForm::ButtonPackTabCorrClick);
    ButtonVerIndTutteTab = pulsante("ButtonVerIndTutteTab", "Compatta tutte le tabelle", &TKorvaForm::ButtonVerIndTutteTabClick);
    ButtonRiparaTabCorrente = pulsante("ButtonRiparaTabCorrente", "Ripara tabella corrente  ", &TKorvaForm::ButtonRiparaTabCorrenteClick);
    ButtonRigeneraTabCorrente = pulsante("ButtonRigeneraTabCorrente", "Rigenera tabella corrente", &TKorvaForm::ButtonRigeneraTabCorrenteClick);
    LabelElaborazione = new EtichettaElaborazione(manutenzione);
    LabelElaborazione->setObjectName(QStringLiteral("LabelElaborazione"));
    QFont grassetto = LabelElaborazione->font();
    grassetto.setBold(true);
    LabelElaborazione->setFont(grassetto);
    LabelElaborazione->setStyleSheet(QStringLiteral("color: #a00000;"));
    LabelElaborazione->setAlignment(Qt::AlignCenter);
    LabelElaborazione->hide();
    auto* lm = new QGridLayout(manutenzione);
    lm->setVerticalSpacing(1);
    lm->setContentsMargins(6, 4, 6, 4);
    lm->addWidget(ButtonRicercaLCK, 0, 0);
    const std::pair<QPushButton*, QPushButton*> coppie[] = {
        {ButtonVerTabCorr, ButtonVerTutteTab},       {ButtonBakTabCorr, ButtonBakUptutteTab},
        {ButtonVerIntTabCorr, ButtonVerIntTutteTab}, {ButtonRigIndTabCorr, ButtonRigIndTutteTab},
        {ButtonPackTabCorr, ButtonVerIndTutteTab}};
    int riga = 1;
    for (const auto& [sinistra, destra] : coppie) {
        lm->addWidget(sinistra, riga, 0);
        lm->addWidget(destra, riga, 1);
        ++riga;
    }
    lm->addWidget(ButtonRiparaTabCorrente, riga, 0);
    lm->addWidget(LabelElaborazione, riga, 1, 2, 1);
    lm->addWidget(ButtonRigeneraTabCorrente, riga + 1, 0);
    lm->setColumnStretch(2, 1);

    Notebook1->addWidget(principale);
    Notebook1->addWidget(DBGridCampi);
    Notebook1->addWidget(DBGridIndicic);
    Notebook1->addWidget(manutenzione);

    // Buttons stay compact so that the window keeps its size.
    for (QPushButton* b : findChildren<QPushButton*>()) {
        b->setFixedHeight(fontMetrics().height() + 8);
        b->setStyleSheet(QStringLiteral("text-align: left; padding-left: 6px; padding-right: 6px;"));
    }

    auto* alto = new QHBoxLayout;
    alto->addWidget(ButtonAggiungiTabella);
    alto->addWidget(ButtonRimuoviTabella);
    auto* corrente = new QVBoxLayout;
    corrente->setSpacing(0);
    corrente->addWidget(ButtonTabellaCorrente);
    corrente->addWidget(EditTabellaCorrente);
    alto->addLayout(corrente);
    alto->addWidget(DBNavigator1, 0, Qt::AlignBottom);
    alto->addStretch(1);
    auto* sinistra = new QVBoxLayout;
    sinistra->addLayout(alto);
    sinistra->addWidget(DBGrid1, 1);
    auto* comandi = new QVBoxLayout;
    comandi->setSpacing(2);
    for (QPushButton* b : {ButtonTestEsistenza, ButtonCreaTabella, ButtonAzzera, ButtonRigeneraIndici,
                           ButtonNumeroRecord, ButtonStampaTabella, ButtonCreaTutto, ButtonRigeneraTutto,
                           ButtonChiudi})
        comandi->addWidget(b);
    comandi->addStretch(1);
    comandi->addWidget(BarraProgresso);
    auto* mezzo = new QHBoxLayout;
    mezzo->addLayout(sinistra, 1);
    mezzo->addLayout(comandi);
    auto* tutto = new QVBoxLayout(this);
    tutto->setContentsMargins(6, 6, 6, 6);
    tutto->setSpacing(4);
    tutto->addLayout(mezzo, 1);
    tutto->addWidget(TabSet1);
    tutto->addWidget(Notebook1);
    Notebook1->setFixedHeight((fontMetrics().height() + 9) * 8 + 10);
}

template <class F>
void TKorvaForm::comando(F&& lavoro)
{
    comandi_([&] { std::forward<F>(lavoro)(); });
    pianificaAggiornamento();
}

void TKorvaForm::done(int esito)
{
    if (!comandi_.rinviaChiusura(esito))
        QDialog::done(esito);
}

void TKorvaForm::pianificaAggiornamento()
{
    // The views are read once the running command has returned, not in the middle of it.
    if (aggiornamentoPianificato_)
        return;
    aggiornamentoPianificato_ = true;
    QMetaObject::invokeMethod(this, &TKorvaForm::aggiorna, Qt::QueuedConnection);
}

void TKorvaForm::aggiorna()
{
    aggiornamentoPianificato_ = false;
    // A running command waiting for events shows the dictionary when it has ended.
    if (!gestione_ || comandi_.inCorso())
        return;
    guardia_([&] {
        GestioneTabelle& g = *gestione_;
        std::vector<QStringList> tabelle;
        for (const DefTabella& r : g.elencoTabelle())
            tabelle.push_back({q(r.NomeTabella), q(r.PathParziale)});
        righeTabelle_->imposta(std::move(tabelle));

        const auto riga = g.rigaCorrente();
        const QString nome = riga ? q(riga->NomeTabella) : QString();
        EditTabellaCorrente->setText(nome);
        DBEditNomeTabella->setText(nome);
        auto numero = [&](int v) { return riga ? QString::number(v) : QString(); };
        DBEditNumeroCampi->setText(numero(riga ? riga->NumeroCampi : 0));
        DBEditCampiChiavePrimaria->setText(numero(riga ? riga->CampiChiavePrimaria : 0));
        DBEditIndiciSecSingoli->setText(numero(riga ? riga->IndiciSecSingoli : 0));
        DBEditIndiciSecComposti->setText(numero(riga ? riga->IndiciSecComposti : 0));

        std::vector<QStringList> campi;
        for (const DefCampo& c : g.campiCorrenti())
            campi.push_back({q(c.NomeTabella), QString::number(c.NumeroCampo), q(c.NomeCampo),
                             q(c.TipoELunghezza), QString::number(c.Chiave),
                             QString::number(c.IndiceSecSingolo), QString::number(c.TipoIndiceSecSingolo)});
        righeCampi_->imposta(std::move(campi));
        std::vector<QStringList> indici;
        for (const DefIndiceComposto& i : g.indiciCorrenti())
            indici.push_back({q(i.NomeTabella), q(i.NomeIndiceSecComp), QString::number(i.NumeroCampo),
                              q(i.EstensioneIndiceSecComp), QString::number(i.TipoIndiceSecComp)});
        righeIndicic_->imposta(std::move(indici));

        // The grid's current row is the dictionary's.
        int corrente = -1;
        const auto& righe = righeTabelle_->righe();
        for (size_t i = 0; riga && i < righe.size(); ++i)
            if (righe[i][0] == nome)
                corrente = static_cast<int>(i);
        allineando_ = true;
        if (corrente >= 0) {
            DBGrid1->selectionModel()->setCurrentIndex(
                righeTabelle_->index(corrente, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            DBGrid1->scrollTo(righeTabelle_->index(corrente, 0));
        } else {
            DBGrid1->selectionModel()->clear();
        }
        allineando_ = false;
    });
}

void TKorvaForm::DBGrid1RigaScelta(int riga)
{
    if (allineando_ || riga < 0 || riga >= righeTabelle_->rowCount())
        return;
    const std::string nome = righeTabelle_->righe()[static_cast<size_t>(riga)][0].toStdString();
    comando([&] { gestione_->vaiA(nome); });
}

void TKorvaForm::TabSet1Click(int indice)
{
    Notebook1->setCurrentIndex(indice);
}

void TKorvaForm::ButtonRimuoviTabellaClick()
{
    comando([&] { gestione_->RimuoviTabella(); });
}

void TKorvaForm::ButtonCreaTabellaClick()
{
    comando([&] { gestione_->CreaTabella(); });
}

void TKorvaForm::ButtonCreaTuttoClick()
{
    comando([&] { gestione_->CreaTutto(); });
}

void TKorvaForm::ButtonTestEsistenzaClick()
{
    comando([&] { TestEsistenza(*gestione_); });
}

void TKorvaForm::ButtonAzzeraClick()
{
    comando([&] { Azzera(*gestione_); });
}

void TKorvaForm::ButtonNumeroRecordClick()
{
    comando([&] { NumeroRecord(*gestione_); });
}

void TKorvaForm::ButtonRigeneraIndiciClick()
{
    comando([&] { RigeneraIndiciOElimina(*gestione_); });
}

void TKorvaForm::ButtonRigeneraTuttoClick()
{
    comando([&] { RigeneraTutto(*gestione_); });
}

// The page's two index buttons run the rebuild of "&6. Rigenera Indici" and "Ri&g.tutti gli
// ind.": they are where users look for it.
void TKorvaForm::ButtonRigIndTabCorrClick()
{
    comando([&] { RigeneraIndici(*gestione_); });
}

void TKorvaForm::ButtonRigIndTutteTabClick()
{
    comando([&] { RigeneraTutto(*gestione_); });
}

void TKorvaForm::ButtonStampaTabellaClick()
{
    comando([&] { StampaTabella(*gestione_, *motore_); });
}

void TKorvaForm::ButtonVerTabCorrClick()
{
    comando([&] { VerificaTracciato(*gestione_); });
}

void TKorvaForm::ButtonVerTutteTabClick()
{
    comando([&] { VerificaTuttiTracciati(*gestione_); });
}

void TKorvaForm::ButtonChiudiClick()
{
    accept();
}

void TKorvaForm::ButtonAggiungiTabellaClick()
{
    comando([&] {
        if (gestione_->modoInterbase())
            AggiungiTabellaIb(this, *gestione_, *tabForm_, guardia_);
        else
            AggiungiTabellaParadox(this, *gestione_, *tabForm_, guardia_);
    });
}

void TKorvaForm::ButtonRicercaLCKClick()
{
    comando([&] {
        auto voci = RicercaFileLck(*gestione_);
        if (voci.empty())
            return;
        TListaLckForm lista(this, tabForm_->NomeDitta, ListaLck(*porta_, std::move(voci)), guardia_);
        guardia_.modale(lista);
    });
}

void TKorvaForm::ButtonBakTabCorrClick()
{
    comando([&] { BackupTabCorrente(*gestione_); });
}

void TKorvaForm::ButtonBakUptutteTabClick()
{
    comando([&] { BackupTutteLeTabelle(*gestione_); });
}

void TKorvaForm::ButtonPackTabCorrClick()
{
    comando([&] { CompattaTabCorrente(*gestione_); });
}

void TKorvaForm::ButtonVerIndTutteTabClick()
{
    comando([&] { CompattaTutteLeTabelle(*gestione_); });
}

void TKorvaForm::ButtonRigeneraTabCorrenteClick()
{
    comando([&] { RigeneraTabCorrente(*gestione_); });
}

void TKorvaForm::ButtonVerIntTabCorrClick()
{
    comando([&] { VerificaIntegritaTabCorrente(*gestione_); });
}

void TKorvaForm::ButtonVerIntTutteTabClick()
{
    comando([&] { VerificaIntegritaTutteLeTabelle(*gestione_); });
}

void TKorvaForm::ButtonRiparaTabCorrenteClick()
{
    comando([&] { RiparaTabCorrente(*gestione_); });
}

}  // namespace korva::gui
