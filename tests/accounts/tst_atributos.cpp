// The administration dialog's attributes (title, mail sender, picture, administrator mark),
// access lists and program information, against the real server.
#include "accounts/kolvasteruser.h"
#include "accounts/kolvasteruserappinfo.h"
#include "base/mensajes.h"
#include "guion.h"
#include "modal.h"
#include "testdb.h"
#include "ui_kolvasteruser.h"
#include "ui_kolvasteruserappinfo.h"

#include <QImage>
#include <QLabel>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString ultimoTexto()
{
    const QList<Mensajes::Mostrado> m = Mensajes::mostrados();
    return m.isEmpty() ? QString() : m.last().texto;
}

QSet<QString> nombres(QTableWidget *t)
{
    QSet<QString> n;
    for (int i = 0; i < t->rowCount(); ++i)
        n << t->item(i, 1)->text();
    return n;
}

void elegir(QTableWidget *t, const QString &nombre)
{
    const QList<QTableWidgetItem *> items = t->findItems(nombre, Qt::MatchExactly);
    QVERIFY(!items.isEmpty());
    t->selectRow(items.first()->row());
}
} // namespace

class TstAtributos : public QObject
{
    Q_OBJECT

    Guion guion;
    QSqlDatabase db;
    bool propia = false;
    qint64 ana = 0, beto = 0;

    std::unique_ptr<KolvasterUser> abrir()
    {
        return std::make_unique<KolvasterUser>(&propia, ana, &db, QStringLiteral("Kolvaster"));
    }

    QVariant columna(const char *c, qint64 id)
    {
        return TestDb::valor(QString("SELECT %1 FROM sysuser WHERE sysuser_id=?").arg(c), {id});
    }

private slots:
    void initTestCase() { db = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin); }

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana Gomez", true);
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto Ruiz");
        guion.olvidar();
    }

    void cleanupTestCase()
    {
        db = QSqlDatabase();
        TestDb::cerrarSesion();
    }

    void titulo()
    {
        auto d = abrir(); // ana is shown first
        Mensajes::responder(QString("  Ana Maria Gomez de la Fuente Ruiz  "));
        d->ui->pb_tit->click();
        QCOMPARE(columna("titulo", ana).toString(), QString("Ana Maria Gomez de la Fue"));
        QCOMPARE(d->ui->le_titulo->text(), QString("Ana Maria Gomez de la Fue"));

        // The same title again writes nothing: a change made meanwhile elsewhere survives.
        TestDb::ejecutar("UPDATE sysuser SET titulo='otro' WHERE sysuser_id=?", {ana});
        Mensajes::responder(QString("Ana Maria Gomez de la Fuente"));
        d->ui->pb_tit->click();
        QCOMPARE(columna("titulo", ana).toString(), QString("otro"));
        d->ui->pb_tit->click(); // cancelled
        QCOMPARE(columna("titulo", ana).toString(), QString("otro"));
    }

    void remitente_data()
    {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<QString>("direccion");
        QTest::addColumn<QString>("guardado"); // empty: refused
        QTest::newRow("vacios") << "" << "" << " <>";
        QTest::newRow("puntos y blancos") << " Ventas Sr. Perez " << "ventas-1_a.b@empresa.com"
                                          << "Ventas Sr. Perez <ventas-1_a.b@empresa.com>";
        QTest::newRow("acento") << QString::fromUtf8("José") << "a@b.com" << "";
        QTest::newRow("coma") << "Perez, J" << "a@b.com" << "";
        QTest::newRow("mayuscula") << "Ventas" << "Ventas@empresa.com" << "";
        QTest::newRow("dos arrobas") << "Ventas" << "a@b@empresa.com" << "";
        QTest::newRow("sin arroba") << "Ventas" << "empresa.com" << "";
        QTest::newRow("punto final") << "Ventas" << "a@empresa.com." << "";
    }

    void remitente()
    {
        QFETCH(QString, nombre);
        QFETCH(QString, direccion);
        QFETCH(QString, guardado);
        auto d = abrir();
        Mensajes::responder(nombre);
        Mensajes::responder(direccion);
        d->ui->pb_email->click();
        if (guardado.isEmpty()) {
            QVERIFY(ultimoTexto().startsWith("El valor ingresado"));
            QVERIFY(columna("enviamailas", ana).isNull());
            QVERIFY(d->ui->le_mail->text().isEmpty());
        } else {
            QCOMPARE(columna("enviamailas", ana).toString(), guardado);
            QCOMPARE(d->ui->le_mail->text(), guardado);
        }
    }

    void imagen()
    {
        QTemporaryDir dir;
        const QString rectangular = dir.filePath("r.png"), cuadrada = dir.filePath("c.jpg");
        QImage(100, 99, QImage::Format_RGB32).save(rectangular);
        QImage grande(512, 512, QImage::Format_RGB32);
        grande.fill(Qt::darkGreen);
        grande.save(cuadrada);

        auto d = abrir();
        Mensajes::responder(rectangular);
        d->ui->pb_selimg->click();
        QCOMPARE(Mensajes::mostrados().last().titulo, QString("Dimensiones no validas"));
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserimg"), 0);

        Mensajes::responder(cuadrada);
        d->ui->pb_selimg->click();
        const QByteArray guardada =
            TestDb::valor("SELECT imagen FROM sysuserimg WHERE sysuser_id=?", {ana}).toByteArray();
        QVERIFY(guardada.startsWith("\x89PNG"));
        QCOMPARE(QImage::fromData(guardada).size(), QSize(90, 90));
        auto *celda = qobject_cast<QLabel *>(d->ui->tw_user->cellWidget(0, 1));
        QVERIFY(celda);
        QCOMPARE(celda->pixmap().height(), 60);
        // The list reads it back from the database the same way.
        d->actUserList();
        QCOMPARE(qobject_cast<QLabel *>(d->ui->tw_user->cellWidget(0, 1))->pixmap().size(),
                 QSize(60, 60));

        d->ui->pb_delimg->click();
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserimg"), 0);
        QCOMPARE(qobject_cast<QLabel *>(d->ui->tw_user->cellWidget(0, 1))->text(), QString("ND"));
    }

    // The old picture's delete and the new one's insert are one transaction: an insert the
    // server refuses ends in the error dialog and leaves the old picture.
    void imagenRechazadaDejaLaAnterior()
    {
        TestDb::ejecutar("INSERT INTO sysuserimg (sysuser_id,imagen) VALUES (?,'vieja')", {ana});
        TestDb::ejecutar("CREATE TRIGGER sin_lugar BEFORE INSERT ON sysuserimg FOR EACH ROW "
                         "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT='sin lugar'");
        auto quitar = qScopeGuard([] { TestDb::ejecutar("DROP TRIGGER sin_lugar"); });
        QTemporaryDir dir;
        QImage foto(90, 90, QImage::Format_RGB32);
        foto.fill(Qt::red);
        QVERIFY(foto.save(dir.filePath("f.png")));
        auto d = abrir();
        DriverModal driver;
        driver.luego(DriverModal::cerrarError());
        Mensajes::responder(dir.filePath("f.png"));
        d->ui->pb_selimg->click();
        QCOMPARE(guion.salidas, QList<int>{0});
        QCOMPARE(TestDb::valor("SELECT GROUP_CONCAT(imagen) FROM sysuserimg").toString(),
                 QString("vieja"));
    }

    void marcaDeAdministrador()
    {
        // beto has no MySQL account here: no system access, so no administrator mark.
        TestDb::quitarCuenta(TestDb::cuenta("beto"));
        auto d = abrir();
        elegir(d->ui->tw_user, "beto");
        QVERIFY(!d->ui->check_sistema->isChecked());
        d->ui->check_admin->click();
        QCOMPARE(ultimoTexto(), QString("El usuario NO TIENE ACCESO al Sistema"));
        QVERIFY(!d->ui->check_admin->isChecked());
        QCOMPARE(columna("useradmin", beto).toBool(), false);

        // ana is the only administrator; dbadmin does not count.
        TestDb::crearUsuario("dbadmin", "Administrador", true);
        elegir(d->ui->tw_user, "ana");
        d->ui->check_admin->click();
        QVERIFY(ultimoTexto().startsWith("Lo siento, no puede cambiar este valor ya"));
        QVERIFY(d->ui->check_admin->isChecked());
        QCOMPARE(columna("useradmin", ana).toBool(), true);
        TestDb::restaurarCuenta(TestDb::cuenta("beto"));
    }

    void listasDeAcceso()
    {
        const qint64 a1 = TestDb::crearApp("agenda", "Agenda", QByteArray("x"));
        TestDb::crearApp("calculo", "Calculo", QByteArray("x"));
        TestDb::crearApp("stock", "Stock", QByteArray("x"));
        TestDb::otorgar(beto, a1, true);
        TestDb::ejecutar("INSERT INTO report (titulo) VALUES ('Ventas'),('Cobros')");
        auto d = abrir();
        elegir(d->ui->tw_user, "beto");
        const QSet<QString> programas{"agenda", "calculo", "stock"};
        QCOMPARE(nombres(d->ui->tw_appcon), QSet<QString>{"agenda"});

        // Without a selection in the source list nothing moves.
        for (QPushButton *b : {d->ui->bagregar, d->ui->bquitar, d->ui->pb_addrep,
                               d->ui->pb_delrep, d->ui->pb_infosin}) {
            d->ui->tw_appsin->clearSelection();
            d->ui->tw_appcon->clearSelection();
            d->ui->tw_repsin->clearSelection();
            d->ui->tw_repcon->clearSelection();
            guion.olvidar();
            b->click();
            QCOMPARE(ultimoTexto(), QString("Debe primero seleccionar un elemento de la lista!"));
        }

        elegir(d->ui->tw_appsin, "stock");
        d->ui->bagregar->click();
        elegir(d->ui->tw_appcon, "agenda");
        d->ui->bquitar->click();
        QCOMPARE(nombres(d->ui->tw_appcon), QSet<QString>{"stock"});
        QCOMPARE(nombres(d->ui->tw_appsin) + nombres(d->ui->tw_appcon), programas);
        QCOMPARE(d->ui->tw_appsin->rowCount() + d->ui->tw_appcon->rowCount(), 3);
        QCOMPARE(TestDb::valor("SELECT clogleido FROM sysuserapp s, app a WHERE s.app_id=a.app_id "
                               "AND a.nombre='stock' AND sysuser_id=?", {beto}).toInt(), 0);

        // A second grant of the same pair (another open dialog) leaves one link.
        auto otro = abrir();
        elegir(otro->ui->tw_user, "beto");
        elegir(otro->ui->tw_appsin, "calculo");
        elegir(d->ui->tw_appsin, "calculo");
        d->ui->bagregar->click();
        otro->ui->bagregar->click();
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserapp WHERE sysuser_id=?", {beto}), 2);

        elegir(d->ui->tw_repsin, "Cobros");
        d->ui->pb_addrep->click();
        QCOMPARE(nombres(d->ui->tw_repcon), QSet<QString>{"Cobros"});
        QCOMPARE(nombres(d->ui->tw_repsin), QSet<QString>{"Ventas"});
        d->ui->tw_repcon->selectRow(0);
        d->ui->pb_delrep->click();
        QCOMPARE(d->ui->tw_repcon->rowCount(), 0);
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserreport"), 0);
    }

    void informacionDePrograma()
    {
        TestDb::ejecutar("INSERT INTO apprisklevel (detalle) VALUES ('Alto')");
        const qint64 app = TestDb::crearApp("sueldos", "Planilla de sueldos", QByteArray("x"));
        TestDb::ejecutar("UPDATE app SET descri='Liquida sueldos', riskdetalle='Datos del "
                         "personal', apprisklevel_id=(SELECT MAX(apprisklevel_id) FROM "
                         "apprisklevel) WHERE app_id=?", {app});
        {
            KolvasterUserAppInfo info(ana, "Kolvaster", &db, app);
            QVERIFY(!info.fallido());
            QCOMPARE(info.ui->le_nombre->text(), QString("sueldos"));
            QCOMPARE(info.ui->le_titulo->text(), QString("Planilla de sueldos"));
            QCOMPARE(info.ui->tb_desc->toPlainText(), QString("Liquida sueldos"));
            QCOMPARE(info.ui->le_riesgo->text(), QString("Alto"));
            QCOMPARE(info.ui->tb_riesgo->toPlainText(), QString("Datos del personal"));
            QVERIFY(info.ui->le_nombre->isReadOnly() && info.ui->tb_desc->isReadOnly());
        }
        // A risk level that matches no row ends in the error dialog.
        TestDb::ejecutar("UPDATE app SET apprisklevel_id=999 WHERE app_id=?", {app});
        DriverModal driver;
        driver.luego(DriverModal::cerrarError());
        KolvasterUserAppInfo info(ana, "Kolvaster", &db, app);
        QVERIFY(info.fallido());
        QCOMPARE(guion.salidas, QList<int>{0});
    }
};

QTEST_MAIN(TstAtributos)
#include "tst_atributos.moc"
