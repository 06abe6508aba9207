#pragma once

#include <QString>

// The client library's authentication plugins, kept to those built into it.
//
// When a server answers the login by switching to another authentication method, the client
// library loads that method's plugin from its plugin folder and runs it inside open(), before
// any check of ours. Some of those plugins hand the password over as it is (the clear-text one,
// the dialog one) or encrypted for a key the server itself supplies, so a server in clear, or
// an impostor, would receive it. The accounts use mysql_native_password, which is built into
// the library and needs no file. So, before the first connection of every process, the library
// is pointed at an empty folder of the user's own (MARIADB_PLUGIN_DIR, which it reads whenever
// it loads a plugin): any other method then fails with "could not be loaded", and nothing is
// sent. Programs the launcher starts inherit the setting and the folder.
namespace Complementos {

// Points the client library at the empty folder; idempotent. Call it before the first
// connection (and best before the first QMYSQL connection is added).
void limitar();

// The folder limitar() chose (empty before it ran).
QString carpeta();

} // namespace Complementos
