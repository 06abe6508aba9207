// kolvaster-publicar: the publisher's tool.
//
//   kolvaster-publicar clave ARCHIVO
//   kolvaster-publicar subir --clave ARCHIVO --sistema BASE [--titulo T] [conexion] NOMBRE PROGRAMA
//   kolvaster-publicar verificar --sistema BASE [--claves K1;K2] [conexion]
//   kolvaster-publicar esquema --sistema BASE [--aplicar] [conexion]
//
// Every failure is one line on the standard error and a non-zero status, with nothing written.

#include "base/constantes.h"
#include "catalogue/compresion.h"
#include "catalogue/firma.h"
#include "catalogue/lector.h"
#include "catalogue/programas.h"
#include "conexion.h"
#include "consola.h"
#include "esquema.h"
#include "pasos.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mysqld_error.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char marcaSecreta[] = "kolvaster-clave-secreta-1 ";
constexpr qint64 tamanoPieza = 1024 * 1024;
constexpr int largoNombre = 80; // app.nombre

enum Salida { Bien = 0, NoValidos = 1, Error = 2 };

using Consola::decir;
using Consola::fallar;

const char uso[] =
    "uso: kolvaster-publicar clave ARCHIVO\n"
    "     kolvaster-publicar subir --clave ARCHIVO --sistema BASE [--titulo TITULO] [--piloto] NOMBRE PROGRAMA\n"
    "     kolvaster-publicar piloto --sistema BASE [--agregar U,U...] [--quitar U,U...]\n"
    "     kolvaster-publicar promover|retirar|volver --clave ARCHIVO --sistema BASE NOMBRE\n"
    "     kolvaster-publicar estado --sistema BASE [NOMBRE]\n"
    "     kolvaster-publicar verificar --sistema BASE [--claves CLAVE;CLAVE...]\n"
    "     kolvaster-publicar esquema --sistema BASE [--aplicar]\n"
    "opciones de conexion, como el cliente mariadb: --host, --port, --user, --password,\n"
    "--socket, --ssl-ca, --no-defaults, --defaults-file, --defaults-extra-file\n";

// --- clave ---------------------------------------------------------------------------------

int clave(const QStringList &args)
{
    if (args.size() != 1)
        return fallar(QStringLiteral("clave necesita un ARCHIVO"));
    const QString secreta = args.at(0), publica = secreta + QStringLiteral(".pub");
    for (const QString &f : {secreta, publica})
        if (QFileInfo::exists(f) || QFileInfo(f).isSymLink())
            return fallar(QStringLiteral("%1 ya existe: no se reemplaza una clave").arg(f));

    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    const QByteArray pub = QByteArray(reinterpret_cast<char *>(pk), sizeof pk).toBase64();
    QByteArray texto = marcaSecreta
                       + QByteArray(reinterpret_cast<char *>(sk), sizeof sk).toBase64() + '\n';
    sodium_memzero(sk, sizeof sk);

    // Created with mode 0600 and never over an existing file.
    const int fd = ::open(QFile::encodeName(secreta).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fallar(QStringLiteral("no se puede crear %1: %2")
                          .arg(secreta, QString::fromLocal8Bit(std::strerror(errno))));
    const bool escrita = ::write(fd, texto.constData(), size_t(texto.size())) == texto.size()
                         && ::fsync(fd) == 0;
    ::close(fd);
    sodium_memzero(texto.data(), size_t(texto.size()));
    QFile pf(publica);
    if (!escrita || !pf.open(QIODevice::NewOnly | QIODevice::WriteOnly)
        || pf.write(pub + '\n') != pub.size() + 1 || !pf.flush()) {
        QFile::remove(secreta);
        pf.remove();
        return fallar(QStringLiteral("no se pudo escribir el par de claves en %1").arg(secreta));
    }
    std::fprintf(stderr,
                 "clave secreta en %s (guardela lejos del servidor); clave publica en %s.\n"
                 "Para KOLVASTER_PUBLISHER_KEYS:\n",
                 secreta.toLocal8Bit().constData(), publica.toLocal8Bit().constData());
    decir(QString::fromLatin1(pub));
    return Bien;
}

} // namespace

// The secret key of a file written by `clave`; *error when it is not one.
QByteArray leerSecreta(const QString &archivo, QString *error)
{
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no se puede leer la clave %1: %2").arg(archivo, f.errorString());
        return QByteArray();
    }
    const QByteArray linea = f.read(4096).trimmed();
    const auto r = QByteArray::fromBase64Encoding(linea.mid(int(std::strlen(marcaSecreta))),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (linea.startsWith(QByteArray(marcaSecreta).trimmed()) && r
        && r.decoded.size() == crypto_sign_SECRETKEYBYTES) {
        // The second half must be the public key of the first: a damaged file is no key.
        unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
        crypto_sign_seed_keypair(pk, sk,
                                 reinterpret_cast<const unsigned char *>(r.decoded.constData()));
        const bool igual = sodium_memcmp(sk, r.decoded.constData(), sizeof sk) == 0;
        sodium_memzero(sk, sizeof sk);
        if (igual)
            return r.decoded;
    }
    *error = QStringLiteral("%1 no es una clave secreta de kolvaster-publicar").arg(archivo);
    return QByteArray();
}

namespace {

// --- subir ---------------------------------------------------------------------------------

void progreso(const QString &nombre, qint64 hecho, qint64 total)
{
    Consola::barra(nombre, double(hecho) / double(total),
                   QString::asprintf("%.1f/%.1f MB", hecho / 1048576.0, total / 1048576.0),
                   hecho == total);
}

// The server's duplicate-key error when `nombre` is taken now, empty otherwise. Asked after a
// publication of a new name was refused as a deadlock: on a cluster, of two publications of
// one new name on two nodes, the one that commits second is refused by certification, which
// the server reports as error 1213; on one server, the two reads of a name not there yet lock
// the same gap, and the second insert is a deadlock too. The name alone is then inserted and
// rolled back, after the winner's commit (on one server the insert waits for it; on a cluster
// it waits until this node has applied what was committed before it, a causal wait that a
// server without Galera ignores).
QString nombreTomado(MYSQL *m, const QByteArray &nombre)
{
    mysql_rollback(m);
    mysql_query(m, "SET SESSION wsrep_sync_wait=4");
    // The winner may still be compressing a large program: its commit is waited for longer
    // than the lock wait that may have brought us here.
    mysql_query(m, "SET SESSION innodb_lock_wait_timeout=600");
    if (mysql_query(m, "START TRANSACTION") != 0)
        return QString();
    QString error;
    {
        Lector s(m);
        if (s.preparar("INSERT INTO app (nombre) VALUES (?)") && !s.texto(nombre).ejecutar()
            && s.codigo() == ER_DUP_ENTRY)
            error = QString::fromUtf8(s.error());
    }
    mysql_rollback(m);
    return error;
}

// A value sent in pieces through the long-data calls as placeholder `param` of `st`.
bool enviarLargo(Lector &st, unsigned param, QByteArrayView datos, const QString &etiqueta,
                 bool terminal)
{
    for (qint64 enviado = 0; enviado < datos.size();) {
        const qint64 n = qMin(tamanoPieza, datos.size() - enviado);
        if (!st.enviar(param, datos.data() + enviado, n))
            return false;
        enviado += n;
        if (terminal)
            progreso(etiqueta, enviado, datos.size());
    }
    return true;
}

// What a server whose max_allowed_packet is `paquete` refuses: a row holding `bytes` (with
// its name and digests) must fit in one packet, which it counts in blocks of 1024 bytes.
qint64 paqueteNecesario(qint64 bytes)
{
    return (bytes + 1024 + 1023) / 1024 * 1024;
}

// The patches worth keeping once `nuevo` is the current version: those that lead to it in at
// most five steps, which for a program published one version after another are the patches of
// its last five publications. A patch from the current version itself leads nowhere.
QList<QByteArray> parchesSobrantes(const QList<QPair<QByteArray, QByteArray>> &filas,
                                   const QByteArray &nuevo)
{
    constexpr int pasos = 5;
    QSet<QByteArray> alcanzados{nuevo}, conservar;
    for (int i = 0; i < pasos; ++i) {
        QSet<QByteArray> nuevos;
        for (const auto &[desde, hasta] : filas)
            if (desde != nuevo && alcanzados.contains(hasta) && !conservar.contains(desde)) {
                conservar.insert(desde);
                nuevos.insert(desde);
            }
        alcanzados = nuevos;
    }
    QList<QByteArray> sobran;
    for (const auto &fila : filas)
        if (!conservar.contains(fila.first))
            sobran << fila.first;
    return sobran;
}

// The compressed copy of the new program and the patch from the version it replaces, made
// before anything is written, so that one the server could not take is named first.
struct Comprimidos {
    QByteArray md5Nuevo;
    QByteArray copia;
    QByteArray md5Viejo; // empty: no patch (a new program, or the same bytes again)
    QByteArray parche;
};

bool comprimir(QByteArrayView nuevo, QByteArrayView viejo, const QString &nombre, bool terminal,
               Comprimidos *c, QString *error)
{
    const int nivel = Compresion::nivel(nuevo.size());
    auto avance = [&](const QString &que) -> Compresion::Avance {
        if (!terminal)
            return {};
        return [=](qint64 hecho, qint64 total) { progreso(que, hecho, total); };
    };
    c->md5Nuevo = QCryptographicHash::hash(nuevo, QCryptographicHash::Md5).toHex();
    const std::optional<QByteArray> copia =
        Compresion::comprimir(nuevo, nivel, avance(nombre + QStringLiteral(" (comprimido)")));
    if (!copia) {
        *error = QStringLiteral("no se pudo comprimir el programa (memoria)");
        return false;
    }
    c->copia = *copia;
    const QByteArray md5Viejo =
        viejo.isEmpty() ? QByteArray() : QCryptographicHash::hash(viejo, QCryptographicHash::Md5).toHex();
    if (!viejo.isEmpty() && md5Viejo != c->md5Nuevo) {
        const std::optional<QByteArray> parche = Compresion::parche(
            viejo, nuevo, nivel, avance(nombre + QStringLiteral(" (parche)")));
        if (!parche) {
            *error = QStringLiteral("no se pudo hacer el parche (memoria)");
            return false;
        }
        c->md5Viejo = md5Viejo;
        c->parche = *parche;
    }
    return true;
}

// Stores the compressed copy and the patch, with the sizes the launchers bound their fetches
// by, and drops the patches no launcher should need any more. Within the caller's transaction;
// false with *error on failure.
bool guardarComprimidos(MYSQL *m, long long appId, const QString &nombre, qint64 largo,
                        const Comprimidos &c, bool terminal, QString *error,
                        unsigned int *codigo)
{
    *codigo = 0;
    // A failed statement: its error, and its code for the caller to recognise a lost race.
    auto fallo = [&](const Lector &st, const QString &que) {
        *codigo = st.codigo();
        *error = QStringLiteral("%1: %2").arg(que, QString::fromUtf8(st.error()));
        return false;
    };
    {
        Lector st(m);
        if (!st.preparar("INSERT INTO appcomprimido (app_id, md5, largo, bytes, datos) VALUES "
                         "(?, ?, ?, ?, ?) ON DUPLICATE KEY UPDATE md5=VALUES(md5), "
                         "largo=VALUES(largo), bytes=VALUES(bytes), datos=VALUES(datos)"))
            return fallo(st, QStringLiteral("no se pudo guardar la copia comprimida"));
        st.entero(appId).texto(c.md5Nuevo).entero(largo).entero(c.copia.size()).largo();
        if (!enviarLargo(st, 4, c.copia, nombre + QStringLiteral(" (enviando comprimido)"),
                         terminal)
            || !st.ejecutar())
            return fallo(st, QStringLiteral("no se pudo guardar la copia comprimida"));
    }
    if (!c.md5Viejo.isEmpty()) {
        Lector st(m);
        if (!st.preparar("INSERT INTO appparche (app_id, desde_md5, hasta_md5, bytes, largo, "
                         "datos) VALUES (?, ?, ?, ?, ?, ?) ON DUPLICATE KEY UPDATE "
                         "hasta_md5=VALUES(hasta_md5), bytes=VALUES(bytes), "
                         "largo=VALUES(largo), datos=VALUES(datos)"))
            return fallo(st, QStringLiteral("no se pudo guardar el parche"));
        st.entero(appId).texto(c.md5Viejo).texto(c.md5Nuevo).entero(c.parche.size())
            .entero(largo).largo();
        if (!enviarLargo(st, 5, c.parche, nombre + QStringLiteral(" (enviando parche)"),
                         terminal)
            || !st.ejecutar())
            return fallo(st, QStringLiteral("no se pudo guardar el parche"));
    }

    // The chain that leads to the new version stays; older patches go.
    QList<QPair<QByteArray, QByteArray>> filas;
    {
        const QByteArray sql = "SELECT desde_md5, hasta_md5 FROM appparche WHERE app_id="
                               + QByteArray::number(appId);
        MYSQL_RES *res = mysql_query(m, sql.constData()) == 0 ? mysql_store_result(m) : nullptr;
        if (!res) {
            *codigo = mysql_errno(m);
            *error = QStringLiteral("no se pudieron leer los parches: %1")
                         .arg(QString::fromUtf8(mysql_error(m)));
            return false;
        }
        while (MYSQL_ROW f = mysql_fetch_row(res))
            filas.append({QByteArray(f[0]), QByteArray(f[1])});
        mysql_free_result(res);
    }
    for (const QByteArray &desde : parchesSobrantes(filas, c.md5Nuevo)) {
        Lector st(m);
        if (!st.preparar("DELETE FROM appparche WHERE app_id=? AND desde_md5=?")
            || !st.entero(appId).texto(desde).ejecutar())
            return fallo(st, QStringLiteral("no se pudieron quitar parches viejos"));
    }
    return true;
}

// `subir --piloto`, from where the publication's bytes are made and measured: the pilot
// version stored with its signature; the program's row (and its general bytes) untouched, but
// for a new program, whose row is made without general bytes (only the pilot group sees it
// until it is promoted). Within the transaction `subir` began.
int subirPiloto(MYSQL *m, const QString &nombre, long long appId, const QByteArray &titulo,
                bool conTitulo, QByteArrayView bytes, const QByteArray &md5,
                const QByteArray &sha256, qint64 version, QByteArray &secreta,
                const QByteArray &publica, const std::function<bool()> &igual, bool terminal)
{
    const QByteArray firma =
        Firma::firmar(secreta, Firma::mensaje(nombre, version, sha256, bytes.size()));
    sodium_memzero(secreta.data(), size_t(secreta.size()));
    auto fallaEn = [&](Lector &st, const QString &que) {
        return fallar(QStringLiteral("%1: %2").arg(que, QString::fromUtf8(st.error())));
    };
    if (appId == 0 || conTitulo) {
        Lector st(m);
        if (!st.preparar(appId == 0 ? "INSERT INTO app (nombre, titulo) VALUES (?, ?)"
                                    : "UPDATE app SET titulo=? WHERE app_id=?"))
            return fallaEn(st, QStringLiteral("no se pudo guardar el programa"));
        if (appId == 0)
            st.texto(nombre.toUtf8()).texto(titulo);
        else
            st.texto(titulo).entero(appId);
        if (!st.ejecutar())
            return fallaEn(st, QStringLiteral("no se pudo guardar el programa"));
        if (appId == 0)
            appId = static_cast<long long>(st.idInsertado());
    }
    QString error;
    if (!Etapas::guardarPiloto(m, appId, bytes, md5, sha256, version, publica, firma,
                               [&](qint64 hecho) {
                                   if (terminal)
                                       progreso(nombre + QStringLiteral(" (piloto)"), hecho,
                                                bytes.size());
                               },
                               &error))
        return fallar(error);
    if (!igual())
        return fallar(QStringLiteral("el programa cambio mientras se leia"));
    if (mysql_commit(m))
        return fallar(QStringLiteral("no se pudo confirmar la publicacion: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    decir(QStringLiteral("%1: version piloto %2, %3 bytes, sha256 %4, firmado con %5")
              .arg(nombre)
              .arg(version)
              .arg(bytes.size())
              .arg(QString::fromLatin1(sha256), QString::fromLatin1(publica)));
    return Bien;
}

int subir(const QStringList &args)
{
    Conexion c;
    QString archivoClave, titulo;
    bool conTitulo = false, piloto = false;
    QStringList libres;
    for (int i = 0; i < args.size(); ++i) {
        QString error;
        if (c.tomar(args, &i, &error)) {
            if (!error.isEmpty())
                return fallar(error);
            continue;
        }
        const QString &a = args.at(i);
        if (a == QLatin1String("--piloto")) {
            piloto = true;
        } else if ((a == QLatin1String("--clave") || a == QLatin1String("--titulo")) && i + 1 < args.size()) {
            (a == QLatin1String("--clave") ? archivoClave : titulo) = args.at(++i);
            conTitulo = conTitulo || a == QLatin1String("--titulo");
        } else if (a.startsWith(QLatin1String("--clave="))) {
            archivoClave = a.mid(8);
        } else if (a.startsWith(QLatin1String("--titulo="))) {
            titulo = a.mid(9);
            conTitulo = true;
        } else if (a.startsWith(QLatin1String("-")) && a != QLatin1String("-")) {
            return fallar(QStringLiteral("opcion desconocida o sin valor: %1").arg(a));
        } else {
            libres << a;
        }
    }
    if (libres.size() != 2)
        return fallar(QStringLiteral("subir necesita NOMBRE y PROGRAMA"));
    if (archivoClave.isEmpty())
        return fallar(QStringLiteral("falta --clave ARCHIVO"));
    const QString nombre = libres.at(0), rutaPrograma = libres.at(1);
    if (!Programas::nombreSeguro(nombre) || nombre.size() > largoNombre)
        return fallar(QStringLiteral("el nombre \"%1\" no puede ser un archivo del perfil "
                                     "(sin / \\ < > : \" | ? * ni caracteres de control, %2 "
                                     "caracteres a lo sumo)")
                          .arg(nombre)
                          .arg(largoNombre));
    if (conTitulo && titulo.size() > 120)
        return fallar(QStringLiteral("el titulo tiene mas de 120 caracteres"));

    // The program is mapped from its file, not copied: the hashes, the compressed copy, the
    // patch and the upload all read it there.
    QFile programa(rutaPrograma);
    if (!QFileInfo(rutaPrograma).isFile())
        return fallar(QStringLiteral("%1 no existe o no es un archivo").arg(rutaPrograma));
    if (!programa.open(QIODevice::ReadOnly))
        return fallar(QStringLiteral("no se puede leer %1: %2")
                          .arg(rutaPrograma, programa.errorString()));
    const qint64 largo = programa.size();
    if (largo == 0)
        return fallar(QStringLiteral("%1 esta vacio").arg(rutaPrograma));
    const QDateTime modificado = QFileInfo(rutaPrograma).lastModified();
    const uchar *mapa = programa.map(0, largo);
    if (!mapa)
        return fallar(QStringLiteral("no se puede leer %1: %2")
                          .arg(rutaPrograma, programa.errorString()));
    const QByteArrayView nuevoBytes(reinterpret_cast<const char *>(mapa), largo);

    QString error;
    QByteArray secreta = leerSecreta(archivoClave, &error);
    if (secreta.isEmpty())
        return fallar(error);
    const QByteArray publica = Firma::base64(secreta.right(crypto_sign_PUBLICKEYBYTES));

    MYSQL *m = c.conectar(&error);
    if (!m)
        return fallar(error);
    // The connection closes on every way out: an open transaction then rolls back.
    struct Cierre { MYSQL *m; ~Cierre() { mysql_close(m); } } cierre{m};
    auto fallaServidor = [&](const QString &que) {
        return fallar(QStringLiteral("%1: %2").arg(que, QString::fromUtf8(mysql_error(m))));
    };

    // Each stored value travels as one value, and comes back to the launchers as one row with
    // its name and digests: the server must accept every one of them.
    if (mysql_query(m, "SELECT @@max_allowed_packet") != 0)
        return fallaServidor(QStringLiteral("no se pudo leer max_allowed_packet"));
    MYSQL_RES *res = mysql_store_result(m);
    MYSQL_ROW fila = res ? mysql_fetch_row(res) : nullptr;
    const qint64 paquete = fila && fila[0] ? QByteArray(fila[0]).toLongLong() : 0;
    if (res)
        mysql_free_result(res);
    auto excede = [&](const QString &que, qint64 bytes) {
        return fallar(QStringLiteral("el servidor acepta hasta %1 bytes por fila "
                                     "(max_allowed_packet) y %2 tiene %3: se necesita "
                                     "max_allowed_packet de al menos %4 (SET GLOBAL "
                                     "max_allowed_packet=%4)")
                          .arg(paquete)
                          .arg(que)
                          .arg(bytes)
                          .arg(paqueteNecesario(bytes)));
    };
    if (paquete < paqueteNecesario(largo))
        return excede(QStringLiteral("el programa"), largo);

    if (mysql_query(m, "START TRANSACTION") != 0)
        return fallaServidor(QStringLiteral("no se pudo iniciar la transaccion"));

    // The program's row and its publication, locked until the commit.
    const QByteArray nombreUtf8 = nombre.toUtf8();
    long long appId = 0, version = 0;
    int filas = 0;
    {
        Lector st(m);
        if (!st.preparar("SELECT a.app_id, COALESCE(f.version, 0) FROM app a LEFT JOIN appfirma f "
                         "ON f.app_id=a.app_id WHERE a.nombre=? FOR UPDATE")
            || !st.texto(nombreUtf8).ejecutar())
            return fallar(QStringLiteral("no se pudo leer el programa: %1")
                              .arg(QString::fromUtf8(st.error())));
        for (int hay; (hay = st.fila()) != 0; ++filas) {
            if (hay < 0)
                return fallar(QStringLiteral("no se pudo leer el programa: %1")
                                  .arg(QString::fromUtf8(st.error())));
            if (filas == 0) {
                appId = st.numero(0);
                version = st.numero(1);
            }
        }
    }
    if (filas > 1)
        return fallar(QStringLiteral("hay %1 programas llamados \"%2\" en app: deje uno solo")
                          .arg(filas)
                          .arg(nombre));
    if (filas == 0)
        version = 0;
    ++version;
    // One sequence of numbers per program over every publication it had, general or not.
    if (filas == 1) {
        const std::optional<qint64> siguiente = Etapas::siguienteVersion(m, appId, &error);
        if (!siguiente)
            return fallar(error);
        version = *siguiente;
    }

    // The version being replaced, as the database holds it: the reference of the patch. Kept
    // in the client library's result until the end.
    struct Resultado { MYSQL_RES *r = nullptr; ~Resultado() { if (r) mysql_free_result(r); } } anterior;
    QByteArrayView viejo;
    if (filas == 1) {
        const QByteArray sql = "SELECT windowsbinary FROM app WHERE app_id=" + QByteArray::number(appId);
        if (mysql_query(m, sql.constData()) != 0 || !(anterior.r = mysql_store_result(m)))
            return fallaServidor(QStringLiteral("no se pudo leer la version anterior"));
        MYSQL_ROW f = mysql_fetch_row(anterior.r);
        const unsigned long *l = f ? mysql_fetch_lengths(anterior.r) : nullptr;
        if (f && f[0])
            viejo = QByteArrayView(f[0], qsizetype(l[0]));
    }

    // Everything that will be stored is made and measured before the first write.
    const bool terminal = isatty(STDERR_FILENO);
    Firma::Sha256 sha;
    for (qint64 hecho = 0; hecho < largo; hecho += tamanoPieza)
        sha.agregar(nuevoBytes.data() + hecho, qMin(tamanoPieza, largo - hecho));
    Comprimidos comprimidos;
    if (!comprimir(nuevoBytes, viejo, nombre, terminal, &comprimidos, &error))
        return fallar(error);
    if (paquete < paqueteNecesario(comprimidos.copia.size()))
        return excede(QStringLiteral("la copia comprimida"), comprimidos.copia.size());
    if (paquete < paqueteNecesario(comprimidos.parche.size()))
        return excede(QStringLiteral("el parche"), comprimidos.parche.size());

    const QByteArray tituloUtf8 = (conTitulo ? titulo : nombre).toUtf8();
    if (piloto)
        return subirPiloto(m, nombre, appId, tituloUtf8, conTitulo, nuevoBytes,
                           comprimidos.md5Nuevo, sha.hex(), version, secreta, publica,
                           [&] {
                               return QFileInfo(rutaPrograma).size() == largo
                                      && QFileInfo(rutaPrograma).lastModified() == modificado;
                           },
                           terminal);

    // The general version being replaced is kept for `volver`.
    if (filas == 1 && !Etapas::guardarAnterior(m, appId, &error))
        return fallar(error);

    // The bytes go in pieces through the long-data calls.
    Lector st(m);
    const bool nuevo = filas == 0;
    const char *sql = nuevo ? "INSERT INTO app (windowsbinary, nombre, titulo) VALUES (?, ?, ?)"
                      : conTitulo ? "UPDATE app SET windowsbinary=?, titulo=? WHERE app_id=?"
                                  : "UPDATE app SET windowsbinary=? WHERE app_id=?";
    if (!st.preparar(sql))
        return fallar(QStringLiteral("no se pudo guardar el programa: %1")
                          .arg(QString::fromUtf8(st.error())));
    st.largo();
    if (nuevo)
        st.texto(nombreUtf8).texto(tituloUtf8);
    else if (conTitulo)
        st.texto(tituloUtf8).entero(appId);
    else
        st.entero(appId);
    if (!st.vincular())
        return fallar(QStringLiteral("no se pudo guardar el programa: %1")
                          .arg(QString::fromUtf8(st.error())));
    if (!enviarLargo(st, 0, nuevoBytes, nombre, terminal))
        return fallar(QStringLiteral("se corto el envio: %1").arg(QString::fromUtf8(st.error())));
    // What was hashed, compressed and sent must be one and the same file.
    if (QFileInfo(rutaPrograma).size() != largo
        || QFileInfo(rutaPrograma).lastModified() != modificado)
        return fallar(QStringLiteral("%1 cambio mientras se leia").arg(rutaPrograma));
    // A new name another publication has taken meanwhile is refused with the server's
    // duplicate-key error, whatever step the refusal reached (a deadlock, or a wait for the
    // other's lock that ran out); any other failure with its own line (`mensaje`).
    auto perdida = [&](unsigned int codigo, const QString &mensaje) {
        QString tomado;
        if (nuevo && (codigo == ER_LOCK_DEADLOCK || codigo == ER_LOCK_WAIT_TIMEOUT))
            tomado = nombreTomado(m, nombreUtf8);
        return fallar(tomado.isEmpty()
                          ? mensaje
                          : QStringLiteral("no se pudo guardar el programa: %1").arg(tomado));
    };
    if (!st.ejecutar())
        return perdida(st.codigo(), QStringLiteral("no se pudo guardar el programa: %1")
                                        .arg(QString::fromUtf8(st.error())));
    if (nuevo)
        appId = static_cast<long long>(st.idInsertado());
    unsigned int codigo = 0;
    if (!guardarComprimidos(m, appId, nombre, largo, comprimidos, terminal, &error, &codigo))
        return perdida(codigo, error);

    const QByteArray hex = sha.hex();
    const QByteArray firma = Firma::firmar(secreta, Firma::mensaje(nombre, version, hex, largo));
    sodium_memzero(secreta.data(), size_t(secreta.size()));
    {
        Lector f(m);
        if (!f.preparar("INSERT INTO appfirma (app_id, version, sha256, largo, clave, firma, "
                        "firmado) VALUES (?, ?, ?, ?, ?, ?, NOW()) ON DUPLICATE KEY UPDATE "
                        "version=VALUES(version), sha256=VALUES(sha256), largo=VALUES(largo), "
                        "clave=VALUES(clave), firma=VALUES(firma), firmado=VALUES(firmado)"))
            return fallar(QStringLiteral("no se pudo guardar la firma: %1")
                              .arg(QString::fromUtf8(f.error())));
        if (!f.entero(appId).entero(version).texto(hex).entero(largo).texto(publica).binario(firma)
                 .ejecutar())
            return perdida(f.codigo(), QStringLiteral("no se pudo guardar la firma: %1")
                                           .arg(QString::fromUtf8(f.error())));
    }
    // A pilot version out is withdrawn: the pilot group takes this one, numbered above it.
    bool habiaPiloto = false;
    if (!nuevo && !Etapas::quitar(m, appId, "piloto", &error, &habiaPiloto))
        return perdida(0, error);
    if (mysql_commit(m))
        return perdida(mysql_errno(m), QStringLiteral("no se pudo confirmar la publicacion: %1")
                                           .arg(QString::fromUtf8(mysql_error(m))));
    decir(QStringLiteral("%1: version %2, %3 bytes, sha256 %4, firmado con %5%6")
              .arg(nombre)
              .arg(version)
              .arg(largo)
              .arg(QString::fromLatin1(hex), QString::fromLatin1(publica),
                   habiaPiloto ? QStringLiteral("; la version piloto fue retirada") : QString()));
    return Bien;
}

// --- verificar -----------------------------------------------------------------------------

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

int verificar(const QStringList &args)
{
    Conexion c;
    std::optional<QByteArray> lista;
    for (int i = 0; i < args.size(); ++i) {
        QString error;
        if (c.tomar(args, &i, &error)) {
            if (!error.isEmpty())
                return fallar(error);
            continue;
        }
        const QString &a = args.at(i);
        if (a == QLatin1String("--claves") && i + 1 < args.size())
            lista = args.at(++i).toLatin1();
        else if (a.startsWith(QLatin1String("--claves=")))
            lista = a.mid(9).toLatin1();
        else
            return fallar(QStringLiteral("opcion desconocida o sin valor: %1").arg(a));
    }
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
    return sinFirma + distintos == 0 && conDisparadores ? Bien : NoValidos;
}

} // namespace

int main(int argc, char **argv)
{
    if (sodium_init() < 0)
        return fallar(QStringLiteral("no se pudo iniciar libsodium"));
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty() || args.first() == QLatin1String("--help")) {
        std::fputs(uso, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? Error : Bien;
    }
    const QString orden = args.takeFirst();
    if (orden == QLatin1String("clave"))
        return clave(args);
    if (orden == QLatin1String("subir"))
        return subir(args);
    if (orden == QLatin1String("verificar"))
        return verificar(args);
    if (orden == QLatin1String("esquema"))
        return esquema(args);
    for (const auto &[nombre, orden_] :
         {std::pair{"piloto", &piloto}, std::pair{"promover", &promover},
          std::pair{"retirar", &retirar}, std::pair{"volver", &volver},
          std::pair{"estado", &estado}})
        if (orden == QLatin1String(nombre))
            return orden_(args);
    std::fputs(uso, stderr);
    return fallar(QStringLiteral("orden desconocida: %1").arg(orden));
}
