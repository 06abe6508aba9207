// The server dies while a program is arriving: the lost-connection error dialog ends the
// process and the program already in the profile stays whole. Kills the tests' server, so it
// runs on its own and starts the server afresh at the end.

#include "archivos.h"
#include "lanzador.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

QString dirServidor()
{
    return qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/testdb";
}

} // namespace

class TstDescargaCaida : public QObject
{
    Q_OBJECT

private slots:
    void servidorMuereDuranteLaDescarga()
    {
        TestDb::limpiar();
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        const QByteArray viejo = "#!/bin/sh\necho calc 1\n";
        const qint64 calc = TestDb::crearApp("calc", "Calculadora", viejo);
        TestDb::otorgar(ana, calc, true);

        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QVERIFY(!k->terminado());
        const QString p = l.perfil("ana");
        const QByteArray digestViejo = l.leer(p + "/calc.exe.md5");
        QCOMPARE(l.leer(p + "/calc.exe"), viejo);

        // A new version large enough to be caught in transit.
        QByteArray nuevo(96 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(nuevo.data()),
                                              nuevo.size() / 4);
        TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {nuevo, calc});
        nuevo.clear();
        nuevo.squeeze();

        QFile pidFile(dirServidor() + "/mysqld.pid");
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t servidor = pid_t(pidFile.readAll().trimmed().toLongLong());
        QVERIFY(servidor > 0);

        // Kills the server once the row has started to arrive in this process's memory.
        std::atomic<bool> fin{false}, matado{false};
        const qint64 base = residenteKb();
        std::thread verdugo([&] {
            while (!fin) {
                if (residenteKb() > base + 16 * 1024) {
                    ::kill(servidor, SIGKILL);
                    matado = true;
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        QString texto;
        l.driver().luego(DriverModal::cerrarError(&texto));
        k->sincronizarAplicaciones();
        fin = true;
        verdugo.join();

        QVERIFY(matado);
        QVERIFY(k->terminado());
        QCOMPARE(l.guion.salidas.size(), 1);
        QVERIFY2(texto.contains("Se perdio conexion con el servidor de base de datos."),
                 qPrintable(texto));
        QCOMPARE(l.leer(p + "/calc.exe"), viejo);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), digestViejo);
        QCOMPARE(QDir(p).entryList({"calc*"}, QDir::Files | QDir::Hidden),
                 QStringList({"calc.exe", "calc.exe.md5"}));
        // The session lost its server: its failed update waits in the profile for the next
        // start, with what the user keeps.
        const QJsonArray kept = QJsonDocument::fromJson(l.leer(p + "/fallos.pendientes")).array();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.at(0)["causa"].toString(), QString("corte"));
        QCOMPARE(kept.at(0)["app"].toInteger(), calc);
        QCOMPARE(kept.at(0)["cmd5"].toString().toLatin1(), digestViejo);
    }

    // The other tests expect their server: a fresh one in the same place.
    void cleanupTestCase()
    {
        const QString script = QFileInfo(QStringLiteral(__FILE__)).absolutePath()
                               + "/../../scripts/testdb.sh";
        // Sessions to the dead server hold its port (FIN-WAIT-2) until they are closed here.
        TestDb::admin().close();
        TestDb::cerrarSesion();
        QCOMPARE(QProcess::execute(script, {"start", dirServidor(),
                                            qEnvironmentVariable("MYSQL_TCP_PORT"),
                                            TestDb::base()}),
                 0);
    }
};

QTEST_MAIN(TstDescargaCaida)
#include "tst_descarga_caida.moc"
