#pragma once

#include <QString>

class QSqlDatabase;
struct st_mysql;

// Whether a QMYSQL session that was asked to travel over TLS really does, with the server the
// user named.
//
// Every connection opens through the system's connection handler (Apertura), which has the
// client library require TLS and check the certificate's name in the handshake, before the
// login is sent, whenever an authority is in force. This unit is the second line of defence,
// right after open() and before anything of ours is sent: the session must be TLS, with a
// certificate that names the host by OpenSSL's strict rules (X509_check_host without partial
// wildcards for a name, X509_check_ip_asc for an address), which are narrower than the
// library's: it takes a partial wildcard such as "f*.pruebas.example" for
// "foo.pruebas.example". The launcher and the reader library of the suite's programs share
// this unit.
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

// db.open() through the connection handler (the host given the handler's prefix, which the
// connection keeps: QSqlDatabase::hostName() then carries it, Apertura::servidor() strips it),
// followed by verificar(): what every connection of the system does.
bool abrir(QSqlDatabase &db, QString *error = nullptr);

} // namespace SesionCifrada
