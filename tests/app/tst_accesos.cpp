// "Mis ultimos accesos...": the user's own logins of the last calendar month, newest first.
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "reports/kolvasterhtmlviewer.h"
#include "sesion.h"
#include "guion.h"
#include "testdb.h"
#include "ui_kolvaster.h"

#include <QDateTime>
#include <QTest>

class TstAccesos : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;

private slots:

    void cleanup() { TestDb::cerrarSesion(); }

    void ingresosDelUltimoMes()
    {
        TestDb::limpiar();
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        const qint64 beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());

        // Fixed rows around the window's edge, on the server's clock.
        TestDb::ejecutar("DELETE FROM sysuserelog");
        const QString insertar = "INSERT INTO sysuserelog (sysuserelogtipo_id,sysuser_id,cuando) "
                                 "VALUES (?,?,%1)";
        const QString limite = "CURDATE()-INTERVAL 1 MONTH";
        TestDb::ejecutar(insertar.arg(limite), {1, ana});                            // in
        TestDb::ejecutar(insertar.arg(limite + "-INTERVAL 1 SECOND"), {1, ana});      // out
        TestDb::ejecutar(insertar.arg("CURDATE()-INTERVAL 3 DAY+INTERVAL 61 SECOND"), {1, ana});
        TestDb::ejecutar(insertar.arg("CURDATE()-INTERVAL 2 DAY+INTERVAL 13 HOUR"), {1, ana});
        TestDb::ejecutar(insertar.arg("CURDATE()-INTERVAL 1 DAY"), {2, ana});         // logout
        TestDb::ejecutar(insertar.arg("CURDATE()-INTERVAL 1 DAY"), {1, beto});        // not hers

        auto dia = [](const QString &expr) {
            return TestDb::valor("SELECT " + expr).toDateTime();
        };
        const QString formato = "dd/MM/yyyy HH:mm:ss";
        const QStringList esperadas{
            dia("CURDATE()-INTERVAL 2 DAY+INTERVAL 13 HOUR").toString(formato),
            dia("CURDATE()-INTERVAL 3 DAY+INTERVAL 61 SECOND").toString(formato),
            dia(limite).toString(formato),
        };
        QVERIFY(esperadas.last().endsWith(" 00:00:00"));

        QString fuente, titulo;
        entorno.driver().luego([&](QWidget *d) {
            auto *visor = qobject_cast<KolvasterHTMLViewer *>(d);
            if (!visor)
                return false;
            fuente = visor->htmlSource();
            titulo = visor->windowTitle();
            visor->reject();
            return true;
        });
        w->ui->actionMis_ultimos_accesos->trigger();
        QCOMPARE(titulo, QString("Kolvaster - Registro Ingreso Usuario"));
        const QString cuerpo = "<h2>Kolvaster - Registro Ingreso Usuario</h2><p>(ultimos 30 dias)"
                               "</p><p>"
                               + esperadas.join("<br />") + "<br /></p></body>";
        QVERIFY2(fuente.endsWith(cuerpo), qPrintable(fuente));
        QVERIFY(salidas.isEmpty());

        // No logins in the period: the header and an empty paragraph.
        TestDb::ejecutar("DELETE FROM sysuserelog WHERE sysuser_id=?", {ana});
        entorno.driver().luego([&](QWidget *d) {
            auto *visor = qobject_cast<KolvasterHTMLViewer *>(d);
            if (!visor)
                return false;
            fuente = visor->htmlSource();
            visor->reject();
            return true;
        });
        w->ui->actionMis_ultimos_accesos->trigger();
        QVERIFY(fuente.endsWith("<p>(ultimos 30 dias)</p><p></p></body>"));
    }
};

QTEST_MAIN(TstAccesos)
#include "tst_accesos.moc"
