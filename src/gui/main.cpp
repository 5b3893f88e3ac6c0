#include "gui/basemain.h"
#include "gui/traduzioni.h"
#include "shell/tabform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The program's title: task bar, and caption of the general error display. Qt adds a
    // display name to every window caption, so only the application name is set.
    QApplication::setApplicationName(QString::fromUtf8(korva::kTitoloApplicazione));
    QApplication::setApplicationVersion(QStringLiteral(KORVA_VERSIONE));

    korva::gui::installaTraduzioniQt(app);

    QCommandLineParser opzioni;
    opzioni.setApplicationDescription(QStringLiteral("KORVAWIN: amministrazione delle tabelle archivi"));
    opzioni.addHelpOption();
    opzioni.addVersionOption();
    QCommandLineOption ini(QStringLiteral("ini"), QStringLiteral("File delle impostazioni (varnelo.ini)"),
                           QStringLiteral("FILE"));
    QCommandLineOption dir(QStringLiteral("dir"),
                           QStringLiteral("Directory di avvio (predefinita: quella corrente)"),
                           QStringLiteral("DIR"));
    opzioni.addOption(ini);
    opzioni.addOption(dir);
    opzioni.process(app);

    const std::string percorsoImpostazioni =
        opzioni.isSet(ini) ? QDir::current().absoluteFilePath(opzioni.value(ini)).toStdString()
                           : korva::percorsoImpostazioniPredefinito();
    // The start-up directory is the current one when the main window is created.
    if (opzioni.isSet(dir) && !QDir::setCurrent(opzioni.value(dir))) {
        std::fprintf(stderr, "Directory di avvio inesistente: %s\n", qPrintable(opzioni.value(dir)));
        return 2;
    }

    korva::gui::TBaseMainForm finestra(percorsoImpostazioni);
    finestra.show();
    return app.exec();
}
