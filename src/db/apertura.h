#pragma once

#include <QString>

// How every connection of the system reaches the server: through a connection handler of its
// own inside the client library, which sets the connection's limits on the library's handle
// right before its handshake.
//
// Qt's driver can set neither the authentication methods a connection may use nor that TLS is
// required with the server's certificate naming the host: it only hands the library the host,
// the account and its few options. The library, though, gives a host of the form
// "NAME://rest" to the connection handler registered as NAME, with the handle not yet
// connected. Ours then:
//   - allows only the authentication methods of `autenticaciones` (the library's restricted
//     authentication): a server that asks for another one, such as the clear-text one, is
//     refused before the password leaves, whatever plugins the library has loaded or could load;
//   - when the connection names an authority (SSL_CA or SSL_CAPATH), requires TLS and the
//     library's own check that the certificate names the host, both in the handshake: a server
//     in clear, or one whose certificate names another host, is refused before the login
//     packet (account name, scramble) is sent.
// The limits belong to that connection alone: nothing in the process environment changes, and
// the programs the launcher starts inherit nothing of them.
//
// The host with the handler's prefix is what the driver keeps (QSqlDatabase::hostName()), so
// that every opening of that connection (a reconnection, a copy made with cloneDatabase, an
// implicit open by QSqlDatabase::database()) goes through the handler too; whatever shows,
// saves or publishes the server's name takes it from servidor().
namespace Apertura {

// The authentication methods a connection may use: the one the accounts provisioned by the
// launcher have, built into the client library. An organisation whose accounts use another
// method adds its name here (comma-separated; never "mysql_clear_password" nor "dialog", which
// hand the password over as it is) and rebuilds the launcher and the suite's programs.
inline constexpr char autenticaciones[] = "mysql_native_password";

// Registers the handler with the client library, once per process; false when it cannot be
// (the library refuses it, or another handler of the same name is already there): no
// connection may then be opened.
bool registrar();

// The host as the driver must be given it: the handler's prefix and the name as typed. A host
// that has the prefix already is returned as it is.
QString anteponer(const QString &host);

// The name as typed: the host without the handler's prefix.
QString servidor(const QString &host);

} // namespace Apertura
