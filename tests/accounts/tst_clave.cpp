// Changing one's own password, and the main window's doors to the accounts: the
// administration gate and the restart that follows a change of the session's own password.
#include "accounts/kolvastercclave.h"
#include "accounts/kolvasteruser.h"
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "guion.h"
#include "notificador.h"
#include "sesion.h"
#include "testdb.h"
#include "ui_kolvaster.h"
#include "ui_kolvastercclave.h"
#include "ui_kolvasteruser.h"

#include <QJsonObject>
#include <QPushButton>
#include <QTest>

namespace {
const QString importante = "** IMPORTANTE **";

QStringList titulos()
{
    QStringList t;
    for (const Mensajes::Mostrado &m : Mensajes::mostrados())
        t << m.titulo;
    return t;
}

void escribir(KolvasterCClave *d, const QString &actual, const QString &nueva,
              const QString &confirmacion)
{
    d->findChild<QLineEdit *>("le_actual")->setText(actual);
    d->findChild<QLineEdit *>("le_nueva")->setText(nueva);
    d->findChild<QLineEdit *>("le_conf")->setText(confirmacion);
}

// Answers the own-password dialog with the given texts and presses its button; a dialog left
// open after that is closed, as the user would.
DriverModal::Respuesta cambiarClave(const QString &actual, const QString &nueva)
{
    return [=](QWidget *w) {
        auto *d = qobject_cast<KolvasterCClave *>(w);
        if (!d)
            return false;
        escribir(d, actual, nueva, nueva);
        d->findChild<QPushButton *>("pb")->click();
        if (d->isVisible())
            d->reject();
        return true;
    };
}
} // namespace

class TstClave : public QObject
{
    Q_OBJECT

    Guion guion;
    qint64 ana = 0;
    const QString cuentaAna = TestDb::cuenta("ana");
    const QString cuentaBeto = TestDb::cuenta("beto");

    QString pass(const QString &cuenta)
    {
        return TestDb::valor("SELECT pass FROM sysuser WHERE sysuser=?", {cuenta}).toString();
    }

private slots:
    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(cuentaAna, "Ana Gomez", true);
        TestDb::crearUsuario(cuentaBeto, "Beto Ruiz");
        TestDb::crearUsuario("dbadmin", "Administrador", true);
        TestDb::ejecutar("UPDATE sysuser SET pass=CONCAT(SUBSTRING(sysuser,LOCATE('_',sysuser)+1),"
                         "'_pw')");
        // Ana's account as the administration provisions it, on two host entries.
        TestDb::quitarCuenta(cuentaAna);
        TestDb::proveer(cuentaAna, "%", "ana_pw");
        TestDb::proveer(cuentaAna, "localhost", "ana_pw");
        guion.olvidar();
    }

    void cleanup()
    {
        TestDb::cerrarSesion();
        TestDb::restaurarCuenta(cuentaAna);
        TestDb::restaurarCuenta(cuentaBeto);
    }

    void rechazos_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("nueva");
        QTest::addColumn<QString>("confirmacion");
        QTest::addColumn<bool>("sinFila");
        QTest::addColumn<QString>("aviso");
        const QString largo = "Atencion ! Debe ingresar CLAVE de 6 a 10 caracteres !";
        QTest::newRow("confirmacion distinta") << "ana_pw" << "nueva12" << "nueva13" << false
            << "La confirmacion de contraseña no coincide con la nueva clave ingresada !<br>No se puede procesar cambio !";
        QTest::newRow("5 caracteres") << "ana_pw" << "abc12" << "abc12" << false << largo;
        QTest::newRow("vacia") << "ana_pw" << "" << "" << false << largo;
        QTest::newRow("blanco final") << "ana_pw" << "abcdef " << "abcdef " << false
            << "La CONTRASEÑA ingresada no es valida !<br>La misma solo puede contener letras y/o numeros !";
        QTest::newRow("actual equivocada") << "otra_pw" << "nueva12" << "nueva12" << false
            << "No se puede procesar, la contraseña actual ingresada no es valida !";
        QTest::newRow("usuario eliminado") << "ana_pw" << "nueva12" << "nueva12" << true
            << "No se puede procesar, el usuario actual ya no es valido en sistema !";
    }

    void rechazos()
    {
        QFETCH(QString, actual);
        QFETCH(QString, nueva);
        QFETCH(QString, confirmacion);
        QFETCH(bool, sinFila);
        QFETCH(QString, aviso);
        if (sinFila)
            TestDb::ejecutar("DELETE FROM sysuser WHERE sysuser=?", {cuentaAna});
        QSqlDatabase db = TestDb::abrirSesion(cuentaAna, "ana_pw");
        KolvasterCClave d(&db, ana, "Kolvaster");
        escribir(&d, actual, nueva, confirmacion);
        d.findChild<QPushButton *>("pb")->click();
        QCOMPARE(Mensajes::mostrados().size(), 1);
        QCOMPARE(Mensajes::mostrados().at(0).texto, aviso);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(db.password(), QString("ana_pw"));
        if (!sinFila)
            QCOMPARE(pass(cuentaAna), QString("ana_pw"));
        QVERIFY(TestDb::entra(cuentaAna, "ana_pw"));
        QVERIFY(TestDb::entra(cuentaAna, "ana_pw", true));
    }

    void cambioEnCadaEntrada()
    {
        QSqlDatabase db = TestDb::abrirSesion(cuentaAna, "ana_pw");
        KolvasterCClave d(&db, ana, "Kolvaster");
        QCOMPARE(d.findChild<QLineEdit *>("le_nueva")->maxLength(), 10);
        escribir(&d, "ana_pw", "Nueva_1234", "Nueva_1234");
        d.findChild<QPushButton *>("pb")->click();
        QCOMPARE(Mensajes::mostrados().size(), 1);
        QCOMPARE(Mensajes::mostrados().at(0).texto, QString("Contraseña actualizada !"));
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(db.password(), QString("Nueva_1234"));
        QCOMPARE(pass(cuentaAna), QString("Nueva_1234"));
        for (bool socket : {false, true}) { // the "%" entry, then the "localhost" one
            QVERIFY(TestDb::entra(cuentaAna, "Nueva_1234", socket));
            QVERIFY(!TestDb::entra(cuentaAna, "ana_pw", socket));
        }
    }

    void cuentaNoProvista_data()
    {
        QTest::addColumn<bool>("leeCuentas");
        QTest::newRow("sin acceso a mysql.user") << false;
        QTest::newRow("sin CREATE USER") << true;
    }

    void cuentaNoProvista()
    {
        // The test bed's own account for beto holds its database only: not provisioned.
        QFETCH(bool, leeCuentas);
        if (leeCuentas)
            TestDb::ejecutar("GRANT SELECT ON mysql.user TO '" + cuentaBeto + "'@'%'");
        QSqlDatabase db = TestDb::abrirSesion(cuentaBeto, "beto_pw");
        KolvasterCClave d(&db, 0, "Kolvaster");
        DriverModal driver;
        Notificador::reiniciar();
        driver.luego(DriverModal::cerrarError());
        escribir(&d, "beto_pw", "nueva12", "nueva12");
        d.findChild<QPushButton *>("pb")->click();
        QCOMPARE(guion.salidas, QList<int>{0});
        // The server's reason reaches the error report.
        QTRY_COMPARE(Notificador::pedidos().size(), 1);
        const QString error =
            Notificador::pedidos().at(0).value("query").toObject().value("mensaje").toString();
        QVERIFY2(error.contains(leeCuentas ? "CREATE USER" : "denied"), qPrintable(error));
        QCOMPARE(db.password(), QString("beto_pw"));
        QCOMPARE(pass(cuentaBeto), QString("beto_pw"));
        QVERIFY(TestDb::entra(cuentaBeto, "beto_pw"));
        QVERIFY(!TestDb::entra(cuentaBeto, "nueva12"));
        QVERIFY(!titulos().contains("Cambio de Contraseña"));
    }

    void puertaDeAdministracion()
    {
        bool abierto = false;
        EntornoSesion entorno;
        auto w = entorno.iniciar("beto", "beto_pw");
        entorno.driver().luego([&](QWidget *d) {
            abierto = qobject_cast<KolvasterUser *>(d);
            return abierto;
        });
        w->ui->actionAdministracion_de_accesos->trigger();
        QCOMPARE(Mensajes::mostrados().last().texto,
                 QString("No tiene permisos para acceder a esta seccion!"));
        QTest::qWait(100);
        QVERIFY(!abierto);
        QVERIFY(w->isVisible());
    }

    void clavePropiaEnLaAdministracion()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", "ana_pw");
        QVERIFY(!w->terminado());
        entorno.driver().luego([](QWidget *d) {
            auto *adm = qobject_cast<KolvasterUser *>(d);
            if (!adm)
                return false;
            // Ana comes first and is shown when the dialog opens.
            if (adm->ui->tw_user->item(adm->ui->tw_user->currentRow(), 2)->text() != "ana")
                return false;
            Mensajes::responder(QString("otra_pw"));
            Mensajes::responder(QString("otra_pw"));
            adm->ui->pb_pass->click();
            adm->reject();
            return true;
        });
        w->ui->actionAdministracion_de_accesos->trigger();
        QCOMPARE(titulos().last(), importante);
        QVERIFY(!w->isVisible());
        w.reset();
        QCOMPARE(TestDb::tiposLog(), (QList<int>{1, 2}));
        QVERIFY(TestDb::entra(cuentaAna, "otra_pw"));
    }

    void tituloPropioEnLaVentana()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", "ana_pw");
        entorno.driver().luego([](QWidget *d) {
            auto *adm = qobject_cast<KolvasterUser *>(d);
            if (!adm)
                return false;
            Mensajes::responder(QString("Ana G. Directora"));
            adm->ui->pb_tit->click();
            adm->reject();
            return true;
        });
        w->ui->actionAdministracion_de_accesos->trigger();
        QVERIFY(w->ui->le_emp->text().startsWith("Ana G. Directora @ "));
        QVERIFY(w->isVisible());
    }

    void clavePropiaDesdeLaVentana()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", "ana_pw");
        QVERIFY(!w->terminado());

        // Closed without a change: the session goes on.
        entorno.driver().luego(DriverModal::cerrar("KolvasterCClave"));
        w->ui->actionCambiar_mi_contrase_a->trigger();
        QVERIFY(!titulos().contains(importante));
        QVERIFY(w->isVisible());

        // Refused while a program runs.
        w->programasAbiertos = 1;
        w->ui->actionCambiar_mi_contrase_a->trigger();
        QCOMPARE(Mensajes::mostrados().last().texto,
                 QString("Lo siento, para ejecutar esta funcion debera cerrar todos los<br>"
                         "programas que tenga activos!"));
        w->programasAbiertos = 0;

        entorno.driver().luego(cambiarClave("ana_pw", "nueva_123"));
        w->ui->actionCambiar_mi_contrase_a->trigger();
        QCOMPARE(titulos().mid(titulos().size() - 2),
                 (QStringList{"Cambio de Contraseña", importante}));
        QVERIFY(!w->isVisible());
        w.reset();
        QCOMPARE(TestDb::tiposLog(), (QList<int>{1, 2}));
        QVERIFY(TestDb::entra(cuentaAna, "nueva_123"));
        QVERIFY(TestDb::entra(cuentaAna, "nueva_123", true));
    }

    void administradorDeLaBase()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("dbadmin", TestDb::claveAdmin);
        QVERIFY(!w->terminado());
        w->ui->actionCambiar_mi_contrase_a->trigger();
        QCOMPARE(Mensajes::mostrados().last().texto,
                 QString("No se permite cambio de contraseña de Administrador!"));
        QVERIFY(w->isVisible());
    }
};

QTEST_MAIN(TstClave)
#include "tst_clave.moc"
