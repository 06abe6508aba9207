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

    // The record names the publication started, when the copy is known to be one; a database
    // without the column (error 1054) is recorded as before, and then for the whole session.
    QSqlQuery q;
    auto registrar = [&](bool conVersion) {
        q.prepare(conVersion ? QStringLiteral("INSERT INTO appuse (sysuser_id,app_id,cuando,"
                                              "version) VALUES (:uid,(SELECT app_id FROM app "
                                              "WHERE app.nombre=:nombreapp),NOW(),:version);")
                             : QStringLiteral("INSERT INTO appuse (sysuser_id,app_id,cuando) "
                                              "VALUES (:uid,(SELECT app_id FROM app WHERE "
                                              "app.nombre=:nombreapp),NOW());"));
        q.bindValue(QStringLiteral(":uid"), uid);
        q.bindValue(QStringLiteral(":nombreapp"), nombre);
        if (conVersion) {
            const auto v = versionesInstaladas.constFind(nombre);
            q.bindValue(QStringLiteral(":version"), v == versionesInstaladas.cend()
                                                        ? QVariant(QMetaType::fromType<qlonglong>())
                                                        : QVariant(qlonglong(*v)));
        }
        return q.exec();
    };
    bool registrado = registrar(usoConVersion);
    if (!registrado && usoConVersion
        && q.lastError().nativeErrorCode() == QLatin1String("1054")) {
        usoConVersion = false;
        registrado = registrar(false);
    }
    // A failed record never undoes the start: the session reconnects instead.
    if (!registrado)
        conectarBase();
}
