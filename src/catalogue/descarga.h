#pragma once

#include <QSqlDatabase>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct st_mysql;

// Fetching one program from the server into the profile directory without ever holding the
// whole binary more than once: the client library keeps the row it received, and the binary is
// copied out of it in pieces, each hashed and written to the program's file as it comes.
namespace Descarga {

// How much of the binary is taken out of the client library at a time.
inline constexpr qint64 tamanoPieza = 1024 * 1024;

enum class Estado {
    Hecha,          // both files written
    FalloSentencia, // the statement (or reading its row) failed: `error` says why
    SinFila,        // no program with that app_id
    SinBinario,     // the binary is NULL or empty: nothing touched
    NombreInvalido, // the server's name cannot be a file of the profile: nothing touched
    DigestDistinto, // what arrived does not hash to the server's digest: nothing touched
    FalloPrograma,  // the program file could not be written: the old one is intact
    FalloDigest,    // the digest file could not be written: the new program is in place
    FirmaInvalida,  // signatures are required and this one is missing or not valid: nothing
                    // touched
};

// The `appfirma` row of a program: its current publication.
struct Publicacion {
    qint64 version = 0;
    QByteArray clave; // the signer's public key, decoded (empty when the text is not a key)
    QByteArray firma; // 64 bytes
};

// What a launcher built with publisher keys asks of a program before writing it.
struct Exigencia {
    QList<QByteArray> claves;                // the configured public keys
    std::optional<Publicacion> publicacion; // nothing: the program has no `appfirma` row
};

struct Resultado {
    Estado estado = Estado::FalloSentencia;
    QString nombre; // as the server returns it (empty when there is no row)
    QString error;  // with FalloSentencia: the error text, worded as Qt's driver words it
    QString titulo; // read only when signatures are required
};

// Copies `n` bytes of the binary, starting at `desde`, into `destino`; false when it cannot.
using LectorPiezas = std::function<bool(char *destino, qint64 desde, qint64 n)>;

// Writes a program of `largo` bytes, read piece by piece through `leer`, to dir/nombre.exe
// (mode 0700) and then its digest to dir/nombre.exe.md5, each through a temporary file put in
// place only when complete. The program is put in place only when the bytes read hash to
// `digest`. A failed read gives FalloSentencia with nothing written. `largo` must be > 0.
// With `exigencia`, the SHA-256 is taken in the same pass, and the program is written only when
// its publication is signed by one of the keys over the name, the version and the SHA-256 and
// length of the bytes read, and its version is not lower than the installed copy's (recorded
// in dir/nombre.exe.version, written before the program is put in place).
Estado guardar(const QString &dir, const QString &nombre, qint64 largo, const QString &digest,
               const LectorPiezas &leer, const Exigencia *exigencia = nullptr);

// The client library's handle under Qt's open QMYSQL connection `db`; null when there is none.
st_mysql *manejador(const QSqlDatabase &db);

// For a launcher built with publisher keys: the program's title and its `appfirma` row, read on
// `db`. False, with *error worded as Qt words it, when the statement fails. With `digest`, the
// pilot version's publication (`appversion`) is taken instead when its bytes are those: it is
// the one that was signed for them (a database without that table simply has none).
bool leerExigencia(const QSqlDatabase &db, int appId, const QList<QByteArray> &claves,
                   Exigencia *exigencia, QString *titulo, QString *error,
                   const QString &digest = QString());

// Runs "SELECT windowsbinary, MD5(windowsbinary), LENGTH(windowsbinary), nombre FROM app WHERE
// app_id=?" on the client library's handle of the open QMYSQL connection `db` and stores the
// program in `dir` through guardar(). The connection stays usable for Qt's queries. With
// `claves` (signatures required), the program's title and `appfirma` row are read first.
// With `piloto` (a digest), the program's pilot version of that digest is fetched instead, from
// `appversion`: the general bytes in `app` are not the ones this user must have.
//
// With `cerca`, the bytes are read there instead (a branch's replica), and must be those of
// the program `nombre` with the digest `digest` that the session's server gave: a row of
// another name or digest gives DigestDistinto with nothing read, and the bytes must hash to it.
struct Cerca {
    st_mysql *m = nullptr;
    QString nombre;
    QString digest;
};
Resultado descargar(const QSqlDatabase &db, int appId, const QString &dir,
                    const QList<QByteArray> *claves = nullptr,
                    const QString &piloto = QString(), const Cerca *cerca = nullptr);

} // namespace Descarga
