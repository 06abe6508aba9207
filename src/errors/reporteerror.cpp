#include "reporteerror.h"

#include "base/constantes.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ReporteError {

QString componer(const QSqlDatabase &conexion, qint64 uid, const QString &programa,
                 const QString &error)
{
    QString reporte = QStringLiteral("Usuario: ");
    if (uid != 0) {
        QSqlQuery q;
        q.prepare(QStringLiteral("SELECT sysuser FROM sysuser WHERE sysuser_id=:uid;"));
        q.bindValue(QStringLiteral(":uid"), uid);
        // A failed or empty lookup leaves the line unfinished, as the notifier's readers know it.
        if (q.exec() && q.next())
            reporte += q.value(0).toString() + QLatin1Char('\n');
    } else {
        reporte += QStringLiteral("(USUARIO DESCONOCIDO)\n");
    }
    reporte += QStringLiteral("Programa: ") + programa + QLatin1Char('\n');
    reporte += QStringLiteral("Detalle error: ") + error + QLatin1Char('\n');
    reporte += QStringLiteral("Estado error DB:") + conexion.lastError().text() + QLatin1Char('\n');
    reporte += QStringLiteral("Esquema: ") + conexion.databaseName() + QLatin1Char('\n');
    return reporte;
}

QUrl url(const QString &reporte)
{
    QUrl u;
    u.setScheme(QStringLiteral("http"));
    u.setAuthority(QString::fromLatin1(KOLVASTER_NOTIFIER_HOST));
    u.setPath(QStringLiteral("/notifier/notifier.php"));
    u.setQuery(QStringLiteral("authkey=qowzr57&mensaje=")
                   + QString::fromLatin1(QUrl::toPercentEncoding(reporte)),
               QUrl::StrictMode);
    return u;
}

} // namespace ReporteError
