#include "registroprivado.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace RegistroPrivado {

#ifdef Q_OS_UNIX

namespace {

QString nombrePropio()
{
    return QStringLiteral("kolvaster-") + QString::number(geteuid());
}

// A directory (not a link to one) of this user's that no one else can enter or list.
bool esSeguro(const QByteArray &ruta)
{
    struct stat st;
    return lstat(ruta.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid()
           && (st.st_mode & 077) == 0;
}

} // namespace

QString directorio()
{
    const QString base = QDir::tempPath();
    if (QFileInfo(base).fileName() == nombrePropio())
        return base;
    return base + QLatin1Char('/') + nombrePropio();
}

bool preparar()
{
    const QByteArray ruta = QFile::encodeName(directorio());
    if (mkdir(ruta.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    if (!esSeguro(ruta))
        return false;
    qputenv("TMPDIR", ruta);
    return true;
}

void adoptar()
{
    const QByteArray ruta = QFile::encodeName(directorio());
    if (esSeguro(ruta))
        qputenv("TMPDIR", ruta);
}

bool esPropio(const QString &ruta)
{
    return esSeguro(QFile::encodeName(ruta));
}

#else

QString directorio()
{
    return QDir::tempPath();
}

bool preparar()
{
    return true;
}

void adoptar() {}

bool esPropio(const QString &ruta)
{
    return QFileInfo(ruta).isDir();
}

#endif

} // namespace RegistroPrivado
