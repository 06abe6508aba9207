#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

// The networks of a branch office and the address of its replica, as the publishing tool
// writes them and the launcher reads them back: both sides parse them with these functions, so
// that what the tool accepted is what a launcher understands.
namespace Redes {

struct Red {
    QHostAddress red; // the block's first address (host bits cleared)
    int prefijo = 0;
};

// No more blocks than this in one branch, and no longer text than the column holds.
inline constexpr int redesMaximas = 64;
inline constexpr int largoRedes = 1000;
inline constexpr int largoServidor = 255;

// "10.1.0.0/16,2001:db8::/32": every block in CIDR form, IPv4 or IPv6, separated by commas
// (blanks around them ignored). Nothing when one is not a block, or there are none or too many.
// An IPv4-mapped IPv6 block (::ffff:10.0.0.0/104) is taken as the IPv4 block it maps.
std::optional<QList<Red>> leer(const QString &lista, QString *error = nullptr);
// The blocks as leer() takes them back, each with its host bits cleared.
QString texto(const QList<Red> &redes);

// The server of a replica: "host", "host:puerto", "[v6]" or "[v6]:puerto". The host is a
// name of letters, digits, '-' and '.', or an address; the port 1 to 65535 (0: the default).
struct Servidor {
    QString host;
    int puerto = 0;
};
std::optional<Servidor> servidor(const QString &texto, QString *error = nullptr);

// The address a server shows for a client (USER()'s host part or the process list's, with or
// without ":port"), with an IPv4-mapped IPv6 address taken as IPv4. Null when it is not an
// address (a server resolving names shows names: no branch can be told from those).
QHostAddress direccion(const QString &host);

// The prefix of the most specific block holding `a`; -1 when none does.
int contiene(const QList<Red> &redes, const QHostAddress &a);

} // namespace Redes
