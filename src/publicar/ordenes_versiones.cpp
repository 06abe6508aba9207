// The command lines of piloto, promover, retirar, volver and estado.

#include "base/constantes.h"
#include "catalogue/firma.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "secreta.h"

#include <sodium.h>

using Consola::fallar;

namespace {

struct Cierre {
    MYSQL *m;
    ~Cierre() { mysql_close(m); }
};

// Signed anew with the key of --clave; a stored signature is trusted for that only when this
// key or one the launchers were built with made it.
int conFirma(const Argumentos &a, int (*paso)(MYSQL *, const QString &, const Etapas::Firmante &))
{
    QString error;
    const QString archivo = a.valor(QStringLiteral("--clave"));
    if (archivo.isEmpty())
        return fallar(QStringLiteral("falta --clave ARCHIVO"));
    Etapas::Firmante f;
    f.secreta = Secreta::leer(archivo, &error);
    if (f.secreta.isEmpty())
        return fallar(error);
    const QByteArray publica = f.secreta.right(crypto_sign_PUBLICKEYBYTES);
    f.publica = Firma::base64(publica);
    f.confiables = Firma::claves(QByteArray(KOLVASTER_PUBLISHER_KEYS));
    f.confiables << publica;
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    const int r = paso(m, a.libres.first(), f);
    sodium_memzero(f.secreta.data(), size_t(f.secreta.size()));
    return r;
}

int piloto(const Argumentos &a)
{
    QString error;
    QStringList agregar, quitar;
    for (const auto &[opcion, destino] : {std::pair{"--agregar", &agregar}, std::pair{"--quitar", &quitar}})
        if (a.tiene(QLatin1String(opcion))) {
            const std::optional<QStringList> n = nombresPiloto(a.valor(QLatin1String(opcion)), &error);
            if (!n)
                return fallar(error);
            *destino = *n;
        }
    for (const QString &u : std::as_const(agregar))
        if (quitar.contains(u))
            return fallar(QStringLiteral("%1 no puede agregarse y quitarse a la vez").arg(u));
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    return pilotoEn(m, a.conexion.sistema, agregar, quitar);
}

int estado(const Argumentos &a)
{
    QString error;
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    return estadoEn(m, a.libres.value(0));
}

int promover(const Argumentos &a) { return conFirma(a, promoverEn); }
int retirar(const Argumentos &a) { return conFirma(a, retirarEn); }
int volver(const Argumentos &a) { return conFirma(a, volverEn); }

} // namespace

const Orden ordenPiloto{
    "piloto", "piloto --sistema BASE [--agregar U[,U...]] [--quitar U[,U...]]",
    "Agrega al grupo piloto del sistema o quita de el a los usuarios dados por su nombre corto\n"
    "(el que se escribe al conectarse), en una sola transaccion; sin opciones, muestra el grupo.\n"
    "Los usuarios del grupo instalan la version piloto de un programa mientras este publicada.\n",
    {"--agregar", "--quitar"}, {}, true, 0, 0, "piloto no toma mas argumentos", piloto};

const Orden ordenPromover{
    "promover", "promover --clave ARCHIVO --sistema BASE NOMBRE",
    "La version piloto de NOMBRE pasa a ser la de todos, sin volver a subir sus bytes, firmada\n"
    "con el numero de version siguiente; la general que reemplaza queda guardada para volver.\n",
    {"--clave"}, {}, true, 1, 1, "promover necesita NOMBRE", promover};

const Orden ordenRetirar{
    "retirar", "retirar --clave ARCHIVO --sistema BASE NOMBRE",
    "Retira la version piloto de NOMBRE: el grupo piloto vuelve a la version general, firmada\n"
    "de nuevo con el numero siguiente para que la instale aunque tenga una mas nueva.\n",
    {"--clave"}, {}, true, 1, 1, "retirar necesita NOMBRE", retirar};

const Orden ordenVolver{
    "volver", "volver --clave ARCHIVO --sistema BASE NOMBRE",
    "Vuelve NOMBRE a la version general anterior, guardada en el servidor, para todos (una\n"
    "version piloto publicada se retira), firmada con el numero de version siguiente.\n",
    {"--clave"}, {}, true, 1, 1, "volver necesita NOMBRE", volver};

const Orden ordenEstado{
    "estado", "estado --sistema BASE [NOMBRE]",
    "Muestra por programa la version general, la piloto con su grupo y la guardada para volver,\n"
    "y por cada usuario con acceso la ultima version que inicio y cuando, con un resumen.\n",
    {}, {}, true, 0, 1, "estado toma a lo sumo un NOMBRE", estado};
