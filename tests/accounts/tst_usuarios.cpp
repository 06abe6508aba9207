// The user administration dialog on a real server: the user list, new users, their MySQL
// accounts (each proven by logging in as it) and passwords.
#include "accounts/cuentas.h"
#include "accounts/kolvasteruser.h"
#include "base/mensajes.h"
#include "guion.h"
#include "testdb.h"
#include "ui_kolvasteruser.h"

#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSqlQuery>
#include <QTest>

namespace {
// The initial password the dialog drew for a user, as stored in sysuser.
QString inicialDe(const QString &cuenta)
{
    return TestDb::valor("SELECT pass FROM sysuser WHERE sysuser=?", {cuenta}).toString();
}

QString ultimoTexto()
{
    const QList<Mensajes::Mostrado> m = Mensajes::mostrados();
    return m.isEmpty() ? QString() : m.last().texto;
}
} // namespace

class TstUsuarios : public QObject
{
    Q_OBJECT

    Guion guion;
    QSqlDatabase db;
    bool propia = false;
    qint64 ana = 0;

    std::unique_ptr<KolvasterUser> abrir()
    {
        propia = false;
        return std::make_unique<KolvasterUser>(&propia, ana, &db, QStringLiteral("Kolvaster"));
    }

    static void seleccionar(KolvasterUser *d, const QString &corto)
    {
        const QList<QTableWidgetItem *> items = d->ui->tw_user->findItems(corto, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        d->ui->tw_user->selectRow(items.first()->row());
    }

    // Creates a user through the dialog, which leaves it selected.
    static void crear(KolvasterUser *d, const QString &nombre)
    {
        Mensajes::responder(nombre);
        d->ui->pb_newuser->click();
        QCOMPARE(ultimoTexto(), QString("Usuario creado y seleccionado!"));
    }

    static void fijarClave(KolvasterUser *d, const QString &clave, const QString &confirmacion)
    {
        Mensajes::responder(clave);
        Mensajes::responder(confirmacion);
        d->ui->pb_pass->click();
    }

private slots:
    void initTestCase()
    {
        TestDb::limpiar();
        db = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin);
    }

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana Gomez", true);
        TestDb::ejecutar("UPDATE sysuser SET pass='ana_pw' WHERE sysuser_id=?", {ana});
        TestDb::crearUsuario("dbadmin", "Administrador", true);
        guion.olvidar();
    }

    void cleanup()
    {
        for (const char *c : {"ana", "carla", "dora", "juan", "abcd", "abcdefgh"})
            TestDb::restaurarCuenta(TestDb::cuenta(c));
    }

    void cleanupTestCase()
    {
        db = QSqlDatabase();
        TestDb::cerrarSesion();
    }

    void sentenciasDeCuenta()
    {
        // Values that pass the input rules reach the server as they are.
        const QList<Cuentas::Sentencia> s =
            Cuentas::sentenciasAlta(db, "prueba_ana", "192.168.%", "abc_123");
        QCOMPARE(s.size(), 6);
        QCOMPARE(s[0].sql, QString("CREATE USER 'prueba_ana'@'192.168.%' IDENTIFIED BY 'abc_123';"));
        QCOMPARE(s[1].sql, "GRANT ALL ON `" + db.databaseName() + "`.* TO 'prueba_ana'@'192.168.%';");
        QCOMPARE(s[5].sql, QString("GRANT CREATE USER ON *.* TO 'prueba_ana'@'192.168.%' WITH "
                                   "GRANT OPTION;"));
        // A quote or a backquote can neither end the value nor the identifier.
        QCOMPARE(Cuentas::identificador("ven`tas"), QString("`ven``tas`"));
        QCOMPARE(Cuentas::literal(db, "a'b\\c"), QString("'a''b\\\\c'"));
    }

    void listaDeUsuarios()
    {
        TestDb::crearUsuario("singuion", "Sin guion");
        auto d = abrir();
        // dbadmin is never listed; names without "_" are shown whole; sorted by account.
        QCOMPARE(d->ui->tw_user->rowCount(), 2);
        QCOMPARE(d->ui->tw_user->item(0, 2)->text(), QString("ana"));
        QCOMPARE(d->ui->tw_user->item(1, 2)->text(), QString("singuion"));
        QCOMPARE(d->ui->tw_user->item(0, 1)->text(), QString("ND"));
        // The first user is shown: the test-bed account exists on "%".
        QCOMPARE(d->ui->le_titulo->text(), QString("Ana Gomez"));
        QVERIFY(d->ui->check_sistema->isChecked());
        QVERIFY(d->ui->check_accesoremoto->isChecked());
        QVERIFY(d->ui->check_admin->isChecked());
        QCOMPARE(d->ui->lab_imagen->text(), QString("ND"));

        // Someone else deletes the user: selecting it warns and reloads the list.
        TestDb::ejecutar("DELETE FROM sysuser WHERE sysuser='singuion'");
        d->ui->tw_user->selectRow(1);
        QCOMPARE(ultimoTexto(), QString("No se pudo obtener informacion de usuario ! Verifique "
                                        "el mismo no haya sido eliminado !"));
        QCOMPARE(d->ui->tw_user->rowCount(), 1);

        // The delete button deletes nothing.
        d->ui->pb_deluser->click();
        QVERIFY(ultimoTexto().startsWith("Lo siento, no se puede eliminar usuarios de sistema."));
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuser"), 2);
    }

    void nuevoUsuario_data()
    {
        QTest::addColumn<std::optional<QString>>("respuesta");
        QTest::addColumn<QString>("aviso");
        QTest::addColumn<QString>("creado");
        QTest::newRow("3 letras") << std::optional<QString>("abc")
                                  << "Lo siento, el nombre de usuario es demasiado corto" << "";
        QTest::newRow("9 letras") << std::optional<QString>("abcdefghi")
                                  << "Lo siento, el nombre de usuario es demasiado largo" << "";
        QTest::newRow("con digito") << std::optional<QString>("ana1")
                                    << "El nombre no es valido. Solo puede ingresar letras!" << "";
        QTest::newRow("cancelado") << std::optional<QString>() << "Operacion cancelada!" << "";
        QTest::newRow("4 letras") << std::optional<QString>("abcd") << "" << "abcd";
        QTest::newRow("8 letras") << std::optional<QString>("abcdefgh") << "" << "abcdefgh";
        QTest::newRow("mayusculas y blancos") << std::optional<QString>("  JuAn ") << "" << "juan";
    }

    void nuevoUsuario()
    {
        QFETCH(std::optional<QString>, respuesta);
        QFETCH(QString, aviso);
        QFETCH(QString, creado);
        auto d = abrir();
        Mensajes::responder(respuesta);
        d->ui->pb_newuser->click();
        if (creado.isEmpty()) {
            QCOMPARE(ultimoTexto(), aviso);
            QCOMPARE(TestDb::contar("SELECT 1 FROM sysuser"), 2);
            return;
        }
        QCOMPARE(ultimoTexto(), QString("Usuario creado y seleccionado!"));
        const QString cuenta = TestDb::cuenta(creado);
        QCOMPARE(TestDb::valor("SELECT CONCAT(titulo,'|',pass,'|',useradmin,'|',"
                               "enviamailas IS NULL) FROM sysuser WHERE sysuser=?", {cuenta})
                     .toString(),
                 creado + "|" + inicialDe(cuenta) + "|0|1");
        QVERIFY(Cuentas::cumplePatron(inicialDe(cuenta), "[A-Za-z0-9]*"));
        QCOMPARE(inicialDe(cuenta).length(), 10);
        QCOMPARE(d->ui->tw_user->item(d->ui->tw_user->currentRow(), 2)->text(), creado);
        QVERIFY(!d->ui->check_sistema->isChecked());
        QVERIFY(TestDb::hosts(cuenta).isEmpty());

        // The same name again: refused, no second row.
        Mensajes::responder(creado.toUpper());
        d->ui->pb_newuser->click();
        QVERIFY(ultimoTexto().startsWith("El NOMBRE DE USUARIO ingresado ya existe en sistema !"));
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuser WHERE sysuser=?", {cuenta}), 1);
    }

    void accesoAlSistema()
    {
        auto d = abrir();
        crear(d.get(), "carla");
        const QString cuenta = TestDb::cuenta("carla");

        // Remote access needs system access.
        d->ui->check_accesoremoto->click();
        QCOMPARE(ultimoTexto(), QString("El usuario NO TIENE ACCESO al Sistema!"));
        QVERIFY(!d->ui->check_accesoremoto->isChecked());
        QVERIFY(TestDb::hosts(cuenta).isEmpty());

        // System access creates the account on the local network only; it cannot log in from
        // here, but the stored hash is that of the initial password.
        d->ui->check_sistema->click();
        const QString inicial = inicialDe(cuenta);
        QCOMPARE(TestDb::hosts(cuenta), QStringList{"192.168.%"});
        QVERIFY(!TestDb::entra(cuenta, inicial));
        QCOMPARE(TestDb::valor("SELECT authentication_string=PASSWORD(?) FROM mysql.user "
                               "WHERE user=?", {inicial, cuenta}).toInt(), 1);

        // Remote access re-creates it on any host, with the stored password.
        TestDb::ejecutar("UPDATE sysuser SET pass='guard4do' WHERE sysuser=?", {cuenta});
        d->actUserData();
        d->ui->check_accesoremoto->click();
        QCOMPARE(TestDb::hosts(cuenta), QStringList{"%"});
        QVERIFY(TestDb::entra(cuenta, "guard4do"));
        // The six privileges let the account provision others itself.
        QVERIFY(TestDb::valor("SELECT COUNT(*) FROM information_schema.user_privileges WHERE "
                              "grantee=? AND privilege_type IN ('CREATE USER','RELOAD')",
                              {"'" + cuenta + "'@'%'"}).toInt() == 2);

        // An administrator keeps system access.
        TestDb::ejecutar("UPDATE sysuser SET useradmin=TRUE WHERE sysuser=?", {cuenta});
        d->actUserData();
        d->ui->check_sistema->click();
        QCOMPARE(ultimoTexto(), QString("Debe primero eliminar marca de administracion de "
                                        "usuarios y accesos"));
        QVERIFY(d->ui->check_sistema->isChecked());
        QVERIFY(TestDb::entra(cuenta, "guard4do"));

        // Without the mark, unticking removes the account and unticks remote access.
        TestDb::ejecutar("UPDATE sysuser SET useradmin=FALSE WHERE sysuser=?", {cuenta});
        d->actUserData();
        d->ui->check_sistema->click();
        QVERIFY(!d->ui->check_accesoremoto->isChecked());
        QVERIFY(TestDb::hosts(cuenta).isEmpty());
        QVERIFY(!TestDb::entra(cuenta, "guard4do"));
    }

    void claveDeUsuario_data()
    {
        QTest::addColumn<QString>("clave");
        QTest::addColumn<QString>("confirmacion");
        QTest::addColumn<QString>("aviso");
        const QString largo = "Debe ingresar contraseña de SEIS a OCHO caracteres!";
        QTest::newRow("5") << "abc12" << "abc12" << largo;
        QTest::newRow("9") << "abc123456" << "abc123456" << largo;
        QTest::newRow("blanco dentro") << "abc 123" << "abc 123"
            << "La CONTRASEÑA ingresada no es valida !<br>La misma solo puede contener letras y/o numeros !";
        QTest::newRow("confirmacion distinta") << "abc123" << "abc124" << "Fallo confirmacion!";
        QTest::newRow("6") << "Ab_123" << "Ab_123" << "Contraseña modificada con exito!";
        QTest::newRow("8, con blancos alrededor") << " Abcd_123 " << "Abcd_123"
                                                  << "Contraseña modificada con exito!";
    }

    void claveDeUsuario()
    {
        QFETCH(QString, clave);
        QFETCH(QString, confirmacion);
        QFETCH(QString, aviso);
        auto d = abrir();
        crear(d.get(), "carla");
        const QString cuenta = TestDb::cuenta("carla");
        d->ui->check_sistema->click();
        d->ui->check_accesoremoto->click();
        const QString inicial = inicialDe(cuenta);
        QVERIFY(TestDb::entra(cuenta, inicial));

        fijarClave(d.get(), clave, confirmacion);
        QCOMPARE(ultimoTexto(), aviso);
        const bool aceptada = aviso.startsWith("Contraseña modificada");
        const QString vigente = aceptada ? clave.trimmed() : inicial;
        QCOMPARE(TestDb::valor("SELECT pass FROM sysuser WHERE sysuser=?", {cuenta}).toString(),
                 vigente);
        QCOMPARE(d->ui->le_pass->text(), vigente);
        QVERIFY(TestDb::entra(cuenta, vigente));
        QCOMPARE(TestDb::entra(cuenta, inicial), !aceptada);
        QVERIFY(!propia); // someone else's password
    }

    void claveSinAccesoOCancelada()
    {
        auto d = abrir();
        crear(d.get(), "carla");
        const QString inicial = inicialDe(TestDb::cuenta("carla"));
        d->ui->pb_pass->click();
        QCOMPARE(ultimoTexto(), QString("El usuario NO TIENE ACCESO al Sistema!"));
        d->ui->check_sistema->click();
        d->ui->pb_pass->click(); // no answers queued: the first prompt is cancelled
        QCOMPARE(ultimoTexto(), QString("Fallo ingreso!"));
        QCOMPARE(inicialDe(TestDb::cuenta("carla")), inicial);
    }

    void clavePropia()
    {
        auto d = abrir();
        seleccionar(d.get(), "ana");
        fijarClave(d.get(), "nueva1", "nueva1");
        QCOMPARE(ultimoTexto(), QString("Contraseña modificada con exito!"));
        QVERIFY(propia);
        QVERIFY(TestDb::entra(TestDb::cuenta("ana"), "nueva1"));
    }

    // Whatever else an account was given by hand, withdrawing its access or changing its
    // password leaves no host entry that still logs in with the old password.
    void todasLasEntradasDeUnaCuenta()
    {
        auto d = abrir();
        crear(d.get(), "carla");
        const QString cuenta = TestDb::cuenta("carla");
        // Over TCP from here the more specific 127.0.0.1 entry answers, and "%" once it is gone.
        TestDb::proveer(cuenta, "%", "vieja1");
        TestDb::proveer(cuenta, "127.0.0.1", "vieja1");
        QVERIFY(TestDb::entra(cuenta, "vieja1"));

        d->actUserData();
        QVERIFY(d->ui->check_sistema->isChecked());
        d->ui->check_accesoremoto->setChecked(true);
        fijarClave(d.get(), "nueva1", "nueva1");
        QCOMPARE(ultimoTexto(), QString("Contraseña modificada con exito!"));
        QCOMPARE(TestDb::hosts(cuenta), QStringList{"%"});
        QVERIFY(!TestDb::entra(cuenta, "vieja1"));
        QVERIFY(TestDb::entra(cuenta, "nueva1"));

        TestDb::proveer(cuenta, "127.0.0.1", "vieja1");
        d->ui->check_sistema->click();
        QVERIFY(!d->ui->check_sistema->isChecked());
        QCOMPARE(TestDb::hosts(cuenta), QStringList());
        QVERIFY(!TestDb::entra(cuenta, "vieja1"));
        QVERIFY(!TestDb::entra(cuenta, "nueva1"));
    }

    // Each new user's first password is drawn anew from letters and digits, all of them used.
    void claveInicialAlAzar()
    {
        auto d = abrir();
        crear(d.get(), "carla");
        crear(d.get(), "dora");
        QVERIFY(inicialDe(TestDb::cuenta("carla")) != inicialDe(TestDb::cuenta("dora")));
        QSet<QChar> vistos;
        for (int i = 0; i < 1000; ++i) {
            const QString c = Cuentas::claveInicial();
            QCOMPARE(c.length(), 10);
            QVERIFY(Cuentas::cumplePatron(c, "[A-Za-z0-9]*"));
            for (QChar ch : c)
                vistos.insert(ch);
        }
        QCOMPARE(vistos.size(), 62);
    }

    // With no user selected (a Ctrl+click deselects the only one), the arrows write nothing
    // for the user the lists still show.
    void flechasSinUsuario()
    {
        const qint64 ventas = TestDb::crearApp("ventas", "Ventas", QByteArray("x"));
        TestDb::crearApp("stock", "Stock", QByteArray("x"));
        TestDb::otorgar(ana, ventas);
        TestDb::ejecutar("INSERT INTO report (titulo) VALUES ('Ventas'), ('Stock')");
        TestDb::ejecutar("INSERT INTO sysuserreport (sysuser_id,report_id) SELECT ?, "
                         "MIN(report_id) FROM report", {ana});
        auto d = abrir();
        for (QTableWidget *t : {d->ui->tw_appsin, d->ui->tw_appcon, d->ui->tw_repsin,
                                d->ui->tw_repcon})
            t->selectRow(0);
        QTableWidget *usuarios = d->ui->tw_user;
        QTest::mouseClick(usuarios->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          usuarios->visualItemRect(usuarios->item(0, 2)).center());
        QVERIFY(usuarios->selectedItems().isEmpty());

        guion.olvidar();
        for (QPushButton *b : {d->ui->bagregar, d->ui->bquitar, d->ui->pb_addrep,
                               d->ui->pb_delrep})
            b->click();
        const QList<Mensajes::Mostrado> m = Mensajes::mostrados();
        QCOMPARE(m.size(), 4);
        for (const Mensajes::Mostrado &x : m) {
            QCOMPARE(x.titulo, QString("Atencion"));
            QCOMPARE(x.texto, QString("No se encuentra en usuario valido!"));
        }
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserapp WHERE sysuser_id=? AND app_id=?",
                                {ana, ventas}),
                 1);
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserapp"), 1);
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserreport"), 1);
    }

    void baseConNombreRaro_data()
    {
        QTest::addColumn<QString>("base");
        QTest::newRow("guion") << "ventas-2";
        QTest::newRow("comilla y acento grave") << "o'ven`ta";
        QTest::newRow("guion bajo") << "ventas_sur";
    }

    void baseConNombreRaro()
    {
        QFETCH(QString, base);
        const QString id = Cuentas::identificador(base);
        TestDb::ejecutar("DROP DATABASE IF EXISTS " + id);
        TestDb::ejecutar("CREATE DATABASE " + id);
        for (const char *t : {"sysuser", "sysuserimg", "app", "sysuserapp", "report",
                              "sysuserreport", "registro"})
            TestDb::ejecutar(QString("CREATE TABLE %1.%2 LIKE %3.%2")
                                 .arg(id, t, Cuentas::identificador(TestDb::base())));
        db = QSqlDatabase();
        TestDb::cerrarSesion();
        {
            QSqlDatabase sesion = QSqlDatabase::addDatabase("QMYSQL");
            sesion.setHostName("127.0.0.1");
            sesion.setDatabaseName(base);
            sesion.setUserName("dbadmin");
            sesion.setPassword(TestDb::claveAdmin);
            QVERIFY(sesion.open());
            bool flag = false;
            KolvasterUser d(&flag, 0, &sesion, "Kolvaster");
            Mensajes::responder("dora");
            d.ui->pb_newuser->click();
            QCOMPARE(ultimoTexto(), QString("Usuario creado y seleccionado!"));
            // The short name is what follows the database's own name, "_" or not in it.
            QCOMPARE(d.ui->tw_user->item(d.ui->tw_user->currentRow(), 2)->text(),
                     QString("dora"));
            d.ui->check_sistema->click();
            d.ui->check_accesoremoto->click();
        }
        const QString cuenta = base + "_dora";
        QCOMPARE(TestDb::hosts(cuenta), QStringList{"%"});
        const QString inicial =
            TestDb::valor("SELECT pass FROM " + id + ".sysuser WHERE sysuser=?", {cuenta})
                .toString();
        // In a grant "_" would match any character: the account reaches its own database only.
        const QString vecina = Cuentas::identificador(QString(base).replace('_', 'x'));
        TestDb::ejecutar("CREATE DATABASE IF NOT EXISTS " + vecina);
        TestDb::ejecutar("CREATE TABLE IF NOT EXISTS " + vecina + ".t (a INT)");
        {
            QSqlDatabase prueba = QSqlDatabase::addDatabase("QMYSQL", "dora");
            prueba.setHostName("127.0.0.1");
            prueba.setDatabaseName(base);
            prueba.setUserName(cuenta);
            prueba.setPassword(inicial);
            QVERIFY(prueba.open());
            QVERIFY(QSqlQuery(prueba).exec("SELECT COUNT(*) FROM sysuser"));
            QCOMPARE(QSqlQuery(prueba).exec("SELECT a FROM " + vecina + ".t"), vecina == id);
        }
        QSqlDatabase::removeDatabase("dora");
        if (vecina != id)
            TestDb::ejecutar("DROP DATABASE " + vecina);
        TestDb::restaurarCuenta(cuenta);
        TestDb::ejecutar("DROP DATABASE " + id);
        TestDb::cerrarSesion();
        db = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin);
    }
};

QTEST_MAIN(TstUsuarios)
#include "tst_usuarios.moc"
