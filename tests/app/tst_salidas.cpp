// The process-ending paths, end to end: a real launcher in a child process, its exit status,
// and what it did and did not write or leave behind.
#include "notificador.h"
#include "registroprivado.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSharedMemory>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QString binario(const QString &relativo)
{
    return qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + relativo;
}

QString clave(const QString &nombre)
{
    return "KOLVASTER_" + TestDb::base() + "_" + nombre;
}

// The box a program of the suite shows when no launcher publishes the entry.
QString cajaLector(const QString &clave)
{
    return "CAJA|Error !|Error al acceder a recurso compartido !<br>Comunique novedad al "
           "Administrador de Sistemas !<br><br>Nombre de recurso: "
           + clave;
}

// What the session-record reader of the suite's programs prints for one entry, run in a
// process of its own (sistema "-" is the workstation's default system).
QString leerComoPrograma(const QString &sistema, const QString &nombre)
{
    QProcess p;
    p.start(binario("/tests/share/ayudante_sesion"), {"leer", sistema, nombre});
    if (!p.waitForFinished(30000))
        qFatal("reader child did not finish");
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Whether a live process publishes the default system (an orphan is removed by looking).
bool defectoOcupado()
{
    for (int i = 0; i < 2; ++i) {
        QSharedMemory s(QStringLiteral("KOLVASTER_DEFSYSNAME"));
        if (!s.attach())
            return false;
        s.detach();
    }
    return true;
}

// Alive and not a zombie waiting to be reaped.
bool vivo(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray linea = stat.readAll();
    return linea.mid(linea.lastIndexOf(')') + 2, 1) != "Z";
}

} // namespace

class TstSalidas : public QObject
{
    Q_OBJECT

    qint64 ana = 0;
    QTemporaryDir *home = nullptr, *trabajo = nullptr;
    QProcess *hijo = nullptr;

    // Starts the launcher in a child process on a fresh home (with the installation folder)
    // and working directory.
    void iniciar(const QString &escenario)
    {
        QDir(home->path()).mkpath("Kolvaster");
        for (const char *lib : {"libeay32.dll", "ssleay32.dll"}) {
            QFile f(home->filePath(QStringLiteral("Kolvaster/") + lib));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home->path());
        hijo->setProcessEnvironment(env);
        hijo->setWorkingDirectory(trabajo->path());
        hijo->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        hijo->start(binario("/tests/app/kolvaster_escenario"), {escenario});
        QVERIFY(hijo->waitForStarted());
    }

    void esperarFinNormal()
    {
        QVERIFY(hijo->waitForFinished(60000));
        QCOMPARE(hijo->exitStatus(), QProcess::NormalExit);
        QCOMPARE(hijo->exitCode(), 0);
    }

    void esperarListo()
    {
        while (!hijo->canReadLine())
            QVERIFY2(hijo->waitForReadyRead(60000), "the launcher never got to its dialog");
        QCOMPARE(hijo->readLine().trimmed(), QByteArray("LISTO"));
    }

    // Nothing of the session is left for a program started afterwards: the reader gets its
    // "Error !" box, not the old host, account and password.
    void sinRegistroDeSesion()
    {
        QCOMPARE(leerComoPrograma(TestDb::base(), "PASS"), cajaLector(clave("PASS")));
        QCOMPARE(leerComoPrograma(TestDb::base(), "USER"), cajaLector(clave("USER")));
        if (defectoOcupado())
            return; // another launcher of this machine publishes it
        QCOMPARE(leerComoPrograma("-", "USER"), cajaLector("KOLVASTER_DEFSYSNAME"));
    }

private slots:
    // This process looks for the record where the launcher and the reader keep it.
    void initTestCase() { QVERIFY(RegistroPrivado::preparar()); }

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana Gomez");
        Notificador::reiniciar();
        home = new QTemporaryDir;
        trabajo = new QTemporaryDir;
        hijo = new QProcess;
    }

    void cleanup()
    {
        if (hijo->state() != QProcess::NotRunning) {
            hijo->kill();
            hijo->waitForFinished();
        }
        delete hijo;
        delete trabajo;
        delete home;
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
        QTest::newRow("error durante la sesion") << "error-sesion" << QList<int>{1} << 1;
    }

    void escenarios()
    {
        QFETCH(QString, escenario);
        QFETCH(QList<int>, log);
        QFETCH(int, reportes);

        iniciar(escenario);
        esperarFinNormal();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(TestDb::tiposLog(), log);
        QCOMPARE(Notificador::pedidos().size(), reportes);
        // Nothing is written to the working directory without "Predeterminar datos".
        QVERIFY(QDir(trabajo->path()).isEmpty());
        sinRegistroDeSesion();
    }

    // A launched window speaks Spanish in Qt's own words too, while the texts of the boxes stay
    // the launcher's own.
    void cajasEnEspanol()
    {
        iniciar("dos-fallos");
        esperarFinNormal();
        const QStringList cajas =
            QString::fromUtf8(hijo->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(cajas.size(), 2);
        QVERIFY2(cajas.at(0).startsWith("CAJA Error en conexion!|No se pudo establecer conexion "
                                        "segun los datos ingresados!<br><br>"),
                 qPrintable(cajas.at(0)));
        QVERIFY2(cajas.at(1).startsWith("CAJA Error de conexion!|No se pudo establecer "
                                        "conexion ! Los datos ingresados<br>"),
                 qPrintable(cajas.at(1)));
        for (const QString &caja : cajas)
            QVERIFY2(caja.endsWith("|Aceptar"), qPrintable(caja));
    }

    // Ended from outside while the About dialog is open and a program runs: the session closes
    // as if the window had been closed.
    void senalDuranteLaSesion_data()
    {
        QTest::addColumn<int>("senal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void senalDuranteLaSesion()
    {
        QFETCH(int, senal);
        const QString pidPrograma = home->filePath("dormir.pid");
        TestDb::otorgar(ana,
                        TestDb::crearApp("dormir", "Dormir",
                                         QByteArray("#!/bin/sh\necho $$ > \"$HOME/dormir.pid\"\n"
                                                    "exec sleep 300\n")),
                        true);
        iniciar("senal-sesion");
        esperarListo();
        if (QTest::currentTestFailed())
            return;
        QTRY_VERIFY_WITH_TIMEOUT(QFile(pidPrograma).size() > 0, 10000);
        QFile f(pidPrograma);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const qint64 programa = f.readAll().trimmed().toLongLong();
        QVERIFY(vivo(programa));

        ::kill(pid_t(hijo->processId()), senal);
        esperarFinNormal();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(TestDb::tiposLog(), (QList<int>{1, 2}));
        QCOMPARE(TestDb::contar("SELECT 1 FROM appuse"), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!vivo(programa), 5000);
        sinRegistroDeSesion();
    }

    // Before the login there is no session to close: the process just ends.
    void senalDuranteLaConexion()
    {
        iniciar("senal-conexion");
        esperarListo();
        ::kill(pid_t(hijo->processId()), SIGTERM);
        esperarFinNormal();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(TestDb::tiposLog(), QList<int>{});
        QVERIFY(QDir(trabajo->path()).isEmpty());
    }

    // An idle session maps nothing of the web engine, Qt Quick, OpenGL or printing (they come
    // with the report engine's module); the first report loads them, shows its page, and the
    // session then ends as usual.
    void motorDeReportesAlPrimerReporte()
    {
        iniciar("reporte");
        QVERIFY(hijo->waitForFinished(120000));
        const QStringList lineas =
            QString::fromUtf8(hijo->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(hijo->exitCode(), 0);
        QCOMPARE(lineas.value(0).trimmed(), QString("INACTIVO"));
        const QString reporte = lineas.value(1);
        QVERIFY2(reporte.startsWith("REPORTE "), qPrintable(lineas.join('|')));
        for (const char *lib : {"libkolvastervisor.so", "libQt6WebEngineCore.so",
                                "libQt6Quick.so", "libQt6PrintSupport.so"})
            QVERIFY2(reporte.contains(lib), qPrintable(reporte));
        QCOMPARE(TestDb::tiposLog(), (QList<int>{1, 2}));
    }
};

QTEST_GUILESS_MAIN(TstSalidas)
#include "tst_salidas.moc"
