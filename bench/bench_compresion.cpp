// Programs through their compressed copy and their patches against today's full download, for
// real executables published with kolvaster-publicar (bench/compresion.sh prepares them):
//
//   bench_compresion actualizar NOMBRE VIEJO NUEVO   the user holds VIEJO, the catalogue NUEVO
//   bench_compresion frio NOMBRE PROGRAMA            the user holds nothing
//
// Each round alternates a synchronisation of the launcher that takes the stored compressed bytes
// (patches or copy) with one that cannot (the two tables renamed away for it: today's download),
// and then the compressed path alone with its connection with and without CLIENT_COMPRESS.
// Per way: the server's Bytes_sent, the wall time, and the launcher's peak resident growth over
// the program's size (the highest of the rounds: later rounds reuse what the first left in the
// heap). Medians of KOLVASTER_BENCH_RUNS rounds, ratios from the same run.

#include "app/kolvaster.h"
#include "archivos.h"
#include "base/mensajes.h"
#include "catalogue/actualizacion.h"
#include "catalogue/descarga.h"
#include "modal.h"
#include "sesion.h"
#include "testdb.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

qint64 picoKb()
{
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith("VmHWM:"))
            return l.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

void reiniciarPico()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double maximo(const QList<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

double mediana(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

struct Medida {
    QList<double> segundos, bytes, pico, lecturas, cpu;
    void imprimir(const char *que) const
    {
        std::printf("  %-50s %7.3f s %11.0f bytes sent, peak growth %.2fx, %9.0f page reads, "
                    "server CPU %.3f s\n",
                    que, mediana(segundos), mediana(bytes), maximo(pico), mediana(lecturas),
                    mediana(cpu));
    }
};

// InnoDB's buffer-pool page reads (each page the server looks at, from memory or disk) so far.
double lecturasDePagina()
{
    QSqlQuery q(TestDb::admin());
    return q.exec("SHOW GLOBAL STATUS LIKE 'Innodb_buffer_pool_read_requests'") && q.next()
               ? q.value(1).toDouble() : -1;
}

// The server's CPU time so far (user and system), from its process on this machine.
double cpuDelServidor()
{
    static const QByteArray pid = [] {
        QFile f(TestDb::valor("SELECT @@pid_file").toString());
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
    }();
    QFile f("/proc/" + pid + "/stat");
    if (pid.isEmpty() || !f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray linea = f.readAll();
    // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    const QList<QByteArray> campos = linea.mid(linea.lastIndexOf(')') + 2).split(' ');
    return (campos.value(11).toDouble() + campos.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

// The stored copy read as the launcher used to read it, for the comparison: its LENGTH(), then
// SUBSTRING slices of a sixteenth of it (1 to 8 MB), one statement each, on a connection
// without the protocol's compression. The bytes are only received.
void leerEnRebanadas(qint64 appId)
{
    {
        QSqlDatabase c = Actualizacion::abrirSinCompresion(QSqlDatabase::database(), "rebanadas");
        QSqlQuery q(c);
        q.prepare("SELECT LENGTH(datos) FROM appcomprimido WHERE app_id=?");
        q.addBindValue(appId);
        const qint64 total = q.exec() && q.next() ? q.value(0).toLongLong() : 0;
        const qint64 trozo = std::clamp<qint64>(total / 16, 1 << 20, 8 << 20);
        q.prepare("SELECT SUBSTRING(datos, ?, ?) FROM appcomprimido WHERE app_id=?");
        for (qint64 desde = 0; desde < total; desde += trozo) {
            q.addBindValue(desde + 1);
            q.addBindValue(trozo);
            q.addBindValue(appId);
            if (!q.exec() || !q.next())
                break;
        }
    }
    QSqlDatabase::removeDatabase("rebanadas");
}

// Moves the stored compressed bytes out of the launcher's reach, or back.
void ocultar(bool si)
{
    if (si)
        TestDb::ejecutar("RENAME TABLE appcomprimido TO bench_appcomprimido, appparche TO "
                         "bench_appparche");
    else
        TestDb::ejecutar("RENAME TABLE bench_appcomprimido TO appcomprimido, bench_appparche TO "
                         "appparche");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_compresion actualizar NOMBRE VIEJO NUEVO | frio NOMBRE PROGRAMA\n");
        return 2;
    }
    const QString modo = argv[1], nombre = argv[2];
    const bool actualizar = modo == "actualizar";
    const QByteArray viejo = actualizar ? leer(argv[3]) : QByteArray();
    const QByteArray nuevo = leer(argv[actualizar ? 4 : 3]);
    const int rondas = qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS"));

    QTemporaryDir raiz;
    const QString home = prepararBanco(raiz.path());

    TestDb::ejecutar("DELETE FROM kolvaster");
    TestDb::ejecutar("INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2')");
    TestDb::ejecutar("DELETE FROM sysuserapp");
    TestDb::ejecutar("DELETE FROM sysuser");
    const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
    DriverModal driver;
    driver.luego(DriverModal::conectar("127.0.0.1", TestDb::base(), "ana", TestDb::clave("ana")));
    Kolvaster ventana;
    if (ventana.terminado())
        return 1;
    const qint64 appId = TestDb::valor("SELECT app_id FROM app WHERE nombre=?", {nombre}).toLongLong();
    // The process's first wait dialog, fonts and statements come with a first download of a
    // small program, so that the rounds measure what a program's path costs.
    if (!TestDb::valor("SELECT 1 FROM app WHERE nombre='calentar'").isValid())
        TestDb::crearApp("calentar", "Calentar", QByteArray("#!/bin/sh\n"));
    TestDb::otorgar(ana, TestDb::valor("SELECT app_id FROM app WHERE nombre='calentar'").toLongLong(), true);
    ventana.sincronizarAplicaciones();
    TestDb::otorgar(ana, appId, true);
    const QString exe = ventana.dirProfile.path() + "/" + nombre + ".exe";
    const QString digest = md5(nuevo);
    if (TestDb::valor("SELECT MD5(windowsbinary) FROM app WHERE app_id=?", {appId}).toString() != digest) {
        std::fprintf(stderr, "the catalogue does not hold the new program\n");
        return 1;
    }

    // The user's state before each measurement: the old version, or nothing.
    auto preparar = [&] {
        QFile::remove(exe);
        QFile::remove(exe + ".md5");
        if (actualizar) {
            escribirArchivo(exe, viejo);
            QFile::setPermissions(exe, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
            escribirArchivo(exe + ".md5", md5(viejo).toLatin1());
        }
    };
    bool identicos = true;
    auto medir = [&](Medida &m, const std::function<void()> &hacer) {
        preparar();
        reiniciarPico();
        const qint64 base = picoKb();
        const qint64 antes = TestDb::bytesEnviados();
        const double lecturas = lecturasDePagina(), cpu = cpuDelServidor();
        QElapsedTimer t;
        t.start();
        hacer();
        m.segundos << t.nsecsElapsed() / 1e9;
        m.bytes << double(TestDb::bytesEnviados() - antes);
        m.lecturas << lecturasDePagina() - lecturas;
        m.cpu << cpuDelServidor() - cpu;
        m.pico << (picoKb() - base) * 1024.0 / nuevo.size();
        identicos = identicos && md5(leer(exe)) == digest;
    };

    Medida comprimido, hoy, canalSin, canalCon, rebanadas;
    QList<Actualizacion::Camino> caminos;
    for (int r = 0; r < rondas; ++r) {
        medir(comprimido, [&] { ventana.sincronizarAplicaciones(); });
        ocultar(true);
        medir(hoy, [&] { ventana.sincronizarAplicaciones(); });
        ocultar(false);
        for (const bool con : {false, true}) {
            medir(con ? canalCon : canalSin, [&] {
                Actualizacion::Canal canal(QSqlDatabase::database(), con);
                caminos << Actualizacion::actualizar(QSqlDatabase::database(), canal, int(appId),
                                                     ventana.dirProfile.path(), digest)
                               .camino;
            });
        }
        if (!actualizar) {
            const bool antes = identicos;
            medir(rebanadas, [&] { leerEnRebanadas(appId); });
            identicos = antes; // nothing is written by the slices: the file is the one before
        }
        if (ventana.terminado())
            return 1;
    }
    const bool porParche = caminos.first() == Actualizacion::Camino::Parches;
    std::printf("== %s: %s, %lld bytes%s, %d round(s), medians\n",
                actualizar ? "update" : "cold synchronisation", qPrintable(nombre),
                qint64(nuevo.size()),
                actualizar ? qPrintable(QString(" (from %1 bytes)").arg(viejo.size())) : "",
                rondas);
    std::printf("  stored: copy %lld bytes, patches %lld bytes; path taken: %s\n",
                TestDb::valor("SELECT LENGTH(datos) FROM appcomprimido WHERE app_id=?", {appId}).toLongLong(),
                TestDb::valor("SELECT COALESCE(SUM(LENGTH(datos)), 0) FROM appparche WHERE app_id=?", {appId}).toLongLong(),
                porParche ? "patch" : caminos.first() == Actualizacion::Camino::Copia ? "copy" : "NONE");
    comprimido.imprimir(porParche ? "sync by patch" : "sync by compressed copy");
    hoy.imprimir("sync by today's download (compressed protocol)");
    canalSin.imprimir("compressed path, connection without compression");
    canalCon.imprimir("compressed path, connection with CLIENT_COMPRESS");
    std::printf("  bytes: %.3fx today's; time: %.3fx today's; without/with CLIENT_COMPRESS: "
                "time %.3f, bytes %.3f\n",
                mediana(comprimido.bytes) / mediana(hoy.bytes),
                mediana(comprimido.segundos) / mediana(hoy.segundos),
                mediana(canalSin.segundos) / mediana(canalCon.segundos),
                mediana(canalSin.bytes) / mediana(canalCon.bytes));
    if (!actualizar) {
        // Pages of the stored copy, as InnoDB keeps an off-page value: one page each
        // innodb_page_size bytes, near enough.
        const double paginas =
            double(TestDb::valor("SELECT LENGTH(datos) FROM appcomprimido WHERE app_id=?", {appId})
                       .toLongLong())
            / TestDb::valor("SELECT @@innodb_page_size").toDouble();
        rebanadas.imprimir("the copy read as before (LENGTH and slices) only");
        std::printf("  page reads per page of the copy: sync by copy %.2f, compressed path alone "
                    "%.2f, the former slices %.2f (target <= 1.2); server CPU: compressed path "
                    "%.3f s, former slices %.3f s\n",
                    mediana(comprimido.lecturas) / paginas, mediana(canalSin.lecturas) / paginas,
                    mediana(rebanadas.lecturas) / paginas, mediana(canalSin.cpu),
                    mediana(rebanadas.cpu));
    }
    std::printf("  results byte-identical to the program: %s\n", identicos ? "yes" : "NO");
    return identicos ? 0 : 1;
}
