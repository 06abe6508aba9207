// kolvaster-publicar verificar: every program's signature against the publishers' keys.

#include "base/constantes.h"
#include "catalogue/firma.h"
#include "catalogue/programas.h"
#include "consola.h"
#include "orden.h"

#include <optional>

namespace {

using Consola::decir;
using Consola::fallar;

// Whether the database has both triggers that keep app.windowsbinary_md5 (as its schema makes
// them), asked as the launchers ask. A database without the column has nothing to keep.
bool disparadoresCompletos(MYSQL *m)
{
    if (mysql_query(m, "SELECT COUNT(*) FROM information_schema.COLUMNS WHERE "
                       "TABLE_SCHEMA=DATABASE() AND TABLE_NAME='app' AND "
                       "COLUMN_NAME='windowsbinary_md5'") != 0)
        return false;
    MYSQL_RES *res = mysql_store_result(m);
    MYSQL_ROW f = res ? mysql_fetch_row(res) : nullptr;
    const bool columna = f && f[0] && QByteArray(f[0]).toInt() > 0;
    if (res)
        mysql_free_result(res);
    if (!columna)
        return true;
    if (mysql_query(m, Programas::disparadoresPresentes) != 0)
        return false;
    res = mysql_store_result(m);
    f = res ? mysql_fetch_row(res) : nullptr;
    const bool ambos = f && f[0] && QByteArray(f[0]).toInt() == 2;
    if (res)
        mysql_free_result(res);
    return ambos;
}

int verificar(const Argumentos &a)
{
    const Conexion &c = a.conexion;
    std::optional<QByteArray> lista;
    if (a.tiene(QStringLiteral("--claves")))
        lista = a.valor(QStringLiteral("--claves")).toLatin1();
    if (!lista)
        lista = QByteArray(KOLVASTER_PUBLISHER_KEYS);
    for (const QByteArray &parte : lista->split(';'))
        if (!parte.trimmed().isEmpty() && !Firma::clavePublica(parte))
            return fallar(QStringLiteral("\"%1\" no es una clave publica")
                              .arg(QString::fromLatin1(parte)));
    const QList<QByteArray> claves = Firma::claves(*lista);
    if (claves.isEmpty())
        return fallar(QStringLiteral("no hay claves con que verificar: use --claves"));

    QString error;
    MYSQL *m = c.conectar(&error);
    if (!m)
        return fallar(error);
    struct Cierre { MYSQL *m; ~Cierre() { mysql_close(m); } } cierre{m};
    if (mysql_query(m, "SELECT a.nombre, LENGTH(a.windowsbinary), SHA2(a.windowsbinary, 256), "
                       "f.version, f.clave, f.firma FROM app a LEFT JOIN appfirma f "
                       "ON f.app_id=a.app_id ORDER BY a.nombre")
        != 0)
        return fallar(QStringLiteral("no se pudo leer el catalogo: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    MYSQL_RES *res = mysql_store_result(m);
    if (!res)
        return fallar(QStringLiteral("no se pudo leer el catalogo: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    int validos = 0, sinFirma = 0, distintos = 0, sinBinario = 0;
    while (MYSQL_ROW f = mysql_fetch_row(res)) {
        const unsigned long *l = mysql_fetch_lengths(res);
        const QString nombre = QString::fromUtf8(f[0], int(l[0]));
        const qint64 largo = f[1] ? QByteArray(f[1]).toLongLong() : 0;
        QString estado;
        if (largo == 0) {
            ++sinBinario;
            estado = QStringLiteral("sin binario");
        } else if (!f[3]) {
            ++sinFirma;
            estado = QStringLiteral("SIN FIRMA");
        } else {
            const qint64 version = QByteArray(f[3]).toLongLong();
            const std::optional<QByteArray> clave = Firma::clavePublica(QByteArray(f[4], int(l[4])));
            const QByteArray firma(f[5], int(l[5]));
            if (!clave || !claves.contains(*clave)) {
                ++distintos;
                estado = QStringLiteral("NO COINCIDE: firmado con una clave que no esta entre las "
                                        "dadas (%1)").arg(QString::fromLatin1(f[4], int(l[4])));
            } else if (version <= 0
                       || !Firma::verifica(*clave, firma,
                                           Firma::mensaje(nombre, version, QByteArray(f[2]), largo))) {
                ++distintos;
                estado = QStringLiteral("NO COINCIDE: la firma no corresponde al programa guardado");
            } else {
                ++validos;
                estado = QStringLiteral("firmado, version %1").arg(version);
            }
        }
        decir(QStringLiteral("%1: %2").arg(nombre, estado));
    }
    mysql_free_result(res);
    decir(QStringLiteral("%1 firmados y validos, %2 sin firma, %3 no coinciden, %4 sin binario")
              .arg(validos)
              .arg(sinFirma)
              .arg(distintos)
              .arg(sinBinario));

    // The digest the launchers compare is kept by two triggers; without both, a program
    // replaced by hand would keep its old digest, and the launchers hash every program at
    // every start instead of trusting the column.
    const bool conDisparadores = disparadoresCompletos(m);
    if (!conDisparadores)
        decir(QStringLiteral("FALTAN DISPARADORES: app_md5_alta y app_md5_cambio deben existir "
                             "para que app.windowsbinary_md5 siga a los bytes; sin ellos los "
                             "lanzadores calculan MD5() de cada programa en cada inicio"));
    return sinFirma + distintos == 0 && conDisparadores ? 0 : 1;
}

} // namespace

const Orden ordenVerificar{
    "verificar", "verificar --sistema BASE [--claves CLAVE;CLAVE...]",
    "Comprueba la firma de cada programa del sistema con las claves publicas dadas (por\n"
    "omision, las del lanzador) y que esten los disparadores del digesto. Sale con 0 cuando\n"
    "todo esta firmado y es valido, con 1 cuando algo no lo esta.\n",
    {"--claves"}, {}, true, 0, 0, "", verificar};
