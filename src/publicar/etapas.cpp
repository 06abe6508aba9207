#include "etapas.h"

#include "catalogue/firma.h"
#include "catalogue/lector.h"
#include "comprimidos.h"

namespace Etapas {

namespace {

bool fallo(const Lector &st, const QString &que, QString *error)
{
    *error = QStringLiteral("%1: %2").arg(que, QString::fromUtf8(st.error()));
    return false;
}

} // namespace

bool ejecutar(MYSQL *m, const char *sql, QString *error)
{
    if (mysql_query(m, sql) == 0)
        return true;
    *error = QString::fromUtf8(mysql_error(m));
    return false;
}

std::optional<long long> bloquear(MYSQL *m, const QByteArray &nombre, QString *error)
{
    Lector st(m);
    if (!st.preparar("SELECT app_id FROM app WHERE nombre=? FOR UPDATE")
        || !st.texto(nombre).ejecutar()) {
        fallo(st, QStringLiteral("no se pudo leer el programa"), error);
        return std::nullopt;
    }
    const int hay = st.fila();
    if (hay < 0) {
        fallo(st, QStringLiteral("no se pudo leer el programa"), error);
        return std::nullopt;
    }
    return hay == 0 ? 0 : st.numero(0);
}

std::optional<qint64> siguienteVersion(MYSQL *m, long long appId, QString *error)
{
    Lector st(m);
    if (!st.preparar("SELECT GREATEST(COALESCE((SELECT version FROM appfirma WHERE app_id=?), 0), "
                     "COALESCE((SELECT MAX(version) FROM appversion WHERE app_id=?), 0))")
        || !st.entero(appId).entero(appId).ejecutar() || st.fila() != 1) {
        fallo(st, QStringLiteral("no se pudo leer las versiones"), error);
        return std::nullopt;
    }
    return st.numero(0) + 1;
}

std::optional<Guardada> comprobar(MYSQL *m, long long appId, const QString &nombre,
                                  const char *clase, const Firmante &f, QString *error)
{
    error->clear();
    const bool general = !*clase;
    Lector st(m);
    const char *sql =
        general ? "SELECT MD5(a.windowsbinary), SHA2(a.windowsbinary, 256), "
                  "LENGTH(a.windowsbinary), f.version, f.clave, f.firma, a.windowsbinary_md5 "
                  "FROM app a JOIN appfirma f ON f.app_id=a.app_id WHERE a.app_id=? AND "
                  "a.windowsbinary IS NOT NULL"
                : "SELECT MD5(datos), SHA2(datos, 256), LENGTH(datos), version, clave, firma, md5 "
                  "FROM appversion WHERE app_id=? AND clase=? FOR UPDATE";
    st.entero(appId);
    if (!general)
        st.texto(QByteArray(clase));
    if (!st.preparar(sql) || !st.ejecutar()) {
        fallo(st, QStringLiteral("no se pudo leer la version guardada"), error);
        return std::nullopt;
    }
    const int hay = st.fila();
    if (hay <= 0) {
        if (hay < 0)
            fallo(st, QStringLiteral("no se pudo leer la version guardada"), error);
        return std::nullopt;
    }
    Guardada g;
    g.md5 = st.valor(0).value_or(QByteArray());
    g.sha256 = st.valor(1).value_or(QByteArray());
    g.largo = st.numero(2);
    g.version = st.numero(3);
    const std::optional<QByteArray> clave =
        Firma::clavePublica(st.valor(4).value_or(QByteArray()));
    const QByteArray firma = st.valor(5).value_or(QByteArray());
    const QByteArray md5Guardado = st.valor(6).value_or(QByteArray());
    const QString que = general ? QStringLiteral("la version general de %1").arg(nombre)
                                : QStringLiteral("la version %1 de %2")
                                      .arg(QString::fromLatin1(clase), nombre);
    // Only bytes this publisher (or a key the launchers trust) signed are signed again: a row
    // written by hand is never given a new, higher number.
    if (!clave || !f.confiables.contains(*clave)
        || !Firma::verifica(*clave, firma, Firma::mensaje(nombre, g.version, g.sha256, g.largo))) {
        *error = QStringLiteral("%1 (version %2) no tiene una firma valida de una clave de "
                                "confianza: no se firma de nuevo")
                     .arg(que)
                     .arg(g.version);
        return std::nullopt;
    }
    if (md5Guardado != g.md5) {
        *error = QStringLiteral("%1: su md5 guardado no es el de sus bytes").arg(que);
        return std::nullopt;
    }
    return g;
}

bool firmarGeneral(MYSQL *m, long long appId, const QString &nombre, const Guardada &g,
                   qint64 version, const Firmante &f, QString *error)
{
    const QByteArray firma =
        Firma::firmar(f.secreta, Firma::mensaje(nombre, version, g.sha256, g.largo));
    Lector st(m);
    if (!st.preparar("INSERT INTO appfirma (app_id, version, sha256, largo, clave, firma, "
                     "firmado) VALUES (?, ?, ?, ?, ?, ?, NOW()) ON DUPLICATE KEY UPDATE "
                     "version=VALUES(version), sha256=VALUES(sha256), largo=VALUES(largo), "
                     "clave=VALUES(clave), firma=VALUES(firma), firmado=VALUES(firmado)")
        || !st.entero(appId).entero(version).texto(g.sha256).entero(g.largo).texto(f.publica)
                .binario(firma).ejecutar())
        return fallo(st, QStringLiteral("no se pudo guardar la firma"), error);
    return true;
}

bool guardarAnterior(MYSQL *m, long long appId, QString *error)
{
    Lector st(m);
    if (!st.preparar("INSERT INTO appversion (app_id, clase, md5, largo, datos, version, sha256, "
                     "clave, firma, firmado) SELECT a.app_id, 'anterior', MD5(a.windowsbinary), "
                     "LENGTH(a.windowsbinary), a.windowsbinary, f.version, f.sha256, f.clave, "
                     "f.firma, f.firmado FROM app a JOIN appfirma f ON f.app_id=a.app_id WHERE "
                     "a.app_id=? AND a.windowsbinary IS NOT NULL ON DUPLICATE KEY UPDATE "
                     "md5=VALUES(md5), largo=VALUES(largo), datos=VALUES(datos), "
                     "version=VALUES(version), sha256=VALUES(sha256), clave=VALUES(clave), "
                     "firma=VALUES(firma), firmado=VALUES(firmado)")
        || !st.entero(appId).ejecutar())
        return fallo(st, QStringLiteral("no se pudo guardar la version anterior"), error);
    return true;
}

bool ponerGeneral(MYSQL *m, long long appId, const char *clase, QString *error)
{
    Lector st(m);
    if (!st.preparar("UPDATE app SET windowsbinary=(SELECT datos FROM appversion WHERE "
                     "app_id=? AND clase=?) WHERE app_id=?")
        || !st.entero(appId).texto(QByteArray(clase)).entero(appId).ejecutar())
        return fallo(st, QStringLiteral("no se pudo poner la version en app"), error);
    return true;
}

bool quitar(MYSQL *m, long long appId, const char *clase, QString *error, bool *habia)
{
    Lector st(m);
    if (!st.preparar("DELETE FROM appversion WHERE app_id=? AND clase=?")
        || !st.entero(appId).texto(QByteArray(clase)).ejecutar())
        return fallo(st, QStringLiteral("no se pudo quitar la version"), error);
    if (habia)
        *habia = mysql_stmt_affected_rows(st.sentencia()) > 0;
    return true;
}

bool limpiarComprimidos(MYSQL *m, long long appId, QString *error, unsigned int *codigo)
{
    QSet<QByteArray> vigentes;
    {
        Lector st(m);
        if (!st.preparar("SELECT windowsbinary_md5 FROM app WHERE app_id=? AND "
                         "windowsbinary_md5 IS NOT NULL UNION SELECT md5 FROM appversion WHERE "
                         "app_id=?")
            || !st.entero(appId).entero(appId).ejecutar()) {
            *codigo = st.codigo();
            return fallo(st, QStringLiteral("no se pudieron leer las versiones"), error);
        }
        for (int hay; (hay = st.fila()) != 0;) {
            if (hay < 0) {
                *codigo = st.codigo();
                return fallo(st, QStringLiteral("no se pudieron leer las versiones"), error);
            }
            vigentes.insert(st.valor(0).value_or(QByteArray()));
        }
    }
    return Comprimidos::limpiar(m, appId, vigentes, error, codigo);
}

bool guardarPiloto(MYSQL *m, long long appId, QByteArrayView bytes, const QByteArray &md5,
                   const QByteArray &sha256, qint64 version, const QByteArray &publica,
                   const QByteArray &firma, const std::function<void(qint64)> &enviado,
                   QString *error)
{
    constexpr qint64 pieza = 1024 * 1024;
    Lector st(m);
    if (!st.preparar("INSERT INTO appversion (app_id, clase, md5, largo, datos, version, sha256, "
                     "clave, firma, firmado) VALUES (?, 'piloto', ?, ?, ?, ?, ?, ?, ?, NOW()) ON "
                     "DUPLICATE KEY UPDATE md5=VALUES(md5), largo=VALUES(largo), "
                     "datos=VALUES(datos), version=VALUES(version), sha256=VALUES(sha256), "
                     "clave=VALUES(clave), firma=VALUES(firma), firmado=VALUES(firmado)"))
        return fallo(st, QStringLiteral("no se pudo guardar la version piloto"), error);
    st.entero(appId).texto(md5).entero(bytes.size()).largo().entero(version).texto(sha256)
        .texto(publica).binario(firma);
    if (!st.vincular())
        return fallo(st, QStringLiteral("no se pudo guardar la version piloto"), error);
    for (qint64 hecho = 0; hecho < bytes.size();) {
        const qint64 n = qMin(pieza, bytes.size() - hecho);
        if (!st.enviar(3, bytes.data() + hecho, n))
            return fallo(st, QStringLiteral("se corto el envio"), error);
        hecho += n;
        if (enviado)
            enviado(hecho);
    }
    if (!st.ejecutar())
        return fallo(st, QStringLiteral("no se pudo guardar la version piloto"), error);
    return true;
}

} // namespace Etapas
