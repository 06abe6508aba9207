#include "perfil.h"

#include <QFile>
#include <QFileInfo>

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

void limpiar(const QString &profiles, const QDateTime &ahora,
             const std::function<void(const QString &)> &eliminar)
{
    const QDir::Filters soloDirectorios = QDir::Dirs | QDir::NoDotAndDotDot;
    const QStringList bases = QDir(profiles).entryList(soloDirectorios, QDir::Unsorted);
    for (const QString &b : bases) {
        const QString dirBase = profiles + QLatin1Char('/') + b;
        const QStringList usuarios = QDir(dirBase).entryList(soloDirectorios, QDir::Unsorted);
        for (const QString &u : usuarios) {
            const QString dirUsuario = dirBase + QLatin1Char('/') + u;
            const QFileInfo marca(dirUsuario + QLatin1Char('/') + QLatin1String(marcaUso));
            // A directory without its mark has no recorded use: judge it by its own age, so
            // that one being prepared right now by another launcher is left alone.
            const QDateTime uso = marca.exists() ? marca.lastModified()
                                                 : QFileInfo(dirUsuario).lastModified();
            if (uso.daysTo(ahora) > diasVigencia)
                eliminar(dirUsuario);
        }
        if (usuarios.isEmpty())
            eliminar(dirBase);
    }
}

bool eliminarArbol(const QString &path)
{
    const QFileInfoList entradas = QDir(path).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &e : entradas) {
        // A link is removed as itself, never followed: what it points at is not ours.
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
