// Catalogue benchmark, for N programs of M MB of random bytes (bench_catalogo N M):
//   a  cold synchronisation through the launcher's own code
//   b  the stock client (mariadb --compress) fetching the same BLOBs into files
//   c  an up-to-date synchronisation, with the server's query cache off for the session
//   d  the bare catalogue statement (pass 2), cache off
//   e  the first up-to-date synchronisation with the query cache on and empty
//   f  the same synchronisation again (answered from the cache)
// and the launcher's peak memory growth during the cold synchronisation over the size of one
// program, per round and over the whole run. Run by bench/run.sh, whose server has the query
// cache available; the session switches it off and on with its own query_cache_type.

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "modal.h"
#include "sesion.h"
#include "testdb.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

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
    QString rango(int decimales) const
    {
        return QString("%1-%2").arg(min(), 0, 'f', decimales).arg(max(), 0, 'f', decimales);
    }
};

// On the session's connection: whether its statements use the server's query cache.
bool cacheDeSesion(bool activa)
{
    QSqlQuery q;
    if (!q.exec(QString("SET SESSION query_cache_type=%1").arg(activa ? "ON" : "OFF"))) {
        std::fprintf(stderr, "query cache not available: %s\n",
                     qPrintable(q.lastError().text()));
        return false;
    }
    return true;
}

QByteArray md5Archivo(const QString &ruta, qint64 quitarAlFinal = 0)
{
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Md5);
    qint64 resta = f.size() - quitarAlFinal;
    QByteArray buf(1 << 20, Qt::Uninitialized);
    while (resta > 0) {
        const qint64 n = f.read(buf.data(), qMin<qint64>(buf.size(), resta));
        if (n <= 0)
            return {};
        h.addData(QByteArrayView(buf.constData(), n));
        resta -= n;
    }
    return h.result().toHex();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int programas = argc > 1 ? qMax(1, atoi(argv[1])) : 20;
    const qint64 tamano = (argc > 2 ? qMax(1, atoi(argv[2])) : 10) * qint64(1024 * 1024);
    const int rondas = qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS"));
    QTemporaryDir raiz;
    const QString home = raiz.path() + "/home";
    prepararInstalacion(home);
    QDir().mkpath(raiz.path() + "/salida");
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
    std::printf("== %d program(s) of %lld MB (random bytes), %d round(s)\n", programas,
                tamano >> 20, rondas);

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
    auto sincronizar = [&] {
        ventana.sincronizarAplicaciones();
        if (ventana.terminado()) {
            std::fprintf(stderr, "the synchronisation ended the process\n");
            std::exit(1);
        }
    };
    auto sentenciaDesnuda = [&] {
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
    };

    Serie a, b, c, d, e, f, pico;
    reiniciarPico();
    const qint64 antesDeTodo = memoriaKb("VmRSS:");
    // Each round resets the peak: the run's own peak is the highest seen before each reset.
    qint64 picoTotal = 0;
    auto reiniciar = [&] {
        picoTotal = qMax(picoTotal, memoriaKb("VmHWM:"));
        reiniciarPico();
    };
    bool identicos = true;
    for (int r = 0; r < rondas; ++r) {
        for (const QString &x : QDir(perfil).entryList({"*.exe", "*.md5"}, QDir::Files))
            QFile::remove(perfil + "/" + x);
        if (!cacheDeSesion(false))
            return 1;

        reiniciar();
        const qint64 base = memoriaKb("VmRSS:");
        QElapsedTimer t;
        t.start();
        sincronizar();
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
                           "--compress", "--max-allowed-packet=1G", "--batch", "--raw",
                           "--skip-column-names", TestDb::base(), "-e",
                           QString("SELECT windowsbinary FROM app WHERE app_id=%1").arg(ids[i])});
            cliente.waitForFinished(-1);
            if (cliente.exitCode() != 0) {
                std::fprintf(stderr, "mariadb client failed\n");
                return 1;
            }
        }
        b.add(segundos(t));
        if (r == 0) {
            // The launcher's files against the stock client's (which ends its row with a line
            // feed), outside every measurement.
            for (int i = 0; i < programas; ++i) {
                const QByteArray nuestro =
                    md5Archivo(perfil + QString("/prog%1.exe").arg(i, 2, 10, QChar('0')));
                identicos = identicos && !nuestro.isEmpty()
                            && nuestro
                                   == md5Archivo(raiz.path() + QString("/salida/%1.bin").arg(i), 1);
            }
        }

        t.start();
        sincronizar();
        c.add(segundos(t));
        t.start();
        sentenciaDesnuda();
        d.add(segundos(t));

        TestDb::ejecutar("RESET QUERY CACHE");
        if (!cacheDeSesion(true))
            return 1;
        t.start();
        sincronizar();
        e.add(segundos(t));
        t.start();
        sincronizar();
        f.add(segundos(t));

        std::printf("round %d: a=%.2fs b=%.2fs c=%.3fs d=%.3fs e=%.3fs f=%.4fs peak=%.2fx\n",
                    r + 1, a.v.last(), b.v.last(), c.v.last(), d.v.last(), e.v.last(),
                    f.v.last(), pico.v.last());
        std::fflush(stdout);
    }
    picoTotal = qMax(picoTotal, memoriaKb("VmHWM:"));
    QSqlQuery aciertos;
    aciertos.exec("SHOW GLOBAL STATUS LIKE 'Qcache_hits'");
    const QString hits = aciertos.next() ? aciertos.value(1).toString() : QString("?");

    std::printf("median a (cold sync, launcher)         %.2f s   (rounds %s)\n", a.mediana(), qPrintable(a.rango(2)));
    std::printf("median b (mariadb --compress)          %.2f s   (rounds %s)\n", b.mediana(), qPrintable(b.rango(2)));
    std::printf("median c (up-to-date sync, cache off)  %.3f s  (rounds %s)\n", c.mediana(), qPrintable(c.rango(3)));
    std::printf("median d (bare catalogue statement)    %.3f s  (rounds %s)\n", d.mediana(), qPrintable(d.rango(3)));
    std::printf("median e (1st up-to-date, cache on)    %.3f s  (rounds %s)\n", e.mediana(), qPrintable(e.rango(3)));
    std::printf("median f (2nd up-to-date, cache on)    %.4f s (rounds %s)\n", f.mediana(), qPrintable(f.rango(4)));
    std::printf("a/b = %.2f (target <= 1.10)\n", a.mediana() / b.mediana());
    std::printf("c/d = %.2f (target <= 1.10)\n", c.mediana() / d.mediana());
    std::printf("e/f = %.1f (target >= 10; Qcache_hits %s)\n", e.mediana() / f.mediana(),
                qPrintable(hits));
    // Later rounds reuse heap the first one left behind, so the first round is the honest one:
    // the peak over every round against the resident size before the first synchronisation.
    std::printf("peak RSS growth / program size: overall %.2f, per round %s (target <= 1.25)\n",
                (picoTotal - antesDeTodo) * 1024.0 / tamano,
                qPrintable(pico.rango(2)));
    std::printf("process peak RSS %lld kB (before the first synchronisation %lld kB)\n",
                picoTotal, antesDeTodo);
    std::printf("files byte-identical to the stock client's: %s\n", identicos ? "yes" : "NO");
    return identicos ? 0 : 1;
}
