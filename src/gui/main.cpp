#include "gui/basemain.h"
#include "gui/traduzioni.h"
#include "shell/tabform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

void nomiProgramma()
{
    // The program's title: task bar, and caption of the general error display. Qt adds a
    // display name to every window caption, so only the application name is set.
    QCoreApplication::setApplicationName(QString::fromUtf8(korva::kTitoloApplicazione));
    QCoreApplication::setApplicationVersion(QStringLiteral(KORVA_VERSIONE));
}

struct Opzioni {
    std::optional<QString> ini;
    std::optional<QString> dir;
};

// The options of the program; --help and --version answer here and end the process.
Opzioni leggiOpzioni(QCoreApplication& applicazione)
{
    QCommandLineParser opzioni;
    opzioni.setApplicationDescription(QStringLiteral(
        "KORVAWIN: amministrazione delle tabelle archivi (Paradox e archivio Interbase).\n"
        "Apre la finestra principale sulla ditta indicata da ditta.cfg."));
    QCommandLineOption aiuto({QStringLiteral("h"), QStringLiteral("help")},
                             QStringLiteral("Mostra questo aiuto ed esce"));
    opzioni.addOption(aiuto);
    opzioni.addVersionOption();
    QCommandLineOption ini(QStringLiteral("ini"),
                           QStringLiteral("File delle impostazioni (predefinito: varnelo.ini nella "
                                          "cartella di configurazione dell'utente)"),
                           QStringLiteral("FILE"));
    QCommandLineOption dir(QStringLiteral("dir"),
                           QStringLiteral("Directory di avvio (predefinita: quella corrente)"),
                           QStringLiteral("DIR"));
    opzioni.addOption(ini);
    opzioni.addOption(dir);
    opzioni.process(applicazione);
    if (opzioni.isSet(aiuto))
        opzioni.showHelp(0);
    Opzioni scelte;
    if (opzioni.isSet(ini))
        scelte.ini = opzioni.value(ini);
    if (opzioni.isSet(dir))
        scelte.dir = opzioni.value(dir);
    return scelte;
}

// Help and version are given without reaching the window system, so that they work on a
// machine without a display.
bool chiedeSoloInformazioni(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char* opzione : {"-h", "--help", "-v", "--version"})
            if (std::strcmp(argv[i], opzione) == 0)
                return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (chiedeSoloInformazioni(argc, argv)) {
        QCoreApplication nucleo(argc, argv);
        nomiProgramma();
        korva::gui::installaTraduzioniQt(nucleo);
        leggiOpzioni(nucleo);
    }

    QApplication app(argc, argv);
    nomiProgramma();
    korva::gui::installaTraduzioniQt(app);
    const Opzioni opzioni = leggiOpzioni(app);

    const std::string percorsoImpostazioni =
        opzioni.ini ? QDir::current().absoluteFilePath(*opzioni.ini).toStdString()
                    : korva::percorsoImpostazioniPredefinito();
    // The start-up directory is the current one when the main window is created.
    if (opzioni.dir && !QDir::setCurrent(*opzioni.dir)) {
        std::fprintf(stderr, "Directory di avvio inesistente: %s\n", qPrintable(*opzioni.dir));
        return 2;
    }

    korva::gui::TBaseMainForm finestra(percorsoImpostazioni);
    finestra.show();
    return app.exec();
}
