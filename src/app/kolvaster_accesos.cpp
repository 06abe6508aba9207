// The user's own logins of the last month, as a report.

#include "app/kolvaster.h"
#include "reports/kolvasterhtmlviewer.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

void Kolvaster::on_actionMis_ultimos_accesos_triggered()
{
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "SELECT cuando FROM sysuserelog WHERE sysuser_id=:uid AND "
        "cuando>=CURDATE()-INTERVAL 1 MONTH AND sysuserelogtipo_id=:login ORDER BY cuando "
        "DESC;"));
    q.bindValue(QStringLiteral(":uid"), uid);
    q.bindValue(QStringLiteral(":login"), 1);
    if (!q.exec()) {
        reportarError(q.lastError().text());
        return;
    }

    QString cuerpo = QStringLiteral("<p>(ultimos 30 dias)</p><p>");
    while (q.next())
        cuerpo += q.value(0).toDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"))
                  + QStringLiteral("<br />");
    cuerpo += QStringLiteral("</p>");

    // The viewer's engine is loaded here, with the first report; a launcher whose module is
    // missing or broken says so through the error dialog.
    QString sinVisor;
    if (!KolvasterHTMLViewer::disponible(&sinVisor)) {
        reportarError(sinVisor);
        return;
    }
    KolvasterHTMLViewer visor(QStringLiteral("Kolvaster - Registro Ingreso Usuario"), this);
    visor.setHtmlBody(cuerpo);
    visor.exec();
}
