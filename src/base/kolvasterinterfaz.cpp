#include "kolvasterinterfaz.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
// Kept per application object: a test may build more than one in a process.
QCoreApplication *preparada = nullptr;
bool traducida = false;
} // namespace

void kolvasterPrepararInterfaz()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr || app == preparada)
        return;
    preparada = app;
    traducida = false;

    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"),
                              QString::fromLatin1(kolvasterFuenteFormularios));

    // Qt's own catalogues, as installed with Qt: the widgets' words and the report page's
    // context menu.
    const QString carpeta = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char *modulo : {"qtbase", "qtwebengine"}) {
        auto *qt = new QTranslator(app);
        if (qt->load(QLocale(QLocale::Spanish, QLocale::Spain), QString::fromLatin1(modulo),
                     QStringLiteral("_"), carpeta)) {
            QCoreApplication::installTranslator(qt);
            if (qstrcmp(modulo, "qtbase") == 0)
                traducida = true;
        } else {
            delete qt;
        }
    }
}

bool kolvasterTraduccionCargada()
{
    return traducida;
}
