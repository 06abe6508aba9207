#include "actualizacion.h"

#include "catalogue/compresion.h"
#include "catalogue/lector.h"
#include "catalogue/programas.h"
#include "db/sesioncifrada.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <mysql.h>

#include <algorithm>
#include <memory>
#include <new>
#include <optional>

namespace Actualizacion {

namespace {

const QString nombreCanal = QStringLiteral("kolvaster-comprimidos");

// No program can be larger than what a server sends in one row (max_allowed_packet is at most
// 1 GB): a row claiming more is damage, and is not allowed to fill the disk before the check.
constexpr qint64 largoMaximo = qint64(1) << 30;

// A compressed copy is never much larger than its program (zstd's worst case adds a few bytes
// per block): one that says so is damage, not worth fetching.
qint64 cotaComprimido(qint64 largo)
{
    return largo + largo / 64 + 64 * 1024;
}

// One stored value (the first column of the statement's single row), read by the server once
// and taken out of the received row in pieces. The statement bounds what the server sends to
// one byte more than the publishing tool recorded (LEFT(datos, ?)), so that a row grown since
// costs no more than what was announced, and is refused.
class Almacenado
{
public:
    // `valores`: the row's key, after the bound.
    Almacenado(MYSQL *m, const char *sql, qint64 bytes, const QList<QByteArray> &valores,
               long long appId)
        : lector(m), total(bytes)
    {
        lector.entero(bytes + 1).entero(appId);
        for (const QByteArray &v : valores)
            lector.texto(v);
        listo = lector.preparar(sql) && lector.ejecutar() && lector.fila() == 1
                && !lector.nulo(0) && lector.bytes(0) == bytes;
    }

    // The next piece in *pieza (valid until the next call); empty once all have been read.
    // A piece that cannot be had (no memory for it) fails like a damaged row.
    bool siguiente(QByteArrayView *pieza)
    {
        if (!listo)
            return false;
        const qint64 n = qMin(Descarga::tamanoPieza, total - leidos);
        if (n > capacidad) {
            buffer.reset(new (std::nothrow) char[size_t(n)]);
            capacidad = buffer ? n : 0;
        }
        if (n > 0 && (!buffer || !lector.leer(0, buffer.get(), leidos, n)))
            return false;
        leidos += n;
        if (n > 0 && recibidos)
            recibidos(n);
        *pieza = QByteArrayView(buffer.get(), n);
        return true;
    }

    std::function<void(qint64)> recibidos;

private:
    Lector lector;
    qint64 total, leidos = 0;
    std::unique_ptr<char[]> buffer;
    qint64 capacidad = 0;
    bool listo = false;
};

const char sqlCopia[] = "SELECT LEFT(datos, ?) FROM appcomprimido WHERE app_id=? AND md5=?";
const char sqlParche[] = "SELECT LEFT(datos, ?) FROM appparche WHERE app_id=? AND "
                         "desde_md5=? AND hasta_md5=?";

struct Parche {
    QByteArray desde, hasta;
    qint64 bytes = 0, largo = 0;
};

// What the database holds for the program, in one statement, with the sizes the publishing
// tool recorded: nothing is measured on the server.
struct Oferta {
    QString nombre;
    bool hayPrograma = false;
    std::optional<qint64> copiaLargo, copiaBytes; // only when its md5 is the catalogue's
    QList<Parche> cadena;                         // from the local digest to the catalogue's
    qint64 cadenaBytes = 0;
    // What the publications say the program is: the bound of every step's output.
    std::optional<qint64> largoPrograma;
};

std::optional<Oferta> leerOferta(const QSqlDatabase &sesion, int appId, const QString &dir,
                                 const QString &digest)
{
    QSqlQuery q(sesion);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT 'n', nombre, NULL, NULL, NULL FROM app WHERE app_id=:a UNION ALL "
        "SELECT 'c', md5, NULL, largo, bytes FROM appcomprimido WHERE app_id=:b "
        "UNION ALL SELECT 'p', desde_md5, hasta_md5, largo, bytes FROM appparche "
        "WHERE app_id=:c"));
    q.bindValue(QStringLiteral(":a"), appId);
    q.bindValue(QStringLiteral(":b"), appId);
    q.bindValue(QStringLiteral(":c"), appId);
    // A database without the tables or their sizes (or any failure here) simply offers
    // nothing.
    if (!q.exec())
        return std::nullopt;
    Oferta o;
    QHash<QByteArray, Parche> parches; // by desde_md5
    // A size a row may state: a program no server can send in one row is damage.
    auto medida = [&](int columna) -> std::optional<qint64> {
        const qint64 v = q.value(columna).toLongLong();
        if (q.isNull(columna) || v <= 0 || v > largoMaximo)
            return std::nullopt;
        return v;
    };
    while (q.next()) {
        const QString tipo = q.value(0).toString();
        if (tipo == QLatin1String("n")) {
            o.nombre = q.value(1).toString();
            o.hayPrograma = true;
        } else if (tipo == QLatin1String("c")) {
            // A copy of another version (the program was replaced by hand since) is no use.
            const std::optional<qint64> largo = medida(3), bytes = medida(4);
            if (q.value(1).toString() == digest && largo && bytes
                && *bytes <= cotaComprimido(*largo)) {
                o.copiaLargo = largo;
                o.copiaBytes = bytes;
            }
        } else if (medida(3) && medida(4)) {
            Parche p{q.value(1).toByteArray(), q.value(2).toByteArray(), *medida(4), *medida(3)};
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
            break; // no way from here to the catalogue's version
        vistos.insert(actual);
        const Parche &p = parches[actual];
        cadena << p;
        bytes += p.bytes;
        actual = p.hasta;
    }
    if (actual == digest.toLatin1()) {
        o.cadena = cadena;
        o.cadenaBytes = bytes;
    }
    // The copy and the chain's last patch each say how large the program is; when they
    // disagree the smaller bounds (the larger one's path then fails its own check).
    if (!o.cadena.isEmpty())
        o.largoPrograma = o.cadena.last().largo;
    if (o.copiaLargo)
        o.largoPrograma = qMin(o.largoPrograma.value_or(*o.copiaLargo), *o.copiaLargo);
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

    // Each patch is fetched as it is applied, one stored value at a time on the canal; each
    // version is the reference of the next.
    qint64 recibidos = 0;
    for (qsizetype i = 0; i < o.cadena.size(); ++i) {
        const Parche &p = o.cadena.at(i);
        Almacenado fuente(m, sqlParche, p.bytes, {p.desde, p.hasta}, appId);
        fuente.recibidos = [&](qint64 n) {
            recibidos += n;
            if (progreso)
                progreso(recibidos, o.cadenaBytes);
        };
        // The frame's header tells the size of what it makes: no step may make more than the
        // program is, and the last must make exactly that.
        QByteArrayView primera;
        if (!fuente.siguiente(&primera))
            return false;
        const std::optional<qint64> largo = Compresion::largoContenido(primera);
        const bool ultimo = i + 1 == o.cadena.size();
        if (!largo || *largo <= 0 || *largo > *o.largoPrograma
            || (ultimo && *largo != *o.largoPrograma))
            return false;
        bool dada = false;
        Compresion::Descompresor d(
            [&](QByteArrayView *pieza) {
                if (!dada) {
                    dada = true;
                    *pieza = primera;
                    return true;
                }
                return fuente.siguiente(pieza);
            },
            *largo, referencia);
        if (ultimo)
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
    Almacenado fuente(m, sqlCopia, *o.copiaBytes, {digest.toLatin1()}, appId);
    fuente.recibidos = [&](qint64 n) {
        recibidos += n;
        if (progreso)
            progreso(recibidos, *o.copiaBytes);
    };
    Compresion::Descompresor d([&](QByteArrayView *pieza) { return fuente.siguiente(pieza); },
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
        if (!Descarga::leerExigencia(sesion, appId, *claves, &*exigencia, &titulo, &error,
                                     digest))
            return r;
    }
    const Descarga::Exigencia *e = exigencia ? &*exigencia : nullptr;

    // A chain is worth fetching only while it costs less than the copy and than the program.
    if (!o->cadena.isEmpty() && o->cadenaBytes < *o->largoPrograma
        && (!o->copiaBytes || o->cadenaBytes < *o->copiaBytes)) {
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
