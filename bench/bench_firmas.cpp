// Cold synchronisation with and without publisher keys, for N programs of M MB of random bytes
// (bench_firmas N M). Built twice: bench_firmas as a launcher without keys, and
// bench_firmas_claves as one built with the benchmark's key. With KOLVASTER_BENCH_PREPARAR=1
// the run first stores the catalogue, signed with that key; every run then logs in, and times
// KOLVASTER_BENCH_RUNS cold synchronisations (profile emptied before each), one line per run:
// "claves|sin-claves SECONDS...". bench/firmas.sh alternates the two builds in one run.
// `bench_firmas guardar M` instead times what a launcher with keys adds to storing one program
// of M MB, without the server: Descarga::guardar from memory with and without a signature to
// check, alternated KOLVASTER_BENCH_RUNS times.

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "catalogue/descarga.h"
#include "catalogue/firma.h"
#include "catalogue/programas.h"
#include "modal.h"
#include "sesion.h"
#include "testdb.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sodium.h>

namespace {

double mediana(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

int guardar(qint64 tamano, int rondas)
{
    QTemporaryDir dir;
    QByteArray bytes(tamano, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / 4);
    unsigned char pk[32], sk[64], semilla[32];
    memset(semilla, 'A', sizeof semilla);
    crypto_sign_seed_keypair(pk, sk, semilla);
    const QByteArray sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    Descarga::Exigencia e;
    e.claves << QByteArray(reinterpret_cast<char *>(pk), 32);
    e.publicacion = Descarga::Publicacion{
        1, e.claves.first(),
        Firma::firmar(QByteArray(reinterpret_cast<char *>(sk), 64),
                      Firma::mensaje("prog", 1, sha, tamano))};
    const QString md5 = Programas::md5(bytes);
    auto leer = [&](char *destino, qint64 desde, qint64 n) {
        memcpy(destino, bytes.constData() + desde, size_t(n));
        return true;
    };
    QList<double> sin, con;
    for (int r = 0; r < rondas; ++r) {
        for (const bool conClaves : {false, true}) {
            QFile::remove(dir.path() + "/prog.exe.version");
            QElapsedTimer t;
            t.start();
            const Descarga::Estado estado =
                Descarga::guardar(dir.path(), "prog", tamano, md5, leer, conClaves ? &e : nullptr);
            (conClaves ? con : sin) << t.nsecsElapsed() / 1e9;
            if (estado != Descarga::Estado::Hecha) {
                std::fprintf(stderr, "guardar failed\n");
                return 1;
            }
        }
    }
    std::printf("storing %lld MB from memory: with keys %.3f s / without %.3f s = %.3f\n",
                tamano >> 20, mediana(con), mediana(sin), mediana(con) / mediana(sin));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc > 2 && qstrcmp(argv[1], "guardar") == 0) {
        if (sodium_init() < 0)
            return 1;
        return guardar(qMax(1, atoi(argv[2])) * qint64(1024 * 1024),
                       qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS")));
    }
    const int programas = argc > 1 ? qMax(1, atoi(argv[1])) : 20;
    const qint64 tamano = (argc > 2 ? qMax(1, atoi(argv[2])) : 10) * qint64(1024 * 1024);
    const int rondas = qMax(1, qEnvironmentVariableIntValue("KOLVASTER_BENCH_RUNS"));
    if (sodium_init() < 0)
        return 1;

    QTemporaryDir raiz;
    const QString home = prepararBanco(raiz.path());

    if (qEnvironmentVariableIntValue("KOLVASTER_BENCH_PREPARAR") == 1) {
        TestDb::limpiar();
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        unsigned char pk[32], sk[64], semilla[32];
        memset(semilla, 'A', sizeof semilla);
        crypto_sign_seed_keypair(pk, sk, semilla);
        const QByteArray secreta(reinterpret_cast<char *>(sk), 64);
        for (int i = 0; i < programas; ++i) {
            QByteArray bytes(tamano, Qt::Uninitialized);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                                  bytes.size() / 4);
            const QString nombre = QString("prog%1").arg(i, 2, 10, QChar('0'));
            const qint64 id = TestDb::crearApp(nombre, nombre, bytes);
            const QByteArray sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
            TestDb::ejecutar("INSERT INTO appfirma VALUES (?, 1, ?, ?, ?, ?, NOW())",
                             {id, QString::fromLatin1(sha), tamano,
                              QString::fromLatin1(secreta.right(32).toBase64()),
                              Firma::firmar(secreta, Firma::mensaje(nombre, 1, sha, tamano))});
            TestDb::otorgar(ana, id, true);
        }
    }

    // The session starts with no rights, so that its own start-up synchronises nothing.
    const qint64 ana =
        TestDb::valor("SELECT sysuser_id FROM sysuser WHERE sysuser=?", {TestDb::cuenta("ana")})
            .toLongLong();
    const QList<QVariant> ids = [&] {
        QList<QVariant> r;
        QSqlQuery q(TestDb::admin());
        q.exec("SELECT app_id FROM sysuserapp");
        while (q.next())
            r << q.value(0);
        return r;
    }();
    TestDb::ejecutar("DELETE FROM sysuserapp");
    DriverModal driver;
    driver.luego(DriverModal::conectar("127.0.0.1", TestDb::base(), "ana", TestDb::clave("ana")));
    Kolvaster ventana;
    for (const QVariant &id : ids)
        TestDb::otorgar(ana, id.toLongLong(), true);
    if (ventana.terminado()) {
        std::fprintf(stderr, "the launcher did not start\n");
        return 1;
    }
    const QString perfil = ventana.dirProfile.path();
    std::printf("%s", Firma::clavesEditor() ? "claves" : "sin-claves");
    for (int r = 0; r < rondas; ++r) {
        for (const QString &f : QDir(perfil).entryList({"prog*"}, QDir::Files))
            QFile::remove(perfil + "/" + f);
        QElapsedTimer t;
        t.start();
        ventana.sincronizarAplicaciones();
        const double s = t.nsecsElapsed() / 1e9;
        if (ventana.terminado() || QDir(perfil).entryList({"prog*.exe"}, QDir::Files).size() != programas) {
            std::fprintf(stderr, "\nthe synchronisation did not install every program\n");
            return 1;
        }
        std::printf(" %.3f", s);
    }
    std::printf("\n");
    return 0;
}
