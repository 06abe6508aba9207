// The keep-alive round: measures "SELECT 1;", reopens a closed connection, and ends the
// process when the connection cannot be had again.
#include "base/mensajes.h"
#include "base/salida.h"
#include "db/kolvasterdbconnkeepalive.h"
#include "modal.h"
#include "notificador.h"
#include "guion.h"
#include "testdb.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class TstKeepAlive : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;

private slots:
    void initTestCase()
    {
        TestDb::limpiar();
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void rondaYReapertura()
    {
        QSqlDatabase db = TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
        KolvasterDBConnKeepAlive k(&db, 7, "Kolvaster");
        k.iniciar();
        auto *timer = k.findChild<QTimer *>();
        QVERIFY(timer && timer->isActive());
        QCOMPARE(timer->interval(), 50000);

        QSignalSpy medidas(&k, &KolvasterDBConnKeepAlive::conexionOK);
        k.keepAlive();
        db.close();
        k.keepAlive();
        QCOMPARE(medidas.size(), 2);
        QVERIFY(db.isOpen());
        QVERIFY(medidas[1][0].toLongLong() >= 0);
        QVERIFY(salidas.isEmpty());
    }

    void conexionIrrecuperable()
    {
        Notificador::reiniciar();
        QSqlDatabase db = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin);
        db.close();
        db.setPassword("ya-no-es-esta");
        KolvasterDBConnKeepAlive k(&db, 7, "Kolvaster");
        QSignalSpy medidas(&k, &KolvasterDBConnKeepAlive::conexionOK);
        DriverModal driver;
        QString detalle;
        driver.luego(DriverModal::cerrarError(&detalle));
        k.keepAlive();
        QCOMPARE(salidas.value(0, -1), 0);
        QVERIFY(medidas.isEmpty());
        // The administrator is shown the error text itself; nothing is reported.
        QCOMPARE(Mensajes::mostrados().size(), 1);
        QCOMPARE(Mensajes::mostrados()[0].texto, QString("Database no esta open en keepalive"));
        QVERIFY(detalle.startsWith("Se perdio conexion con el servidor de base de datos."));
        QVERIFY(Notificador::pedidos().isEmpty());
    }
};

QTEST_MAIN(TstKeepAlive)
#include "tst_keepalive.moc"
