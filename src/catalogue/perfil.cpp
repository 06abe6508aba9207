#include "perfil.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace Perfil {

QString parteUsuario(const QString &cuenta)
{
    const int i = cuenta.indexOf(QLatin1Char('_'));
    return cuenta.right(cuenta.size() - i - 1);
}

namespace {

// Creates `nombre` inside `dir` when missing and enters it.
bool entrarCreando(QDir *dir, const QString &nombre)
{
    if (!dir->exists(nombre) && !dir->mkdir(nombre))
        return false;
    return dir->cd(nombre);
}

// Copies the library unless the profile already has a copy: an existing one is never replaced.
bool copiarLibreria(const QString &instalacion, const QDir &perfil, const char *nombre)
{
    const QString destino = perfil.path() + QLatin1Char('/') + QLatin1String(nombre);
    if (QFile::exists(destino))
        return true;
    return QFile::copy(instalacion + QLatin1String(nombre), destino);
}

QString mensajeLibreria(const char *nombre)
{
    return QStringLiteral("Error al copiar librerias SSL (%1)").arg(QLatin1String(nombre));
}

} // namespace

QString preparar(const QString &home, const QString &base, const QString &cuenta, QDir *perfil)
{
    const QString instalacion = home + QLatin1Char('/') + QLatin1String(carpetaInstalacion)
                                + QLatin1Char('/');
    *perfil = QDir(home);
    // Without the installation folder there is nothing to copy the libraries from: say which
    // folder was looked for, and create nothing under the home directory.
    if (!perfil->cd(QLatin1String(carpetaInstalacion)))
        return mensajeLibreria(libreriaCrypto)
               + QStringLiteral(": no existe la carpeta de instalacion ") + instalacion;

    if (!entrarCreando(perfil, QStringLiteral("profiles")))
        return QStringLiteral("Error al crear dir de profiles");
    if (!entrarCreando(perfil, base))
        return QStringLiteral("Error al crear dir de db en directorio profiles");
    if (!entrarCreando(perfil, parteUsuario(cuenta)))
        return QStringLiteral("Error al crear dir username en profile dir");

    if (!copiarLibreria(instalacion, *perfil, libreriaCrypto))
        return mensajeLibreria(libreriaCrypto);
    if (!copiarLibreria(instalacion, *perfil, libreriaSsl))
        return mensajeLibreria(libreriaSsl);

    QFile marca(perfil->path() + QLatin1Char('/') + QLatin1String(marcaUso));
    if (!marca.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("Error al toucherar archivo ultimo registro de uso");
    marca.close();
    return QString();
}

namespace {

// The modification time of the entry itself: a symbolic link's own, never its target's.
QDateTime modificacionPropia(const QFileInfo &entrada)
{
#ifdef Q_OS_UNIX
    struct stat st;
    if (::lstat(QFile::encodeName(entrada.absoluteFilePath()).constData(), &st) == 0)
        return QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
    return QDateTime();
#else
    return entrada.lastModified();
#endif
}

// The directories of `dir` and its symbolic links (to a directory, to anything or dangling),
// which are listed as entries of their own and never entered.
QFileInfoList subdirectorios(const QString &dir)
{
    QFileInfoList r;
    const QFileInfoList todas = QDir(dir).entryInfoList(
        QDir::Dirs | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &e : todas)
        if (e.isSymLink() || e.isDir())
            r.append(e);
    return r;
}

bool vencido(const QDateTime &uso, const QDateTime &ahora)
{
    return uso.isValid() && uso.daysTo(ahora) > diasVigencia;
}

} // namespace

void limpiar(const QString &profiles, const QDateTime &ahora,
             const std::function<void(const QString &)> &eliminar, const QString &propio)
{
    const QString basePropia = propio.section(QLatin1Char('/'), 0, 0);
    for (const QFileInfo &b : subdirectorios(profiles)) {
        const QString dirBase = profiles + QLatin1Char('/') + b.fileName();
        if (b.isSymLink()) {
            if (b.fileName() != basePropia && vencido(modificacionPropia(b), ahora))
                eliminar(dirBase);
            continue;
        }
        const QFileInfoList usuarios = subdirectorios(dirBase);
        for (const QFileInfo &u : usuarios) {
            const QString dirUsuario = dirBase + QLatin1Char('/') + u.fileName();
            if (b.fileName() + QLatin1Char('/') + u.fileName() == propio)
                continue;
            QDateTime uso;
            if (u.isSymLink()) {
                uso = modificacionPropia(u);
            } else {
                // A directory without its mark has no recorded use: judge it by its own age,
                // so that one being prepared right now by another launcher is left alone.
                const QFileInfo marca(dirUsuario + QLatin1Char('/') + QLatin1String(marcaUso));
                uso = modificacionPropia(marca.isFile() || marca.isSymLink() ? marca : u);
            }
            if (vencido(uso, ahora))
                eliminar(dirUsuario);
        }
        if (usuarios.isEmpty())
            eliminar(dirBase);
    }
}

bool eliminarArbol(const QString &path)
{
    const QFileInfo raiz(path);
    // A link is removed as itself, never followed: what it points at is not ours.
    if (raiz.isSymLink()) {
        QFile::remove(path);
        if (QFileInfo(path).isSymLink())
            return false;
        QDir().rmpath(raiz.absolutePath());
        return true;
    }

    const QFileInfoList entradas = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &e : entradas) {
        if (e.isDir() && !e.isSymLink())
            eliminarArbol(e.filePath());
        else
            QFile::remove(e.filePath());
    }
    const QString absoluto = QDir(path).absolutePath();
    QDir().rmpath(absoluto);
    return !QFileInfo::exists(absoluto);
}

} // namespace Perfil
