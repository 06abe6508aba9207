#pragma once

#include <QDateTime>
#include <QDir>
#include <QString>

#include <functional>

// The profile directories under the installation folder: one per database and user, holding
// the downloaded programs, the two SSL libraries and the "lastused" mark. Nothing here shows a
// widget, so the whole tree can be exercised headless; the main window adds the dialogs.
namespace Perfil {

// The installation folder's name under the home directory, and the libraries copied from it.
inline constexpr char carpetaInstalacion[] = "Kolvaster";
inline constexpr char libreriaCrypto[] = "libeay32.dll";
inline constexpr char libreriaSsl[] = "ssleay32.dll";
inline constexpr char marcaUso[] = "lastused";
// A profile not started for more days than this is removed.
inline constexpr int diasVigencia = 30;

// The account name without everything up to and including its first "_": sales_ana gives
// ana, sales_ana_b gives ana_b, dbadmin stays dbadmin.
QString parteUsuario(const QString &cuenta);

// Builds (when missing) home/Kolvaster/profiles/<base>/<user part>, copies the libraries into
// it when it lacks them and marks it used now. On success *perfil is the profile directory and
// the result is empty; otherwise the result is the message to report and *perfil is left
// wherever the preparation stopped.
QString preparar(const QString &home, const QString &base, const QString &cuenta, QDir *perfil);

// Removes every user directory under `profiles` whose "lastused" is more than 30 calendar days
// older than `ahora`, and every database directory left without users. `eliminar` does the
// removal (the main window adds its warning on failure). A symbolic link at either level is
// never entered: it is an entry of its own, judged by its own modification time. `propio`
// ("<base>/<user part>") is the session's own profile, kept whatever its entries' dates say
// (a link's own date is not renewed by marking the profile through it).
void limpiar(const QString &profiles, const QDateTime &ahora,
             const std::function<void(const QString &)> &eliminar,
             const QString &propio = QString());

// Removes `path` with all it holds, then each parent left empty (as QDir::rmpath climbs).
// Links are removed as links, `path` itself included, and never followed. True when `path`
// itself is gone afterwards.
bool eliminarArbol(const QString &path);

} // namespace Perfil
