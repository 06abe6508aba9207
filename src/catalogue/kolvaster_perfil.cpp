// The main window's profile directory: prepared once at start-up, right after the login.

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "catalogue/perfil.h"

void Kolvaster::prepararProfile()
{
    const QString error = Perfil::preparar(QDir::homePath(), db.databaseName(), db.userName(),
                                           &dirProfile);
    if (!error.isEmpty()) {
        reportarError(error);
        return;
    }

    // Every launcher of this operating-system account shares the "profiles" tree, whatever
    // database and user it serves: drop the profiles nobody started for a month.
    const QString propio =
        db.databaseName() + QLatin1Char('/') + Perfil::parteUsuario(db.userName());
    dirProfile.cdUp();
    dirProfile.cdUp();
    Perfil::limpiar(
        dirProfile.path(), QDateTime::currentDateTime(),
        [this](const QString &path) { eliminarDirectorio(path); }, propio);
    dirProfile.cd(propio);
}

void Kolvaster::eliminarDirectorio(const QString &path)
{
    if (Perfil::eliminarArbol(path))
        return;
    const QString blancos(30, QLatin1Char(' '));
    Mensajes::advertencia(
        this, QStringLiteral("Atencion!"),
        QStringLiteral("Fallo eliminacion de directorio durante limpieza de profiles.<br>")
            + blancos
            + QStringLiteral(
                "Puede continuar trabajando normalmente, el suceso no es grave.<br><br>")
            + blancos
            + QStringLiteral("De todos modos comunique novedad al Administrador de Sistemas!"));
}
