// kolvaster-publicar retirar: the pilot version goes; the general bytes are signed anew with the
// program's next version number, so that the pilot group takes them back.

#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "registro.h"

using Consola::fallar;

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
            || !Etapas::firmarGeneral(m, appId, nombre, *general, *version, f, error)
            || !Registro::anotar(m, QStringLiteral("retirar"), nombre,
                                 QStringLiteral("version piloto %1 retirada; version general %2")
                                     .arg(piloto->version)
                                     .arg(*version),
                                 error))
            return false;
        *dicho = QStringLiteral("%1: version piloto %2 retirada; todos vuelven a la general, "
                                "firmada de nuevo como version %3")
                     .arg(nombre)
                     .arg(piloto->version)
                     .arg(*version);
        return true;
    });
}

namespace {

int retirar(const Argumentos &a)
{
    return conFirma(a, retirarEn);
}

} // namespace

const Orden ordenRetirar{
    "retirar", "retirar --clave ARCHIVO --sistema BASE NOMBRE",
    "Retira la version piloto de NOMBRE: el grupo piloto vuelve a la version general, firmada\n"
    "de nuevo con el numero siguiente para que la instale aunque tenga una mas nueva.\n",
    {"--clave"}, {}, true, 1, 1, "retirar necesita NOMBRE", retirar};
