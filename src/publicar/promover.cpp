// kolvaster-publicar promover: the pilot version becomes everyone's, without new bytes, signed anew
// with the program's next version number.

#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "registro.h"

using Consola::fallar;

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
            || !Etapas::quitar(m, appId, "piloto", error)
            || !Registro::anotar(m, QStringLiteral("promover"), nombre,
                                 QStringLiteral("version piloto %1 como version general %2")
                                     .arg(piloto->version)
                                     .arg(*version),
                                 error))
            return false;
        *dicho = QStringLiteral("%1: la version piloto %2 es la de todos: version %3")
                     .arg(nombre)
                     .arg(piloto->version)
                     .arg(*version);
        return true;
    });
}

namespace {

int promover(const Argumentos &a)
{
    return conFirma(a, promoverEn);
}

} // namespace

const Orden ordenPromover{
    "promover", "promover --clave ARCHIVO --sistema BASE NOMBRE",
    "La version piloto de NOMBRE pasa a ser la de todos, sin volver a subir sus bytes, firmada\n"
    "con el numero de version siguiente; la general que reemplaza queda guardada para volver.\n",
    {"--clave"}, {}, true, 1, 1, "promover necesita NOMBRE", promover};
