// Catalogue benchmarks. For N programs of M MB of random bytes (bench_catalogo N M):
//   a  cold synchronisation through the launcher's own code
//   b  the stock client (mariadb --compress) fetching the same BLOBs into files
//   c  an up-to-date synchronisation, with the server's query cache off for the session
//   d  the bare catalogue statement (pass 2), cache off
//   e  the first up-to-date synchronisation with the query cache on and empty
//   f  the same synchronisation again (answered from the cache)
// and the launcher's peak memory growth during the cold synchronisation over the size of one
// program, per round and over the whole run.
//
// bench_catalogo tamanos TOTAL_MB...: the up-to-date start of a user with 20 programs holding
// TOTAL_MB together, reading the digest the server stores with the bytes against computing it
// (the column dropped, as in a database not migrated yet), and what the migration costs.
//
// bench_catalogo enlace ENLACE_PY PORT [BIN_DIR...]: up-to-date starts through a slow link
// (bench/enlace.py listening on PORT: 30 ms round trip, 20 Mbit/s), each a process of
// BIN_DIR/bench_arranque (default: this build's; another build's, of an older launcher, to
// compare), with the round trips the server's general log shows for the launcher's session.
//
// Run by bench/run.sh, whose server has the query cache available; the catalogue rounds switch
// it off and on with the session's own query_cache_type, the others switch it off.

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
#include <QThread>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <map>

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


QByteArray aleatorio(qint64 n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / 4);
    return bytes;
}

// Twenty programs granted to ana (change logs read), with placeholder bytes; their ids.
QList<qint64> catalogoDeAna(int programas)
{
    TestDb::limpiar();
    TestDb::crearUsuario("dbadmin", "Administrador", true);
    const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
    QList<qint64> ids;
    for (int i = 0; i < programas; ++i) {
        ids << TestDb::crearApp(QString("prog%1").arg(i, 2, 10, QChar('0')),
                                QString("Programa %1").arg(i), QByteArray("x"));
        TestDb::otorgar(ana, ids.last(), true);
    }
    TestDb::ejecutar("SET GLOBAL query_cache_type=OFF");
    return ids;
}

// Gives program `id` new bytes on the server and the same, with their digest, in ana's
// profile: the user is up to date without a download.
void publicarAlDia(const QString &perfil, int i, qint64 id, const QByteArray &bytes)
{
    TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {bytes, id});
    const QString exe = perfil + QString("/prog%1.exe").arg(i, 2, 10, QChar('0'));
    for (const auto &[ruta, contenido] :
         {std::pair{exe, bytes},
          std::pair{exe + ".md5", QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex()}}) {
        QFile f(ruta);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(contenido) != contenido.size())
            qFatal("cannot write %s", qPrintable(ruta));
    }
    QFile(exe).setPermissions(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

// One up-to-date start of ana in this process, from "Conectar" to the end of construction;
// the run stops if the start was not an up-to-date one (a box, a download, an error).
double arranqueAlDia(const QString &perfil)
{
    const QDateTime antes = QFileInfo(perfil + "/prog00.exe").lastModified();
    QElapsedTimer t;
    DriverModal driver;
    const DriverModal::Respuesta conectar =
        DriverModal::conectar("127.0.0.1", TestDb::base(), "ana", TestDb::clave("ana"));
    driver.luego([&](QWidget *w) {
        t.start();
        return conectar(w);
    });
    Mensajes::olvidar();
    Kolvaster w;
    const double s = segundos(t);
    if (w.terminado() || !Mensajes::mostrados().isEmpty()
        || QFileInfo(perfil + "/prog00.exe").lastModified() != antes) {
        std::fprintf(stderr, "the start was not an up-to-date one\n");
        std::exit(1);
    }
    w.close();
    return s;
}

// The bare pass-2 statement of ana, as text, on the benchmark's own connection.
double sentencia(const QString &digest, qint64 uid)
{
    QElapsedTimer t;
    t.start();
    QSqlQuery q(TestDb::admin());
    if (!q.exec(QString("SELECT ua.app_id, a.nombre, %1, a.titulo FROM sysuserapp ua, app a "
                        "WHERE a.app_id=ua.app_id AND ua.sysuser_id=%2")
                    .arg(digest)
                    .arg(uid)))
        qFatal("%s", qPrintable(q.lastError().text()));
    while (q.next())
        q.value(2).toString();
    return segundos(t);
}

// Waits until the server has written out what the benchmark itself just wrote (the new
// programs, the purge of the old ones): otherwise the next reads pay for flushing it.
void asentar()
{
    auto estado = [](const char *variable) {
        QSqlQuery q(TestDb::admin());
        q.exec(QString("SHOW GLOBAL STATUS LIKE '%1'").arg(variable));
        return q.next() ? q.value(1).toLongLong() : 0;
    };
    TestDb::ejecutar("SET GLOBAL innodb_max_dirty_pages_pct=0");
    // Clean twice half a second apart: the purge of the old versions dirties pages again.
    for (int limpio = 0, i = 0; limpio < 2 && i < 240; ++i) {
        QThread::msleep(500);
        limpio = estado("Innodb_buffer_pool_pages_dirty") == 0 ? limpio + 1 : 0;
    }
    TestDb::ejecutar("SET GLOBAL innodb_max_dirty_pages_pct=90");
}

// The migration of a database made before the stored digest (as the administrator's guide gives it), and
// its undoing.
const char *const migracion[] = {
    "ALTER TABLE app ADD windowsbinary_md5 CHAR(32) CHARACTER SET ascii NULL "
    "DEFAULT (MD5(windowsbinary)) AFTER windowsbinary",
    "CREATE TRIGGER app_md5_alta BEFORE INSERT ON app FOR EACH ROW "
    "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)",
    "CREATE TRIGGER app_md5_cambio BEFORE UPDATE ON app FOR EACH ROW "
    "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)"};
const char *const desmigracion[] = {"DROP TRIGGER app_md5_alta", "DROP TRIGGER app_md5_cambio",
                                    "ALTER TABLE app DROP COLUMN windowsbinary_md5"};

int tamanos(const QStringList &totales, int rondas, const QString &home)
{
    const int programas = 20;
    const QList<qint64> ids = catalogoDeAna(programas);
    const qint64 ana = TestDb::valor("SELECT sysuser_id FROM sysuser WHERE sysuser=?",
                                     {TestDb::cuenta("ana")}).toLongLong();
    const QString perfil = home + "/Kolvaster/profiles/" + TestDb::base() + "/ana";
    QDir().mkpath(perfil);
    std::printf("== up-to-date start of a user with %d programs, query cache off, %d round(s)\n",
                programas, rondas);
    std::printf("%8s %12s %12s %8s %11s %11s %10s %10s\n", "suite MB", "start new s",
                "start old s", "new/old", "stmt new s", "stmt old s", "migrate s", "MB/s");
    std::map<int, double> nuevo, viejo;
    for (const QString &total : totales) {
        const int mb = total.toInt();
        for (int i = 0; i < programas; ++i)
            publicarAlDia(perfil, i, ids[i], aleatorio(qint64(mb) * 1024 * 1024 / programas));
        asentar();
        Serie n, v, sn, sv;
        arranqueAlDia(perfil); // the first reads the freshly written pages; not counted
        for (int r = 0; r < rondas; ++r) {
            n.add(arranqueAlDia(perfil));
            sn.add(sentencia("a.windowsbinary_md5", ana));
        }
        // The database before its migration: the launcher finds no column and computes.
        for (const char *sql : desmigracion)
            TestDb::ejecutar(sql);
        asentar();
        for (int r = 0; r < rondas; ++r) {
            v.add(arranqueAlDia(perfil));
            sv.add(sentencia("MD5(a.windowsbinary)", ana));
        }
        QElapsedTimer t;
        t.start();
        for (const char *sql : migracion)
            TestDb::ejecutar(sql);
        const double alter = segundos(t);
        asentar();
        nuevo[mb] = n.mediana();
        viejo[mb] = v.mediana();
        std::printf("%8d %12.4f %12.4f %8.3f %11.4f %11.4f %10.2f %10.0f\n", mb, n.mediana(),
                    v.mediana(), n.mediana() / v.mediana(), sn.mediana(), sv.mediana(), alter,
                    mb / alter);
        std::fflush(stdout);
    }
    if (nuevo.count(200))
        std::printf("start at 200 MB, new/old = %.3f (target <= 0.05)\n", nuevo[200] / viejo[200]);
    if (nuevo.count(100) && nuevo.count(1000))
        std::printf("new start, 1 GB / 100 MB = %.2f (target <= 1.2)\n", nuevo[1000] / nuevo[100]);
    return 0;
}

// Commands of the launcher's session (its account's connection) in the server's general log
// from byte `desde` on, by kind; those the server answers are the round trips.
std::map<QString, int> comandos(const QString &log, qint64 desde)
{
    QFile f(log);
    f.open(QIODevice::ReadOnly);
    f.seek(desde);
    static const QRegularExpression linea(
        "^(?:\\d{6}\\s+\\d{1,2}:\\d\\d:\\d\\d)?\\s+(\\d+) (Connect|Query|Prepare|Execute|Close stmt|"
        "Reset stmt|Quit|Init DB|Ping|Change user|Long Data|Fetch)\\t(.*)$");
    QString hilo;
    std::map<QString, int> r;
    for (const QByteArray &l : f.readAll().split('\n')) {
        const QRegularExpressionMatch m = linea.match(QString::fromUtf8(l));
        if (!m.hasMatch())
            continue;
        if (m.captured(2) == "Connect" && m.captured(3).startsWith(TestDb::cuenta("ana") + "@"))
            hilo = m.captured(1);
        if (!hilo.isEmpty() && m.captured(1) == hilo)
            ++r[m.captured(2)];
    }
    return r;
}

int enlace(const QString &script, int puerto, QStringList binarios, int rondas,
           const QString &home, const QString &trabajo)
{
    const int programas = 20;
    const QList<qint64> ids = catalogoDeAna(programas);
    const QString perfil = home + "/Kolvaster/profiles/" + TestDb::base() + "/ana";
    QDir().mkpath(perfil);
    for (int i = 0; i < programas; ++i)
        publicarAlDia(perfil, i, ids[i], aleatorio(5 << 20));
    const QString log = trabajo + "/general.log";
    TestDb::ejecutar(QString("SET GLOBAL general_log_file='%1'").arg(log));
    TestDb::ejecutar("SET GLOBAL general_log=ON");

    QProcess relevo;
    relevo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    relevo.start("python3", {script, QString::number(puerto), qEnvironmentVariable("MYSQL_TCP_PORT"),
                             "--rtt-ms", "30", "--mbit", "20", "--segundos", "600"});
    if (!relevo.waitForReadyRead(10000) || !relevo.readLine().startsWith("enlace")) {
        std::fprintf(stderr, "the link stand-in did not start\n");
        return 1;
    }
    if (binarios.isEmpty())
        binarios << QCoreApplication::applicationDirPath();
    std::printf("== up-to-date start through a 30 ms / 20 Mbit/s link, %d programs of 5 MB, "
                "query cache off, %d round(s)\n",
                programas, rondas);
    std::printf("%-40s %9s %9s %7s  %s\n", "launcher (bench_arranque of)", "median s", "min s",
                "trips", "commands after the handshake");
    QList<double> medianas;
    for (const QString &dir : binarios) {
        Serie t;
        std::map<QString, int> cuenta;
        for (int r = 0; r < rondas + 1; ++r) {
            const qint64 desde = QFileInfo(log).size();
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("MYSQL_TCP_PORT", QString::number(puerto));
            env.insert("HOME", home);
            env.insert("TMPDIR", trabajo);
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(trabajo);
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(dir + "/bench_arranque", {"ana", TestDb::clave("ana")});
            p.waitForFinished(-1);
            const QByteArray salida = p.readAllStandardOutput().trimmed();
            if (p.exitCode() != 0 || !salida.startsWith("T ")) {
                std::fprintf(stderr, "a start failed: %s\n", salida.constData());
                return 1;
            }
            TestDb::ejecutar("FLUSH GENERAL LOGS"); // nothing lost in the server's buffers
            if (r == 0)
                continue; // the first start of a binary warms the caches; not counted
            t.add(salida.mid(2).toDouble());
            cuenta = comandos(log, desde);
        }
        int viajes = 0;
        QStringList detalle;
        for (const auto &[comando, n] : cuenta) {
            // The server answers every command but the closing of a statement and the goodbye.
            if (comando != "Close stmt" && comando != "Quit" && comando != "Connect")
                viajes += n;
            detalle << QString("%1 %2").arg(comando).arg(n);
        }
        medianas << t.mediana();
        std::printf("%-40s %9.3f %9.3f %7d  %s\n", qPrintable(QDir(dir).absolutePath().right(40)),
                    t.mediana(), t.min(), viajes, qPrintable(detalle.join(", ")));
        std::fflush(stdout);
    }
    if (medianas.size() > 1)
        std::printf("last/first = %.3f\n", medianas.last() / medianas.first());
    TestDb::ejecutar("SET GLOBAL general_log=OFF");
    relevo.terminate();
    relevo.waitForFinished(5000);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString modo = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (modo == "tamanos" || modo == "enlace") {
        const int rondas = qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS"));
        QTemporaryDir raiz;
        const QString home = prepararBanco(raiz.path());
        QStringList resto = app.arguments().mid(2);
        if (modo == "tamanos")
            return tamanos(resto, rondas, home);
        if (resto.size() < 2)
            return 64;
        const QString script = resto.takeFirst();
        const int puerto = resto.takeFirst().toInt();
        return enlace(script, puerto, resto, rondas, home, raiz.path());
    }
    const int programas = argc > 1 ? qMax(1, atoi(argv[1])) : 20;
    const qint64 tamano = (argc > 2 ? qMax(1, atoi(argv[2])) : 10) * qint64(1024 * 1024);
    const int rondas = qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS"));
    QTemporaryDir raiz;
    const QString home = prepararBanco(raiz.path());
    QDir().mkpath(raiz.path() + "/salida");

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
