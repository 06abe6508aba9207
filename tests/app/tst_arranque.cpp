// The main window's start-up and shut-down against the real server: connection procedure,
// identification, session log, icon-size option, signal indicator.
#include "archivos.h"
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "db/apertura.h"
#include "notificador.h"
#include "sesion.h"
#include "guion.h"
#include "testdb.h"
#include "ui_kolvaster.h"

#include <QFile>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>

class TstArranque : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;
    qint64 ana = 0;

private slots:

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana Gomez");
        Notificador::reiniciar();
        Mensajes::olvidar();
        salidas.clear();
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void sesionNormal()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());
        QVERIFY(salidas.isEmpty());
        QCOMPARE(w->windowTitle(), QString("Kolvaster (Manejador de Aplicaciones)"));
        QVERIFY(w->isVisible());
        QVERIFY(w->isMaximized());
        QCOMPARE(w->uid, ana);
        QCOMPARE(w->db.userName(), TestDb::cuenta("ana"));
        QCOMPARE(w->db.connectOptions(), QString("CLIENT_COMPRESS"));
        // The first keep-alive round was measured before the event loop.
        bool numero = false;
        w->ui->lab_signal->toolTip().toLongLong(&numero);
        QVERIFY(numero);
        QCOMPARE(TestDb::tiposLog(), QList<int>{1});
        // Without remember, no defaults file appears.
        QVERIFY(!QFile::exists(entorno.trabajo() + "/defaults"));

        w.reset();
        QCOMPARE(TestDb::tiposLog(), (QList<int>{1, 2}));
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserelog WHERE sysuser_id=? AND "
                                "cuando >= NOW() - INTERVAL 1 MINUTE",
                                {ana}),
                 2);
    }

    void indicadorDeSenal()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        const struct {
            qint64 ms;
            const char *imagen;
        } casos[] = {{-3, ":/signal_full.png"}, {0, ":/signal_full.png"},
                     {4, ":/signal_full.png"},  {5, ":/signal_mid.png"},
                     {49, ":/signal_mid.png"},  {50, ":/signal_low.png"},
                     {1200, ":/signal_low.png"}};
        for (const auto &c : casos) {
            QVERIFY(!QPixmap(QString::fromLatin1(c.imagen)).isNull());
            w->responderKeepAlive(c.ms);
            QCOMPARE(w->ui->lab_signal->pixmap().toImage(),
                     QPixmap(QString::fromLatin1(c.imagen)).toImage());
            QCOMPARE(w->ui->lab_signal->toolTip(), QString::number(c.ms));
        }
    }

    void usuarioSinFilaEnSysuser()
    {
        EntornoSesion entorno;
        entorno.driver().luego(DriverModal::cerrarError());
        auto w = entorno.iniciar("beto", TestDb::clave("beto"));
        QVERIFY(w->terminado());
        QCOMPARE(salidas.value(0, -1), 0);
        const QList<QJsonObject> pedidos = Notificador::pedidos();
        QCOMPARE(pedidos.size(), 1);
        QVERIFY(pedidos[0]["query"]["mensaje"].toString().contains(
            "\nDetalle error: Usuario no Registrado en Sistema\n"));
        w.reset();
        QVERIFY(TestDb::tiposLog().isEmpty());
    }

    void preferenciaDeIconos_data()
    {
        QTest::addColumn<bool>("noUniformes");
        QTest::newRow("con fila") << true;
        QTest::newRow("sin fila") << false;
    }

    void preferenciaDeIconos()
    {
        QFETCH(bool, noUniformes);
        if (noUniformes)
            TestDb::ejecutar("INSERT INTO kolvasterop (sysuser_id,llave,valor) "
                             "VALUES (?,'NOUNIFORMICONSIZES','')",
                             {ana});
        // Another user's option must not leak into this session.
        TestDb::ejecutar("INSERT INTO kolvasterop (sysuser_id,llave,valor) "
                         "VALUES (?,'NOUNIFORMICONSIZES','')",
                         {ana + 100});
        for (const char *titulo : {"Zeta", "alfa", "Medio"}) {
            const qint64 app = TestDb::crearApp(QString::fromLatin1(titulo).toLower(),
                                                QString::fromLatin1(titulo), QByteArray("bin"));
            TestDb::otorgar(ana, app, true);
        }
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QCOMPARE(w->ui->actionUnificar_tama_o_iconos->isChecked(), noUniformes);
        QCOMPARE(w->ui->lw_apps->uniformItemSizes(), !noUniformes);
        QStringList titulos;
        for (int i = 0; i < w->ui->lw_apps->count(); ++i)
            titulos << w->ui->lw_apps->item(i)->text();
        QCOMPARE(titulos, (QStringList{"Medio", "Zeta", "alfa"}));
    }

    void dosFallos()
    {
        EntornoSesion entorno;
        entorno.driver().luego(
            DriverModal::conectar("127.0.0.1", TestDb::base(), "ana", "mala", true));
        entorno.driver().luego(DriverModal::cancelarConexion()); // must never be needed
        auto w = entorno.iniciar("ana", "otra-mala");
        QVERIFY(w->terminado());
        QCOMPARE(salidas, QList<int>{0});
        QCOMPARE(entorno.driver().pendientes(), 1); // the dialog was shown exactly twice
        const QList<Mensajes::Mostrado> m = Mensajes::mostrados();
        QCOMPARE(m.size(), 2);
        QCOMPARE(m[0].tipo, Mensajes::Tipo::Advertencia);
        QCOMPARE(m[0].titulo, QString("Error en conexion!"));
        const QString blancos30(30, ' ');
        QCOMPARE(m[0].texto, "No se pudo establecer conexion segun los datos ingresados!<br><br>"
                                 + blancos30 + "A continuacion se le pedira reingrese TODOS los "
                                 "datos<br>" + blancos30 + "de conexion. Preste atencion a cada "
                                 "cuadro y complete<br>" + blancos30
                                 + "cuidadosamente (respetando mayusculas / minusculas).");
        QCOMPARE(m[1].titulo, QString("Error de conexion!"));
        QCOMPARE(m[1].texto, "No se pudo establecer conexion ! Los datos ingresados<br>"
                                 + QString(34, ' ')
                                 + "son incorrectos o el servidor no esta disponible!");
        // Remember was ticked, but nothing connected: no file.
        QVERIFY(!QFile::exists(entorno.trabajo() + "/defaults"));
        w.reset();
        QVERIFY(TestDb::tiposLog().isEmpty());
    }

    void cancelarConexion()
    {
        EntornoSesion entorno;
        entorno.driver().luego(DriverModal::cancelarConexion());
        auto w = std::make_unique<Kolvaster>();
        QVERIFY(w->terminado());
        QCOMPARE(salidas, QList<int>{0});
        QVERIFY(Mensajes::mostrados().isEmpty());
        w.reset();
        QVERIFY(TestDb::tiposLog().isEmpty());
    }

    void predeterminadosAlConectar_data()
    {
        QTest::addColumn<bool>("primera");  // remember ticked at the first showing
        QTest::addColumn<bool>("segunda");  // ... at the second (after a failure), if any
        QTest::addColumn<bool>("fallaPrimero");
        QTest::addColumn<QByteArray>("esperado");
        const QByteArray escrito = "127.0.0.1\n" + TestDb::base().toLatin1() + "\nana\n";
        QTest::newRow("recordar al primer intento") << true << false << false << escrito;
        QTest::newRow("recordar solo al segundo") << false << true << true << escrito;
        QTest::newRow("desmarcado al segundo") << true << false << true << QByteArray("previo\n");
        QTest::newRow("sin recordar") << false << false << false << QByteArray("previo\n");
    }

    void predeterminadosAlConectar()
    {
        QFETCH(bool, primera);
        QFETCH(bool, segunda);
        QFETCH(bool, fallaPrimero);
        QFETCH(QByteArray, esperado);
        EntornoSesion entorno;
        {
            QFile f(entorno.trabajo() + "/defaults");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("previo\n");
        }
        const QString base = " " + TestDb::base() + " ";
        if (fallaPrimero) {
            entorno.driver().luego(DriverModal::conectar(" 127.0.0.1", base, " ana", "mala", primera));
            entorno.driver().luego(
                DriverModal::conectar("127.0.0.1 ", base, "ana ", TestDb::clave("ana"), segunda));
        } else {
            entorno.driver().luego(DriverModal::conectar(" 127.0.0.1 ", base, "  ana ",
                                                         " " + TestDb::clave("ana") + " ",
                                                         primera));
        }
        auto w = std::make_unique<Kolvaster>();
        QVERIFY(!w->terminado());
        // Blanks typed around the fields never reach the server.
        QCOMPARE(w->db.userName(), TestDb::cuenta("ana"));
        QCOMPARE(Apertura::servidor(w->db.hostName()), QString("127.0.0.1"));
        QCOMPARE(leer(entorno.trabajo() + "/defaults"), esperado);
    }

    void predeterminadosLlenanElDialogo()
    {
        EntornoSesion entorno;
        {
            QFile f(entorno.trabajo() + "/defaults");
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("127.0.0.1\n" + TestDb::base().toLatin1() + "\nana\n");
        }
        QString servidor, sistema, usuario;
        entorno.driver().luego([&](QWidget *d) {
            servidor = d->findChild<QLineEdit *>("le_server")->text();
            sistema = d->findChild<QLineEdit *>("le_sistema")->text();
            usuario = d->findChild<QLineEdit *>("le_usuario")->text();
            d->findChild<QLineEdit *>("le_pass")->setText(TestDb::clave("ana"));
            d->findChild<QPushButton *>("pb_conn")->click();
            return true;
        });
        auto w = std::make_unique<Kolvaster>();
        QCOMPARE(servidor, QString("127.0.0.1"));
        QCOMPARE(sistema, TestDb::base());
        QCOMPARE(usuario, QString("ana"));
        QVERIFY(!w->terminado());
    }
};

QTEST_MAIN(TstArranque)
#include "tst_arranque.moc"
