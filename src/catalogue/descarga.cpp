#include "descarga.h"

#include "catalogue/firma.h"
#include "catalogue/lector.h"
#include "catalogue/programas.h"
#include "db/sesioncifrada.h"

#include <QCryptographicHash>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <mysql.h>

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

} // namespace

// Qt and this unit then share one session.
MYSQL *manejador(const QSqlDatabase &db)
{
    return SesionCifrada::manejador(db);
}

bool leerExigencia(const QSqlDatabase &db, int appId, const QList<QByteArray> &claves,
                   Exigencia *exigencia, QString *titulo, QString *error, const QString &digest)
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
    if (digest.isEmpty())
        return true;
    QSqlQuery v(db);
    v.prepare(QStringLiteral("SELECT version, clave, firma FROM appversion WHERE app_id=:appid "
                             "AND clase='piloto' AND md5=:md5"));
    v.bindValue(QStringLiteral(":appid"), appId);
    v.bindValue(QStringLiteral(":md5"), digest);
    if (v.exec() && v.next()) {
        Publicacion p;
        p.version = v.value(0).toLongLong();
        p.clave = Firma::clavePublica(v.value(1).toByteArray()).value_or(QByteArray());
        p.firma = v.value(2).toByteArray();
        exigencia->publicacion = p;
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
                    const QList<QByteArray> *claves, const QString &piloto, const Cerca *cerca)
{
    Resultado r;
    std::optional<Exigencia> exigencia;
    if (claves) {
        exigencia.emplace();
        if (!leerExigencia(db, appId, *claves, &*exigencia, &r.titulo, &r.error, piloto))
            return r;
    }

    static const char sqlGeneral[] = "SELECT windowsbinary, MD5(windowsbinary), "
                                     "LENGTH(windowsbinary), nombre FROM app WHERE app_id=?";
    // The digest is the one the tool recorded; what arrives must hash to it all the same.
    static const char sqlPiloto[] = "SELECT v.datos, v.md5, v.largo, a.nombre FROM appversion v "
                                    "JOIN app a ON a.app_id=v.app_id WHERE v.app_id=? AND "
                                    "v.clase='piloto' AND v.md5=?";
    const char *sql = piloto.isEmpty() ? sqlGeneral : sqlPiloto;
    MYSQL *mysql = cerca ? cerca->m : manejador(db);
    if (!mysql) {
        r.error = errorDe(nullptr, "Unable to prepare statement");
        return r;
    }
    Lector st(mysql);
    if (!st.sentencia() || !st.preparar(sql)) {
        r.error = st.sentencia() ? errorDe(st.sentencia(), "Unable to prepare statement")
                                 : QString::fromUtf8(mysql_error(mysql));
        return r;
    }
    // The app_id as Qt binds an int.
    st.entero(appId);
    if (!piloto.isEmpty())
        st.texto(piloto.toLatin1());
    if (!st.ejecutar()) {
        r.error = errorDe(st.sentencia(), "Unable to execute statement");
        return r;
    }
    const int hay = st.fila();
    // A pilot version withdrawn since the catalogue was read leaves nothing to fetch, which is
    // no failure of the session.
    if (hay == 0) {
        r.estado = piloto.isEmpty() ? Estado::SinFila : Estado::SinBinario;
        return r;
    }
    const std::optional<QByteArray> nombre = hay < 0 ? std::nullopt : st.valor(3);
    const std::optional<QByteArray> digest = hay < 0 ? std::nullopt : st.valor(1);
    if (!nombre || !digest) {
        r.error = errorDe(st.sentencia(), "Unable to fetch data");
        return r;
    }
    r.nombre = QString::fromUtf8(*nombre);
    if (cerca && (r.nombre != cerca->nombre
                  || QString::fromLatin1(*digest).compare(cerca->digest, Qt::CaseInsensitive) != 0)) {
        r.estado = Estado::DigestDistinto;
        return r;
    }
    if (st.numero(2) == 0 || st.bytes(0) == 0) {
        r.estado = Estado::SinBinario;
        return r;
    }

    r.estado = guardar(dir, r.nombre, st.bytes(0), QString::fromLatin1(*digest),
                       [&](char *destino, qint64 desde, qint64 n) {
                           return st.leer(0, destino, desde, n);
                       },
                       exigencia ? &*exigencia : nullptr);
    if (r.estado == Estado::FalloSentencia)
        r.error = errorDe(st.sentencia(), "Unable to fetch data");
    return r;
}

} // namespace Descarga
