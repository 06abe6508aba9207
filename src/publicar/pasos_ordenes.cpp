// The command lines of the version subcommands.

#include "base/constantes.h"
#include "catalogue/firma.h"
#include "conexion.h"
#include "consola.h"
#include "pasos.h"

#include <sodium.h>

using Consola::fallar;

namespace {

struct Linea {
    Conexion c;
    QString clave;
    std::optional<QString> agregar, quitar;
    QStringList libres;
};

// Connection options, and the given ones of --clave, --agregar, --quitar.
std::optional<Linea> leer(const QStringList &args, const QStringList &opciones, QString *error)
{
    Linea l;
    for (int i = 0; i < args.size(); ++i) {
        if (l.c.tomar(args, &i, error)) {
            if (!error->isEmpty())
                return std::nullopt;
            continue;
        }
        const QString &a = args.at(i);
        QString opcion = a.section(QLatin1Char('='), 0, 0), valor;
        if (!opciones.contains(opcion)) {
            if (a.startsWith(QLatin1Char('-'))) {
                *error = QStringLiteral("opcion desconocida o sin valor: %1").arg(a);
                return std::nullopt;
            }
            l.libres << a;
            continue;
        }
        if (a.contains(QLatin1Char('=')))
            valor = a.section(QLatin1Char('='), 1);
        else if (i + 1 < args.size())
            valor = args.at(++i);
        else {
            *error = QStringLiteral("opcion desconocida o sin valor: %1").arg(a);
            return std::nullopt;
        }
        if (opcion == QLatin1String("--clave"))
            l.clave = valor;
        else
            (opcion == QLatin1String("--agregar") ? l.agregar : l.quitar) = valor;
    }
    if (l.c.sistema.isEmpty()) {
        *error = QStringLiteral("falta --sistema");
        return std::nullopt;
    }
    return l;
}

int conFirma(const QStringList &args, const char *orden,
             int (*paso)(MYSQL *, const QString &, const Etapas::Firmante &))
{
    QString error;
    std::optional<Linea> l = leer(args, {QStringLiteral("--clave")}, &error);
    if (!l)
        return fallar(error);
    if (l->libres.size() != 1)
        return fallar(QStringLiteral("%1 necesita NOMBRE").arg(QLatin1String(orden)));
    if (l->clave.isEmpty())
        return fallar(QStringLiteral("%1 necesita --clave ARCHIVO").arg(QLatin1String(orden)));
    Etapas::Firmante f;
    f.secreta = leerSecreta(l->clave, &error);
    if (f.secreta.isEmpty())
        return fallar(error);
    const QByteArray publica = f.secreta.right(crypto_sign_PUBLICKEYBYTES);
    f.publica = Firma::base64(publica);
    f.confiables = Firma::claves(QByteArray(KOLVASTER_PUBLISHER_KEYS));
    f.confiables << publica;
    MYSQL *m = l->c.conectar(&error);
    if (!m)
        return fallar(error);
    struct Cierre { MYSQL *m; ~Cierre() { mysql_close(m); } } cierre{m};
    const int r = paso(m, l->libres.first(), f);
    sodium_memzero(f.secreta.data(), size_t(f.secreta.size()));
    return r;
}

} // namespace

int piloto(const QStringList &args)
{
    QString error;
    std::optional<Linea> l =
        leer(args, {QStringLiteral("--agregar"), QStringLiteral("--quitar")}, &error);
    if (!l)
        return fallar(error);
    if (!l->libres.isEmpty())
        return fallar(QStringLiteral("piloto no toma %1").arg(l->libres.first()));
    QStringList agregar, quitar;
    for (const auto &[dada, destino] : {std::pair{&l->agregar, &agregar}, std::pair{&l->quitar, &quitar}})
        if (*dada) {
            const std::optional<QStringList> n = nombresPiloto(**dada, &error);
            if (!n)
                return fallar(error);
            *destino = *n;
        }
    for (const QString &u : agregar)
        if (quitar.contains(u))
            return fallar(QStringLiteral("%1 no puede agregarse y quitarse a la vez").arg(u));
    MYSQL *m = l->c.conectar(&error);
    if (!m)
        return fallar(error);
    struct Cierre { MYSQL *m; ~Cierre() { mysql_close(m); } } cierre{m};
    return pilotoEn(m, l->c.sistema, agregar, quitar);
}

int estado(const QStringList &args)
{
    QString error;
    std::optional<Linea> l = leer(args, {}, &error);
    if (!l)
        return fallar(error);
    if (l->libres.size() > 1)
        return fallar(QStringLiteral("estado toma a lo sumo un NOMBRE"));
    MYSQL *m = l->c.conectar(&error);
    if (!m)
        return fallar(error);
    struct Cierre { MYSQL *m; ~Cierre() { mysql_close(m); } } cierre{m};
    return estadoEn(m, l->libres.value(0));
}

int promover(const QStringList &args) { return conFirma(args, "promover", promoverEn); }
int retirar(const QStringList &args) { return conFirma(args, "retirar", retirarEn); }
int volver(const QStringList &args) { return conFirma(args, "volver", volverEn); }
