#include "descarga.h"

#include "catalogue/firma.h"
#include "catalogue/programas.h"
#include "db/sesioncifrada.h"

#include <QCryptographicHash>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <mysql.h>

#include <cstring>
#include <optional>

namespace Descarga {

namespace {

// Worded as Qt's driver words a failed statement, so the error dialog reads as it always did.
QString errorDe(MYSQL_STMT *s, const char *paso)
{
    return QSqlError(QStringLiteral("QMYSQL: ") + QLatin1String(paso),
                     s ? QString::fromUtf8(mysql_stmt_error(s)) : QString(),
                     QSqlError::StatementError,
                     s ? QString::number(mysql_stmt_errno(s)) : QString())
        .text();
}

// Owns the statement. The row is read without storing the result, so whatever the server
// still sends is drained before closing: Qt's next statement finds the connection free.
struct Sentencia {
    MYSQL_STMT *s;
    bool leyendo = false;
    explicit Sentencia(MYSQL *m) : s(mysql_stmt_init(m)) {}
    ~Sentencia()
    {
        if (!s)
            return;
        if (leyendo) {
            int rc;
            do {
                rc = mysql_stmt_fetch(s);
            } while (rc == 0 || rc == MYSQL_DATA_TRUNCATED);
        }
        mysql_stmt_close(s);
    }
};

} // namespace

// Qt and this unit then share one session.
MYSQL *manejador(const QSqlDatabase &db)
{
    return SesionCifrada::manejador(db);
}

bool leerExigencia(const QSqlDatabase &db, int appId, const QList<QByteArray> &claves,
                   Exigencia *exigencia, QString *titulo, QString *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT a.titulo, f.version, f.clave, f.firma FROM app a "
                             "LEFT JOIN appfirma f ON f.app_id=a.app_id WHERE a.app_id=:appid"));
    q.bindValue(QStringLiteral(":appid"), appId);
    if (!q.exec()) {
        *error = q.lastError().text();
        return false;
    }
    *exigencia = Exigencia();
    exigencia->claves = claves;
    if (q.next()) {
        *titulo = q.value(0).toString();
        if (!q.isNull(1)) {
            Publicacion p;
            p.version = q.value(1).toLongLong();
            p.clave = Firma::clavePublica(q.value(2).toByteArray()).value_or(QByteArray());
            p.firma = q.value(3).toByteArray();
            exigencia->publicacion = p;
        }
    }
    return true;
}

Estado guardar(const QString &dir, const QString &nombre, qint64 largo, const QString &digest,
               const LectorPiezas &leer, const Exigencia *exigencia)
{
    if (!Programas::nombreSeguro(nombre))
        return Estado::NombreInvalido;
    const QString ruta = dir + QLatin1Char('/') + nombre + QLatin1String(Programas::sufijoPrograma);
    const QString rutaVersion = ruta + QLatin1String(Firma::sufijoVersion);
    // What can be refused without the bytes is refused before reading them.
    if (exigencia) {
        const std::optional<Publicacion> &p = exigencia->publicacion;
        if (!p || p->version <= 0 || !exigencia->claves.contains(p->clave))
            return Estado::FirmaInvalida;
        const std::optional<qint64> instalada = Firma::versionInstalada(rutaVersion);
        if (instalada && p->version < *instalada)
            return Estado::FirmaInvalida;
    }
    QSaveFile programa(ruta);
    if (!programa.open(QIODevice::WriteOnly))
        return Estado::FalloPrograma;
    // Set on the temporary file, so the program appears already with its final mode.
    programa.setPermissions(QFileDevice::ReadUser | QFileDevice::WriteUser
                            | QFileDevice::ExeUser);

    QCryptographicHash suma(QCryptographicHash::Md5);
    Firma::Sha256 sha;
    QByteArray pieza(qMin(largo, tamanoPieza), Qt::Uninitialized);
    for (qint64 desde = 0; desde < largo;) {
        const qint64 n = qMin(tamanoPieza, largo - desde);
        if (!leer(pieza.data(), desde, n))
            return Estado::FalloSentencia; // the temporary file goes with `programa`
        suma.addData(QByteArrayView(pieza.constData(), n));
        if (exigencia)
            sha.agregar(pieza.constData(), n);
        if (programa.write(pieza.constData(), n) != n)
            return Estado::FalloPrograma;
        desde += n;
    }
    // What arrived must be what the server holds: a damaged transfer replaces nothing.
    if (QString::fromLatin1(suma.result().toHex()).compare(digest, Qt::CaseInsensitive) != 0)
        return Estado::DigestDistinto;
    if (exigencia) {
        const Publicacion &p = *exigencia->publicacion;
        if (!Firma::verifica(p.clave, p.firma,
                             Firma::mensaje(nombre, p.version, sha.hex(), largo)))
            return Estado::FirmaInvalida;
        // Recorded before the program is put in place: whatever happens next, an older
        // publication is never taken for this one.
        QSaveFile marca(rutaVersion);
        const QByteArray v = QByteArray::number(p.version);
        if (!marca.open(QIODevice::WriteOnly) || marca.write(v) != v.size() || !marca.commit())
            return Estado::FalloPrograma;
    }
    if (!programa.commit())
        return Estado::FalloPrograma;

    QSaveFile archivoDigest(programa.fileName() + QLatin1String(Programas::sufijoDigest));
    if (!archivoDigest.open(QIODevice::WriteOnly))
        return Estado::FalloDigest;
    const QByteArray texto = digest.toLatin1();
    if (archivoDigest.write(texto) != texto.size() || !archivoDigest.commit())
        return Estado::FalloDigest;
    return Estado::Hecha;
}

Resultado descargar(const QSqlDatabase &db, int appId, const QString &dir,
                    const QList<QByteArray> *claves)
{
    Resultado r;
    std::optional<Exigencia> exigencia;
    if (claves) {
        exigencia.emplace();
        if (!leerExigencia(db, appId, *claves, &*exigencia, &r.titulo, &r.error))
            return r;
    }

    static const char sql[] = "SELECT windowsbinary, MD5(windowsbinary), LENGTH(windowsbinary), "
                              "nombre FROM app WHERE app_id=?";
    MYSQL *mysql = manejador(db);
    if (!mysql) {
        r.error = errorDe(nullptr, "Unable to prepare statement");
        return r;
    }
    Sentencia st(mysql);
    if (!st.s || mysql_stmt_prepare(st.s, sql, sizeof sql - 1) != 0) {
        r.error = st.s ? errorDe(st.s, "Unable to prepare statement")
                       : QString::fromUtf8(mysql_error(mysql));
        return r;
    }

    // The app_id as Qt binds an int: a 32-bit signed integer.
    int id = appId;
    MYSQL_BIND parametro;
    std::memset(&parametro, 0, sizeof parametro);
    parametro.buffer_type = MYSQL_TYPE_LONG;
    parametro.buffer = &id;
    if (mysql_stmt_bind_param(st.s, &parametro) != 0) {
        r.error = errorDe(st.s, "Unable to bind value");
        return r;
    }
    if (mysql_stmt_execute(st.s) != 0) {
        r.error = errorDe(st.s, "Unable to execute statement");
        return r;
    }
    st.leyendo = true;

    // Text and binary columns are bound without a buffer: the fetch only tells their lengths,
    // and their bytes are copied out of the received row afterwards.
    MYSQL_BIND columnas[4];
    std::memset(columnas, 0, sizeof columnas);
    unsigned long largos[4] = {};
    my_bool nulos[4] = {};
    my_bool truncados[4] = {};
    long long largoBinario = 0;
    for (int i = 0; i < 4; ++i) {
        columnas[i].buffer_type = MYSQL_TYPE_STRING;
        columnas[i].length = &largos[i];
        columnas[i].is_null = &nulos[i];
        columnas[i].error = &truncados[i];
    }
    columnas[0].buffer_type = MYSQL_TYPE_BLOB;
    columnas[2].buffer_type = MYSQL_TYPE_LONGLONG;
    columnas[2].buffer = &largoBinario;
    if (mysql_stmt_bind_result(st.s, columnas) != 0) {
        r.error = errorDe(st.s, "Unable to bind outvalues");
        return r;
    }
    const int rc = mysql_stmt_fetch(st.s);
    if (rc == MYSQL_NO_DATA) {
        st.leyendo = false;
        r.estado = Estado::SinFila;
        return r;
    }
    if (rc != 0 && rc != MYSQL_DATA_TRUNCATED) {
        st.leyendo = false; // the connection is gone or out of step: nothing more to read
        r.error = errorDe(st.s, "Unable to fetch data");
        return r;
    }

    // Copies `n` bytes of column `i` from `desde` out of the row.
    auto copiar = [&](unsigned i, char *destino, qint64 desde, qint64 n) {
        unsigned long copiados = 0;
        MYSQL_BIND b;
        std::memset(&b, 0, sizeof b);
        b.buffer_type = columnas[i].buffer_type;
        b.buffer = destino;
        b.buffer_length = static_cast<unsigned long>(n);
        b.length = &copiados;
        return mysql_stmt_fetch_column(st.s, &b, i, static_cast<unsigned long>(desde)) == 0;
    };
    auto texto = [&](unsigned i) -> std::optional<QByteArray> {
        QByteArray b(nulos[i] ? 0 : qsizetype(largos[i]), Qt::Uninitialized);
        if (!b.isEmpty() && !copiar(i, b.data(), 0, b.size()))
            return std::nullopt;
        return b;
    };
    const std::optional<QByteArray> nombre = texto(3);
    const std::optional<QByteArray> digest = texto(1);
    if (!nombre || !digest) {
        r.error = errorDe(st.s, "Unable to fetch data");
        return r;
    }
    r.nombre = QString::fromUtf8(*nombre);
    if (nulos[2] || largoBinario == 0 || nulos[0] || largos[0] == 0) {
        r.estado = Estado::SinBinario;
        return r;
    }

    r.estado = guardar(dir, r.nombre, qint64(largos[0]), QString::fromLatin1(*digest),
                       [&](char *destino, qint64 desde, qint64 n) {
                           return copiar(0, destino, desde, n);
                       },
                       exigencia ? &*exigencia : nullptr);
    if (r.estado == Estado::FalloSentencia)
        r.error = errorDe(st.s, "Unable to fetch data");
    return r;
}

} // namespace Descarga
