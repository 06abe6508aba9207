// The process-ending paths, end to end: a real launcher in a child process, its exit status,
// and what it did and did not write.
#include "notificador.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

class TstSalidas : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        TestDb::limpiar();
        TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana Gomez");
        Notificador::reiniciar();
    }

    void escenarios_data()
    {
        QTest::addColumn<QString>("escenario");
        QTest::addColumn<QList<int>>("log");
        QTest::addColumn<int>("reportes");
        QTest::newRow("sesion cerrada por el usuario") << "normal" << QList<int>{1, 2} << 0;
        QTest::newRow("dialogo de conexion cancelado") << "cancelar" << QList<int>{} << 0;
        QTest::newRow("dos intentos fallidos") << "dos-fallos" << QList<int>{} << 0;
        QTest::newRow("usuario sin registrar, OK") << "sin-usuario" << QList<int>{} << 1;
        QTest::newRow("usuario sin registrar, Escape") << "escape-error" << QList<int>{} << 1;
    }

    void escenarios()
    {
        QFETCH(QString, escenario);
        QFETCH(QList<int>, log);
        QFETCH(int, reportes);

        QTemporaryDir home, trabajo;
        QDir(home.path()).mkpath("Kolvaster");
        for (const char *lib : {"libeay32.dll", "ssleay32.dll"}) {
            QFile f(home.filePath(QStringLiteral("Kolvaster/") + lib));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QProcess hijo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        hijo.setProcessEnvironment(env);
        hijo.setWorkingDirectory(trabajo.path());
        hijo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        hijo.start(qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/tests/app/kolvaster_escenario",
                   {escenario});
        QVERIFY(hijo.waitForFinished(60000));
        QCOMPARE(hijo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(hijo.exitCode(), 0);
        QCOMPARE(TestDb::tiposLog(), log);
        QCOMPARE(Notificador::pedidos().size(), reportes);
        // Nothing is written to the working directory without "Predeterminar datos".
        QVERIFY(QDir(trabajo.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstSalidas)
#include "tst_salidas.moc"
