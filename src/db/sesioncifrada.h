#pragma once

#include <QString>

class QSqlDatabase;
struct st_mysql;

// Whether a QMYSQL session that was asked to travel over TLS really does, with the server the
// user named.
//
// Qt's driver hands the TLS options (SSL_CA and the others) to the client library, which then
// refuses a server whose certificate does not come from that authority; but when the server
// offers no TLS at all the library logs in in clear, silently, and it accepts a certificate of
// that authority for any other host: the driver has no option to forbid either. So every
// connection the system opens is checked right after open(), on the client library's own
// handle, before anything of ours is sent over it: TLS, and a certificate that names the host
// (OpenSSL's rules: X509_check_host for a name, X509_check_ip_asc for an address). The
// launcher and the reader library of the suite's programs share this unit.
namespace SesionCifrada {

// Whether connect options (as QSqlDatabase::setConnectOptions takes them) ask for TLS: any of
// the driver's SSL_ options with a value.
bool pideCifrado(const QString &opciones);

// The client library's handle of an open QMYSQL connection; null when it has none.
st_mysql *manejador(const QSqlDatabase &db);

// Whether the server's certificate of an open TLS session names `host`. False for a session in
// clear, and in a build that cannot reach the certificate.
bool nombraAlServidor(st_mysql *mysql, const QString &host);

// To be called right after db.open() succeeded, and before any statement. When the connection's
// options ask for TLS and the session is in clear, or its certificate names another host, the
// session is closed at once (nothing more is sent on it), *error (if given) says so, and the
// result is false: a failed connection. The refused connection is then removed, its password
// cleared first, so that nothing (QSqlDatabase::database() included) can open it again
// unchecked: a caller that tries again registers it anew. True for an encrypted session with
// the named server and for one that did not ask for TLS.
bool verificar(QSqlDatabase &db, QString *error = nullptr);

// db.open() followed by verificar(): what every connection of the system does. The client
// library is kept to its built-in authentication first (Complementos::limitar).
bool abrir(QSqlDatabase &db, QString *error = nullptr);

} // namespace SesionCifrada
