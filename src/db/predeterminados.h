#pragma once

#include <QString>

// The account a user logs in with, and the connection defaults saved between starts.
namespace Predeterminados {

// "dbadmin" stays itself; any other user u of system s logs in as s_u.
QString nombreCuenta(const QString &sistema, const QString &usuario);

// Reads up to three lines (host, system, user) of the file; missing values stay untouched.
void leer(const QString &archivo, QString *host, QString *sistema, QString *usuario);

// Writes the three values, trimmed, one per line; never the password. False when the file
// cannot be written (the caller ignores it: the defaults are a convenience).
bool guardar(const QString &archivo, const QString &host, const QString &sistema,
             const QString &usuario);

// The file, relative to the working directory.
inline constexpr char archivo[] = "defaults";

} // namespace Predeterminados
