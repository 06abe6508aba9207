#include "kolvasternewver.h"

#include "base/constantes.h"
#include "ui_kolvasternewver.h"

#include <QDesktopServices>
#include <QUrl>

KolvasterNewVer::KolvasterNewVer(const QString &requerida, QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterNewVer), requerida(requerida)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());
    ui->pb_new->setText(QStringLiteral("http://") + QLatin1String(KOLVASTER_MAKER_HOST)
                        + QStringLiteral("/kolvaster/"));
    ui->lab_req->setText(requerida);
}

KolvasterNewVer::~KolvasterNewVer()
{
    delete ui;
}

QString KolvasterNewVer::direccionDescarga(const QString &version)
{
    return QStringLiteral("http://") + QLatin1String(KOLVASTER_MAKER_HOST)
           + QStringLiteral("/kolvaster/index.php?DV=") + version;
}

void KolvasterNewVer::on_pb_new_clicked()
{
    QDesktopServices::openUrl(QUrl(direccionDescarga(requerida)));
    accept();
}
