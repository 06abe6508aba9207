// The error dialog against the real server and the notifier stand-in: what the report says,
// how it travels, and that the process always ends.
#include "base/mensajes.h"
#include "base/salida.h"
#include "errors/kolvastererrorhandler.h"
#include "notificador.h"
#include "guion.h"
#include "testdb.h"

#include <QJsonObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

class TstErrorHandler : public QObject
{
    Q_OBJECT

    QSqlDatabase sesion;
    qint64 uid = 0;
    Guion guion;
    QList<int> &salidas = guion.salidas;

    static QPlainTextEdit *detalle(QWidget *d)
    {
        return d->findChild<QPlainTextEdit *>(QStringLiteral("pte_dete"));
    }
    static QPushButton *ok(QWidget *d) { return d->findChild<QPushButton *>(QStringLiteral("pb_ok")); }

    // Runs the dialog the way callers do; presses OK once the outcome is known. Returns the
    // status messages it showed.
    QString correr(qint64 usuario, const QString &error)
    {
        QString mostrado;
        QTimer pulsador;
        connect(&pulsador, &QTimer::timeout, this, [&] {
            auto *d = qobject_cast<KolvasterErrorHandler *>(QApplication::activeModalWidget());
            if (d && ok(d)->isEnabled()) {
                mostrado = detalle(d)->toPlainText();
                ok(d)->click();
            }
        });
        pulsador.start(20);
        KolvasterErrorHandler::mostrar(&sesion, usuario, QStringLiteral("Kolvaster"), error,
                                       nullptr);
        return mostrado;
    }

    void matarSesion()
    {
        QSqlQuery q(sesion);
        QVERIFY(q.exec("SELECT CONNECTION_ID()") && q.next());
        TestDb::ejecutar(QStringLiteral("KILL %1").arg(q.value(0).toLongLong()));
    }

    // The first exit ends the real process; an intercepted one may be followed by the
    // destructor's.
    void terminoConCero()
    {
        QVERIFY(!salidas.isEmpty());
        QCOMPARE(salidas.first(), 0);
    }

private slots:

    void init()
    {
        TestDb::limpiar();
        uid = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        sesion = TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
        Notificador::reiniciar();
        Mensajes::olvidar();
        salidas.clear();
    }

    void cleanup()
    {
        sesion = QSqlDatabase();
        TestDb::cerrarSesion();
    }


    void formulario()
    {
        Notificador::demorar(300);
        KolvasterErrorHandler d(&sesion, uid, "Kolvaster", "x", nullptr);
        QCOMPARE(d.size(), QSize(548, 214));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QCOMPARE(d.windowTitle(), QString("Error!"));
        QCOMPARE(d.windowModality(), Qt::WindowModal);
        QVERIFY(d.windowFlags() & Qt::CustomizeWindowHint);
        QVERIFY(!(d.windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowTitleHint
                                     | Qt::WindowSystemMenuHint)));
        QVERIFY(detalle(&d)->isReadOnly());
        // A report is under way: OK cannot be pressed until the notifier answers.
        QVERIFY(!ok(&d)->isEnabled());
        QTRY_VERIFY(ok(&d)->isEnabled());
        QVERIFY(detalle(&d)->toPlainText().endsWith("Reporte de error enviado con exito"));
    }

    void reporteCompletoYCodificado()
    {
        const QString error = QStringLiteral("Table 'x' doesn't exist\nsegunda linea & a=b #3 + 50% ñ");
        const QString mostrado = correr(uid, error);
        terminoConCero();
        QVERIFY(mostrado.contains("Preparando reporte de error...\nEnviando reporte..."));
        QVERIFY(mostrado.endsWith("Reporte de error enviado con exito"));

        const QList<QJsonObject> pedidos = Notificador::pedidos();
        QCOMPARE(pedidos.size(), 1);
        const QJsonObject query = pedidos[0]["query"].toObject();
        QCOMPARE(query.keys(), (QStringList{"authkey", "mensaje"}));
        QCOMPARE(query["authkey"].toString(), QString("qowzr57"));
        QCOMPARE(query["mensaje"].toString(),
                 "Usuario: " + TestDb::cuenta("ana") + "\nPrograma: Kolvaster\nDetalle error: "
                     + error + "\nEstado error DB:\nEsquema: " + TestDb::base() + "\n");
        // The only raw "&" separates the two keys; "+" must not turn into a blank.
        const QString raw = pedidos[0]["raw"].toString();
        QCOMPARE(raw.count('&'), 1);
        QVERIFY(raw.contains("%2B"));
        QVERIFY(!raw.contains('#'));
    }

    void usuarioDesconocidoOSinFila()
    {
        correr(0, "e1");
        correr(987654, "e2");
        const QList<QJsonObject> pedidos = Notificador::pedidos();
        QCOMPARE(pedidos.size(), 2);
        QVERIFY(pedidos[0]["query"]["mensaje"].toString().startsWith(
            "Usuario: (USUARIO DESCONOCIDO)\nPrograma: Kolvaster\nDetalle error: e1\n"));
        // A lookup that finds nobody leaves the line unfinished.
        QVERIFY(pedidos[1]["query"]["mensaje"].toString().startsWith(
            "Usuario: Programa: Kolvaster\nDetalle error: e2\n"));
    }

    void notifierConError()
    {
        Notificador::responderCon(500);
        const QString mostrado = correr(uid, "falla");
        QVERIFY(mostrado.endsWith("** FALLO ENVIO REPORTE DE ERROR **\nPor favor, notifique "
                                  "novedad al Administrador de Sistemas."));
        terminoConCero();
    }

    void escapeDuranteEnvioTambienTermina()
    {
        Notificador::demorar(2000);
        QTimer::singleShot(100, this, [] {
            QWidget *d = QApplication::activeModalWidget();
            QVERIFY(d && !ok(d)->isEnabled());
            QTest::keyClick(d, Qt::Key_Escape);
        });
        KolvasterErrorHandler::mostrar(&sesion, uid, "Kolvaster", "x", nullptr);
        terminoConCero();
    }

    // Closed before the event loop has had a turn to send the report (Escape at once on a
    // busy machine): the report still reaches the notifier before the process ends.
    void cerradoAntesDeEnviarIgualReporta()
    {
        {
            KolvasterErrorHandler d(&sesion, uid, "Kolvaster", "apurado", nullptr);
            d.reject();
        }
        terminoConCero();
        QCOMPARE(Notificador::pedidos().size(), 1);
    }

    void administradorNoReporta()
    {
        sesion = QSqlDatabase();
        TestDb::cerrarSesion();
        sesion = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin);
        const QString mostrado = correr(uid, "detalle tecnico");
        QCOMPARE(Mensajes::mostrados().size(), 1);
        QCOMPARE(Mensajes::mostrados()[0].tipo, Mensajes::Tipo::Critico);
        QCOMPARE(Mensajes::mostrados()[0].titulo, QString("Detalle de Error para DBADMIN"));
        QCOMPARE(Mensajes::mostrados()[0].texto, QString("detalle tecnico"));
        QCOMPARE(mostrado, QString("Sos DBADMIN. Nada de reporte de error."));
        QVERIFY(Notificador::pedidos().isEmpty());
    }

    void conexionPerdidaNoReporta_data()
    {
        QTest::addColumn<bool>("admin");
        QTest::newRow("usuario") << false;
        QTest::newRow("dbadmin") << true;
    }

    void conexionPerdidaNoReporta()
    {
        QFETCH(bool, admin);
        if (admin) {
            sesion = QSqlDatabase();
            TestDb::cerrarSesion();
            sesion = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin);
        }
        matarSesion();
        const QString mostrado = correr(uid, "se fue");
        QCOMPARE(mostrado, QString("Se perdio conexion con el servidor de base de datos.\n\n"
                                   "Verifique el servidor este online y\ntenga desde su estacion "
                                   "de trabajo buena\nconectividad.\n\nEste error NO sera "
                                   "reportado."));
        QCOMPARE(Mensajes::mostrados().size(), admin ? 1 : 0);
        QVERIFY(Notificador::pedidos().isEmpty());
        terminoConCero();
    }
};

QTEST_MAIN(TstErrorHandler)
#include "tst_errorhandler.moc"
