// Catalogue benchmark: a cold synchronisation of 20 programs of 10 MB through the launcher's
// own code (a), against the stock client fetching the same BLOBs compressed (b); an up-to-date
// synchronisation (c) against the bare catalogue statement (d); and the launcher's peak memory
// during the cold synchronisation, over the size of one program. Run by bench/run.sh.

#include "app/kolvaster.h"
#include "app/mensajes.h"
#include "modal.h"
#include "testdb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int programas = 20;
constexpr qint64 tamano = 10 * 1024 * 1024;

qint64 memoriaKb(const char *campo)
{
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith(campo))
            return l.mid(qstrlen(campo)).trimmed().split(' ').first().toLongLong();
    return -1;
}

void reiniciarPico()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double segundos(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e9;
}

struct Serie {
    QList<double> v;
    void add(double x) { v << x; }
    double min() const { return *std::min_element(v.begin(), v.end()); }
    double max() const { return *std::max_element(v.begin(), v.end()); }
    double mediana() const
    {
        QList<double> s = v;
        std::sort(s.begin(), s.end());
        return s.at(s.size() / 2);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int rondas = qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS"));
    QTemporaryDir raiz;
    const QString home = raiz.path() + "/home";
    QDir().mkpath(home + "/Kolvaster");
    QDir().mkpath(raiz.path() + "/salida");
    for (const char *lib : {"libeay32.dll", "ssleay32.dll"}) {
        QFile f(home + "/Kolvaster/" + lib);
        f.open(QIODevice::WriteOnly);
        f.write("lib");
    }
    qputenv("HOME", QFile::encodeName(home));
    QDir::setCurrent(raiz.path());
    Mensajes::guionizar(true);

    TestDb::limpiar();
    TestDb::crearUsuario("dbadmin", "Administrador", true);
    const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
    QList<qint64> ids;
    for (int i = 0; i < programas; ++i) {
        QByteArray bytes(tamano, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                              bytes.size() / 4);
        ids << TestDb::crearApp(QString("prog%1").arg(i, 2, 10, QChar('0')),
                                QString("Programa %1").arg(i), bytes);
    }
    std::printf("%d programs of %lld bytes (random) stored\n", programas, tamano);

    // The session starts with no rights, so that its own start-up synchronises nothing.
    DriverModal driver;
    driver.luego(DriverModal::conectar("127.0.0.1", TestDb::base(), "ana", TestDb::clave("ana")));
    Kolvaster ventana;
    if (ventana.terminado()) {
        std::fprintf(stderr, "the launcher did not start\n");
        return 1;
    }
    for (qint64 id : ids)
        TestDb::otorgar(ana, id, true);
    const QString perfil = ventana.dirProfile.path();

    Serie a, b, c, d, pico;
    reiniciarPico();
    const qint64 antesDeTodo = memoriaKb("VmRSS:");
    for (int r = 0; r < rondas; ++r) {
        for (const QString &f : QDir(perfil).entryList({"*.exe", "*.md5"}, QDir::Files))
            QFile::remove(perfil + "/" + f);

        reiniciarPico();
        const qint64 base = memoriaKb("VmRSS:");
        QElapsedTimer t;
        t.start();
        ventana.sincronizarAplicaciones();
        a.add(segundos(t));
        pico.add((memoriaKb("VmHWM:") - base) * 1024.0 / tamano);
        if (QDir(perfil).entryList({"*.exe"}, QDir::Files).size() != programas) {
            std::fprintf(stderr, "cold synchronisation did not fetch every program\n");
            return 1;
        }

        t.start();
        for (int i = 0; i < programas; ++i) {
            QProcess cliente;
            cliente.setStandardOutputFile(raiz.path() + QString("/salida/%1.bin").arg(i));
            cliente.start("mariadb",
                          {"--no-defaults", "-h127.0.0.1",
                           "-P" + qEnvironmentVariable("MYSQL_TCP_PORT"),
                           "-u" + TestDb::cuenta("ana"), "-p" + TestDb::clave("ana"),
                           "--compress", "--batch", "--raw", "--skip-column-names",
                           TestDb::base(), "-e",
                           QString("SELECT windowsbinary FROM app WHERE app_id=%1").arg(ids[i])});
            cliente.waitForFinished(-1);
            if (cliente.exitCode() != 0) {
                std::fprintf(stderr, "mariadb client failed\n");
                return 1;
            }
        }
        b.add(segundos(t));

        t.start();
        ventana.sincronizarAplicaciones();
        c.add(segundos(t));

        t.start();
        {
            QSqlQuery q;
            q.setForwardOnly(true);
            q.prepare("SELECT ua.app_id, a.nombre, MD5(a.windowsbinary), a.titulo FROM "
                      "sysuserapp ua, app a WHERE a.app_id=ua.app_id AND ua.sysuser_id=:uid");
            q.bindValue(":uid", ventana.uid);
            q.exec();
            while (q.next()) {
                q.value(0).toInt();
                q.value(1).toString();
                q.value(2).toString();
            }
        }
        d.add(segundos(t));
        std::printf("run %d: a=%.2fs b=%.2fs c=%.3fs d=%.3fs peak=%.2fx\n", r + 1, a.v.last(),
                    b.v.last(), c.v.last(), d.v.last(), pico.v.last());
        std::fflush(stdout);
    }

    auto rango = [](const Serie &s) { return QString("%1-%2").arg(s.min(), 0, 'f', 3).arg(s.max(), 0, 'f', 3); };
    std::printf("\nmedian a (cold sync, launcher)      %.2f s  (runs %s)\n", a.mediana(), qPrintable(rango(a)));
    std::printf("median b (mariadb --compress)       %.2f s  (runs %s)\n", b.mediana(), qPrintable(rango(b)));
    std::printf("median c (up-to-date sync)          %.3f s  (runs %s)\n", c.mediana(), qPrintable(rango(c)));
    std::printf("median d (bare catalogue statement) %.3f s  (runs %s)\n", d.mediana(), qPrintable(rango(d)));
    std::printf("a/b = %.2f (target <= 1.25)\n", a.mediana() / b.mediana());
    std::printf("c/d = %.2f (target <= 1.10)\n", c.mediana() / d.mediana());
    // Later rounds reuse heap the first one left behind, so the first round is the honest one:
    // the peak over every round against the resident size before the first synchronisation.
    std::printf("peak RSS growth / program size = %.2f (target <= 2.5; per round, against the "
                "RSS just before it: %s)\n",
                (memoriaKb("VmHWM:") - antesDeTodo) * 1024.0 / tamano, qPrintable(rango(pico)));
    std::printf("process peak RSS %lld kB (before the first synchronisation %lld kB)\n",
                memoriaKb("VmHWM:"), antesDeTodo);
    return 0;
}
