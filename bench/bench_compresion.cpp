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
#include "catalogue/compresion.h"
#include "catalogue/descarga.h"
#include "catalogue/lector.h"
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
#include <fcntl.h>
#include <mysql.h>
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

// The copy as the previous release stored it, one row in appcomprimido, made from the pieces.
void copiaDeUnaFila(qint64 appId, const QString &digest)
{
    QSqlQuery q(TestDb::admin());
    q.prepare("SELECT datos FROM appcopiapieza WHERE app_id=? AND md5=? ORDER BY pieza");
    q.addBindValue(appId);
    q.addBindValue(digest);
    QByteArray copia;
    if (q.exec())
        while (q.next())
            copia += q.value(0).toByteArray();
    TestDb::ejecutar("DELETE FROM appcomprimido WHERE app_id=?", {appId});
    TestDb::ejecutar("INSERT INTO appcomprimido (app_id, md5, largo, bytes, datos) SELECT ?, ?, "
                     "largo, ?, ? FROM appcopia WHERE app_id=? AND md5=?",
                     {appId, digest, copia.size(), copia, appId, digest});
}

// The one-row copy fetched as a launcher of the previous release fetches it: one statement, the
// value taken out of the received row (which the client library holds whole) in 1 MB pieces,
// decompressed as it comes and written through the download's checks.
bool leerUnaFila(qint64 appId, const QString &digest, const QString &dir, const QString &nombre)
{
    bool bien = false;
    {
        QSqlDatabase c = Actualizacion::abrirSinCompresion(QSqlDatabase::database(), "unafila");
        const qint64 bytes =
            TestDb::valor("SELECT bytes FROM appcomprimido WHERE app_id=?", {appId}).toLongLong();
        const qint64 largo =
            TestDb::valor("SELECT largo FROM appcomprimido WHERE app_id=?", {appId}).toLongLong();
        Lector st(Descarga::manejador(c));
        st.entero(bytes + 1).entero(appId).texto(digest.toLatin1());
        if (st.preparar("SELECT LEFT(datos, ?) FROM appcomprimido WHERE app_id=? AND md5=?")
            && st.ejecutar() && st.fila() == 1 && st.bytes(0) == bytes) {
            QByteArray pieza(Descarga::tamanoPieza, Qt::Uninitialized);
            qint64 leidos = 0;
            Compresion::Descompresor d(
                [&](QByteArrayView *v) {
                    const qint64 n = qMin(Descarga::tamanoPieza, bytes - leidos);
                    if (n > 0 && !st.leer(0, pieza.data(), leidos, n))
                        return false;
                    leidos += n;
                    *v = QByteArrayView(pieza.constData(), n);
                    return true;
                },
                largo);
            bien = Descarga::guardar(dir, nombre, largo, digest,
                                     [&](char *destino, qint64, qint64 n) {
                                         return d.producir(destino, n);
                                     })
                   == Descarga::Estado::Hecha;
        }
    }
    QSqlDatabase::removeDatabase("unafila");
    return bien;
}

// The link cut under the client library: its socket reads nothing more.
void cortar(Actualizacion::Canal &canal)
{
    const int nulo = ::open("/dev/null", O_RDWR);
    ::dup2(nulo, mysql_get_socket(canal.manejador()));
    ::close(nulo);
}

// Moves the stored compressed bytes out of the launcher's reach, or back.
void ocultar(bool si)
{
    if (si)
        TestDb::ejecutar("RENAME TABLE appcopia TO bench_appcopia, appdelta TO bench_appdelta");
    else
        TestDb::ejecutar("RENAME TABLE bench_appcopia TO appcopia, bench_appdelta TO appdelta");
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

    Medida comprimido, hoy, canalSin, canalCon, unaFila, reanudado;
    QList<Actualizacion::Camino> caminos;
    // The longest wait between two counts of the bytes received (the wait dialog's repaints).
    QList<double> huecos;
    const qint64 copia = TestDb::valor("SELECT bytes FROM appcopia WHERE app_id=? AND md5=?",
                                       {appId, digest}).toLongLong();
    if (!actualizar)
        copiaDeUnaFila(appId, digest);
    for (int r = 0; r < rondas; ++r) {
        medir(comprimido, [&] { ventana.sincronizarAplicaciones(); });
        ocultar(true);
        medir(hoy, [&] { ventana.sincronizarAplicaciones(); });
        ocultar(false);
        for (const bool con : {false, true}) {
            medir(con ? canalCon : canalSin, [&] {
                QElapsedTimer reloj;
                reloj.start();
                qint64 anterior = 0, mayor = 0;
                Actualizacion::Canal canal(QSqlDatabase::database(), con);
                caminos << Actualizacion::actualizar(QSqlDatabase::database(), canal, int(appId),
                                                     ventana.dirProfile.path(), digest, nullptr,
                                                     [&](qint64, qint64) {
                                                         mayor = qMax(mayor, reloj.elapsed() - anterior);
                                                         anterior = reloj.elapsed();
                                                     })
                               .camino;
                if (!con)
                    huecos << mayor / 1000.0;
            });
        }
        if (!actualizar) {
            medir(unaFila, [&] { leerUnaFila(appId, digest, ventana.dirProfile.path(), nombre); });
            // A transfer cut when 70 % of the copy has arrived, then the next start's.
            preparar();
            {
                Actualizacion::Canal canal(QSqlDatabase::database());
                Actualizacion::actualizar(QSqlDatabase::database(), canal, int(appId),
                                          ventana.dirProfile.path(), digest, nullptr,
                                          [&](qint64 n, qint64 total) {
                                              if (n >= total * 7 / 10 && n - Descarga::tamanoPieza < total * 7 / 10)
                                                  cortar(canal);
                                          });
            }
            const QString guardado = exe + ".parcial";
            if (!QFile::exists(guardado))
                identicos = false;
            const QByteArray parcial = leer(guardado);
            auto mantener = [&] { escribirArchivo(guardado, parcial); };
            medir(reanudado, [&] {
                mantener();
                Actualizacion::Canal canal(QSqlDatabase::database());
                caminos << Actualizacion::actualizar(QSqlDatabase::database(), canal, int(appId),
                                                     ventana.dirProfile.path(), digest)
                               .camino;
            });
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
    std::printf("  stored: copy %lld bytes in %d pieces, patches %lld bytes; path taken: %s\n",
                copia,
                TestDb::valor("SELECT piezas FROM appcopia WHERE app_id=? AND md5=?", {appId, digest}).toInt(),
                TestDb::valor("SELECT COALESCE(SUM(bytes), 0) FROM appdelta WHERE app_id=?", {appId}).toLongLong(),
                porParche ? "patch" : caminos.first() == Actualizacion::Camino::Copia ? "copy" : "NONE");
    comprimido.imprimir(porParche ? "sync by patch" : "sync by compressed copy in pieces");
    hoy.imprimir("sync by today's download (compressed protocol)");
    canalSin.imprimir("compressed path, connection without compression");
    canalCon.imprimir("compressed path, connection with CLIENT_COMPRESS");
    std::printf("  bytes: %.3fx today's; time: %.3fx today's; without/with CLIENT_COMPRESS: "
                "time %.3f, bytes %.3f; longest wait between two counts of the bytes: %.2f s\n",
                mediana(comprimido.bytes) / mediana(hoy.bytes),
                mediana(comprimido.segundos) / mediana(hoy.segundos),
                mediana(canalSin.segundos) / mediana(canalCon.segundos),
                mediana(canalSin.bytes) / mediana(canalCon.bytes), maximo(huecos));
    if (!actualizar) {
        // Pages of the stored copy, as InnoDB keeps off-page values: one page each
        // innodb_page_size bytes, near enough.
        const double paginas = double(copia) / TestDb::valor("SELECT @@innodb_page_size").toDouble();
        unaFila.imprimir("the one-row copy as the previous release fetches it");
        reanudado.imprimir("the start after a cut at 70 % of the copy");
        std::printf("  pieces against the one-row copy: time %.3f, bytes %.3f, peak growth %.2fx "
                    "against %.2fx of the program (target <= 0.05x)\n",
                    mediana(canalSin.segundos) / mediana(unaFila.segundos),
                    mediana(canalSin.bytes) / mediana(unaFila.bytes), maximo(canalSin.pico),
                    maximo(unaFila.pico));
        std::printf("  page reads per page of the copy: sync by copy %.2f, compressed path alone "
                    "%.2f, the one-row copy %.2f (target <= 1.2)\n",
                    mediana(comprimido.lecturas) / paginas, mediana(canalSin.lecturas) / paginas,
                    mediana(unaFila.lecturas) / paginas);
        std::printf("  after a cut at 70 %%: the next start fetches %.3fx the copy (target <= "
                    "0.35x)\n",
                    mediana(reanudado.bytes) / double(copia));
    }
    std::printf("  results byte-identical to the program: %s\n", identicos ? "yes" : "NO");
    return identicos ? 0 : 1;
}
