// The selected user's attributes: title, mail sender, picture and administrator mark, each
// written as soon as it changes.
#include "accounts/cuentas.h"
#include "accounts/kolvasteruser.h"
#include "base/mensajes.h"
#include "ui_kolvasteruser.h"

#include <QBuffer>
#include <QLabel>
#include <QPixmap>
#include <QSqlError>
#include <QSqlQuery>

void KolvasterUser::on_pb_tit_clicked()
{
    if (!exigirUsuario())
        return;
    const std::optional<QString> respuesta =
        Mensajes::pedirTexto(this, QStringLiteral("Editar Titulo"),
                             QStringLiteral("Nuevo titulo: "), QLineEdit::Normal,
                             ui->le_titulo->text());
    if (!respuesta)
        return;
    const QString titulo = respuesta->trimmed().left(25);
    if (titulo == ui->le_titulo->text())
        return;
    ui->le_titulo->setText(titulo.trimmed());
    QSqlQuery q;
    q.prepare(QStringLiteral("UPDATE sysuser SET titulo=:titulo WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":titulo"), ui->le_titulo->text());
    q.bindValue(QStringLiteral(":id"), idSeleccionado());
    ejecutar(q);
}

namespace {
bool direccionValida(const QString &direccion)
{
    static const QString permitidos =
        QStringLiteral("-_.0123456789abcdefghijklmnopqrstuvwxyz@");
    for (const QChar c : direccion) {
        if (!permitidos.contains(c, Qt::CaseSensitive))
            return false;
    }
    return direccion.count(QLatin1Char('@')) == 1 && !direccion.endsWith(QLatin1Char('.'));
}
} // namespace

void KolvasterUser::on_pb_email_clicked()
{
    if (!exigirUsuario())
        return;
    const std::optional<QString> nombre = Mensajes::pedirTexto(
        this, QStringLiteral("Direccion envio"),
        QStringLiteral("Ingrese nombre Remitente (Ventas Casa Central):"), QLineEdit::Normal);
    if (!nombre)
        return;
    const QString remitente = nombre->trimmed();
    if (!Cuentas::cumplePatron(remitente, QStringLiteral("[A-Za-z_0-9. ]*"))) {
        Mensajes::advertencia(
            this, QStringLiteral("Control de valores"),
            QStringLiteral("El valor ingresado contiene caracteres no valido!\n\nLo siento, es "
                           "importante mantener valores simples para asegurar compatibilidad "
                           "con todos los sistemas de envio de mensajes."));
        return;
    }
    const std::optional<QString> correo = Mensajes::pedirTexto(
        this, QStringLiteral("Direccion envio"),
        QStringLiteral("Ingrese direccion de correo (ventas@empresa.com):"), QLineEdit::Normal);
    if (!correo)
        return;
    const QString direccion = correo->trimmed();
    if (!direccion.isEmpty() && !direccionValida(direccion)) {
        Mensajes::advertencia(this, QStringLiteral("Atencion!"),
                              QStringLiteral("El valor ingresado para EMAIL no es valido "
                                             "!<br>Existen caracteres no validos !<br>Corrija su "
                                             "entrada !"));
        return;
    }
    const QString valor = remitente + QStringLiteral(" <") + direccion + QLatin1Char('>');
    QSqlQuery q;
    q.prepare(QStringLiteral("UPDATE sysuser SET enviamailas=:mailas WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":mailas"), valor);
    q.bindValue(QStringLiteral(":id"), idSeleccionado());
    if (!ejecutar(q))
        return;
    ui->le_mail->setText(valor);
}

void KolvasterUser::on_pb_selimg_clicked()
{
    if (!exigirUsuario())
        return;
    const QString archivo =
        Mensajes::archivoAbrir(this, QStringLiteral("Seleccione archivo de imagen"), QString(),
                               QStringLiteral("Imagenes (*.png *.jpg)"));
    if (archivo.isEmpty())
        return;
    const QPixmap original(archivo);
    if (original.width() == 0 || original.height() == 0
        || double(original.height()) / double(original.width()) != 1.0) {
        Mensajes::advertencia(this, QStringLiteral("Dimensiones no validas"),
                              QStringLiteral("Lo siento, las dimensiones de la imagen no son "
                                             "validas.\nDebe ingresar una imagen cuadrada (mismo "
                                             "alto que ancho)."));
        return;
    }
    const QPixmap imagen = original.scaled(90, 90, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        imagen.save(&buffer, "PNG");
    }
    // Without bytes to store, the old picture stays: removing it first would lose it.
    if (png.isEmpty())
        return;

    ui->lab_imagen->setPixmap(imagen);
    const int fila = ui->tw_user->currentRow();
    delete ui->tw_user->takeItem(fila, 1);
    ponerImagenEnLista(fila, imagen);

    // The old picture's delete and the new one's insert are one transaction: a failed insert
    // leaves the old picture, and two administrators replacing it at the same moment (on two
    // nodes of a cluster) leave one row, the loser getting the error dialog (the picture is
    // unique per user).
    QSqlDatabase db = QSqlDatabase::database();
    if (!db.transaction()) {
        reportarError(db.lastError().text());
        return;
    }
    QSqlQuery q;
    q.prepare(QStringLiteral("DELETE FROM sysuserimg WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), idSeleccionado());
    bool bien = q.exec();
    if (bien) {
        q.prepare(QStringLiteral("INSERT INTO sysuserimg (sysuser_id,imagen) VALUES (:id,:imagen);"));
        q.bindValue(QStringLiteral(":id"), idSeleccionado());
        q.bindValue(QStringLiteral(":imagen"), png, QSql::In | QSql::Binary);
        bien = q.exec();
    }
    QString error = q.lastError().text();
    if (bien && !db.commit()) {
        bien = false;
        error = db.lastError().text();
    }
    if (!bien) {
        db.rollback();
        reportarError(error);
    }
}

void KolvasterUser::on_pb_delimg_clicked()
{
    if (!exigirUsuario())
        return;
    QSqlQuery q;
    q.prepare(QStringLiteral("DELETE FROM sysuserimg WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), idSeleccionado());
    if (!ejecutar(q))
        return;
    ui->lab_imagen->clear();
    const int fila = ui->tw_user->currentRow();
    delete ui->tw_user->takeItem(fila, 1);
    ui->tw_user->setCellWidget(fila, 1, new QLabel(QStringLiteral("ND")));
}

void KolvasterUser::on_check_admin_clicked(bool checked)
{
    if (!exigirUsuario())
        return;
    if (checked && !ui->check_sistema->isChecked()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("El usuario NO TIENE ACCESO al Sistema"));
        ui->check_admin->setChecked(false);
        return;
    }
    const qint64 id = idSeleccionado();
    QSqlQuery q;
    if (!checked) {
        // "dbadmin" does not count: the application needs an administrator of its own.
        q.prepare(QStringLiteral("SELECT 1 FROM sysuser WHERE useradmin=TRUE AND "
                                 "sysuser!='dbadmin' AND sysuser_id!=:id;"));
        q.bindValue(QStringLiteral(":id"), id);
        if (!ejecutar(q))
            return;
        if (!q.next()) {
            Mensajes::advertencia(this, QStringLiteral("Atencion"),
                                  QStringLiteral("Lo siento, no puede cambiar este valor ya\nque "
                                                 "este usuario es el UNICO\ncon con esta funcion "
                                                 "habilitada."));
            ui->check_admin->setChecked(true);
        }
    }
    q.prepare(QStringLiteral("UPDATE sysuser SET useradmin=:admin WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":admin"), ui->check_admin->isChecked());
    q.bindValue(QStringLiteral(":id"), id);
    // A refused unticking writes the mark as it was: no change, nothing on record.
    if (ui->check_admin->isChecked() != checked) {
        ejecutar(q);
        return;
    }
    registrarCambio(QStringLiteral("administrador"), checked ? QStringLiteral("si") : QStringLiteral("no"),
                    [&](QSqlError *error) {
                        if (q.exec())
                            return true;
                        *error = q.lastError();
                        return false;
                    });
}

void KolvasterUser::on_check_piloto_clicked(bool checked)
{
    if (!exigirUsuario())
        return;
    QSqlQuery q;
    q.prepare(QStringLiteral("UPDATE sysuser SET piloto=:piloto WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":piloto"), checked);
    q.bindValue(QStringLiteral(":id"), idSeleccionado());
    registrarCambio(QStringLiteral("usuario piloto"), checked ? QStringLiteral("si") : QStringLiteral("no"),
                    [&](QSqlError *error) {
                        if (q.exec())
                            return true;
                        *error = q.lastError();
                        return false;
                    });
}
