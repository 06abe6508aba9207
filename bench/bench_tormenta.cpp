// Start storm: N users start their launcher at the same moment (N = 1, 10, 50), every one of
// them up to date, each start a real launcher process (bench_arranque) running the start's own
// statements. For one target (a single server, or a Galera cluster through its balancer), with
// the catalogue's digest computed (no stored column) and then stored, and with the query cache
// off and then on, it measures the wall time until the last start is done
// and the CPU the database servers spent meanwhile.
//   bench_tormenta LABEL SERVER_PIDFILES NODE_PORTS
// SERVER_PIDFILES and NODE_PORTS are comma-separated (every mariadbd of the target); the
// target itself is MYSQL_TCP_PORT, the database KOLVASTER_TEST_DB. Run by bench/tormenta.sh.
#include "sesion.h"
#include "testdb.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

const int usuarios = 50;
const int programas = 10;
const int megas = 8;

QString corto(int i)
{
    return QStringLiteral("usr") + QChar('a' + i / 26) + QChar('a' + i % 26);
}
QString clave(int i)
{
    return corto(i) + QStringLiteral("_pw");
}

double cpuServidores(const QStringList &pidfiles)
{
    double ticks = 0;
    for (const QString &pf : pidfiles) {
        QFile f(pf);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QFile stat("/proc/" + f.readAll().trimmed() + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        const QList<QByteArray> campos = s.mid(s.lastIndexOf(')') + 2).split(' ');
        ticks += campos.at(11).toDouble() + campos.at(12).toDouble(); // utime, stime
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// On every node of the target, by a connection of its own.
void enCadaNodo(const QStringList &puertos, const QString &sql)
{
    for (const QString &p : puertos) {
        const QString nombre = "nodo" + p;
        {
            QSqlDatabase db = QSqlDatabase::contains(nombre)
                                  ? QSqlDatabase::database(nombre)
                                  : QSqlDatabase::addDatabase("QMYSQL", nombre);
            db.setHostName("127.0.0.1");
            db.setPort(p.toInt());
            db.setUserName("dbadmin");
            db.setPassword(TestDb::claveAdmin);
            if (!db.isOpen() && !db.open())
                qFatal("node %s: %s", qPrintable(p), qPrintable(db.lastError().text()));
            QSqlQuery q(db);
            if (!q.exec(sql))
                qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        }
    }
}

qint64 aciertosCache(const QStringList &puertos)
{
    qint64 n = 0;
    for (const QString &p : puertos) {
        QSqlQuery q(QSqlDatabase::database("nodo" + p));
        if (q.exec("SHOW GLOBAL STATUS LIKE 'Qcache_hits'") && q.next())
            n += q.value(1).toLongLong();
    }
    return n;
}

struct Tormenta {
    double pared = 0, media = 0, maxima = 0, cpu = 0;
};

// N launchers started at once, each as its own user; fails the run if one does not start.
Tormenta tormenta(int n, const QString &binario, const QString &trabajo)
{
    std::vector<std::unique_ptr<QProcess>> ps;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Each workstation has its own temporary folder, on which its session record is keyed.
        const QString tmp = trabajo + "/tmp/" + corto(i);
        QDir().mkpath(tmp);
        env.insert("TMPDIR", tmp);
        // The offscreen platform's notes about window hints, fifty times over, say nothing.
        env.insert("QT_LOGGING_RULES", "qt.qpa.*=false;default.warning=false");
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(binario, {corto(i), clave(i)});
        ps.push_back(std::move(p));
    }
    Tormenta r;
    for (auto &p : ps) {
        p->waitForFinished(-1);
        const QByteArray salida = p->readAllStandardOutput().trimmed();
        if (p->exitCode() != 0 || !salida.startsWith("T ")) {
            std::fprintf(stderr, "a start failed (status %d): %s\n", p->exitCode(),
                         salida.constData());
            std::exit(1);
        }
        const double s = salida.mid(2).toDouble();
        r.media += s / n;
        r.maxima = std::max(r.maxima, s);
    }
    r.pared = t.nsecsElapsed() / 1e9;
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 64;
    const QString etiqueta = argv[1];
    const QStringList pidfiles = QString(argv[2]).split(',');
    const QStringList puertos = QString(argv[3]).split(',');
    const QString trabajo = qEnvironmentVariable("KOLVASTER_BENCH_WORK");
    const QString binario = QCoreApplication::applicationDirPath() + "/bench_arranque";
    const QString home = trabajo + "/home";

    // Users with their accounts, and the programs, every one granted to every user.
    TestDb::limpiar();
    TestDb::crearUsuario("dbadmin", "Administrador", true);
    QList<qint64> uids;
    for (int i = 0; i < usuarios; ++i) {
        const QString cuenta = TestDb::cuenta(corto(i));
        TestDb::ejecutar("DROP USER IF EXISTS '" + cuenta + "'@'%'");
        TestDb::ejecutar("CREATE USER '" + cuenta + "'@'%' IDENTIFIED BY '" + clave(i) + "'");
        TestDb::ejecutar("GRANT ALL ON `" + TestDb::base() + "`.* TO '" + cuenta + "'@'%'");
        uids << TestDb::crearUsuario(cuenta, corto(i));
    }
    for (int j = 0; j < programas; ++j) {
        QByteArray bytes(megas << 20, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                              bytes.size() / 4);
        const qint64 app = TestDb::crearApp(QString("prog%1").arg(j), QString("Programa %1").arg(j),
                                            bytes);
        for (qint64 u : uids)
            TestDb::otorgar(u, app, true);
    }

    // Every user up to date: one start fetches the programs, the others get copies.
    prepararInstalacion(home);
    qputenv("HOME", QFile::encodeName(home));
    QDir::setCurrent(trabajo);
    enCadaNodo(puertos, "SET GLOBAL query_cache_type=OFF");
    tormenta(1, binario, trabajo);
    const QString perfiles = home + "/Kolvaster/profiles/" + TestDb::base() + "/";
    for (int i = 1; i < usuarios; ++i) {
        QDir().mkpath(perfiles + corto(i));
        for (const QString &f : QDir(perfiles + corto(0)).entryList({"prog*"}, QDir::Files)) {
            QFile::copy(perfiles + corto(0) + "/" + f, perfiles + corto(i) + "/" + f);
            QFile(perfiles + corto(i) + "/" + f)
                .setPermissions(QFile(perfiles + corto(0) + "/" + f).permissions());
        }
    }

    std::printf("== %s: %d programs of %d MB per user\n", qPrintable(etiqueta), programas, megas);
    std::printf("%-10s %-7s %-5s %4s %9s %14s %12s %11s %8s\n", "target", "digest", "cache", "N",
                "wall s", "server CPU s", "mean start s", "max start s", "Qc hits");
    // First as a database not migrated yet (the launcher computes MD5() of every program), then
    // with the digest stored beside the bytes.
    std::map<bool, Tormenta> cincuenta;
    for (const bool almacenado : {false, true}) {
        const QStringList sentencias =
            almacenado
                ? QStringList{"ALTER TABLE app ADD windowsbinary_md5 CHAR(32) CHARACTER SET ascii "
                              "NULL DEFAULT (MD5(windowsbinary)) AFTER windowsbinary",
                              "CREATE TRIGGER app_md5_alta BEFORE INSERT ON app FOR EACH ROW "
                              "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)",
                              "CREATE TRIGGER app_md5_cambio BEFORE UPDATE ON app FOR EACH ROW "
                              "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)"}
                : QStringList{"DROP TRIGGER app_md5_alta", "DROP TRIGGER app_md5_cambio",
                              "ALTER TABLE app DROP COLUMN windowsbinary_md5"};
        for (const QString &sql : sentencias)
            TestDb::ejecutar(sql);
        for (const bool cache : {false, true}) {
            enCadaNodo(puertos, cache ? "SET GLOBAL query_cache_type=ON" : "SET GLOBAL query_cache_type=OFF");
            enCadaNodo(puertos, "RESET QUERY CACHE");
            for (const int n : {1, 10, 50}) {
                // With the cache on, the same users started once before: their answers are cached.
                if (cache)
                    tormenta(n, binario, trabajo);
                const qint64 hits = aciertosCache(puertos);
                const double cpu = cpuServidores(pidfiles);
                Tormenta r = tormenta(n, binario, trabajo);
                r.cpu = cpuServidores(pidfiles) - cpu;
                if (n == 50 && !cache)
                    cincuenta[almacenado] = r;
                std::printf("%-10s %-7s %-5s %4d %9.2f %14.2f %12.3f %11.3f %8lld\n",
                            qPrintable(etiqueta), almacenado ? "stored" : "MD5()",
                            cache ? "on" : "off", n, r.pared, r.cpu, r.media, r.maxima,
                            aciertosCache(puertos) - hits);
                std::fflush(stdout);
            }
        }
    }
    std::printf("%s, N=50, cache off, stored/MD5(): wall %.3f, server CPU %.3f, mean start %.3f "
                "(target <= 0.1)\n",
                qPrintable(etiqueta), cincuenta[true].pared / cincuenta[false].pared,
                cincuenta[true].cpu / cincuenta[false].cpu,
                cincuenta[true].media / cincuenta[false].media);
    for (int i = 0; i < usuarios; ++i)
        TestDb::ejecutar("DROP USER IF EXISTS '" + TestDb::cuenta(corto(i)) + "'@'%'");
    return 0;
}
