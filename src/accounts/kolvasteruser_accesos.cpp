// The selected user's program and report access lists: each move writes its link table at once
// and both lists of the pair are read again.
#include "accounts/kolvasteruser.h"
#include "accounts/kolvasteruserappinfo.h"
#include "base/mensajes.h"
#include "ui_kolvasteruser.h"

#include <QSqlError>
#include <QSqlQuery>

void KolvasterUser::llenarLista(QTableWidget *tabla, QSqlQuery &q)
{
    tabla->setRowCount(q.size());
    for (int fila = 0; q.next(); ++fila) {
        tabla->setItem(fila, 0, new QTableWidgetItem(q.value(0).toString()));
        tabla->setItem(fila, 1, new QTableWidgetItem(q.value(1).toString()));
    }
}

void KolvasterUser::actAppAccess()
{
    if (!exigirUsuario())
        return;
    const qint64 id = idSeleccionado();
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT app_id, nombre FROM app WHERE app_id NOT IN (SELECT app_id "
                             "FROM sysuserapp WHERE sysuser_id=:id);"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!ejecutar(q))
        return;
    llenarLista(ui->tw_appsin, q);
    q.prepare(QStringLiteral("SELECT a.app_id, a.nombre FROM app a, sysuserapp ua WHERE "
                             "ua.app_id=a.app_id AND ua.sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!ejecutar(q))
        return;
    llenarLista(ui->tw_appcon, q);
}

void KolvasterUser::actRepAccess()
{
    if (!exigirUsuario())
        return;
    const qint64 id = idSeleccionado();
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT report_id, titulo FROM report WHERE report_id NOT IN "
                             "(SELECT report_id FROM sysuserreport WHERE sysuser_id=:id);"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!q.exec()) {
        Mensajes::critico(this, QStringLiteral("Error"),
                          QStringLiteral("Atencion! Seleccion de reportes fallo. Verifique "
                                         "exista tabla de reportes!"));
        reportarError(q.lastError().text());
        return;
    }
    llenarLista(ui->tw_repsin, q);
    q.prepare(QStringLiteral("SELECT r.report_id, r.titulo FROM report r, sysuserreport ur "
                             "WHERE ur.report_id=r.report_id AND ur.sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!ejecutar(q))
        return;
    llenarLista(ui->tw_repcon, q);
}

namespace {
bool haySeleccion(QWidget *padre, QTableWidget *origen)
{
    if (!origen->selectedItems().isEmpty())
        return true;
    Mensajes::advertencia(padre, QStringLiteral("Atencion"),
                          QStringLiteral("Debe primero seleccionar un elemento de la lista!"));
    return false;
}
} // namespace

// A move of more than one statement (delete, then insert) is one transaction: two
// administrators granting the same link at once then leave one row, and the one who loses the
// race (on a Galera cluster, a certification conflict reported as a deadlock) gets the error
// dialog with nothing written. A link is never left deleted without its insert.
bool KolvasterUser::moverEntrada(QTableWidget *origen, const QStringList &sentencias,
                                 const QString &paso, const QString &resultado)
{
    // The lists still show the last user shown after a Ctrl+click has deselected them all, and
    // the current row still names that user: nothing may be written for a user not selected.
    if (!exigirUsuario() || !haySeleccion(this, origen))
        return false;
    const qint64 usuario = idSeleccionado();
    const qint64 id = origen->item(origen->currentRow(), 0)->text().toLongLong(nullptr, 10);
    const QTableWidgetItem *nombre = origen->item(origen->currentRow(), 1);
    // The move and its row in the record are one transaction.
    return registrarCambio(paso, resultado + QStringLiteral(": ") + (nombre ? nombre->text() : QString()),
                           [&](QSqlError *error) {
                               for (const QString &sql : sentencias) {
                                   QSqlQuery q;
                                   q.prepare(sql);
                                   q.bindValue(QStringLiteral(":user"), usuario);
                                   q.bindValue(QStringLiteral(":id"), id);
                                   if (!q.exec()) {
                                       *error = q.lastError();
                                       return false;
                                   }
                               }
                               return true;
                           });
}

// The delete before each insert keeps a link from being stored twice (two open dialogs).
void KolvasterUser::on_bagregar_clicked()
{
    if (moverEntrada(ui->tw_appsin,
                     {QStringLiteral("DELETE FROM sysuserapp WHERE sysuser_id=:user AND "
                                     "app_id=:id;"),
                      QStringLiteral("INSERT INTO sysuserapp (sysuser_id,app_id,clogleido) "
                                     "VALUES (:user,:id,FALSE);")},
                     QStringLiteral("acceso a programa"), QStringLiteral("otorgado")))
        actAppAccess();
}

void KolvasterUser::on_bquitar_clicked()
{
    if (moverEntrada(ui->tw_appcon, {QStringLiteral("DELETE FROM sysuserapp WHERE "
                                                    "sysuser_id=:user AND app_id=:id;")},
                     QStringLiteral("acceso a programa"), QStringLiteral("retirado")))
        actAppAccess();
}

void KolvasterUser::on_pb_addrep_clicked()
{
    if (moverEntrada(ui->tw_repsin,
                     {QStringLiteral("DELETE FROM sysuserreport WHERE sysuser_id=:user AND "
                                     "report_id=:id;"),
                      QStringLiteral("INSERT INTO sysuserreport (sysuser_id,report_id) VALUES "
                                     "(:user,:id);")},
                     QStringLiteral("acceso a reporte"), QStringLiteral("otorgado")))
        actRepAccess();
}

void KolvasterUser::on_pb_delrep_clicked()
{
    if (moverEntrada(ui->tw_repcon, {QStringLiteral("DELETE FROM sysuserreport WHERE "
                                                    "sysuser_id=:user AND report_id=:id;")},
                     QStringLiteral("acceso a reporte"), QStringLiteral("retirado")))
        actRepAccess();
}

void KolvasterUser::mostrarInfoApp(QTableWidget *origen)
{
    if (!haySeleccion(this, origen))
        return;
    const qint64 appId = origen->item(origen->currentRow(), 0)->text().toLongLong(nullptr, 10);
    KolvasterUserAppInfo info(uid, programa, database, appId, this);
    if (!info.fallido())
        info.exec();
}

void KolvasterUser::on_pb_infosin_clicked()
{
    mostrarInfoApp(ui->tw_appsin);
}

void KolvasterUser::on_pb_infocon_clicked()
{
    mostrarInfoApp(ui->tw_appcon);
}
