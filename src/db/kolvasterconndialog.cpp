#include "kolvasterconndialog.h"

#include "base/constantes.h"
#include "base/salida.h"
#include "db/autoridad.h"
#include "db/frases.h"
#include "ui_kolvasterconndialog.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTime>

#include <cstdlib>

KolvasterConnDialog::KolvasterConnDialog(QString *host, QString *sistema, QString *usuario,
                                         QString *password, QString *opciones, bool *recordar,
                                         QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterConnDialog), sistema(sistema), host(host),
      usuario(usuario), password(password), opciones(opciones), recordar(recordar)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());

    frasesMostradas = 0;
    frases = frasesDelDia();

    if (const QScreen *pantalla = QGuiApplication::primaryScreen()) {
        const QRect r = pantalla->geometry();
        move(r.width() / 2 - width() / 2, r.height() / 2 - height() / 2 - 50);
    }

    ui->le_server->setText(*host);
    ui->le_sistema->setText(*sistema);
    ui->le_usuario->setText(*usuario);

    ui->lab_version->setText(QString::fromLatin1(KOLVASTER_VERSION));

    for (QLineEdit *campo : {ui->le_server, ui->le_sistema, ui->le_usuario, ui->le_pass}) {
        if (campo->text().isEmpty()) {
            campo->setFocus(Qt::OtherFocusReason);
            break;
        }
    }

    mostrarFrase();
    connect(this, &QDialog::rejected, this, &KolvasterConnDialog::cerrarPrograma);

    // Every connection of the system asks for compressed traffic, and over TLS when the
    // launcher was built with the organisation's authority.
    *opciones = Autoridad::opcionesConexion();
}

KolvasterConnDialog::~KolvasterConnDialog()
{
    delete ui;
}

void KolvasterConnDialog::mostrarFrase()
{
    ui->pte_frase->clear();
    std::srand(static_cast<unsigned>(QTime::currentTime().msec()));
    ui->pte_frase->setPlainText(frases.at(std::rand() % frases.size()));
    ++frasesMostradas;
}

void KolvasterConnDialog::on_pb_fortuneme_clicked()
{
    if (frasesMostradas <= maxFrasesExtra) {
        mostrarFrase();
    } else {
        ui->pte_frase->setPlainText(QStringLiteral("A trabajar !"));
        ui->pb_fortuneme->setEnabled(false);
    }
}

void KolvasterConnDialog::on_pb_conn_clicked()
{
    *host = ui->le_server->text().trimmed();
    *sistema = ui->le_sistema->text().trimmed();
    *usuario = ui->le_usuario->text().trimmed();
    *password = ui->le_pass->text().trimmed();
    *recordar = ui->check_recordarme->isChecked();
    accept();
}

void KolvasterConnDialog::cerrarPrograma()
{
    finalizarProceso(0);
}

void KolvasterConnDialog::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        ui->lab_version->setText(QString::fromLatin1(KOLVASTER_VERSION));
    }
}
