#include "kolvasterprocessdialog.h"

#include "ui_kolvasterprocessdialog.h"

#include <QLocale>
#include <QProgressBar>

#include <algorithm>

KolvasterProcessDialog::KolvasterProcessDialog(const QString &detalleUno,
                                               const QString &detalleDos, QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterProcessDialog)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());
    progreso = ui->pb;
    progreso->hide();
    setDetalle(detalleUno, detalleDos);
    setModal(true);
}

KolvasterProcessDialog::~KolvasterProcessDialog()
{
    delete ui;
}

void KolvasterProcessDialog::setDetalle(const QString &detalleUno, const QString &detalleDos)
{
    ui->lab_detuno->setText(detalleUno);
    ui->lab_detdos->setText(detalleDos);
}

void KolvasterProcessDialog::mostrarProgreso()
{
    ui->lab_aguarde->hide();
    progreso->show();
}

void KolvasterProcessDialog::setProgreso(qint64 hecho, qint64 total)
{
    if (total <= 0) {
        progreso->hide();
        ui->lab_aguarde->show();
        return;
    }
    mostrarProgreso();
    progreso->setRange(0, 1000);
    progreso->setValue(int(std::clamp<qint64>(hecho * 1000 / total, 0, 1000)));
    progreso->setFormat(textoProgreso(hecho, total));
    progreso->setTextVisible(true);
}

QString KolvasterProcessDialog::textoProgreso(qint64 hecho, qint64 total)
{
    const QLocale espanol(QLocale::Spanish);
    auto mb = [&](qint64 bytes) {
        return espanol.toString(double(bytes) / (1024.0 * 1024.0), 'f', 1);
    };
    return QStringLiteral("%1 de %2 MB").arg(mb(std::clamp<qint64>(hecho, 0, total)), mb(total));
}

void KolvasterProcessDialog::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        setWindowTitle(tr("Procesando..."));
        ui->lab_detuno->setText(tr("-"));
        ui->lab_detdos->setText(tr("-"));
        ui->lab_aguarde->setText(tr("Por favor aguarde..."));
        ui->lab_reloj->setText(QString());
    }
}
