#pragma once

#include <QByteArray>
#include <QString>

// The publisher's secret key as `clave` writes it: one line, a mark and the base64 of
// libsodium's 64-byte secret key (the seed, then the public key).
namespace Secreta {

inline constexpr char marca[] = "kolvaster-clave-secreta-1 ";

// The secret key of a file written by `clave`; empty, with *error set, when it is not one.
QByteArray leer(const QString &archivo, QString *error);

} // namespace Secreta
