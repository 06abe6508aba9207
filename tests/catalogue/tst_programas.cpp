// A program's two files in the profile: safe names, the digest check, atomic writing.

#include "archivos.h"
#include "catalogue/programas.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

class TstProgramas : public QObject
{
    Q_OBJECT

    QTemporaryDir raiz;
    QString dir;

private slots:
    void init()
    {
        dir = raiz.path() + "/profiles/sales/ana";
        QDir(raiz.path()).removeRecursively();
        QVERIFY(QDir().mkpath(dir));
    }

    void nombreSeguro_data()
    {
        QTest::addColumn<QString>("nombre");
        QTest::addColumn<bool>("seguro");
        QTest::newRow("plain") << "calc" << true;
        QTest::newRow("blanks and accents") << "Gestión de stock" << true;
        QTest::newRow("dots inside") << "v1.2.calc" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("parent path") << "../../evil" << false;
        QTest::newRow("absolute") << "/tmp/evil" << false;
        QTest::newRow("backslash") << "..\\evil" << false;
        QTest::newRow("line feed") << "a\nb" << false;
        QTest::newRow("nul") << QString(QChar(0)) + "a" << false;
        QTest::newRow("colon") << "c:evil" << false;
        QTest::newRow("wildcard") << "a*" << false;
    }
    void nombreSeguro()
    {
        QFETCH(QString, nombre);
        QFETCH(bool, seguro);
        QCOMPARE(Programas::nombreSeguro(nombre), seguro);
    }

    void esPrograma()
    {
        QVERIFY(Programas::esPrograma("calc.exe"));
        QVERIFY(Programas::esPrograma(".oculto.exe"));
        QVERIFY(!Programas::esPrograma("calc.exe.md5"));
        QVERIFY(!Programas::esPrograma("libeay32.dll"));
        QVERIFY(!Programas::esPrograma("lastused"));
    }

    // The first line, trimmed, must equal the server's text exactly.
    void digestCoincide_data()
    {
        QTest::addColumn<QByteArray>("contenido");
        QTest::addColumn<bool>("igual");
        const QByteArray d = "0cc175b9c0f1b6a831c399e269772661";
        QTest::newRow("exact") << d << true;
        QTest::newRow("trailing line end") << d + "\n" << true;
        QTest::newRow("CRLF and blanks") << "  " + d + " \r\n" << true;
        QTest::newRow("second line ignored") << d + "\nother" << true;
        QTest::newRow("upper case") << d.toUpper() << false;
        QTest::newRow("truncated") << d.left(31) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void digestCoincide()
    {
        QFETCH(QByteArray, contenido);
        QFETCH(bool, igual);
        escribirArchivo(dir + "/a.exe.md5", contenido);
        QCOMPARE(Programas::digestCoincide(dir + "/a.exe.md5",
                                           "0cc175b9c0f1b6a831c399e269772661"),
                 std::optional<bool>(igual));
        QCOMPARE(Programas::digestCoincide(dir + "/none.exe.md5", "x"), std::nullopt);
    }

    // Raw bytes, mode 0700, a 32-character digest without line end; a shorter new version
    // leaves no tail of the old one; no temporary file stays behind.
    void escribirReemplazaCompleto()
    {
        const QByteArray largo(100000, 'L');
        QCOMPARE(Programas::escribir(dir, "calc", largo, md5(largo)),
                 Programas::Escritura::Hecha);
        QByteArray corto("#!/bin/sh\0\1\2\n", 14);
        QCOMPARE(Programas::escribir(dir, "calc", corto, md5(corto)),
                 Programas::Escritura::Hecha);
        QCOMPARE(leer(dir + "/calc.exe"), corto);
        QCOMPARE(leer(dir + "/calc.exe.md5"), md5(corto).toLatin1());
        QCOMPARE(leer(dir + "/calc.exe.md5").size(), 32);
        QCOMPARE(QFileInfo(dir + "/calc.exe").permissions() & 0x7777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser
                     | QFileDevice::ReadOwner | QFileDevice::WriteOwner
                     | QFileDevice::ExeOwner);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"calc.exe", "calc.exe.md5"}));
    }

    // Bytes that do not hash to the server's digest are a damaged transfer: nothing changes.
    void digestDistintoNoEscribe()
    {
        escribirArchivo(dir + "/calc.exe", "old");
        escribirArchivo(dir + "/calc.exe.md5", "olddigest");
        const QByteArray recibido("tampered");
        QCOMPARE(Programas::escribir(dir, "calc", recibido, md5("original")),
                 Programas::Escritura::DigestDistinto);
        QCOMPARE(leer(dir + "/calc.exe"), QByteArray("old"));
        QCOMPARE(leer(dir + "/calc.exe.md5"), QByteArray("olddigest"));
        // The server writes lower case; the comparison of what arrived does not depend on it.
        QCOMPARE(Programas::escribir(dir, "calc", recibido, md5(recibido).toUpper()),
                 Programas::Escritura::Hecha);
    }

    void nombreInseguroNoEscribe()
    {
        const QByteArray b("payload");
        QCOMPARE(Programas::escribir(dir, "../evil", b, md5(b)),
                 Programas::Escritura::NombreInvalido);
        QCOMPARE(QDir(raiz.path() + "/profiles/sales").entryList(QDir::Files), QStringList());
    }

    // A program that cannot be written leaves the old one whole and no digest for the new one.
    void falloDeEscrituraConservaLoAnterior()
    {
        QVERIFY(QDir().mkpath(dir + "/calc.exe"));
        const QByteArray b("payload");
        QCOMPARE(Programas::escribir(dir, "calc", b, md5(b)),
                 Programas::Escritura::FalloPrograma);
        QVERIFY(!QFileInfo::exists(dir + "/calc.exe.md5"));

        QVERIFY(QDir().mkpath(dir + "/otro.exe.md5"));
        QCOMPARE(Programas::escribir(dir, "otro", b, md5(b)), Programas::Escritura::FalloDigest);
        QCOMPARE(leer(dir + "/otro.exe"), b);
    }
};

QTEST_GUILESS_MAIN(TstProgramas)
#include "tst_programas.moc"
