#include "actualizacion.h"

#include "catalogue/compresion.h"
#include "catalogue/piezas.h"
#include "catalogue/programas.h"
#include "catalogue/sucursal.h"
#include "db/sesioncifrada.h"

#include <QDir>
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

// Each row bounded to one byte more than its piece's announced size (see Piezas::Flujo).
const char sqlCopia[] = "SELECT pieza, suma, LEFT(datos, LEAST(?, ? - pieza * ?) + 1) FROM "
                        "appcopiapieza WHERE app_id=? AND md5=? AND pieza>=? AND pieza<? "
                        "ORDER BY pieza";
const char sqlParche[] = "SELECT pieza, suma, LEFT(datos, LEAST(?, ? - pieza * ?) + 1) FROM "
                         "appdeltapieza WHERE app_id=? AND desde_md5=? AND hasta_md5=? AND "
                         "pieza>=? AND pieza<? ORDER BY pieza";

// The head office's digests of the same pieces, for those read from a branch's replica.
const char sumasCopia[] = "SELECT pieza, suma FROM appcopiapieza WHERE app_id=? AND md5=? AND "
                          "pieza>=? AND pieza<? ORDER BY pieza";
const char sumasParche[] = "SELECT pieza, suma FROM appdeltapieza WHERE app_id=? AND "
                           "desde_md5=? AND hasta_md5=? AND pieza>=? AND pieza<? ORDER BY pieza";

// However many patches the rows offer, a chain is sought among these few, no longer than this.
constexpr int parchesMaximos = 256;
constexpr int pasosMaximos = 16;

struct Parche {
    QByteArray desde, hasta;
    Piezas::Medida medida;
};

// What the database holds for the program, in one statement, with the sizes the publishing
// tool recorded: nothing is measured on the server.
struct Oferta {
    QString nombre;
    bool hayPrograma = false;
    std::optional<Piezas::Medida> copia; // the copy of the catalogue's digest
    QList<Parche> cadena;                // from the local digest to the catalogue's
    qint64 cadenaBytes = 0;
    // What the publications say the program is: the bound of every step's output.
    std::optional<qint64> largoPrograma;
};

// The cheapest chain of patches from `desde` to `hasta` (by the bytes they cost), if any.
QList<Parche> cadenaMasBarata(const QList<Parche> &parches, const QByteArray &desde,
                              const QByteArray &hasta)
{
    // Costs relaxed step by step from the user's version: a chain of at most pasosMaximos.
    QHash<QByteArray, std::pair<qint64, qsizetype>> mejor; // digest: cost, patch that leads there
    mejor.insert(desde, {0, -1});
    for (int paso = 0; paso < pasosMaximos; ++paso) {
        bool cambio = false;
        for (qsizetype i = 0; i < parches.size(); ++i) {
            const Parche &p = parches.at(i);
            const auto d = mejor.constFind(p.desde);
            if (d == mejor.constEnd() || p.hasta == desde)
                continue;
            const qint64 costo = d->first + p.medida.bytes;
            const auto h = mejor.constFind(p.hasta);
            if (h == mejor.constEnd() || costo < h->first) {
                mejor.insert(p.hasta, {costo, i});
                cambio = true;
            }
        }
        if (!cambio)
            break;
    }
    QList<Parche> cadena;
    if (!mejor.contains(hasta) || desde == hasta)
        return cadena;
    for (QByteArray d = hasta; d != desde && cadena.size() <= pasosMaximos;) {
        const Parche &p = parches.at(mejor.value(d).second);
        cadena.prepend(p);
        d = p.desde;
    }
    if (cadena.size() > pasosMaximos || cadena.first().desde != desde)
        cadena.clear(); // a cycle cheaper than nothing: only a hostile row makes one
    return cadena;
}

std::optional<Oferta> leerOferta(const QSqlDatabase &sesion, int appId, const QString &dir,
                                 const QString &digest)
{
    QSqlQuery q(sesion);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral(
        "SELECT 'n', nombre, NULL, NULL, NULL, NULL, NULL FROM app WHERE app_id=:a UNION ALL "
        "SELECT 'c', md5, NULL, largo, bytes, piezas, tamano FROM appcopia WHERE app_id=:b "
        "AND md5=:d UNION ALL SELECT 'p', desde_md5, hasta_md5, largo, bytes, piezas, tamano "
        "FROM appdelta WHERE app_id=:c"));
    q.bindValue(QStringLiteral(":a"), appId);
    q.bindValue(QStringLiteral(":b"), appId);
    q.bindValue(QStringLiteral(":c"), appId);
    q.bindValue(QStringLiteral(":d"), digest);
    // A database without the tables (or any failure here) simply offers nothing.
    if (!q.exec())
        return std::nullopt;
    Oferta o;
    QList<Parche> parches;
    // What a row states of itself: a program no server can send in one row is damage.
    auto medida = [&]() -> std::optional<Piezas::Medida> {
        Piezas::Medida m{q.value(3).toLongLong(), q.value(4).toLongLong(), q.value(5).toInt(),
                         q.value(6).toInt()};
        if (!Piezas::valida(m, largoMaximo))
            return std::nullopt;
        return m;
    };
    while (q.next()) {
        const QString tipo = q.value(0).toString();
        if (tipo == QLatin1String("n")) {
            o.nombre = q.value(1).toString();
            o.hayPrograma = true;
        } else if (tipo == QLatin1String("c")) {
            const std::optional<Piezas::Medida> m = medida();
            if (q.value(1).toString() == digest && m && m->bytes <= cotaComprimido(m->largo))
                o.copia = m;
        } else if (const std::optional<Piezas::Medida> m = medida();
                   m && parches.size() < parchesMaximos) {
            parches.append({q.value(1).toByteArray(), q.value(2).toByteArray(), *m});
        }
    }
    if (!o.hayPrograma || !Programas::nombreSeguro(o.nombre))
        return o;

    // The chain starts at the version the user has, as its digest file says.
    const QString exe = dir + QLatin1Char('/') + o.nombre + QLatin1String(Programas::sufijoPrograma);
    QFile archivoDigest(exe + QLatin1String(Programas::sufijoDigest));
    if (QFile::exists(exe) && archivoDigest.open(QIODevice::ReadOnly | QIODevice::Text)) {
        o.cadena = cadenaMasBarata(parches, archivoDigest.readLine().trimmed(), digest.toLatin1());
        for (const Parche &p : std::as_const(o.cadena))
            o.cadenaBytes += p.medida.bytes;
    }
    // The copy and the chain's last patch each say how large the program is; when they
    // disagree the smaller bounds (the larger one's path then fails its own check).
    if (!o.cadena.isEmpty())
        o.largoPrograma = o.cadena.last().medida.largo;
    if (o.copia)
        o.largoPrograma = qMin(o.largoPrograma.value_or(o.copia->largo), o.copia->largo);
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

// How a path ended: the program in place, nothing usable, or the connection lost on the way.
enum class Fin { Hecho, Fallido, Cortado };

Fin fin(bool hecho, const Piezas::Fuente &fuente, QString *corte)
{
    if (hecho)
        return Fin::Hecho;
    if (fuente.fallo() != Piezas::Fallo::Cortado)
        return Fin::Fallido;
    *corte = fuente.error();
    return Fin::Cortado;
}

// The pieces of one stored value: from the branch's replica when the session has one, each
// against the digest read here on the session; the rest on the canal to this server.
Piezas::Fuente fuenteDe(Canal &canal, MYSQL *sesion, const char *sql, const char *sqlSumas,
                      const Piezas::Medida &medida, int appId, const QList<QByteArray> &clave,
                      int desde = 0)
{
    MYSQL *cerca = canal.replica();
    const std::optional<QList<QByteArray>> s =
        cerca ? Piezas::sumas(sesion, sqlSumas, medida, appId, clave, desde) : std::nullopt;
    return Piezas::Fuente([&canal] { return canal.manejador(); }, s ? cerca : nullptr,
                          s.value_or(QList<QByteArray>()), sql, medida, appId, clave, desde,
                          [&canal] { canal.perderReplica(); });
}

Fin porParches(const Oferta &o, Canal &canal, MYSQL *sesion, int appId, const QString &dir, const QString &digest,
               const Descarga::Exigencia *exigencia, const Progreso &progreso, QString *corte)
{
    const QString exe = dir + QLatin1Char('/') + o.nombre + QLatin1String(Programas::sufijoPrograma);
    QFile local(exe);
    if (!local.open(QIODevice::ReadOnly))
        return Fin::Fallido;
    const qint64 largoLocal = local.size();
    uchar *mapa = largoLocal > 0 ? local.map(0, largoLocal) : nullptr;
    if (!mapa)
        return Fin::Fallido;
    QByteArrayView referencia(reinterpret_cast<const char *>(mapa), largoLocal);
    Bloque intermedio;
    auto soltarLocal = [&] {
        if (mapa)
            local.unmap(mapa);
        mapa = nullptr;
    };

    // Each patch is fetched as it is applied, piece by piece on the canal; each version is the
    // reference of the next.
    qint64 recibidos = 0;
    for (qsizetype i = 0; i < o.cadena.size(); ++i) {
        const Parche &p = o.cadena.at(i);
        Piezas::Fuente fuente = fuenteDe(canal, sesion, sqlParche, sumasParche,
                                                      p.medida, appId, {p.desde, p.hasta});
        auto siguiente = [&](QByteArrayView *pieza) {
            if (!fuente.siguiente(pieza))
                return false;
            recibidos += pieza->size();
            if (!pieza->isEmpty() && progreso)
                progreso(recibidos, o.cadenaBytes);
            return true;
        };
        // The frame's header tells the size of what it makes: no step may make more than the
        // program is, and the last must make exactly that.
        QByteArrayView primera;
        if (!siguiente(&primera))
            return fin(false, fuente, corte);
        const std::optional<qint64> largo = Compresion::largoContenido(primera);
        const bool ultimo = i + 1 == o.cadena.size();
        if (!largo || *largo <= 0 || *largo > *o.largoPrograma
            || (ultimo && *largo != *o.largoPrograma))
            return Fin::Fallido;
        bool dada = false;
        Compresion::Descompresor d(
            [&](QByteArrayView *pieza) {
                if (!dada) {
                    dada = true;
                    *pieza = primera;
                    return true;
                }
                return siguiente(pieza);
            },
            *largo, referencia);
        if (ultimo)
            return fin(guardarDesde(dir, o.nombre, *largo, digest, d, exigencia, [&] {
                           soltarLocal();
                           intermedio = Bloque();
                       }) == Descarga::Estado::Hecha,
                       fuente, corte);
        Bloque siguienteVersion;
        siguienteVersion.datos.reset(new (std::nothrow) char[size_t(*largo)]);
        siguienteVersion.largo = *largo;
        if (!siguienteVersion.datos || !d.producir(siguienteVersion.datos.get(), *largo)
            || !d.completo())
            return fin(false, fuente, corte);
        soltarLocal();
        intermedio = std::move(siguienteVersion);
        referencia = intermedio.vista();
    }
    return Fin::Fallido;
}

// The copy's pieces come first from what an earlier, cut transfer of this very copy left in
// the profile, then from the server, each kept as soon as it is checked. A cut leaves them
// there for the next start; anything else that fails throws them away, as nobody can tell
// which piece was wrong.
Fin porCopia(const Oferta &o, Canal &canal, MYSQL *sesion, int appId, const QString &dir, const QString &digest,
             const Descarga::Exigencia *exigencia, const Progreso &progreso, QString *corte)
{
    const Piezas::Medida &medida = *o.copia;
    Piezas::Parcial parcial(dir + QLatin1Char('/') + o.nombre
                                + QLatin1String(Programas::sufijoPrograma) + Piezas::Parcial::sufijo(),
                            digest.toLatin1(), medida);
    const int guardadas = parcial.abrir();
    if (guardadas < 0) {
        parcial.descartar();
        return Fin::Fallido;
    }
    Piezas::Fuente fuente = fuenteDe(canal, sesion, sqlCopia, sumasCopia, medida,
                                                  appId, {digest.toLatin1()}, guardadas);
    int leidas = 0;
    qint64 recibidos = 0;
    bool guardada = true;
    Compresion::Descompresor d(
        [&](QByteArrayView *pieza) {
            if (leidas < guardadas) {
                if (!parcial.leer(leidas, pieza))
                    return false;
            } else if (!fuente.siguiente(pieza)) {
                return false;
            } else if (!pieza->isEmpty() && !parcial.agregar(*pieza)) {
                return guardada = false;
            }
            if (pieza->isEmpty())
                return true;
            ++leidas;
            recibidos += pieza->size();
            if (progreso)
                progreso(recibidos, medida.bytes);
            return true;
        },
        medida.largo);
    const Fin f = fin(guardada && guardarDesde(dir, o.nombre, medida.largo, digest, d, exigencia)
                                      == Descarga::Estado::Hecha,
                      fuente, corte);
    if (f != Fin::Cortado)
        parcial.descartar();
    return f;
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
    : sesion(sesion), nombre(nombreCanal), nombreReplica(nombreCanal + QStringLiteral("-sede")),
      conCompresion(conCompresion)
{
}

Canal::~Canal()
{
    for (const QString &n : {nombre, nombreReplica})
        if (QSqlDatabase::contains(n)) {
            QSqlDatabase::database(n, false).close();
            QSqlDatabase::removeDatabase(n);
        }
}

st_mysql *Canal::replica()
{
    if (!replicaIntentada) {
        replicaIntentada = true;
        conReplica = Sucursal::abrir(sesion, nombreReplica);
    }
    return conReplica ? Descarga::manejador(QSqlDatabase::database(nombreReplica, false))
                      : nullptr;
}

void Canal::perderReplica()
{
    conReplica = false;
    Sucursal::perdida(sesion);
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
        || (o->cadena.isEmpty() && !o->copia))
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
    MYSQL *sesionM = Descarga::manejador(sesion);

    // A chain is worth fetching only while it costs less than the copy and than the program.
    if (!o->cadena.isEmpty() && o->cadenaBytes < *o->largoPrograma
        && (!o->copia || o->cadenaBytes < o->copia->bytes)) {
        const Fin f = canal.replica() || canal.manejador()
                          ? porParches(*o, canal, sesionM, appId, dir, digest, e, progreso, &r.corte)
                          : Fin::Fallido;
        if (f == Fin::Hecho) {
            r.camino = Camino::Parches;
            return r;
        }
        r.fallidos << Camino::Parches;
        if (f == Fin::Cortado)
            return r;
    }
    if (o->copia) {
        const Fin f = canal.replica() || canal.manejador()
                          ? porCopia(*o, canal, sesionM, appId, dir, digest, e, progreso, &r.corte)
                          : Fin::Fallido;
        if (f == Fin::Hecho) {
            r.camino = Camino::Copia;
            return r;
        }
        r.fallidos << Camino::Copia;
    }
    return r;
}

void descartarParciales(const QString &dir)
{
    QDir d(dir);
    for (const QString &archivo :
         d.entryList({QLatin1String("*") + Piezas::Parcial::sufijo()}, QDir::Files | QDir::Hidden))
        d.remove(archivo);
}

} // namespace Actualizacion
