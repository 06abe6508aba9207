// The main window's doors to the accounts: the user administration, open to administrators
// only, and the change of one's own password. Either may change the session's own password,
// which ends the session: the user starts again with the new one.
#include "accounts/kolvastercclave.h"
#include "accounts/kolvasteruser.h"
#include "base/constantes.h"
#include "app/kolvaster.h"
#include "base/mensajes.h"

#include <QSqlError>
#include <QSqlQuery>

void Kolvaster::reiniciarPorCambioDeClave()
{
    Mensajes::advertencia(this, QStringLiteral("** IMPORTANTE **"),
                          QStringLiteral("Actualizo su propia contraseña.\n\nKolvaster se cerrara "
                                         "y debera Ud. abrirlo nuevamente.\n\nCierre todos los "
                                         "programas en ejecucion.\nPresione OK para finalizar "
                                         "esta aplicacion."));
    close();
}

// Whether the session's user is an administrator of the suite, asked of the server each time;
// anyone else is told so (and a failed statement reported).
bool Kolvaster::administradorConfirmado()
{
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT 1 FROM sysuser WHERE sysuser_id=:id AND useradmin=TRUE;"));
    q.bindValue(QStringLiteral(":id"), uid);
    if (!q.exec()) {
        reportarError(q.lastError().text());
        return false;
    }
    if (!q.next()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("No tiene permisos para acceder a esta seccion!"));
        return false;
    }
    return true;
}

void Kolvaster::on_actionAdministracion_de_accesos_triggered()
{
    if (!administradorConfirmado())
        return;
    bool claveModificada = false;
    {
        KolvasterUser administracion(&claveModificada, uid, &db,
                                     QString::fromLatin1(KOLVASTER_PROGRAMA), this);
        administracion.exec();
    }
    // The administrator may have changed their own title or picture.
    cargarIdentidad();
    if (terminado())
        return;
    if (claveModificada)
        reiniciarPorCambioDeClave();
}

void Kolvaster::on_actionCambiar_mi_contrase_a_triggered()
{
    if (programasAbiertos != 0) {
        Mensajes::advertencia(this, QStringLiteral("Atencion!"),
                              QStringLiteral("Lo siento, para ejecutar esta funcion debera "
                                             "cerrar todos los<br>programas que tenga activos!"));
        return;
    }
    if (db.userName() == QLatin1String("dbadmin")) {
        Mensajes::advertencia(this, QStringLiteral("Atencion!"),
                              QStringLiteral("No se permite cambio de contraseña de "
                                             "Administrador!"));
        return;
    }
    const QString anterior = db.password();
    {
        KolvasterCClave cambio(&db, uid, QString::fromLatin1(KOLVASTER_PROGRAMA), this);
        cambio.exec();
    }
    if (db.password() != anterior)
        reiniciarPorCambioDeClave();
}
