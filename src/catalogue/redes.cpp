#include "redes.h"

#include <QRegularExpression>
#include <QStringList>

namespace Redes {

namespace {

// IPv4-mapped IPv6 as plain IPv4: a server listening on both families shows IPv4 clients so.
QHostAddress propia(const QHostAddress &a)
{
    bool v4 = false;
    const quint32 d = a.protocol() == QAbstractSocket::IPv6Protocol ? a.toIPv4Address(&v4) : 0;
    return v4 ? QHostAddress(d) : a;
}

bool fallar(QString *error, const QString &motivo)
{
    if (error)
        *error = motivo;
    return false;
}

} // namespace

std::optional<QList<Red>> leer(const QString &lista, QString *error)
{
    QList<Red> r;
    if (lista.size() > largoRedes) {
        fallar(error, QStringLiteral("la lista de redes es demasiado larga"));
        return std::nullopt;
    }
    for (const QString &parte : lista.split(QLatin1Char(','))) {
        const QString t = parte.trimmed();
        const qsizetype barra = t.indexOf(QLatin1Char('/'));
        bool numero = false;
        const int prefijo = barra > 0 ? t.mid(barra + 1).toInt(&numero) : -1;
        QHostAddress a;
        // Digits only after the bar: Qt would take a netmask too, which is not CIDR.
        static const QRegularExpression cifras(QStringLiteral("^[0-9]{1,3}$"));
        if (barra <= 0 || !cifras.match(t.mid(barra + 1)).hasMatch() || !numero
            || !a.setAddress(t.left(barra)) || !a.scopeId().isEmpty()) {
            fallar(error, QStringLiteral("\"%1\" no es una red (por ejemplo 10.1.0.0/16)").arg(t));
            return std::nullopt;
        }
        bool v4 = false;
        const quint32 mapeada =
            a.protocol() == QAbstractSocket::IPv6Protocol ? a.toIPv4Address(&v4) : 0;
        int p = prefijo;
        if (v4) {
            if (prefijo < 96) {
                fallar(error, QStringLiteral("\"%1\" no es una red (por ejemplo 10.1.0.0/16)").arg(t));
                return std::nullopt;
            }
            a = QHostAddress(mapeada);
            p = prefijo - 96;
        }
        const int bits = a.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
        if (p < 0 || p > bits) {
            fallar(error, QStringLiteral("\"%1\" no es una red (por ejemplo 10.1.0.0/16)").arg(t));
            return std::nullopt;
        }
        // The block's first address: what QHostAddress::parseSubnet gives for it.
        const std::pair<QHostAddress, int> normal =
            QHostAddress::parseSubnet(a.toString() + QLatin1Char('/') + QString::number(p));
        r.append({normal.first, p});
    }
    if (r.size() > redesMaximas) {
        fallar(error, QStringLiteral("demasiadas redes (a lo sumo %1)").arg(redesMaximas));
        return std::nullopt;
    }
    return r;
}

QString texto(const QList<Red> &redes)
{
    QStringList t;
    for (const Red &r : redes)
        t << r.red.toString() + QLatin1Char('/') + QString::number(r.prefijo);
    return t.join(QLatin1Char(','));
}

std::optional<Servidor> servidor(const QString &texto, QString *error)
{
    Servidor s;
    QString puerto;
    auto malo = [&] {
        fallar(error, QStringLiteral("\"%1\" no es un servidor (HOST o HOST:PUERTO)").arg(texto));
        return std::nullopt;
    };
    if (texto.isEmpty() || texto.size() > largoServidor)
        return malo();
    if (texto.startsWith(QLatin1Char('['))) {
        const qsizetype cierre = texto.indexOf(QLatin1Char(']'));
        QHostAddress a;
        if (cierre < 0 || !a.setAddress(texto.mid(1, cierre - 1))
            || a.protocol() != QAbstractSocket::IPv6Protocol)
            return malo();
        s.host = texto.mid(1, cierre - 1);
        const QString resto = texto.mid(cierre + 1);
        if (!resto.isEmpty() && !resto.startsWith(QLatin1Char(':')))
            return malo();
        puerto = resto.mid(1);
        if (resto == QLatin1String(":"))
            return malo();
    } else {
        const qsizetype dos = texto.indexOf(QLatin1Char(':'));
        if (dos >= 0 && texto.indexOf(QLatin1Char(':'), dos + 1) >= 0)
            return malo(); // a bare IPv6 address: its port could not be told apart
        s.host = dos >= 0 ? texto.left(dos) : texto;
        if (dos >= 0) {
            puerto = texto.mid(dos + 1);
            if (puerto.isEmpty())
                return malo();
        }
        static const QRegularExpression nombre(
            QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*$"));
        if (!nombre.match(s.host).hasMatch())
            return malo();
    }
    if (!puerto.isEmpty()) {
        static const QRegularExpression cifras(QStringLiteral("^[0-9]{1,5}$"));
        bool bien = false;
        s.puerto = puerto.toInt(&bien);
        if (!cifras.match(puerto).hasMatch() || !bien || s.puerto < 1 || s.puerto > 65535)
            return malo();
    }
    return s;
}

QHostAddress direccion(const QString &host)
{
    QString t = host.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        t = t.mid(1, t.indexOf(QLatin1Char(']')) - 1);
    } else if (t.count(QLatin1Char(':')) == 1) {
        t = t.left(t.indexOf(QLatin1Char(':'))); // "10.0.0.5:51234"
    }
    QHostAddress a;
    if (t.isEmpty() || !a.setAddress(t))
        return QHostAddress();
    return propia(a);
}

int contiene(const QList<Red> &redes, const QHostAddress &a)
{
    int mejor = -1;
    const QHostAddress d = propia(a);
    if (d.isNull())
        return -1;
    for (const Red &r : redes)
        if (r.red.protocol() == d.protocol() && d.isInSubnet(r.red, r.prefijo))
            mejor = qMax(mejor, r.prefijo);
    return mejor;
}

} // namespace Redes
