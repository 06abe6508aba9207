#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The tests' view of the throwaway MariaDB server started by the ctest fixture. Setup and
// checks run on a connection of their own ("admin", as dbadmin); the code under test uses the
// default connection, as the launcher does.
namespace TestDb {

QString base();                       // the test database's name
QString cuenta(const QString &corto); // base() + "_" + short name
QString clave(const QString &corto);  // password of a provisioned account ("ana" -> "ana_pw")
inline const char *claveAdmin = "dbadmin_pw";

QSqlDatabase admin();

// Empties every table and writes the installation row with the launcher's version.
void limpiar();

// Runs a statement on the admin connection with positional values; fails the test on error.
void ejecutar(const QString &sql, const QVariantList &valores = {});
// First column of the first row (invalid when there is none).
QVariant valor(const QString &sql, const QVariantList &valores = {});
int contar(const QString &sql, const QVariantList &valores = {});
// The kinds of every session-log row (1 login, 2 logout), in ascending order.
QList<int> tiposLog();

qint64 crearUsuario(const QString &sysuser, const QString &titulo, bool useradmin = false);
qint64 crearApp(const QString &nombre, const QString &titulo,
                const std::optional<QByteArray> &binario);
// Publishes `nueva` as the program `appId` with kolvaster-publicar itself (as dbadmin, signed
// with a key of the test's own): the binary, its compressed copy and the patch from the
// version it replaces, with the tool's own pruning of older patches.
void publicar(qint64 appId, const QByteArray &nueva);

// Writes at `ruta` the option file the publishing tool reads to log in as dbadmin to the tests'
// server (or the one on `puerto`), with `mas` appended ("ssl-ca=...\n"); returns `ruta`.
QString opcionesAdmin(const QString &ruta, int puerto = 0, const QString &mas = {});

// Writes at `ruta`, readable by its owner alone, the tool's secret key of the seed `semilla`
// (every byte of it): 'A' is the key the signed test builds trust; returns `ruta`.
QString claveDeSemilla(const QString &ruta, char semilla = 'A');
// Bytes the server has sent to all its clients since it started.
qint64 bytesEnviados();
void otorgar(qint64 uid, qint64 appId, const QVariant &clogleido = false);

// MySQL accounts. An account statement is proven by logging in as the account: `entra` opens a
// connection of its own, over TCP to 127.0.0.1 or, with `socket`, through the server's socket
// (which matches the account's "localhost" entry).
bool entra(const QString &cuenta, const QString &clave, bool socket = false);
QStringList hosts(const QString &cuenta); // host entries in mysql.user, sorted
// Gives the account the entry `host` with the six privileges of a user with system access.
void proveer(const QString &cuenta, const QString &host, const QString &clave);
// Drops every entry of the account.
void quitarCuenta(const QString &cuenta);
// Drops every entry of the account; a test-bed account ("ana", "beto") is then made again as
// the test bed has it (password corto_pw, every privilege on the test database).
void restaurarCuenta(const QString &cuenta);

// Opens Qt's default "QMYSQL" connection as the given account, the way the launcher does.
QSqlDatabase abrirSesion(const QString &cuenta, const QString &clave);
void cerrarSesion();

// The general log of the server behind `db` (which may SET GLOBAL), kept in a table while on;
// `sentencias` lists what the sessions of `cuenta` sent there, "Command: argument" each.
void registrar(QSqlDatabase db, bool encendido);
QStringList sentencias(QSqlDatabase db, const QString &cuenta);

// One more server for a test (scripts/testdb.sh with `opciones`) on the tests' port + k, in
// BINDIR/testdb-k, stopped with the object; `raiz` is root on its socket.
struct ServidorExtra {
    ServidorExtra(int k, const QStringList &opciones);
    ~ServidorExtra();
    QSqlDatabase raiz() const;
    QString dir;
    int puerto;
    bool listo;
};

// A fake server (tests/support/servidor_falso.py) on the tests' port + k, stopped with the
// object. "claro": no TLS, and every login answered by a switch to the clear-text
// authentication plugin, keeping all a client sends; "mudo": every login accepted, then silence.
struct ServidorFalso {
    ServidorFalso(int k, const QString &modo);
    ~ServidorFalso();
    QByteArray recibido() const; // every byte the clients sent ("claro")
    QString registro;
    int puerto;
    bool listo;
    QProcess *proceso;
};

} // namespace TestDb
