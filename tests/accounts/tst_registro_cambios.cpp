// Every change of the user administration leaves its row in the record of steps, read from the
// table after driving the dialog: whose account, what and to what, never a password; a change
// the dialog refuses leaves none.
#include "accounts/kolvasteruser.h"
#include "base/mensajes.h"
#include "guion.h"
#include "modal.h"
#include "testdb.h"
#include "ui_kolvasteruser.h"

#include <QSqlQuery>
#include <QTest>

namespace {

void elegir(QTableWidget *t, int columna, const QString &texto)
{
    const QList<QTableWidgetItem *> items = t->findItems(texto, Qt::MatchExactly);
    for (QTableWidgetItem *i : items)
        if (i->column() == columna) {
            t->selectRow(i->row());
            t->setCurrentCell(i->row(), columna);
            return;
        }
    QFAIL(qPrintable("no row " + texto));
}

QStringList registro()
{
    QStringList r;
    QSqlQuery q(TestDb::admin());
    q.exec("SELECT CONCAT_WS('|', cuenta, direccion, paso, objeto, resultado) FROM registro "
           "ORDER BY registro_id");
    while (q.next())
        r << q.value(0).toString();
    return r;
}

} // namespace

class TstRegistroCambios : public QObject
{
    Q_OBJECT

    Guion guion;
    QSqlDatabase db;
    bool propia = false;

private slots:
    void initTestCase() { db = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin); }

    void cleanupTestCase()
    {
        db = QSqlDatabase();
        TestDb::cerrarSesion();
        TestDb::ejecutar("DROP USER IF EXISTS '" + TestDb::cuenta("dora") + "'@'%'");
        TestDb::ejecutar("DROP USER IF EXISTS '" + TestDb::cuenta("dora") + "'@'192.168.%'");
    }

    void cadaCambioConSuFila()
    {
        TestDb::limpiar();
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana", true);
        TestDb::crearApp("calc", "Calculadora", "#!/bin/sh\n");
        TestDb::ejecutar("INSERT INTO report (titulo) VALUES ('Ventas del mes')");
        guion.olvidar();
        KolvasterUser d(&propia, ana, &db, QStringLiteral("Kolvaster"));

        // The only administrator keeps the mark: refused, nothing on record.
        elegir(d.ui->tw_user, 2, "ana");
        d.ui->check_admin->click();
        QVERIFY(d.ui->check_admin->isChecked());
        QCOMPARE(registro(), QStringList());

        Mensajes::responder(QStringLiteral("dora"));
        d.ui->pb_newuser->click();
        d.ui->check_sistema->click();
        d.ui->check_accesoremoto->click();
        d.ui->check_accesoremoto->click();
        d.ui->check_admin->click();
        d.findChild<QCheckBox *>("check_piloto")->click();
        elegir(d.ui->tw_appsin, 1, "calc");
        d.ui->bagregar->click();
        elegir(d.ui->tw_appcon, 1, "calc");
        d.ui->bquitar->click();
        elegir(d.ui->tw_repsin, 1, "Ventas del mes");
        d.ui->pb_addrep->click();
        elegir(d.ui->tw_repcon, 1, "Ventas del mes");
        d.ui->pb_delrep->click();
        Mensajes::responder(QStringLiteral("clave9x"));
        Mensajes::responder(QStringLiteral("clave9x"));
        d.ui->pb_pass->click();
        // A password refused by the dialog: nothing.
        Mensajes::responder(QStringLiteral("abc"));
        Mensajes::responder(QStringLiteral("abc"));
        d.ui->pb_pass->click();

        const QString a = "dbadmin|127.0.0.1|Adm Accesos: %1|" + TestDb::cuenta("dora") + "|%2";
        QCOMPARE(registro(), QStringList({a.arg("usuario nuevo", "creado"),
                                          a.arg("acceso sistema", "habilitado"),
                                          a.arg("acceso remoto", "habilitado"),
                                          a.arg("acceso remoto", "deshabilitado"),
                                          a.arg("administrador", "si"),
                                          a.arg("usuario piloto", "si"),
                                          a.arg("acceso a programa", "otorgado: calc"),
                                          a.arg("acceso a programa", "retirado: calc"),
                                          a.arg("acceso a reporte", "otorgado: Ventas del mes"),
                                          a.arg("acceso a reporte", "retirado: Ventas del mes"),
                                          a.arg("contrasena", "cambiada")}));
        QCOMPARE(TestDb::contar("SELECT 1 FROM registro WHERE CONCAT(paso, objeto, resultado) "
                                "LIKE '%clave9x%' OR CONCAT(paso, objeto, resultado) LIKE ?",
                                {"%" + TestDb::valor("SELECT pass FROM sysuser WHERE sysuser=?",
                                                     {TestDb::cuenta("dora")})
                                           .toString()
                                     + "%"}),
                 0);
        QCOMPARE(TestDb::contar("SELECT 1 FROM registro WHERE cuando > NOW() - INTERVAL 1 HOUR"), 11);
    }
};

QTEST_MAIN(TstRegistroCambios)
#include "tst_registro_cambios.moc"
