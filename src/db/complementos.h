#pragma once

#include <QString>

// The publishing tool's empty plugin folder.
//
// When a server answers the login by switching to another authentication method, the client
// library loads that method's plugin from its plugin folder and runs it inside the opening.
// The tool allows its connections the accounts' own method only (Apertura::autenticaciones),
// and besides points the library at an empty folder of the user's own, per connection and in
// its own process's environment (MARIADB_PLUGIN_DIR, which the library reads whenever it
// loads a plugin), so that no plugin file is ever loaded for it. The launcher and the suite's
// programs leave the environment alone: their limits are set on each connection (Apertura).
namespace Complementos {

// Points the client library at the empty folder; idempotent. Call it before the first
// connection (and best before the first QMYSQL connection is added).
void limitar();

// The folder limitar() chose (empty before it ran).
QString carpeta();

} // namespace Complementos
