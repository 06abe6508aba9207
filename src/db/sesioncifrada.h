#pragma once

#include <QString>

class QSqlDatabase;
struct st_mysql;

// Whether a QMYSQL session that was asked to travel over TLS really does.
//
// Qt's driver hands the TLS options (SSL_CA and the others) to the client library, which then
// refuses a server whose certificate does not come from that authority; but when the server
// offers no TLS at all the library logs in in clear, silently, and the driver has no option to
// forbid it. So every connection the system opens is checked right after open(), on the client
// library's own handle, before anything is sent over it. The launcher and the reader library of
// the suite's programs share this unit.
namespace SesionCifrada {

// Whether connect options (as QSqlDatabase::setConnectOptions takes them) ask for TLS: any of
// the driver's SSL_ options with a value.
bool pideCifrado(const QString &opciones);

// The client library's handle of an open QMYSQL connection; null when it has none.
st_mysql *manejador(const QSqlDatabase &db);

// To be called right after db.open() succeeded, and before any statement. When the connection's
// options ask for TLS and the session is in clear, the session is closed at once (nothing more
// is sent on it), *error (if given) says so, and the result is false: a failed connection.
// True for an encrypted session and for one that did not ask for TLS.
bool verificar(QSqlDatabase &db, QString *error = nullptr);

// db.open() followed by verificar(): what every connection of the system does.
bool abrir(QSqlDatabase &db, QString *error = nullptr);

} // namespace SesionCifrada
