// kolvaster-publicar subir: stores a program, its compressed copy, its patch and its
// signature in one transaction.

#include "base/constantes.h"
#include "catalogue/firma.h"
#include "catalogue/lector.h"
#include "catalogue/piezas.h"
#include "catalogue/programas.h"
#include "comprimidos.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "registro.h"
#include "secreta.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <mysqld_error.h>
#include <sodium.h>
#include <unistd.h>

namespace {

constexpr int largoNombre = 80; // app.nombre

using Comprimidos::enviarLargo;
using Comprimidos::paqueteNecesario;
using Comprimidos::tamanoEnvio;
using Consola::decir;
using Consola::fallar;

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

int subir(const Argumentos &a)
{
    const Conexion &c = a.conexion;
    const bool conTitulo = a.tiene(QStringLiteral("--titulo"));
    const bool piloto = a.tiene(QStringLiteral("--piloto"));
    const QString archivoClave = a.valor(QStringLiteral("--clave")),
                  titulo = a.valor(QStringLiteral("--titulo"));
    if (archivoClave.isEmpty())
        return fallar(QStringLiteral("falta --clave ARCHIVO"));
    const QString nombre = a.libres.at(0), rutaPrograma = a.libres.at(1);
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
    QByteArray secreta = Secreta::leer(archivoClave, &error);
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

    // The program travels as one value, and comes back to the launchers of a plain download as
    // one row with its name and digest; its copy and patch in pieces of one row each: the
    // server must accept every one of them.
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
    for (qint64 hecho = 0; hecho < largo; hecho += tamanoEnvio)
        sha.agregar(nuevoBytes.data() + hecho, qMin(tamanoEnvio, largo - hecho));
    Comprimidos::Hechos comprimidos;
    if (!Comprimidos::comprimir(nuevoBytes, viejo, nombre, terminal, &comprimidos, &error))
        return fallar(error);
    // The copy and the patch travel, and come back to the launchers, one piece per row.
    const qint64 pieza = qMin<qint64>(Piezas::tamanoPieza,
                                      qMax(comprimidos.copia.size(), comprimidos.parche.size()));
    if (paquete < paqueteNecesario(pieza))
        return excede(QStringLiteral("cada pieza de la copia comprimida"), pieza);

    const QByteArray tituloUtf8 = (conTitulo ? titulo : nombre).toUtf8();
    if (piloto)
        return subirPiloto(m, nombre, appId, tituloUtf8, conTitulo, nuevoBytes, comprimidos,
                           sha.hex(), version, secreta, publica,
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
    if (!Comprimidos::guardar(m, appId, nombre, largo, comprimidos, terminal, &error, &codigo))
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
    // The copies and patches kept are those of the versions users may still be sent to: this
    // one, and the one kept for going back.
    if (!Etapas::limpiarComprimidos(m, appId, &error, &codigo))
        return perdida(codigo, error);
    if (!Registro::anotar(m, QStringLiteral("subir"), nombre,
                          QStringLiteral("version general %1").arg(version), &error))
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
    return 0;
}

} // namespace

const Orden ordenSubir{
    "subir", "subir --clave ARCHIVO --sistema BASE [--titulo TITULO] [--piloto] NOMBRE PROGRAMA",
    "Guarda el archivo PROGRAMA como el programa NOMBRE del sistema, con su copia comprimida,\n"
    "el parche desde la version que reemplaza y su firma con la clave secreta ARCHIVO, en una\n"
    "sola transaccion. La version es la siguiente a todas las que tuvo el programa. --titulo\n"
    "cambia el titulo (un programa nuevo toma su nombre como titulo). La version general que\n"
    "reemplaza queda guardada para volver; una version piloto publicada se retira.\n"
    "Con --piloto la guarda como version piloto, solo para el grupo piloto (ver piloto).\n",
    {"--clave", "--titulo"}, {"--piloto"}, true, 2, 2, "subir necesita NOMBRE y PROGRAMA", subir};
