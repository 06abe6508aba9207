#include "actualizacion.h"

#include "catalogue/compresion.h"
#include "catalogue/programas.h"
#include "db/sesioncifrada.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <mysql.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace Actualizacion {

namespace {

const QString nombreCanal = QStringLiteral("kolvaster-comprimidos");

// No program can be larger than what a server sends in one row (max_allowed_packet is at most
// 1 GB): a row claiming more is damage, and is not allowed to fill the disk before the check.
constexpr qint64 largoMaximo = qint64(1) << 30;

// Stored bytes are fetched in slices, one statement each: the wait dialog can tell how many
// have arrived, and only one slice is ever held. Each statement makes the server read the whole
// value, so a large one is cut in about sixteen slices, not in many small ones.
qint64 tamanoTrozo(qint64 total)
{
    return std::clamp<qint64>(total / 16, 1024 * 1024, 8 * 1024 * 1024);
}

// Successive slices of one stored value, read on the canal: "SUBSTRING(datos, ?, ?)" of the row
// that the remaining placeholders select. The row must still be there and still hold as many
// bytes, otherwise reading fails.
class Trozos
{
public:
    Trozos(MYSQL *m, const char *sql, long long appId, const QList<QByteArray> &claves,
           qint64 largo, const std::function<void(qint64)> &recibidos)
        : st(m ? mysql_stmt_init(m) : nullptr), sql(sql), appId(appId), claves(claves),
          largo(largo), recibidos(recibidos), buffer(int(qMin(largo, tamanoTrozo(largo))), Qt::Uninitialized)
    {
    }
    ~Trozos()
    {
        if (st)
            mysql_stmt_close(st);
    }

    // The next slice in *pieza (valid until the next call); empty once all have been read.
    bool siguiente(QByteArrayView *pieza)
    {
        if (leidos == largo) {
            *pieza = QByteArrayView();
            return true;
        }
        if (!st)
            return false;
        if (!preparada) {
            if (mysql_stmt_prepare(st, sql, std::strlen(sql)) != 0)
                return false;
            preparada = true;
        }
        long long desde = leidos + 1;
        long long n = qMin<qint64>(buffer.size(), largo - leidos);
        long long id = appId;
        unsigned long largos[2] = {};
        MYSQL_BIND p[5]; // the slice, the app and at most two digests
        std::memset(p, 0, sizeof p);
        p[0].buffer_type = p[1].buffer_type = p[2].buffer_type = MYSQL_TYPE_LONGLONG;
        p[0].buffer = &desde;
        p[1].buffer = &n;
        p[2].buffer = &id;
        for (int i = 0; i < claves.size() && i < 2; ++i) {
            largos[i] = static_cast<unsigned long>(claves[i].size());
            p[3 + i].buffer_type = MYSQL_TYPE_STRING;
            p[3 + i].buffer = const_cast<char *>(claves[i].constData());
            p[3 + i].buffer_length = largos[i];
            p[3 + i].length = &largos[i];
        }
        if (mysql_stmt_bind_param(st, p) != 0 || mysql_stmt_execute(st) != 0)
            return false;
        unsigned long llegado = 0;
        my_bool nulo = 0;
        MYSQL_BIND r;
        std::memset(&r, 0, sizeof r);
        r.buffer_type = MYSQL_TYPE_BLOB;
        r.buffer = buffer.data();
        r.buffer_length = static_cast<unsigned long>(buffer.size());
        r.length = &llegado;
        r.is_null = &nulo;
        const int rc = mysql_stmt_bind_result(st, &r) == 0 ? mysql_stmt_fetch(st) : 1;
        // Whatever is left of the answer is drained: the canal stays in step.
        if (rc == 0 || rc == MYSQL_DATA_TRUNCATED)
            while (mysql_stmt_fetch(st) == 0) {
            }
        mysql_stmt_free_result(st);
        if (rc != 0 || nulo || qint64(llegado) != n)
            return false;
        leidos += n;
        if (recibidos)
            recibidos(n);
        *pieza = QByteArrayView(buffer.constData(), n);
        return true;
    }

private:
    MYSQL_STMT *st;
    const char *sql;
    long long appId;
    QList<QByteArray> claves;
    qint64 largo;
    std::function<void(qint64)> recibidos;
    QByteArray buffer;
    qint64 leidos = 0;
    bool preparada = false;
};

const char sqlCopia[] =
    "SELECT SUBSTRING(datos, ?, ?) FROM appcomprimido WHERE app_id=? AND md5=?";
const char sqlParche[] = "SELECT SUBSTRING(datos, ?, ?) FROM appparche WHERE app_id=? AND "
                         "desde_md5=? AND hasta_md5=?";

struct Parche {
    QByteArray desde, hasta;
    qint64 bytes = 0;
};

// What the database holds for the program, in one statement.
struct Oferta {
    QString nombre;
    bool hayPrograma = false;
    std::optional<qint64> copiaLargo, copiaBytes; // only when its md5 is the catalogue's
    QList<Parche> cadena;                         // from the local digest to the catalogue's
    qint64 cadenaBytes = 0;
};

std::optional<Oferta> leerOferta(const QSqlDatabase &sesion, int appId, const QString &dir,
                                 const QString &digest)
{
    QSqlQuery q(sesion);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT 'n', nombre, NULL, NULL, NULL FROM app WHERE app_id=:a UNION ALL "
        "SELECT 'c', md5, NULL, largo, LENGTH(datos) FROM appcomprimido WHERE app_id=:b "
        "UNION ALL SELECT 'p', desde_md5, hasta_md5, NULL, LENGTH(datos) FROM appparche "
        "WHERE app_id=:c"));
    q.bindValue(QStringLiteral(":a"), appId);
    q.bindValue(QStringLiteral(":b"), appId);
    q.bindValue(QStringLiteral(":c"), appId);
    // A database without the tables (or any failure here) simply offers nothing.
    if (!q.exec())
        return std::nullopt;
    Oferta o;
    QHash<QByteArray, Parche> parches; // by desde_md5
    while (q.next()) {
        const QString tipo = q.value(0).toString();
        if (tipo == QLatin1String("n")) {
            o.nombre = q.value(1).toString();
            o.hayPrograma = true;
        } else if (tipo == QLatin1String("c")) {
            // A copy of another version (the program was replaced by hand since) is no use.
            if (q.value(1).toString() == digest && q.value(3).toLongLong() > 0
                && q.value(3).toLongLong() <= largoMaximo && q.value(4).toLongLong() > 0) {
                o.copiaLargo = q.value(3).toLongLong();
                o.copiaBytes = q.value(4).toLongLong();
            }
        } else if (q.value(4).toLongLong() > 0) {
            Parche p{q.value(1).toByteArray(), q.value(2).toByteArray(), q.value(4).toLongLong()};
            parches.insert(p.desde, p);
        }
    }
    if (!o.hayPrograma || !Programas::nombreSeguro(o.nombre))
        return o;

    // The chain starts at the version the user has, as its digest file says.
    const QString exe = dir + QLatin1Char('/') + o.nombre + QLatin1String(Programas::sufijoPrograma);
    QFile archivoDigest(exe + QLatin1String(Programas::sufijoDigest));
    if (!QFile::exists(exe) || !archivoDigest.open(QIODevice::ReadOnly | QIODevice::Text))
        return o;
    QByteArray actual = archivoDigest.readLine().trimmed();
    QSet<QByteArray> vistos;
    QList<Parche> cadena;
    qint64 bytes = 0;
    while (actual != digest.toLatin1()) {
        if (vistos.contains(actual) || !parches.contains(actual))
            return o; // no way from here to the catalogue's version
        vistos.insert(actual);
        const Parche &p = parches[actual];
        cadena << p;
        bytes += p.bytes;
        actual = p.hasta;
    }
    o.cadena = cadena;
    o.cadenaBytes = bytes;
    return o;
}

// A buffer that may fail to be had, unlike QByteArray, which ends the process.
struct Bloque {
    std::unique_ptr<char[]> datos;
    qint64 largo = 0;
    QByteArrayView vista() const { return QByteArrayView(datos.get(), largo); }
};

// Stores the program from `fuente`'s single frame through the download's own checks.
Descarga::Estado guardarDesde(const QString &dir, const QString &nombre, qint64 largo,
                              const QString &digest, Compresion::Descompresor &d,
                              const Descarga::Exigencia *exigencia,
                              const std::function<void()> &alTerminar = {})
{
    return Descarga::guardar(
        dir, nombre, largo, digest,
        [&](char *destino, qint64 desde, qint64 n) {
            if (!d.producir(destino, n))
                return false;
            if (desde + n < largo)
                return true;
            // The frame must end here; the reference is no longer needed before the program
            // is put in its place.
            const bool bien = d.completo();
            if (alTerminar)
                alTerminar();
            return bien;
        },
        exigencia);
}

bool porParches(const Oferta &o, MYSQL *m, int appId, const QString &dir, const QString &digest,
                const Descarga::Exigencia *exigencia, const Progreso &progreso)
{
    // Every patch is fetched first (together they are smaller than the compressed copy).
    QList<QByteArray> datos;
    qint64 recibidos = 0;
    for (const Parche &p : o.cadena) {
        Trozos t(m, sqlParche, appId, {p.desde, p.hasta}, p.bytes, [&](qint64 n) {
            recibidos += n;
            if (progreso)
                progreso(recibidos, o.cadenaBytes);
        });
        QByteArray todo;
        QByteArrayView pieza;
        do {
            if (!t.siguiente(&pieza))
                return false;
            todo.append(pieza);
        } while (!pieza.isEmpty());
        datos << todo;
    }

    const QString exe = dir + QLatin1Char('/') + o.nombre + QLatin1String(Programas::sufijoPrograma);
    QFile local(exe);
    if (!local.open(QIODevice::ReadOnly))
        return false;
    const qint64 largoLocal = local.size();
    uchar *mapa = largoLocal > 0 ? local.map(0, largoLocal) : nullptr;
    if (!mapa)
        return false;
    QByteArrayView referencia(reinterpret_cast<const char *>(mapa), largoLocal);
    Bloque intermedio;
    auto soltarLocal = [&] {
        if (mapa)
            local.unmap(mapa);
        mapa = nullptr;
    };

    for (int i = 0; i < datos.size(); ++i) {
        const std::optional<qint64> largo = Compresion::largoContenido(datos[i]);
        // Each version is the reference of the next; a header claiming a size out of all
        // proportion with the versions around it is damage, not a program.
        if (!largo || *largo <= 0 || *largo > largoMaximo
            || *largo > 4 * referencia.size() + (256 << 20))
            return false;
        bool entregado = false;
        auto fuente = [&](QByteArrayView *pieza) {
            *pieza = entregado ? QByteArrayView() : QByteArrayView(datos[i]);
            entregado = true;
            return true;
        };
        Compresion::Descompresor d(fuente, *largo, referencia);
        if (i + 1 == datos.size())
            return guardarDesde(dir, o.nombre, *largo, digest, d, exigencia, [&] {
                       soltarLocal();
                       intermedio = Bloque();
                   })
                   == Descarga::Estado::Hecha;
        Bloque siguiente;
        siguiente.datos.reset(new (std::nothrow) char[size_t(*largo)]);
        siguiente.largo = *largo;
        if (!siguiente.datos || !d.producir(siguiente.datos.get(), *largo) || !d.completo())
            return false;
        soltarLocal();
        intermedio = std::move(siguiente);
        referencia = intermedio.vista();
    }
    return false;
}

bool porCopia(const Oferta &o, MYSQL *m, int appId, const QString &dir, const QString &digest,
              const Descarga::Exigencia *exigencia, const Progreso &progreso)
{
    qint64 recibidos = 0;
    Trozos t(m, sqlCopia, appId, {digest.toLatin1()}, *o.copiaBytes, [&](qint64 n) {
        recibidos += n;
        if (progreso)
            progreso(recibidos, *o.copiaBytes);
    });
    Compresion::Descompresor d([&](QByteArrayView *pieza) { return t.siguiente(pieza); },
                               *o.copiaLargo);
    return guardarDesde(dir, o.nombre, *o.copiaLargo, digest, d, exigencia)
           == Descarga::Estado::Hecha;
}

} // namespace

QSqlDatabase abrirSinCompresion(const QSqlDatabase &sesion, const QString &nombre,
                                bool conCompresion)
{
    QSqlDatabase c = QSqlDatabase::cloneDatabase(sesion, nombre);
    QStringList opciones;
    for (const QString &o : sesion.connectOptions().split(QLatin1Char(';'), Qt::SkipEmptyParts))
        if (conCompresion
            || o.section(QLatin1Char('='), 0, 0).trimmed() != QLatin1String("CLIENT_COMPRESS"))
            opciones << o;
    c.setConnectOptions(opciones.join(QLatin1Char(';')));
    // Asked for TLS like the session, and refused like it when the server answers in clear:
    // a connection that could not be opened just leaves the program to the plain download.
    SesionCifrada::abrir(c);
    return c;
}

Canal::Canal(const QSqlDatabase &sesion, bool conCompresion)
    : sesion(sesion), nombre(nombreCanal), conCompresion(conCompresion)
{
}

Canal::~Canal()
{
    if (!intentado)
        return;
    QSqlDatabase::database(nombre, false).close();
    QSqlDatabase::removeDatabase(nombre);
}

st_mysql *Canal::manejador()
{
    if (!intentado) {
        intentado = true;
        abrirSinCompresion(sesion, nombre, conCompresion);
    }
    return Descarga::manejador(QSqlDatabase::database(nombre, false));
}

Resultado actualizar(const QSqlDatabase &sesion, Canal &canal, int appId, const QString &dir,
                     const QString &digest, const QList<QByteArray> *claves,
                     const Progreso &progreso)
{
    Resultado r;
    const std::optional<Oferta> o = leerOferta(sesion, appId, dir, digest);
    if (!o || !o->hayPrograma || !Programas::nombreSeguro(o->nombre)
        || (o->cadena.isEmpty() && !o->copiaBytes))
        return r;
    std::optional<Descarga::Exigencia> exigencia;
    if (claves) {
        QString titulo, error;
        exigencia.emplace();
        if (!Descarga::leerExigencia(sesion, appId, *claves, &*exigencia, &titulo, &error))
            return r;
    }
    const Descarga::Exigencia *e = exigencia ? &*exigencia : nullptr;

    if (!o->cadena.isEmpty() && (!o->copiaBytes || o->cadenaBytes < *o->copiaBytes)) {
        MYSQL *m = canal.manejador();
        if (m && porParches(*o, m, appId, dir, digest, e, progreso)) {
            r.camino = Camino::Parches;
            return r;
        }
        r.fallidos << Camino::Parches;
    }
    if (o->copiaBytes) {
        MYSQL *m = canal.manejador();
        if (m && porCopia(*o, m, appId, dir, digest, e, progreso)) {
            r.camino = Camino::Copia;
            return r;
        }
        r.fallidos << Camino::Copia;
    }
    return r;
}

} // namespace Actualizacion
