// The frame the steps that sign a program anew share (promover, retirar, volver): the key of
// --clave read, the connection opened, and the step run as one transaction on the program's
// locked row.

#include "base/constantes.h"
#include "catalogue/firma.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "secreta.h"

#include <sodium.h>

using Consola::decir;
using Consola::fallar;

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

std::optional<Etapas::Guardada> exigir(MYSQL *m, long long appId, const QString &nombre,
                                       const char *clase, const Etapas::Firmante &f,
                                       const QString &sinNada, QString *error)
{
    std::optional<Etapas::Guardada> g = Etapas::comprobar(m, appId, nombre, clase, f, error);
    if (!g && error->isEmpty())
        *error = sinNada;
    return g;
}
