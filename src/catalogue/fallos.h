#pragma once

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QString>

#include <optional>

// A launcher's failed update, for the administrator: one row of `appfallo` per user, program
// and wanted version, written at once on the session's connection, or, when the session has
// lost its server, kept in the profile (a few, bounded) and written at the next start. A later
// success of the same user and program resolves it. None of these statements is checked: the
// record must never cost the user a session.
namespace Fallos {

struct Fallo {
    int appId = 0;
    QString nombre;      // the program's, for the local copy's files
    qint64 version = 0;  // the version wanted; 0: the catalogue has none
    QString md5;         // the digest wanted
    QString causa;       // 'firma', 'md5', 'piezas', 'corte', 'perfil', 'disco'
    QString texto;       // what the user was shown (markup dropped)
    QDateTime cuando;    // when it happened (this machine's clock, in UTC)
    // What the user keeps: the local copy's version and digest (filled by registrar()).
    std::optional<qint64> conserva;
    QString conservaMd5;
};

// The file of the profile that keeps the failures not written yet.
inline constexpr char archivoPendientes[] = "fallos.pendientes";
// At most this many are kept (one per program and version; the oldest go first).
inline constexpr int maximoPendientes = 20;

// The cause of a program or digest file that could not be written in `dir`: the disk is full,
// or the directory does not take new files.
QString causaEscritura(const QString &dir);

// Writes `f` for the user `uid`; kept in `dir` when the connection is lost. What the user keeps
// (the local copy's version and digest) is read from `dir`.
void registrar(const QSqlDatabase &db, qint64 uid, const QString &dir, Fallo f);

// Writes what a session that lost its server kept in `dir`, and forgets what was written.
void enviarPendientes(const QSqlDatabase &db, qint64 uid, const QString &dir);

// The user's unresolved failures: app_id -> the highest version wanted.
QHash<int, qint64> sinResolver(const QSqlDatabase &db, qint64 uid);

// The program is now at `version` (nothing: unknown) for the user: the failures of
// `pendientes` it answers are resolved (and dropped from it).
void resolver(const QSqlDatabase &db, qint64 uid, QHash<int, qint64> &pendientes, int appId,
              std::optional<qint64> version);

} // namespace Fallos
