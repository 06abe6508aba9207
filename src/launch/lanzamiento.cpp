// Starting a program of the list, and its record in appuse.

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "catalogue/programas.h"
#include "launch/kolvasterprocess.h"
#include "ui_kolvaster.h"

#include <QApplication>
#include <QFile>
#include <QListWidgetItem>
#include <QSqlError>
#include <QSqlQuery>

void Kolvaster::on_lw_apps_activated(const QModelIndex &)
{
    const QListWidgetItem *item = ui->lw_apps->currentItem();
    if (!item)
        return;
    ejecutarPrograma(item->data(Qt::UserRole).toString()
                     + QLatin1String(Programas::sufijoPrograma));
}

void Kolvaster::ejecutarPrograma(const QString &archivo)
{
    const QString nombre = archivo.chopped(qstrlen(Programas::sufijoPrograma));
    // Only a file of the profile itself is ever started.
    if (!Programas::nombreSeguro(nombre)
        || !QFile::exists(dirProfile.path() + QLatin1Char('/') + archivo)) {
        Mensajes::advertencia(this, QStringLiteral("Atencion!"),
                              QStringLiteral("No se pudo iniciar aplicacion ! La misma no ha "
                                             "sido<br>correctamente descargada!<br><br>Comunique "
                                             "novedad al Administrador de Sistemas!"));
        return;
    }

    auto *runner = new KolvasterProcess(dirProfile.path(), archivo, this);
    connect(qApp, SIGNAL(lastWindowClosed()), runner, SLOT(terminarProceso()));
    connect(runner, &QThread::finished, this, &Kolvaster::terminoPrograma);
    runner->start(QThread::InheritPriority);
    ++programasAbiertos;

    QSqlQuery q;
    q.prepare(QStringLiteral("INSERT INTO appuse (sysuser_id,app_id,cuando) VALUES "
                             "(:uid,(SELECT app_id FROM app WHERE app.nombre=:nombreapp),NOW());"));
    q.bindValue(QStringLiteral(":uid"), uid);
    q.bindValue(QStringLiteral(":nombreapp"), nombre);
    // A failed record never undoes the start: the session reconnects instead.
    if (!q.exec())
        conectarBase();
}
