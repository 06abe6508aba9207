// kolvaster-publicar volver: the general version goes back to the one kept, for everyone, signed anew
// with the program's next version number.

#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "registro.h"

using Consola::fallar;

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
            || !Etapas::quitar(m, appId, "piloto", error, &habiaPiloto)
            || !Registro::anotar(m, QStringLiteral("volver"), nombre,
                                 QStringLiteral("version %1 como version general %2")
                                     .arg(anterior->version)
                                     .arg(*version),
                                 error))
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

namespace {

int volver(const Argumentos &a)
{
    return conFirma(a, volverEn);
}

} // namespace

const Orden ordenVolver{
    "volver", "volver --clave ARCHIVO --sistema BASE NOMBRE",
    "Vuelve NOMBRE a la version general anterior, guardada en el servidor, para todos (una\n"
    "version piloto publicada se retira), firmada con el numero de version siguiente.\n",
    {"--clave"}, {}, true, 1, 1, "volver necesita NOMBRE", volver};
