#include "kolvastererrorhandler.h"

#include "base/mensajes.h"
#include "base/salida.h"
#include "errors/reporteerror.h"
#include "ui_kolvastererrorhandler.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QScreen>
#include <QSqlQuery>
#include <QTimer>

namespace {
// How long a dialog closed by Escape waits for its report to leave before the process ends.
constexpr int esperaDelReporteMs = 5000;
} // namespace

KolvasterErrorHandler::KolvasterErrorHandler(QSqlDatabase *conexion, qint64 uid,
                                             const QString &programa, const QString &error,
                                             QWidget *parent)
    : QDialog(parent, Qt::CustomizeWindowHint), ui(new Ui::KolvasterErrorHandler)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());
    if (const QScreen *pantalla = QGuiApplication::primaryScreen()) {
        const QRect r = pantalla->geometry();
        move(r.width() / 2 - width() / 2, r.height() / 2 - height() / 2);
    }
    ui->pb_ok->setEnabled(false);

    const bool esAdmin = conexion->userName() == QLatin1String("dbadmin");
    if (esAdmin)
        Mensajes::critico(this, QStringLiteral("Detalle de Error para DBADMIN"), error);

    QSqlQuery sonda;
    if (!sonda.exec(QStringLiteral("SELECT 1;"))) {
        ui->pte_dete->appendPlainText(QStringLiteral(
            "Se perdio conexion con el servidor de base de datos.\n\nVerifique el servidor este "
            "online y\ntenga desde su estacion de trabajo buena\nconectividad.\n\nEste error NO "
            "sera reportado."));
        ui->pb_ok->setEnabled(true);
        return;
    }
    if (esAdmin) {
        ui->pte_dete->appendPlainText(QStringLiteral("Sos DBADMIN. Nada de reporte de error."));
        ui->pb_ok->setEnabled(true);
        return;
    }

    ui->pte_dete->appendPlainText(
        QStringLiteral("Preparando reporte de error...\nEnviando reporte..."));
    QCoreApplication::processEvents();
    conexion->rollback();

    const QString reporte = ReporteError::componer(*conexion, uid, programa, error);
    red = new QNetworkAccessManager(this);
    connect(red, &QNetworkAccessManager::finished, this,
            &KolvasterErrorHandler::respuestaNotifier);
    envio = red->get(QNetworkRequest(ReporteError::url(reporte)));
}

KolvasterErrorHandler::~KolvasterErrorHandler()
{
    // Escape closes the dialog while the report may still be on its way, and the process ends
    // right after: give the report a few seconds to reach the notifier, or it is lost.
    if (envio && !envio->isFinished()) {
        disconnect(red, nullptr, this, nullptr);
        QEventLoop espera;
        QTimer::singleShot(esperaDelReporteMs, &espera, &QEventLoop::quit);
        connect(envio, &QNetworkReply::finished, &espera, &QEventLoop::quit);
        espera.exec(QEventLoop::ExcludeUserInputEvents);
    }
    delete ui;
    finalizarProceso(0);
}

void KolvasterErrorHandler::mostrar(QSqlDatabase *conexion, qint64 uid, const QString &programa,
                                    const QString &error, QWidget *parent)
{
    KolvasterErrorHandler dialogo(conexion, uid, programa, error, parent);
    dialogo.exec();
}

void KolvasterErrorHandler::on_pb_ok_clicked()
{
    finalizarProceso(0);
    // Only reached when a test intercepts the exit.
    accept();
}

void KolvasterErrorHandler::respuestaNotifier(QNetworkReply *reply)
{
    if (reply == envio)
        envio = nullptr;
    ui->pb_ok->setEnabled(true);
    if (reply->error() != QNetworkReply::NoError)
        ui->pte_dete->appendPlainText(QStringLiteral(
            "** FALLO ENVIO REPORTE DE ERROR **\nPor favor, notifique novedad al Administrador "
            "de Sistemas."));
    else
        ui->pte_dete->appendPlainText(QStringLiteral("Reporte de error enviado con exito"));
    reply->deleteLater();
}

void KolvasterErrorHandler::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        setWindowTitle(tr("Error!"));
        ui->lab_bug->setText(QString());
        ui->lab_titerror->setText(
            tr("Lo siento, ocurrio un error y el programa no puede continuar..."));
        ui->pb_ok->setText(tr("OK"));
    }
}
