#pragma once

#include <QString>

// The organisation's certificate authority the launcher was built with (KOLVASTER_SERVER_CA):
// with one, every connection of the system travels over TLS from a server it signed.
namespace Autoridad {

// Path of the authority's certificate (PEM) on the workstation; empty: none (connections as
// the server takes them).
QString ruta();

// The options every connection of the system asks the client library for: compressed traffic,
// and with an authority, TLS checked against it.
QString opcionesConexion();

} // namespace Autoridad
