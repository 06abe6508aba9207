#include "kolvastercclave.h"

#include "accounts/cuentas.h"
#include "base/mensajes.h"
#include "errors/kolvastererrorhandler.h"
#include "ui_kolvastercclave.h"

#include <QEvent>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

KolvasterCClave::KolvasterCClave(QSqlDatabase *database, qint64 uid, const QString &programa,
                                 QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterCClave), database(database), uid(uid),
      programa(programa)
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());
}

KolvasterCClave::~KolvasterCClave()
{
    delete ui;
}

void KolvasterCClave::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}

void KolvasterCClave::reportarError(const QString &texto)
{
    KolvasterErrorHandler::mostrar(database, uid, programa, texto, this);
}

void KolvasterCClave::on_pb_clicked()
{
    const QString nueva = ui->le_nueva->text();
    if (nueva != ui->le_conf->text()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion !"),
                              QStringLiteral("La confirmacion de contraseña no coincide con la "
                                             "nueva clave ingresada !<br>No se puede procesar "
                                             "cambio !"));
        return;
    }
    const int largo = nueva.trimmed().length();
    if (largo < 6 || largo > 10) {
        Mensajes::advertencia(this, QStringLiteral("Control de valores"),
                              QStringLiteral("Atencion ! Debe ingresar CLAVE de 6 a 10 caracteres !"));
        return;
    }
    if (!Cuentas::cumplePatron(nueva, QStringLiteral("[A-Za-z_0-9]*"))) {
        Mensajes::advertencia(this, QStringLiteral("Atencion !"),
                              QStringLiteral("La CONTRASEÑA ingresada no es valida !<br>La misma "
                                             "solo puede contener letras y/o numeros !"));
        return;
    }

    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT pass FROM sysuser WHERE sysuser=:sysuser"));
    q.bindValue(QStringLiteral(":sysuser"), database->userName());
    if (!q.exec()) {
        reportarError(q.lastError().text());
        return;
    }
    if (!q.next()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion !"),
                              QStringLiteral("No se puede procesar, el usuario actual ya no es "
                                             "valido en sistema !"));
        return;
    }
    if (q.value(0).toString() != ui->le_actual->text()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion !"),
                              QStringLiteral("No se puede procesar, la contraseña actual "
                                             "ingresada no es valida !"));
        return;
    }

    // The account first: if the server refuses, nothing else may take the new password, or
    // the user would be told of a change they cannot log in with.
    if (!cambiarClaveCuenta(nueva))
        return;
    QSqlQuery(*database).exec(QStringLiteral("FLUSH PRIVILEGES;"));

    q.prepare(QStringLiteral("UPDATE sysuser SET pass=:pass WHERE sysuser=:sysuser;"));
    q.bindValue(QStringLiteral(":sysuser"), database->userName());
    q.bindValue(QStringLiteral(":pass"), nueva);
    if (!q.exec()) {
        reportarError(q.lastError().text());
        return;
    }
    database->setPassword(nueva);
    Mensajes::informacion(this, QStringLiteral("Cambio de Contraseña"),
                          QStringLiteral("Contraseña actualizada !"));
    accept();
}

// Sets the password of every host entry of the session's account, each statement checked.
// False once the error dialog has been shown.
bool KolvasterCClave::cambiarClaveCuenta(const QString &nueva)
{
    const QString cuenta = database->userName();
    QSqlQuery q(*database);
    q.prepare(QStringLiteral("SELECT host FROM mysql.user WHERE user=:usuario;"));
    q.bindValue(QStringLiteral(":usuario"), cuenta);
    if (!q.exec()) {
        reportarError(q.lastError().text());
        return false;
    }
    QStringList hosts;
    while (q.next())
        hosts.append(q.value(0).toString());
    if (hosts.isEmpty()) {
        // Logged in, yet no entry of that name: the session matched some other account.
        reportarError(QStringLiteral("No existe cuenta de acceso ") + cuenta);
        return false;
    }
    for (const QString &host : hosts) {
        QSqlQuery alter(*database);
        if (!alter.exec(Cuentas::sentenciaClave(*database, cuenta, host, nueva))) {
            reportarError(alter.lastError().text());
            return false;
        }
    }
    return true;
}
