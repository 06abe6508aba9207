// "Mis ultimos accesos...": the user's own logins of the last calendar month, newest first.
#include "app/kolvaster.h"
#include "archivos.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "notificador.h"
#include "reports/kolvasterhtmlviewer.h"
#include "reports/motormodulo.h"
#include "sesion.h"
#include "guion.h"
#include "testdb.h"
#include "ui_kolvaster.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// What a script gives back in the page the viewer shows.
QString textoDePagina(QWidget *visor)
{
    QString r = QStringLiteral("<sin respuesta>");
    bool hecho = false;
    visor->findChild<QWebEngineView *>("wv_main")->page()->runJavaScript(
        "document.body.innerText", [&](const QVariant &x) {
            r = x.toString();
            hecho = true;
        });
    for (int i = 0; i < 3000 && !hecho; ++i)
        QTest::qWait(10);
    return r;
}

} // namespace

class TstAccesos : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;

private slots:

    void cleanup() { TestDb::cerrarSesion(); }

    // The report's engine is loaded with the first report (so this runs before any other): a
    // launcher without it, or with a file in its place that is no module, shows the error
    // dialog with the reason, reports it and ends there, without a viewer and without a crash.
    void sinModuloDeReportes()
    {
        TestDb::limpiar();
        TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        QTemporaryDir vacia, rota;
        const QString falsa = rota.filePath(MotorModulo::nombreArchivo());
        escribirArchivo(falsa, QByteArray("\x7f" "ELF\x02\x01\x01 no es un modulo", 26));
        const struct {
            QString carpeta;
            QString motivo;
        } casos[] = {
            {vacia.path(), "no se encuentra el archivo " + MotorModulo::nombreArchivo() + " en "
                               + vacia.path()},
            {rota.path(), falsa},
        };
        // The tests after this one find the module where the build puts it.
        const auto restaurar = qScopeGuard([this] {
            MotorModulo::fijarCarpetas({QStringLiteral(KOLVASTER_MODULO_PRUEBA)});
            guion.olvidar();
        });
        for (const auto &c : casos) {
            guion.olvidar();
            Notificador::reiniciar();
            MotorModulo::fijarCarpetas({c.carpeta});
            EntornoSesion entorno;
            auto w = entorno.iniciar("ana", TestDb::clave("ana"));
            QVERIFY(!w->terminado());
            bool visor = false;
            entorno.driver().luego([&visor, cerrarError = DriverModal::cerrarError()](QWidget *d) {
                if (auto *v = qobject_cast<KolvasterHTMLViewer *>(d)) {
                    visor = true;
                    v->reject();
                    return true;
                }
                return cerrarError(d);
            });
            w->ui->actionMis_ultimos_accesos->trigger();
            QVERIFY(w->terminado());
            QCOMPARE(salidas, QList<int>{0});
            QVERIFY(!visor);
            const QList<QJsonObject> pedidos = Notificador::pedidos();
            QCOMPARE(pedidos.size(), 1);
            const QString mensaje = pedidos[0]["query"]["mensaje"].toString();
            QVERIFY2(mensaje.contains("\nDetalle error: No se puede cargar el modulo de reportes (")
                         && mensaje.contains(c.motivo),
                     qPrintable(mensaje));
            QString motivo;
            QVERIFY(!KolvasterHTMLViewer::disponible(&motivo));
            QVERIFY(motivo.contains(c.motivo));
        }
    }

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

        // The page is shown, printing finds no printer here and says so, and the PDF is written.
        QString fuente, titulo, pagina;
        QTemporaryDir dir;
        const QString pdf = dir.filePath("accesos.pdf");
        entorno.driver().luego([&](QWidget *d) {
            auto *visor = qobject_cast<KolvasterHTMLViewer *>(d);
            if (!visor || !visor->findChild<QLabel *>("lab_lo")->isHidden())
                return false;
            fuente = visor->htmlSource();
            titulo = visor->windowTitle();
            pagina = textoDePagina(visor);
            visor->findChild<QPushButton *>("pb_print")->click();
            Mensajes::responder(pdf);
            visor->findChild<QPushButton *>("pb_pdf")->click();
            visor->reject();
            return true;
        });
        Mensajes::olvidar();
        w->ui->actionMis_ultimos_accesos->trigger();
        QCOMPARE(titulo, QString("Kolvaster - Registro Ingreso Usuario"));
        QVERIFY2(pagina.startsWith("Kolvaster - Registro Ingreso Usuario\n"), qPrintable(pagina));
        QVERIFY2(pagina.contains(esperadas.first()), qPrintable(pagina));
        const auto cajas = Mensajes::mostrados();
        QCOMPARE(cajas.size(), 2);
        QCOMPARE(cajas.at(0).titulo, QString("Impresion !"));
        QCOMPARE(cajas.at(1).tipo, Mensajes::Tipo::ArchivoGuardar);
        const QByteArray escrito = leer(pdf);
        QVERIFY(escrito.startsWith("%PDF"));
        QVERIFY(escrito.contains("/Font"));
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
