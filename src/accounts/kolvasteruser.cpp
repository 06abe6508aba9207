// The administration dialog's frame (user list, the selected user's panel) and the MySQL
// accounts behind the users.
#include "kolvasteruser.h"

#include "accounts/cuentas.h"
#include "base/mensajes.h"
#include "errors/kolvastererrorhandler.h"
#include "ui_kolvasteruser.h"

#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QSignalBlocker>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <optional>

KolvasterUser::KolvasterUser(bool *claveModificada, qint64 uid, QSqlDatabase *database,
                             const QString &programa, QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterUser), database(database), uid(uid),
      claveModificada(claveModificada), programa(programa)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());

    ui->tw_user->setColumnHidden(0, true);
    ui->tw_user->setColumnWidth(1, 60);
    ui->tw_user->setColumnWidth(2, 100);
    for (QTableWidget *t : {ui->tw_appsin, ui->tw_appcon, ui->tw_repsin, ui->tw_repcon}) {
        t->setColumnHidden(0, true);
        t->setColumnWidth(1, 220);
    }
    for (QTableWidget *t :
         {ui->tw_user, ui->tw_appsin, ui->tw_appcon, ui->tw_repsin, ui->tw_repcon}) {
        t->verticalHeader()->hide();
        t->horizontalHeader()->hide();
    }
    actUserList();
}

KolvasterUser::~KolvasterUser()
{
    delete ui;
}

void KolvasterUser::reportarError(const QString &texto)
{
    KolvasterErrorHandler::mostrar(database, uid, programa, texto, this);
}

bool KolvasterUser::ejecutar(QSqlQuery &q)
{
    if (q.exec())
        return true;
    reportarError(q.lastError().text());
    return false;
}

bool KolvasterUser::usuarioSeleccionado() const
{
    return !ui->tw_user->selectedItems().isEmpty();
}

qint64 KolvasterUser::idSeleccionado() const
{
    const QTableWidgetItem *item = ui->tw_user->item(ui->tw_user->currentRow(), 0);
    return item ? item->text().toLongLong(nullptr, 10) : 0;
}

QString KolvasterUser::cortoSeleccionado() const
{
    const QTableWidgetItem *item = ui->tw_user->item(ui->tw_user->currentRow(), 2);
    return item ? item->text() : QString();
}

bool KolvasterUser::exigirUsuario()
{
    if (usuarioSeleccionado())
        return true;
    Mensajes::advertencia(this, QStringLiteral("Atencion"),
                          QStringLiteral("No se encuentra en usuario valido!"));
    return false;
}

void KolvasterUser::ponerImagenEnLista(int fila, const QPixmap &imagen)
{
    auto *celda = new QLabel;
    celda->setAlignment(Qt::AlignCenter);
    celda->setPixmap(imagen.scaledToHeight(60, Qt::FastTransformation));
    ui->tw_user->setCellWidget(fila, 1, celda);
    ui->tw_user->setRowHeight(fila, 60);
}

void KolvasterUser::actUserList()
{
    ui->tw_user->setRowCount(0);
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "SELECT sysuser_id, sysuser FROM sysuser WHERE sysuser!='dbadmin' ORDER BY sysuser;"));
    if (!ejecutar(q))
        return;
    ui->tw_user->setRowCount(q.size());
    QSqlQuery img;
    img.prepare(QStringLiteral("SELECT imagen FROM sysuserimg WHERE sysuser_id=:id;"));
    for (int fila = 0; q.next(); ++fila) {
        const qint64 id = q.value(0).toLongLong();
        ui->tw_user->setItem(fila, 0, new QTableWidgetItem(QString::number(id)));
        const QString corto = Cuentas::nombreCorto(*database, q.value(1).toString());
        ui->tw_user->setItem(fila, 2, new QTableWidgetItem(corto));
        img.bindValue(QStringLiteral(":id"), id);
        if (img.exec() && img.next()) {
            QPixmap foto;
            foto.loadFromData(img.value(0).toByteArray());
            ponerImagenEnLista(fila, foto);
        } else {
            ui->tw_user->setItem(fila, 1, new QTableWidgetItem(QStringLiteral("ND")));
        }
    }
    if (ui->tw_user->rowCount() > 0) {
        // Selecting would show the user once through the selection signal; show them once.
        {
            const QSignalBlocker bloqueo(ui->tw_user);
            ui->tw_user->selectRow(0);
        }
        actUserData();
    }
}

void KolvasterUser::clearUserData()
{
    ui->check_accesoremoto->setChecked(false);
    ui->check_sistema->setChecked(false);
    ui->check_admin->setChecked(false);
    ui->check_piloto->setChecked(false);
    ui->le_mail->clear();
    ui->le_titulo->clear();
    ui->le_pass->clear();
    ui->lab_imagen->clear();
    for (QTableWidget *t : {ui->tw_appcon, ui->tw_appsin, ui->tw_repcon, ui->tw_repsin})
        t->setRowCount(0);
}

void KolvasterUser::on_tw_user_itemSelectionChanged()
{
    if (usuarioSeleccionado())
        actUserData();
}

void KolvasterUser::actUserData()
{
    clearUserData();
    if (!usuarioSeleccionado())
        return;
    const qint64 id = idSeleccionado();
    QSqlQuery q;
    q.prepare(QStringLiteral(
        "SELECT titulo, pass, enviamailas, useradmin FROM sysuser WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), id);
    if (!q.exec() || !q.next()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion !"),
                              QStringLiteral("No se pudo obtener informacion de usuario ! "
                                             "Verifique el mismo no haya sido eliminado !"));
        clearUserData();
        actUserList();
        return;
    }
    ui->le_titulo->setText(q.value(0).toString());
    ui->le_pass->setText(q.value(1).toString());
    if (!q.value(2).isNull())
        ui->le_mail->setText(q.value(2).toString());
    ui->check_admin->setChecked(q.value(3).toBool());
    // Apart, so that a database without the pilot group (error 1054) shows the rest as before,
    // without the check box.
    q.prepare(QStringLiteral("SELECT piloto FROM sysuser WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), id);
    const bool conPiloto = q.exec();
    ui->check_piloto->setVisible(conPiloto);
    ui->check_piloto->setChecked(conPiloto && q.next() && q.value(0).toBool());

    q.prepare(QStringLiteral("SELECT imagen FROM sysuserimg WHERE sysuser_id=:id;"));
    q.bindValue(QStringLiteral(":id"), id);
    if (q.exec() && q.next()) {
        QPixmap foto;
        foto.loadFromData(q.value(0).toByteArray());
        ui->lab_imagen->setPixmap(foto.scaledToHeight(90, Qt::SmoothTransformation));
    } else {
        ui->lab_imagen->setText(QStringLiteral("ND"));
    }

    q.prepare(QStringLiteral("SELECT host FROM mysql.user WHERE user=:usuario;"));
    q.bindValue(QStringLiteral(":usuario"), Cuentas::nombreCuenta(*database, cortoSeleccionado()));
    if (!ejecutar(q))
        return;
    if (q.next()) {
        ui->check_sistema->setChecked(true);
        ui->check_accesoremoto->setChecked(q.value(0).toString() == QLatin1String("%"));
    } else {
        ui->check_sistema->setChecked(false);
    }

    actAppAccess();
    actRepAccess();
}

void KolvasterUser::on_pb_deluser_clicked()
{
    // Users stay: the session log and the program starts refer to them.
    Mensajes::advertencia(
        this, QStringLiteral("Atencion"),
        QStringLiteral("Lo siento, no se puede eliminar usuarios de sistema.\n\nLa eliminacion "
                       "generaria inconsistencias en\nlos registros guardados.\n\nSi un usuario "
                       "deja de ser valido elimine\nlos permisos de acceso."));
}

bool KolvasterUser::actUserAccount(const QString &password)
{
    const QString cuenta = Cuentas::nombreCuenta(*database, cortoSeleccionado());
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT host FROM mysql.user WHERE user=:usuario;"));
    q.bindValue(QStringLiteral(":usuario"), cuenta);
    if (!ejecutar(q))
        return false;
    // Every host entry goes: one left behind (made by hand, say) would keep logging in with the
    // old password after the access was withdrawn or the password changed.
    QStringList anteriores;
    while (q.next())
        anteriores << q.value(0).toString();
    const bool sistema = ui->check_sistema->isChecked();
    const QString host = Cuentas::hostDe(ui->check_accesoremoto->isChecked());
    QList<Cuentas::Sentencia> alta;
    if (sistema)
        alta = Cuentas::sentenciasAlta(*database, cuenta, host, password);

    // The administrator's own account is never dropped before its successor holds the
    // privileges: the session would lose the very rights it needs to grant them, and the
    // account would be left without access. The same host gets its password changed in place.
    const bool propia = cuenta == database->userName() && sistema && !anteriores.isEmpty();
    if (propia && anteriores.contains(host))
        alta.first() = {Cuentas::sentenciaClave(*database, cuenta, host, password),
                        alta.first().etiqueta};

    QSqlQuery directa(*database);
    if (!propia) {
        for (const QString &anterior : std::as_const(anteriores))
            directa.exec(Cuentas::sentenciaBaja(*database, cuenta, anterior));
    }
    for (const Cuentas::Sentencia &s : alta) {
        if (!directa.exec(s.sql)) {
            reportarError(directa.lastError().text() + s.etiqueta);
            return false;
        }
    }
    if (propia) {
        for (const QString &anterior : std::as_const(anteriores))
            if (anterior != host)
                directa.exec(Cuentas::sentenciaBaja(*database, cuenta, anterior));
    }
    directa.exec(QStringLiteral("FLUSH PRIVILEGES;"));
    return true;
}

void KolvasterUser::on_pb_newuser_clicked()
{
    const std::optional<QString> respuesta =
        Mensajes::pedirTexto(this, QStringLiteral("Nuevo usuario"),
                             QStringLiteral("Nombre usuario de acceso: "), QLineEdit::Normal);
    if (!respuesta) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("Operacion cancelada!"));
        return;
    }
    const QString nombre = respuesta->trimmed().toLower();
    switch (Cuentas::validarNombre(nombre)) {
    case Cuentas::FalloNombre::Corto:
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("Lo siento, el nombre de usuario es demasiado corto"));
        return;
    case Cuentas::FalloNombre::Largo:
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("Lo siento, el nombre de usuario es demasiado largo"));
        return;
    case Cuentas::FalloNombre::NoSoloLetras:
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("El nombre no es valido. Solo puede ingresar letras!"));
        return;
    case Cuentas::FalloNombre::Ninguno:
        break;
    }

    const QString cuenta = Cuentas::nombreCuenta(*database, nombre);
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT 1 FROM sysuser WHERE sysuser=:sysuser;"));
    q.bindValue(QStringLiteral(":sysuser"), cuenta);
    if (!ejecutar(q))
        return;
    if (q.next()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion !"),
                              QStringLiteral("El NOMBRE DE USUARIO ingresado ya existe en sistema "
                                             "!<br>Los nombre de usuario deben ser unicos "
                                             "!<br>Reintente alta!"));
        return;
    }
    q.prepare(QStringLiteral("INSERT INTO sysuser (sysuser,titulo,pass,enviamailas,useradmin) "
                             "VALUES (:sysuser,:titulo,:pass,NULL,FALSE);"));
    q.bindValue(QStringLiteral(":sysuser"), cuenta);
    const QString inicial = Cuentas::claveInicial();
    q.bindValue(QStringLiteral(":titulo"), nombre);
    q.bindValue(QStringLiteral(":pass"), inicial);
    if (!ejecutar(q))
        return;
    const QString nuevoId = QString::number(q.lastInsertId().toLongLong());

    actUserList();
    for (int fila = 0; fila < ui->tw_user->rowCount(); ++fila) {
        if (ui->tw_user->item(fila, 0)->text() == nuevoId) {
            {
                const QSignalBlocker bloqueo(ui->tw_user);
                ui->tw_user->selectRow(fila);
            }
            actUserData();
            break;
        }
    }
    if (!actUserAccount(inicial)
        || !registrarCambio(QStringLiteral("usuario nuevo"), QStringLiteral("creado")))
        return;
    Mensajes::informacion(this, QStringLiteral("Atencion"),
                          QStringLiteral("Usuario creado y seleccionado!"));
}

void KolvasterUser::on_check_sistema_clicked(bool checked)
{
    if (!exigirUsuario())
        return;
    if (!checked && ui->check_admin->isChecked()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("Debe primero eliminar marca de administracion de "
                                             "usuarios y accesos"));
        ui->check_sistema->setChecked(true);
        return;
    }
    if (!actUserAccount(ui->le_pass->text()))
        return;
    if (!checked)
        ui->check_accesoremoto->setChecked(false);
    registrarCambio(QStringLiteral("acceso sistema"),
                    checked ? QStringLiteral("habilitado") : QStringLiteral("deshabilitado"));
}

void KolvasterUser::on_check_accesoremoto_clicked()
{
    if (!exigirUsuario())
        return;
    if (!ui->check_sistema->isChecked() && ui->check_accesoremoto->isChecked()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("El usuario NO TIENE ACCESO al Sistema!"));
        ui->check_accesoremoto->setChecked(false);
        return;
    }
    if (actUserAccount(ui->le_pass->text()))
        registrarCambio(QStringLiteral("acceso remoto"), ui->check_accesoremoto->isChecked()
                                                             ? QStringLiteral("habilitado")
                                                             : QStringLiteral("deshabilitado"));
}

void KolvasterUser::on_pb_pass_clicked()
{
    if (!exigirUsuario())
        return;
    const qint64 id = idSeleccionado();
    if (!ui->check_sistema->isChecked()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("El usuario NO TIENE ACCESO al Sistema!"));
        return;
    }
    QString claves[2];
    for (QString &clave : claves) {
        const std::optional<QString> r =
            Mensajes::pedirTexto(this, QStringLiteral("Editar Contraseña"),
                                 QStringLiteral("Nueva clave: "), QLineEdit::Password);
        if (!r) {
            Mensajes::advertencia(this, QStringLiteral("Atencion"),
                                  QStringLiteral("Fallo ingreso!"));
            return;
        }
        clave = r->trimmed();
    }
    const QString &clave = claves[0];
    if (claves[1] != clave) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("Fallo confirmacion!"));
        return;
    }
    if (clave.length() < 6 || clave.length() > 8) {
        Mensajes::advertencia(this, QStringLiteral("Atencion!"),
                              QStringLiteral("Debe ingresar contraseña de SEIS a OCHO caracteres!"));
        return;
    }
    if (!Cuentas::cumplePatron(clave, QStringLiteral("[A-Za-z_0-9]*"))) {
        Mensajes::advertencia(this, QStringLiteral("Control de valores"),
                              QStringLiteral("La CONTRASEÑA ingresada no es valida !<br>La misma "
                                             "solo puede contener letras y/o numeros !"));
        return;
    }
    if (!actUserAccount(clave))
        return;
    // On record without the password itself.
    if (!registrarCambio(QStringLiteral("contrasena"), QStringLiteral("cambiada"),
                         [&](QSqlError *error) {
                             QSqlQuery q;
                             q.prepare(QStringLiteral("UPDATE sysuser SET pass=:pass WHERE "
                                                      "sysuser_id=:id;"));
                             q.bindValue(QStringLiteral(":pass"), clave);
                             q.bindValue(QStringLiteral(":id"), id);
                             if (q.exec())
                                 return true;
                             *error = q.lastError();
                             return false;
                         }))
        return;
    ui->le_pass->setText(clave);
    if (id == uid)
        *claveModificada = true;
    Mensajes::informacion(this, QStringLiteral("Cambio Clave"),
                          QStringLiteral("Contraseña modificada con exito!"));
}
