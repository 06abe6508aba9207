#include "complementos.h"

#include "registroprivado.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <mutex>

#ifdef Q_OS_UNIX
#include <cstdlib>
#include <sys/stat.h>
#endif

namespace Complementos {

namespace {

QString &elegida()
{
    static QString c;
    return c;
}

// A folder of this user's, closed to others and holding nothing: no plugin can be planted
// there by anyone but the user.
bool vaciaYPropia(const QString &ruta)
{
    return RegistroPrivado::esPropio(ruta)
           && QDir(ruta).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                   | QDir::NoDotAndDotDot)
                  .isEmpty();
}

QString elegir()
{
    // The user's private folder (the one of the session record) holds a fixed empty one, so
    // that no run leaves anything behind and the programs the launcher starts find it too.
    const QString privada = RegistroPrivado::directorio();
    const QString fija = privada + QStringLiteral("/sin-complementos");
#ifdef Q_OS_UNIX
    ::mkdir(QFile::encodeName(privada).constData(), 0700);
    ::mkdir(QFile::encodeName(fija).constData(), 0700);
    if (RegistroPrivado::esPropio(privada) && vaciaYPropia(fija))
        return fija;
    // Not trustworthy (someone else's, a link, not empty): a new folder of our own instead.
    QByteArray plantilla = QFile::encodeName(QDir::tempPath())
                           + "/kolvaster-sin-complementos-XXXXXX";
    if (::mkdtemp(plantilla.data()))
        return QFile::decodeName(plantilla);
    // Nowhere to make one: a folder inside a file cannot exist, so nothing can be loaded.
    return QStringLiteral("/dev/null/sin-complementos");
#else
    QDir().mkpath(fija);
    return fija;
#endif
}

} // namespace

void limitar()
{
    static std::once_flag una;
    std::call_once(una, [] {
        elegida() = elegir();
        qputenv("MARIADB_PLUGIN_DIR", QFile::encodeName(elegida()));
        // Plugins named here would be loaded when the library starts, from that same folder:
        // nothing to load, but no reason to ask either.
        qunsetenv("LIBMYSQL_PLUGINS");
    });
}

QString carpeta()
{
    return elegida();
}

} // namespace Complementos
