#pragma once

#include "catalogue/descarga.h"
#include "catalogue/redes.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>

// The branch office a launcher works in, and the replica there that it reads the programs'
// bytes from. Only bytes: the catalogue, the digests, the signatures and the headers of the
// copies and patches are read from the session's own server, and everything the session
// writes goes there too. The replica is opened with the session's account, password and
// options (TLS with the name checked, restricted authentication, through the system's
// connection handler), for reading only.
namespace Sucursal {

// The replica of the branch whose networks hold the address the server sees for the session
// (USER()'s host part: the server runs with --skip-name-resolve), the most specific block
// winning; nothing when there is no such branch, the database has no branches, or the
// address is a name. One statement on the session.
std::optional<Redes::Servidor> buscar(const QSqlDatabase &sesion);

// Opens the connection `nombre` to the replica of the session's branch: asked for once per
// session, at the first program whose bytes are needed. False when there is no branch, or its
// replica could not be opened (within 5 s) or was lost earlier in the session: it is not tried
// again, and the session's server gives the bytes.
bool abrir(const QSqlDatabase &sesion, const QString &nombre);

// The replica stopped answering while bytes came: the rest of the session does without it.
void perdida(const QSqlDatabase &sesion);

// Whether a download from the replica that ended so is to be made again from the session's
// server: all but a program in place and a profile that cannot be written.
bool otraVez(Descarga::Estado e);

// What abrir() remembers, forgotten (a new session in the same process: tests).
void olvidar();

// How long a replica that does not answer may hold the start, in seconds.
inline constexpr int espera = 5;

} // namespace Sucursal
