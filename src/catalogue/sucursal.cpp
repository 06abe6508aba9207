#include "sucursal.h"

#include "db/apertura.h"
#include "db/sesioncifrada.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace Sucursal {

namespace {

// What the session learnt: its branch (looked up once) and whether its replica failed.
struct Memoria {
    QString sesion; // which session it is about
    bool buscada = false;
    std::optional<Redes::Servidor> servidor;
    bool caida = false;
};

Memoria &memoria(const QSqlDatabase &sesion)
{
    static Memoria m;
    const QString clave = QStringList{sesion.connectionName(), sesion.hostName(),
                                      QString::number(sesion.port()), sesion.databaseName(),
                                      sesion.userName()}
                              .join(QLatin1Char('\n'));
    if (m.sesion != clave)
        m = Memoria{clave};
    return m;
}

// However many rows a hostile or broken table holds, these few are looked at.
constexpr int sedesMaximas = 256;

} // namespace

std::optional<Redes::Servidor> buscar(const QSqlDatabase &sesion)
{
    QSqlQuery q(sesion);
    q.setForwardOnly(true);
    // A database without branches (an older one without the table included) has none.
    if (!q.exec(QStringLiteral("SELECT SUBSTRING_INDEX(USER(), '@', -1), redes, servidor FROM "
                               "sede ORDER BY nombre LIMIT %1")
                    .arg(sedesMaximas)))
        return std::nullopt;
    std::optional<Redes::Servidor> mejor;
    int prefijo = -1;
    while (q.next()) {
        const QString host = q.value(0).toString();
        const QString redes = q.value(1).toString();
        const QString servidor = q.value(2).toString();
        if (host.size() > 300 || redes.size() > Redes::largoRedes
            || servidor.size() > Redes::largoServidor)
            continue;
        const QHostAddress a = Redes::direccion(host);
        const std::optional<QList<Redes::Red>> r = Redes::leer(redes);
        const std::optional<Redes::Servidor> s = Redes::servidor(servidor);
        if (a.isNull())
            return std::nullopt;
        if (!r || !s)
            continue; // a row the tool would not have written
        const int p = Redes::contiene(*r, a);
        if (p > prefijo) {
            prefijo = p;
            mejor = s;
        }
    }
    return mejor;
}

bool abrir(const QSqlDatabase &sesion, const QString &nombre)
{
    Memoria &m = memoria(sesion);
    if (m.caida)
        return false;
    if (!m.buscada) {
        m.buscada = true;
        m.servidor = buscar(sesion);
    }
    if (!m.servidor)
        return false;
    QSqlDatabase c = QSqlDatabase::cloneDatabase(sesion, nombre);
    c.setHostName(m.servidor->host);
    c.setPort(m.servidor->puerto > 0 ? m.servidor->puerto : -1);
    // The session's options (its authority first of all), without the protocol's compression
    // (the bytes are compressed already) and with short waits: a replica that does not answer
    // costs a few seconds once, not a start that hangs.
    QStringList opciones;
    for (const QString &o : sesion.connectOptions().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString n = o.section(QLatin1Char('='), 0, 0).trimmed();
        if (n != QLatin1String("CLIENT_COMPRESS") && !n.startsWith(QLatin1String("MYSQL_OPT_"))
            && n != QLatin1String("UNIX_SOCKET"))
            opciones << o;
    }
    const QString segundos = QString::number(espera);
    opciones << QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=") + segundos
             << QStringLiteral("MYSQL_OPT_READ_TIMEOUT=") + segundos
             << QStringLiteral("MYSQL_OPT_WRITE_TIMEOUT=") + segundos;
    c.setConnectOptions(opciones.join(QLatin1Char(';')));
    bool abierta = SesionCifrada::abrir(c);
    // Nothing this session sends there can change it: the launcher only reads.
    if (abierta) {
        QSqlQuery q(c);
        abierta = q.exec(QStringLiteral("SET SESSION TRANSACTION READ ONLY"));
    }
    if (!abierta) {
        m.caida = true;
        c = QSqlDatabase();
        if (QSqlDatabase::contains(nombre)) {
            QSqlDatabase::database(nombre, false).close();
            QSqlDatabase::removeDatabase(nombre);
        }
    }
    return abierta;
}

void perdida(const QSqlDatabase &sesion)
{
    memoria(sesion).caida = true;
}

bool otraVez(Descarga::Estado e)
{
    return e != Descarga::Estado::Hecha && e != Descarga::Estado::FalloPrograma
           && e != Descarga::Estado::FalloDigest;
}

void olvidar()
{
    memoria(QSqlDatabase()) = Memoria{};
}

} // namespace Sucursal
