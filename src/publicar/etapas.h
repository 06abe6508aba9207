#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

#include <mysql.h>

// The steps that change which publication of a program a user must install without new bytes
// (promoting the pilot version, withdrawing it, going back) and what they share with `subir`:
// the program's row locked for the transaction, the next version number, and a signature made
// anew only over bytes whose stored signature this publisher (or a key the launchers trust)
// made. A replayed older publication stays refused because every such step takes a number
// higher than any the program ever had: the launchers refuse a version lower than the one
// they installed.
namespace Etapas {

// Who signs: the secret key, its public key as stored (base64), and the public keys whose
// signatures may be signed anew (this one and the launchers' built-in keys).
struct Firmante {
    QByteArray secreta;
    QByteArray publica;
    QList<QByteArray> confiables;
};

// A stored publication, as the server measures its bytes now.
struct Guardada {
    QByteArray md5, sha256;
    qint64 largo = 0, version = 0;
};

// The program's app_id, its row locked until the transaction ends; 0 when there is no such
// program; nothing (and *error) when the statement fails.
std::optional<long long> bloquear(MYSQL *m, const QByteArray &nombre, QString *error);

// One more than every version the program has had (general, pilot, kept): the number the next
// step takes.
std::optional<qint64> siguienteVersion(MYSQL *m, long long appId, QString *error);

// The general publication (`clase` empty) or a kept one ("piloto", "anterior"), with its
// signature checked over the bytes the server holds. Nothing with *error empty: there is none;
// with *error set: a failure, or a signature that does not hold (then nothing is re-signed).
std::optional<Guardada> comprobar(MYSQL *m, long long appId, const QString &nombre,
                                  const char *clase, const Firmante &f, QString *error);

// Signs the general publication anew as `version` over the bytes of `g` (now in app).
bool firmarGeneral(MYSQL *m, long long appId, const QString &nombre, const Guardada &g,
                   qint64 version, const Firmante &f, QString *error);

// The current general version, bytes and signature, kept as the one `volver` puts back
// (replacing the one kept before); nothing happens for a program without a signed general.
bool guardarAnterior(MYSQL *m, long long appId, QString *error);

// Puts the kept version's bytes (`clase`) into app, as the general version's.
bool ponerGeneral(MYSQL *m, long long appId, const char *clase, QString *error);

// Drops the kept version `clase`; *habia says whether there was one.
bool quitar(MYSQL *m, long long appId, const char *clase, QString *error,
            bool *habia = nullptr);

// Stores `bytes` as the program's pilot version (replacing the one out), signed as `version`;
// the bytes go in 1 MB pieces, `enviado` told after each.
bool guardarPiloto(MYSQL *m, long long appId, QByteArrayView bytes, const QByteArray &md5,
                   const QByteArray &sha256, qint64 version, const QByteArray &publica,
                   const QByteArray &firma, const std::function<void(qint64)> &enviado,
                   QString *error);

// Drops the program's compressed copies and patches that lead to no version a user may be sent
// to: the general one, the pilot one, and the one kept for going back.
bool limpiarComprimidos(MYSQL *m, long long appId, QString *error, unsigned int *codigo);

// Runs a statement without result; false with *error.
bool ejecutar(MYSQL *m, const char *sql, QString *error);

} // namespace Etapas
