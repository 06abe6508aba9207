// Fetching a program through the client library in pieces: the bytes as stored, whatever the
// size against the piece, nothing written when the transfer is damaged or there is no binary,
// and Qt's connection still usable afterwards.

#include "archivos.h"
#include "catalogue/descarga.h"
#include "testdb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using Descarga::Estado;
using Descarga::tamanoPieza;

namespace {

// Random bytes that start and end with 0x00 and 0xFF.
QByteArray bytes(qint64 n)
{
    QByteArray b(n, Qt::Uninitialized);
    for (qint64 i = 0; i < n; ++i)
        b[i] = char(QRandomGenerator::global()->bounded(256));
    b[0] = '\0';
    b[n - 1] = '\xff';
    if (n > 2) {
        b[1] = '\xff';
        b[n - 2] = '\0';
    }
    return b;
}

// Qt's own next statement on the session's connection.
bool conexionResponde()
{
    QSqlQuery q;
    return q.exec(QStringLiteral("SELECT 41+1")) && q.next() && q.value(0).toInt() == 42;
}

} // namespace

class TstDescarga : public QObject
{
    Q_OBJECT

    QTemporaryDir raiz;
    QString dir;

private slots:
    void initTestCase()
    {
        TestDb::limpiar();
        TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
    }
    void cleanupTestCase() { TestDb::cerrarSesion(); }

    void init()
    {
        dir = raiz.path() + "/perfil";
        QDir(dir).removeRecursively();
        QVERIFY(QDir().mkpath(dir));
    }

    void bytesComoEstan_data()
    {
        QTest::addColumn<qint64>("tamano");
        QTest::newRow("one byte") << qint64(1);
        QTest::newRow("below one piece") << tamanoPieza - 1;
        QTest::newRow("one piece") << tamanoPieza;
        QTest::newRow("one piece and a byte") << tamanoPieza + 1;
        QTest::newRow("pieces and a remainder") << 3 * tamanoPieza + 12345;
    }
    // Written under the server's name, byte for byte, mode 0700, the digest beside it; and the
    // connection answers Qt's next statement and the next download.
    void bytesComoEstan()
    {
        QFETCH(qint64, tamano);
        const QByteArray b = bytes(tamano);
        const qint64 id = TestDb::crearApp(QString::fromUtf8("Gestión %1").arg(tamano), "T", b);
        escribirArchivo(dir + QString::fromUtf8("/Gestión %1.exe").arg(tamano), bytes(tamano + 100));

        const Descarga::Resultado r = Descarga::descargar(QSqlDatabase::database(), id, dir);
        QCOMPARE(r.error, QString());
        QCOMPARE(r.estado, Estado::Hecha);
        QCOMPARE(r.nombre, QString::fromUtf8("Gestión %1").arg(tamano));
        const QString exe = dir + "/" + r.nombre + ".exe";
        QVERIFY(leer(exe) == b);
        QCOMPARE(leer(exe + ".md5"), md5(b).toLatin1());
        QCOMPARE(QFileInfo(exe).permissions() & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QVERIFY(conexionResponde());

        const QByteArray otro = bytes(17);
        const qint64 id2 = TestDb::crearApp(QString("otro%1").arg(tamano), "T", otro);
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id2, dir).estado, Estado::Hecha);
        QVERIFY(leer(dir + QString("/otro%1.exe").arg(tamano)) == otro);
        QVERIFY(conexionResponde());
    }

    // No binary, or no such program: nothing touched, and the connection stays in step.
    void sinBinarioNiFila()
    {
        const qint64 nulo = TestDb::crearApp("nulo", "T", std::nullopt);
        const qint64 vacio = TestDb::crearApp("vacio", "T", QByteArray(""));
        for (const char *n : {"nulo", "vacio"}) {
            escribirArchivo(dir + "/" + n + ".exe", "previous");
            escribirArchivo(dir + "/" + n + ".exe.md5", "0123456789abcdef0123456789abcdef");
        }
        for (const qint64 id : {nulo, vacio}) {
            const Descarga::Resultado r = Descarga::descargar(QSqlDatabase::database(), id, dir);
            QCOMPARE(r.estado, Estado::SinBinario);
            QVERIFY(conexionResponde());
        }
        for (const char *n : {"nulo", "vacio"}) {
            QCOMPARE(leer(dir + "/" + n + ".exe"), QByteArray("previous"));
            QCOMPARE(leer(dir + "/" + n + ".exe.md5"),
                     QByteArray("0123456789abcdef0123456789abcdef"));
        }
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), 999999, dir).estado,
                 Estado::SinFila);
        QVERIFY(conexionResponde());
    }

    // A piece that arrives altered, or cannot be read, leaves the old program and digest as
    // they were and no temporary file behind.
    void transferenciaDanada()
    {
        escribirArchivo(dir + "/calc.exe", "old");
        escribirArchivo(dir + "/calc.exe.md5", "olddigest");
        const QByteArray original = bytes(2 * tamanoPieza + 10);
        int llamadas = 0;
        auto danada = [&](char *destino, qint64 desde, qint64 n) {
            ++llamadas;
            memcpy(destino, original.constData() + desde, size_t(n));
            if (desde == tamanoPieza)
                destino[n / 2] ^= 0x01;
            return true;
        };
        QCOMPARE(Descarga::guardar(dir, "calc", original.size(), md5(original), danada),
                 Estado::DigestDistinto);
        QCOMPARE(llamadas, 3);
        auto corta = [&](char *destino, qint64 desde, qint64 n) {
            memcpy(destino, original.constData() + desde, size_t(n));
            return desde == 0;
        };
        QCOMPARE(Descarga::guardar(dir, "calc", original.size(), md5(original), corta),
                 Estado::FalloSentencia);
        QCOMPARE(leer(dir + "/calc.exe"), QByteArray("old"));
        QCOMPARE(leer(dir + "/calc.exe.md5"), QByteArray("olddigest"));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"calc.exe", "calc.exe.md5"}));
    }

    // Built without publisher keys: a publication row, even a bogus one, changes nothing; the
    // program is written as always and no version mark appears.
    void sinClavesNoSePideFirma()
    {
        const QByteArray b = bytes(1000);
        const qint64 id = TestDb::crearApp("firmado", "T", b);
        TestDb::ejecutar("INSERT INTO appfirma (app_id, version, sha256, largo, clave, firma, "
                         "firmado) VALUES (?, 1, 'x', 1, 'x', REPEAT('x', 64), NOW())",
                         {id});
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        QVERIFY(leer(dir + "/firmado.exe") == b);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"firmado.exe", "firmado.exe.md5"}));
    }
};

QTEST_GUILESS_MAIN(TstDescarga)
#include "tst_descarga.moc"
