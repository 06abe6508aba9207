// The main window's small per-user functions: identity panel, lock, icon-size preference and
// the About dialog.

#include "about/changelog.h"
#include "about/kolvasteracercade.h"
#include "base/constantes.h"
#include "app/kolvaster.h"
#include "db/apertura.h"
#include "db/sentencia.h"
#include "base/mensajes.h"
#include "ui_kolvaster.h"

#include <QPixmap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

void Kolvaster::cargarIdentidad()
{
    ui->lab_imagen->clear();

    QSqlQuery q;
    if (!Sentencia::ejecutar(q, QStringLiteral("SELECT titulo FROM sysuser WHERE sysuser_id=:id"),
                             {{QStringLiteral(":id"), uid}})) {
        reportarError(q.lastError().text());
        return;
    }
    if (!q.next()) {
        reportarError(QStringLiteral("Usuario no Registrado en Sistema"));
        return;
    }
    ui->le_emp->setText(q.value(0).toString() + QStringLiteral(" @ ")
                        + Apertura::servidor(db.hostName())
                        + QStringLiteral(" - ") + db.databaseName());

    // The photo is a nicety: a failed statement or bytes that are no image leave it empty.
    Sentencia::ejecutar(q, QStringLiteral("SELECT imagen FROM sysuserimg WHERE sysuser_id=:id;"),
                        {{QStringLiteral(":id"), uid}});
    QPixmap foto;
    if (q.next() && foto.loadFromData(q.value(0).toByteArray()))
        ui->lab_imagen->setPixmap(
            foto.scaledToHeight(ui->lab_imagen->height(), Qt::FastTransformation));
    else
        ui->lab_imagen->setText(QString());
}

namespace {
// Everything the lock freezes; the lock action itself, the icon-size preference, About and
// closing the window stay available.
QList<QObject *> bloqueables(Ui::KolvasterClass *ui)
{
    return {ui->actionActualizar_aplicaciones_disponibles, ui->actionAdministracion_de_accesos,
            ui->actionCambiar_mi_contrase_a, ui->actionMis_ultimos_accesos,
            ui->actionVersiones_en_uso, ui->lw_apps,
            ui->lab_imagen};
}

void habilitar(Ui::KolvasterClass *ui, bool habilitado)
{
    for (QObject *o : bloqueables(ui)) {
        if (auto *a = qobject_cast<QAction *>(o))
            a->setEnabled(habilitado);
        else if (auto *w = qobject_cast<QWidget *>(o))
            w->setEnabled(habilitado);
    }
}
} // namespace

void Kolvaster::on_actionBloquear_Desbloquear_triggered()
{
    // The window is locked exactly while the program list is disabled.
    if (ui->lw_apps->isEnabled()) {
        habilitar(ui, false);
        return;
    }
    const std::optional<QString> clave =
        Mensajes::pedirTexto(this, QStringLiteral("Desbloqueo"),
                             QStringLiteral("Ingrese su contraseña: "), QLineEdit::Password);
    if (!clave || clave->isEmpty())
        return;
    if (clave->trimmed() == db.password())
        habilitar(ui, true);
}

void Kolvaster::on_actionUnificar_tama_o_iconos_triggered()
{
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "DELETE FROM kolvasterop WHERE sysuser_id=:uid AND llave='NOUNIFORMICONSIZES';"));
    q.bindValue(QStringLiteral(":uid"), uid);
    if (!q.exec()) {
        reportarError(q.lastError().text());
        return;
    }
    if (ui->actionUnificar_tama_o_iconos->isChecked()) {
        q.prepare(QStringLiteral("INSERT INTO kolvasterop (sysuser_id,llave,valor) VALUES "
                                 "(:uid,'NOUNIFORMICONSIZES','');"));
        q.bindValue(QStringLiteral(":uid"), uid);
        if (!q.exec()) {
            reportarError(q.lastError().text());
            return;
        }
        ui->lw_apps->setUniformItemSizes(false);
    } else {
        ui->lw_apps->setUniformItemSizes(true);
    }
    ui->lw_apps->sortItems(Qt::AscendingOrder);
}

void Kolvaster::on_actionAcerca_de_triggered()
{
    const QByteArray changelog = changelogKolvaster().toLatin1();
    KolvasterAcercaDe acercaDe(uid, KOLVASTER_PROGRAMA, KOLVASTER_VERSION, changelog.constData(),
                               this);
    acercaDe.exec();
}
