// The version gate at start-up: exact comparison with the launcher's version, the outdated
// dialog and its download link, and the administrator who is never stopped.
#include "base/constantes.h"
#include "app/kolvaster.h"
#include "app/kolvasternewver.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "notificador.h"
#include "sesion.h"
#include "guion.h"
#include "testdb.h"

#include <QDesktopServices>
#include <QDialog>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrl>

// Stands in for the desktop's browser.
namespace {
int logins()
{
    return TestDb::contar("SELECT 1 FROM sysuserelog WHERE sysuserelogtipo_id=1");
}

void fijarVersion(const QString &v)
{
    TestDb::ejecutar("UPDATE kolvaster SET versionlauncher=?", {v});
}

// Starts ana's launcher, answering the connection dialog and then the given dialog.
std::unique_ptr<Kolvaster> iniciarYLuego(EntornoSesion &entorno, DriverModal::Respuesta luego)
{
    entorno.driver().luego(DriverModal::conectar("127.0.0.1", TestDb::base(), "ana",
                                                 TestDb::clave("ana")));
    entorno.driver().luego(std::move(luego));
    return std::make_unique<Kolvaster>();
}
} // namespace

class TstVersion : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;
    Navegador navegador;

private slots:

    void init()
    {
        TestDb::limpiar();
        TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        Notificador::reiniciar();
        Mensajes::olvidar();
        salidas.clear();
        navegador.abiertas.clear();
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void versionExactaPasa()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());
        QCOMPARE(logins(), 1);
    }

    void otraVersionDetiene_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("mayuscula") << "V5.2";
        QTest::newRow("blanco final") << "v5.2 ";
        QTest::newRow("anterior") << "v5.1";
        QTest::newRow("posterior") << "v6.0";
    }

    // Closing the dialog any way but its link ends the start without opening anything.
    void otraVersionDetiene()
    {
        QFETCH(QString, version);
        fijarVersion(version);
        EntornoSesion entorno;
        QString mostrada, titulo, enlace;
        auto w = iniciarYLuego(entorno, [&](QWidget *w) {
            if (qstrcmp(w->metaObject()->className(), "KolvasterNewVer") != 0)
                return false;
            mostrada = w->findChild<QLabel *>("lab_req")->text();
            enlace = w->findChild<QPushButton *>("pb_new")->text();
            titulo = w->windowTitle();
            static_cast<QDialog *>(w)->reject();
            return true;
        });
        QVERIFY(w->terminado());
        QCOMPARE(salidas, QList<int>{0});
        QCOMPARE(mostrada, version);
        QCOMPARE(titulo, QString("Version de programa no valida!"));
        QCOMPARE(enlace, "http://" + QString(KOLVASTER_MAKER_HOST) + "/kolvaster/");
        QVERIFY(navegador.abiertas.isEmpty());
        QCOMPARE(logins(), 0);
    }

    void enlaceDeDescarga()
    {
        fijarVersion("v5.1 beta&x");
        EntornoSesion entorno;
        auto w = iniciarYLuego(entorno, [](QWidget *w) {
            if (qstrcmp(w->metaObject()->className(), "KolvasterNewVer") != 0)
                return false;
            w->findChild<QPushButton *>("pb_new")->click();
            return true;
        });
        QVERIFY(w->terminado());
        QCOMPARE(salidas, QList<int>{0});
        QCOMPARE(navegador.abiertas.size(), 1);
        const QUrl url = navegador.abiertas.at(0);
        QCOMPARE(url.host() + ":" + QString::number(url.port()), QString(KOLVASTER_MAKER_HOST));
        QCOMPARE(url.path(), QString("/kolvaster/index.php"));
        QCOMPARE(url.query(QUrl::FullyDecoded), QString("DV=v5.1 beta&x"));
        QCOMPARE(logins(), 0);
    }

    void administradorNuncaSeDetiene()
    {
        TestDb::crearUsuario("dbadmin", "Administrador");
        TestDb::ejecutar("DELETE FROM kolvaster");
        {
            EntornoSesion entorno;
            auto w = entorno.iniciar("dbadmin", TestDb::claveAdmin);
            QVERIFY(!w->terminado());
        }
        TestDb::cerrarSesion();
        TestDb::ejecutar("INSERT INTO kolvaster (versionlauncher) VALUES ('v1.0')");
        EntornoSesion entorno;
        auto w = entorno.iniciar("dbadmin", TestDb::claveAdmin);
        QVERIFY(!w->terminado());
        QVERIFY(salidas.isEmpty());

        // The gate itself, on this open session, for the texts it compares.
        QCOMPARE(w->verificarVersion(), QString("v1.0"));
        fijarVersion("v5.2");
        QCOMPARE(w->verificarVersion(), QString());
    }

    void sinFilaDeVersion()
    {
        TestDb::ejecutar("DELETE FROM kolvaster");
        EntornoSesion entorno;
        auto w = iniciarYLuego(entorno, DriverModal::cerrarError());
        QVERIFY(w->terminado());
        QTRY_COMPARE_WITH_TIMEOUT(Notificador::pedidos().size(), 1, 30000);
        QVERIFY(Notificador::pedidos()
                    .at(0)
                    .value("query")
                    .toObject()
                    .value("mensaje")
                    .toString()
                    .contains("Detalle error: Sin registros al obtener version!"));
        QCOMPARE(logins(), 0);
    }
};

QTEST_MAIN(TstVersion)
#include "tst_version.moc"
