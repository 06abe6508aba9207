#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The two files a program leaves in the profile directory: N.exe, the raw bytes of its binary,
// and N.exe.md5, the server's digest of those bytes (32 hex digits, no line end).
namespace Programas {

inline constexpr char sufijoPrograma[] = ".exe";
inline constexpr char sufijoDigest[] = ".md5";

// A query giving how many of the two triggers that keep app.windowsbinary_md5 the session's
// database has, as its schema makes them: 2 when the column can be trusted. (An account sees
// the triggers of the tables it holds the TRIGGER privilege on; one without it sees none, and
// is treated as a database without them.)
inline constexpr char disparadoresPresentes[] =
    "SELECT COUNT(*) FROM information_schema.TRIGGERS t WHERE t.EVENT_OBJECT_SCHEMA=DATABASE() "
    "AND t.EVENT_OBJECT_TABLE='app' AND t.ACTION_TIMING='BEFORE' AND "
    "((t.TRIGGER_NAME='app_md5_alta' AND t.EVENT_MANIPULATION='INSERT') OR "
    "(t.TRIGGER_NAME='app_md5_cambio' AND t.EVENT_MANIPULATION='UPDATE'))";

// True when `nombre` can be a file name of its own inside the profile directory: not empty,
// not "." or "..", no separator, and no character that some file system refuses (control
// characters and <>:"|?*). Anything else could write or start a file outside the profile.
bool nombreSeguro(const QString &nombre);

// A program file of the profile: its name ends in ".exe". Libraries, "lastused" and digest
// files never count, downloaded programs always do, whatever the platform.
bool esPrograma(const QString &archivo);

// Compares the first line of the digest file, trimmed, with the server's digest, exactly (the
// letter case counts). Nothing when the file is missing or cannot be read.
std::optional<bool> digestCoincide(const QString &archivoDigest, const QString &digestServidor);

// Lower-case hex MD5 of the bytes, as the server's MD5() writes it.
QString md5(const QByteArray &bytes);

enum class Escritura { Hecha, NombreInvalido, DigestDistinto, FalloPrograma, FalloDigest };

// Stores a program received from the server. Nothing is written when the name could not be a
// file of the profile or when the bytes do not hash to the server's digest (a damaged
// transfer). Otherwise writes dir/nombre.exe (mode 0700) and then dir/nombre.exe.md5, each
// through a temporary file renamed into place, so that neither is ever left half written and
// the digest only appears once its program is complete.
Escritura escribir(const QString &dir, const QString &nombre, const QByteArray &binario,
                   const QString &digest);

} // namespace Programas
