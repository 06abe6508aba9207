#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Publisher signatures: an Ed25519 detached signature over the program's name, the
// publication's version and the SHA-256 and length of its bytes, made by the publishing tool
// with the publisher's secret key and checked by the launcher against the public keys it was
// built with. The installed version is remembered beside the program, so an older signed
// publication put back on the server is never installed over a newer one.
namespace Firma {

inline constexpr int largoClave = 32;     // public key, bytes
inline constexpr int largoSecreta = 64;   // secret key, bytes
inline constexpr int largoFirma = 64;     // detached signature, bytes
// N.exe.version beside N.exe: the version of the copy installed, decimal text. Pass 1 of the
// synchronisation never deletes it (it is no program), so the mark outlives a withdrawn right.
inline constexpr char sufijoVersion[] = ".version";

// The exact bytes that are signed.
QByteArray mensaje(const QString &nombre, qint64 version, const QByteArray &sha256Hex,
                   qint64 largo);

// A public key from its standard base64 text (32 bytes); nothing when it is not one.
std::optional<QByteArray> clavePublica(const QByteArray &base64);
QByteArray base64(const QByteArray &bytes);

// The ";"-separated list of a build setting or option: the keys that decode, the others left
// out (CMake refuses a malformed list when the launcher is configured).
QList<QByteArray> claves(const QByteArray &lista);

// True when `firma` is a valid signature of `mensaje` by the public key `clave`.
bool verifica(const QByteArray &clave, const QByteArray &firma, const QByteArray &mensaje);

// Signs `mensaje` with a 64-byte secret key.
QByteArray firmar(const QByteArray &secreta, const QByteArray &mensaje);

// SHA-256 taken piece by piece, through OpenSSL, which uses the processor's SHA instructions
// where there are some: the launcher hashes every program it downloads with it, alongside the
// MD5, and the publishing tool every program it sends.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;
    void agregar(const char *datos, qint64 n);
    QByteArray hex(); // lower-case; ends the hash
private:
    struct Estado;
    Estado *e;
};

// The keys this launcher was built with: nothing when KOLVASTER_PUBLISHER_KEYS is empty (no
// signature is required), otherwise the list, possibly empty if none decoded (then nothing
// can be installed: a misbuilt launcher refuses rather than trusts).
const std::optional<QList<QByteArray>> &clavesEditor();

// The version recorded for an installed program; nothing when there is no readable mark.
std::optional<qint64> versionInstalada(const QString &archivoVersion);

} // namespace Firma
