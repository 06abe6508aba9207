// kolvaster-publicar promover, retirar and volver: the general version changes, or the pilot
// one goes, without new bytes; each is signed anew with the program's next version number.

#include "consola.h"
#include "pasos.h"

#include <functional>

using Consola::decir;
using Consola::fallar;

namespace {

// The transaction of one step on the program `nombre`, its row locked: `paso` does the work
// and says what to print; nothing is kept unless it succeeds and the commit does.
int enTransaccion(MYSQL *m, const QString &nombre,
                  const std::function<bool(long long appId, QString *error, QString *dicho)> &paso)
{
    QString error, dicho;
    if (!Etapas::ejecutar(m, "START TRANSACTION", &error))
        return fallar(QStringLiteral("no se pudo iniciar la transaccion: %1").arg(error));
    const std::optional<long long> appId = Etapas::bloquear(m, nombre.toUtf8(), &error);
    if (!appId)
        return fallar(error);
    if (*appId == 0)
        return fallar(QStringLiteral("no hay un programa llamado \"%1\"").arg(nombre));
    unsigned int codigo = 0;
    if (!paso(*appId, &error, &dicho) || !Etapas::limpiarComprimidos(m, *appId, &error, &codigo))
        return fallar(error);
    if (mysql_commit(m))
        return fallar(QStringLiteral("no se pudo confirmar: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    decir(dicho);
    return 0;
}

// The kept version `clase` checked, or *error saying there is none (`sinNada`).
std::optional<Etapas::Guardada> exigir(MYSQL *m, long long appId, const QString &nombre,
                                       const char *clase, const Etapas::Firmante &f,
                                       const QString &sinNada, QString *error)
{
    std::optional<Etapas::Guardada> g = Etapas::comprobar(m, appId, nombre, clase, f, error);
    if (!g && error->isEmpty())
        *error = sinNada;
    return g;
}

} // namespace

int promoverEn(MYSQL *m, const QString &nombre, const Etapas::Firmante &f)
{
    return enTransaccion(m, nombre, [&](long long appId, QString *error, QString *dicho) {
        const std::optional<Etapas::Guardada> piloto = exigir(
            m, appId, nombre, "piloto", f,
            QStringLiteral("%1 no tiene version piloto: nada que promover").arg(nombre), error);
        if (!piloto)
            return false;
        const std::optional<qint64> version = Etapas::siguienteVersion(m, appId, error);
        // The general version it replaces is kept for `volver`; the pilot's bytes are copied
        // on the server, not sent again.
        if (!version || !Etapas::guardarAnterior(m, appId, error)
            || !Etapas::ponerGeneral(m, appId, "piloto", error)
            || !Etapas::firmarGeneral(m, appId, nombre, *piloto, *version, f, error)
            || !Etapas::quitar(m, appId, "piloto", error))
            return false;
        *dicho = QStringLiteral("%1: la version piloto %2 es la de todos: version %3")
                     .arg(nombre)
                     .arg(piloto->version)
                     .arg(*version);
        return true;
    });
}

int retirarEn(MYSQL *m, const QString &nombre, const Etapas::Firmante &f)
{
    return enTransaccion(m, nombre, [&](long long appId, QString *error, QString *dicho) {
        const std::optional<Etapas::Guardada> piloto = exigir(
            m, appId, nombre, "piloto", f,
            QStringLiteral("%1 no tiene version piloto: nada que retirar").arg(nombre), error);
        if (!piloto)
            return false;
        const std::optional<Etapas::Guardada> general = exigir(
            m, appId, nombre, "", f,
            QStringLiteral("%1 no tiene version general a la que volver: publiquela con subir "
                           "o promueva la piloto")
                .arg(nombre),
            error);
        if (!general)
            return false;
        // The pilot group installed a higher number than the general version had: the general
        // bytes are signed again with the next one, so that they are taken back.
        const std::optional<qint64> version = Etapas::siguienteVersion(m, appId, error);
        if (!version || !Etapas::quitar(m, appId, "piloto", error)
            || !Etapas::firmarGeneral(m, appId, nombre, *general, *version, f, error))
            return false;
        *dicho = QStringLiteral("%1: version piloto %2 retirada; todos vuelven a la general, "
                                "firmada de nuevo como version %3")
                     .arg(nombre)
                     .arg(piloto->version)
                     .arg(*version);
        return true;
    });
}

int volverEn(MYSQL *m, const QString &nombre, const Etapas::Firmante &f)
{
    return enTransaccion(m, nombre, [&](long long appId, QString *error, QString *dicho) {
        const std::optional<Etapas::Guardada> anterior = exigir(
            m, appId, nombre, "anterior", f,
            QStringLiteral("%1 no tiene version anterior: nada a que volver").arg(nombre), error);
        if (!anterior)
            return false;
        const std::optional<qint64> version = Etapas::siguienteVersion(m, appId, error);
        bool habiaPiloto = false;
        // Every user goes back, the pilot group too; what is kept is used up.
        if (!version || !Etapas::ponerGeneral(m, appId, "anterior", error)
            || !Etapas::firmarGeneral(m, appId, nombre, *anterior, *version, f, error)
            || !Etapas::quitar(m, appId, "anterior", error)
            || !Etapas::quitar(m, appId, "piloto", error, &habiaPiloto))
            return false;
        *dicho = QStringLiteral("%1: vuelve la version %2 para todos, firmada como version %3%4")
                     .arg(nombre)
                     .arg(anterior->version)
                     .arg(*version)
                     .arg(habiaPiloto ? QStringLiteral("; la version piloto fue retirada")
                                      : QString());
        return true;
    });
}
