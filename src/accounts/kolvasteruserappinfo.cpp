#include "kolvasteruserappinfo.h"

#include "errors/kolvastererrorhandler.h"
#include "ui_kolvasteruserappinfo.h"

#include <QEvent>
#include <QSqlError>
#include <QSqlQuery>

KolvasterUserAppInfo::KolvasterUserAppInfo(qint64 uid, const QString &programa,
                                           QSqlDatabase *database, qint64 appId,
                                           QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterUserAppInfo), uid(uid), programa(programa),
      database(database)
{
    ui->setupUi(this);

    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT a.nombre, a.descri, r.detalle, a.riskdetalle, a.titulo "
                             "FROM app a, apprisklevel r WHERE "
                             "a.apprisklevel_id=r.apprisklevel_id AND app_id=:appid;"));
    q.bindValue(QStringLiteral(":appid"), appId);
    if (!q.exec()) {
        fallo = true;
        // The query holds the server's reason; the connection's own error is often empty.
        KolvasterErrorHandler::mostrar(database, uid, programa, q.lastError().text(), this);
        return;
    }
    if (!q.next()) {
        // No such program, or one whose risk level matches no row.
        fallo = true;
        KolvasterErrorHandler::mostrar(database, uid, programa, database->lastError().text(),
                                       this);
        return;
    }
    ui->le_nombre->setText(q.value(0).toString());
    ui->tb_desc->setText(q.value(1).toString());
    ui->le_riesgo->setText(q.value(2).toString());
    ui->tb_riesgo->setText(q.value(3).toString());
    ui->le_titulo->setText(q.value(4).toString());
}

KolvasterUserAppInfo::~KolvasterUserAppInfo()
{
    delete ui;
}

void KolvasterUserAppInfo::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
