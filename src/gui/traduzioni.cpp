#include "gui/traduzioni.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace korva::gui {

void installaTraduzioniQt(QCoreApplication& app)
{
    auto* traduzione = new QTranslator(&app);
    if (traduzione->load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(traduzione);
    else
        delete traduzione;
}

}  // namespace korva::gui
