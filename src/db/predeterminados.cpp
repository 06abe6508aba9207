#include "predeterminados.h"

#include <QFile>

namespace Predeterminados {

QString nombreCuenta(const QString &sistema, const QString &usuario)
{
    if (usuario == QLatin1String("dbadmin"))
        return usuario;
    return sistema + QLatin1Char('_') + usuario;
}

void leer(const QString &archivo, QString *host, QString *sistema, QString *usuario)
{
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    *host = QString::fromLatin1(f.readLine().trimmed());
    *sistema = QString::fromLatin1(f.readLine().trimmed());
    *usuario = QString::fromLatin1(f.readLine().trimmed());
}

bool guardar(const QString &archivo, const QString &host, const QString &sistema,
             const QString &usuario)
{
    QFile f(archivo);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    for (const QString &valor : {host, sistema, usuario}) {
        f.write(valor.trimmed().toLatin1());
        f.write("\n");
    }
    return true;
}

} // namespace Predeterminados
