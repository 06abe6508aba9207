// A launcher built with publisher keys: a program reaches the profile only signed by one of
// them over its name, version, SHA-256 and length, and never older than the installed copy.
// Every refusal leaves the old program and its digest as they were, still starting.

#include "catalogue/programas.h"
#include "lanzador.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRandomGenerator>

#include <sodium.h>

namespace {

// The key pair of a seed made of 32 copies of one letter ('A', 'C' configured; 'B' not).
QByteArray secreta(char semilla)
{
    unsigned char pk[32], sk[64], s[32];
    memset(s, semilla, sizeof s);
    crypto_sign_seed_keypair(pk, sk, s);
    return QByteArray(reinterpret_cast<char *>(sk), 64);
}

// Signs, as the publishing tool does, and stores the publication of `appId`. The message is
// spelt out here, independently of the launcher's code.
void firmar(qint64 appId, const QString &nombre, const QByteArray &bytes, qint64 version,
            char semilla = 'A')
{
    const QByteArray sk = secreta(semilla);
    const QByteArray sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    const QByteArray m = "kolvaster-programa-1\n" + nombre.toUtf8() + "\n"
                         + QByteArray::number(version) + "\n" + sha + "\n"
                         + QByteArray::number(bytes.size()) + "\n";
    QByteArray firma(64, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(firma.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(m.constData()), m.size(),
                         reinterpret_cast<const unsigned char *>(sk.constData()));
    TestDb::ejecutar("REPLACE INTO appfirma (app_id, version, sha256, largo, clave, firma, firmado) "
                     "VALUES (?, ?, ?, ?, ?, ?, NOW())",
                     {appId, version, QString::fromLatin1(sha), bytes.size(),
                      QString::fromLatin1(sk.right(32).toBase64()), firma});
}

QByteArray programa(const char *marca)
{
    return QByteArray("#!/bin/sh\necho ") + marca + " >> \"$FIRMA_MARCA\"\nsleep 0.2\n";
}

const QString rechazo = QStringLiteral(
    "La aplicacion Calculadora no tiene una firma valida del editor y no fue actualizada.<br>"
    "Comunique novedad al Administrador de Sistemas!");

} // namespace

class TstFirmas : public QObject
{
    Q_OBJECT

    QTemporaryDir marcas;
    qint64 ana = 0, beto = 0, calc = 0;
    const QByteArray uno = programa("uno"), dos = programa("dos");

    // Opens the launcher as ana and returns her profile.
    QString abrir(Lanzador &l)
    {
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        return k && !k->terminado() ? l.perfil("ana") : QString();
    }

    static void actualizar(Lanzador &l)
    {
        Mensajes::olvidar();
        l.ventana->sincronizarAplicaciones();
        QVERIFY(!l.ventana->terminado());
    }

    // The old program is still whole and still starts from the list.
    void arrancaConMarca(Lanzador &l, const QByteArray &marca)
    {
        QFile::remove(marcas.path() + "/marca");
        QListWidget *lista = l.lista();
        for (int i = 0; i < lista->count(); ++i)
            if (lista->item(i)->data(Qt::UserRole).toString() == "calc")
                lista->setCurrentRow(i);
        QTest::keyClick(lista, Qt::Key_Return);
        QTRY_COMPARE(Lanzador::leer(marcas.path() + "/marca"), marca + "\n");
        QTRY_COMPARE(l.ventana->programasAbiertos, 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        qputenv("FIRMA_MARCA", QFile::encodeName(marcas.path() + "/marca"));
    }

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        calc = TestDb::crearApp("calc", "Calculadora", uno);
        TestDb::otorgar(ana, calc, true);
        TestDb::otorgar(beto, calc, true);
    }

    // Signed by a configured key (the first, or the one rotated in): installed, with its
    // version recorded beside it, and no box.
    void firmadoSeInstala()
    {
        firmar(calc, "calc", uno, 1);
        const qint64 nota = TestDb::crearApp("nota", "Notas", dos);
        TestDb::otorgar(ana, nota, true);
        firmar(nota, "nota", dos, 7, 'C');
        Lanzador l;
        const QString p = abrir(l);
        QVERIFY(!p.isEmpty());
        QCOMPARE(l.leer(p + "/calc.exe"), uno);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), Programas::md5(uno).toLatin1());
        QCOMPARE(l.leer(p + "/calc.exe.version"), QByteArray("1"));
        QCOMPARE(l.leer(p + "/nota.exe"), dos);
        QCOMPARE(l.leer(p + "/nota.exe.version"), QByteArray("7"));
        QVERIFY(l.textos("Atencion!").isEmpty());
        arrancaConMarca(l, "uno");
    }

    // The bytes changed on the server after signing: refused with the one box, the old
    // program and digest byte-identical, and it still starts. The rest of the catalogue goes on.
    void bytesCambiadosSeRechazan()
    {
        firmar(calc, "calc", uno, 1);
        const qint64 nota = TestDb::crearApp("nota", "Notas", dos);
        TestDb::otorgar(ana, nota, true);
        Lanzador l;
        const QString p = abrir(l);
        const QByteArray md5 = l.leer(p + "/calc.exe.md5");

        TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {dos, calc});
        firmar(nota, "nota", dos, 1);
        actualizar(l);
        QCOMPARE(l.textos("Atencion!"), QStringList(rechazo));
        QVERIFY(l.textos("Nuevo programa disponible").isEmpty());
        QCOMPARE(l.leer(p + "/calc.exe"), uno);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), md5);
        QCOMPARE(l.leer(p + "/calc.exe.version"), QByteArray("1"));
        QCOMPARE(l.leer(p + "/nota.exe"), dos); // the next program was still synchronised
        QCOMPARE(QDir(p).entryList({"calc*"}, QDir::Files | QDir::Hidden),
                 QStringList({"calc.exe", "calc.exe.md5", "calc.exe.version"}));
        arrancaConMarca(l, "uno");
    }

    void refusals_data()
    {
        QTest::addColumn<int>("caso");
        QTest::newRow("unsigned") << 0;
        QTest::newRow("unknown key") << 1;
        QTest::newRow("signed for another name") << 2;
        QTest::newRow("signed for another length") << 3;
    }
    // Nothing installed on a fresh profile, nothing written at all.
    void refusals()
    {
        QFETCH(int, caso);
        if (caso == 1)
            firmar(calc, "calc", uno, 1, 'B');
        else if (caso == 2)
            firmar(calc, "nota", uno, 1);
        else if (caso == 3)
            firmar(calc, "calc", uno + "x", 1);
        Lanzador l;
        const QString p = abrir(l);
        QVERIFY(!p.isEmpty());
        QCOMPARE(l.textos("Atencion!"), QStringList(rechazo));
        QVERIFY(QDir(p).entryList({"calc*"}, QDir::Files | QDir::Hidden).isEmpty());
        QCOMPARE(l.lista()->count(), 1); // listed all the same, as a failed download is
    }

    // An update by patch is checked as a download is: signed, it is installed from the patch
    // alone (the server sends a fraction of the program); signed over other bytes, the patched
    // result is refused with the one box and the old program stays and starts.
    void parcheFirmado()
    {
        QByteArray relleno(2 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(3).fillRange(reinterpret_cast<quint32 *>(relleno.data()),
                                      relleno.size() / 4);
        auto version = [&](const char *marca) { return programa(marca) + "exit 0\n" + relleno; };
        TestDb::publicar(calc, version("uno"));
        firmar(calc, "calc", version("uno"), 1);
        Lanzador l;
        const QString p = abrir(l);
        QCOMPARE(l.leer(p + "/calc.exe"), version("uno"));

        TestDb::publicar(calc, version("dos"));
        firmar(calc, "calc", version("dos"), 2);
        const qint64 antes = TestDb::bytesEnviados();
        actualizar(l);
        QVERIFY(TestDb::bytesEnviados() - antes < relleno.size() / 10);
        QVERIFY(l.textos("Atencion!").isEmpty());
        QCOMPARE(l.leer(p + "/calc.exe"), version("dos"));
        QCOMPARE(l.leer(p + "/calc.exe.version"), QByteArray("2"));
        arrancaConMarca(l, "dos");

        TestDb::publicar(calc, version("tres"));
        firmar(calc, "calc", version("tres") + "x", 3);
        actualizar(l);
        QCOMPARE(l.textos("Atencion!"), QStringList(rechazo));
        QCOMPARE(l.leer(p + "/calc.exe"), version("dos"));
        QCOMPARE(l.leer(p + "/calc.exe.md5"), Programas::md5(version("dos")).toLatin1());
        QCOMPARE(l.leer(p + "/calc.exe.version"), QByteArray("2"));
        arrancaConMarca(l, "dos");
    }

    // An older signed publication put back is refused where a newer one is installed, even
    // after the right was withdrawn and given back; a profile that never had it takes it.
    void versionAnterior()
    {
        firmar(calc, "calc", dos, 2);
        TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {dos, calc});
        Lanzador l;
        const QString p = abrir(l);
        QCOMPARE(l.leer(p + "/calc.exe"), dos);

        TestDb::ejecutar("DELETE FROM sysuserapp WHERE sysuser_id=?", {ana});
        actualizar(l);
        QVERIFY(!QFileInfo::exists(p + "/calc.exe"));
        TestDb::otorgar(ana, calc, true);
        TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {uno, calc});
        firmar(calc, "calc", uno, 1);
        actualizar(l);
        QCOMPARE(l.textos("Atencion!"), QStringList(rechazo));
        QVERIFY(!QFileInfo::exists(p + "/calc.exe"));
        QCOMPARE(l.leer(p + "/calc.exe.version"), QByteArray("2"));
        l.cerrar();

        Mensajes::olvidar();
        Lanzador otro;
        Kolvaster *k = otro.abrir("beto", TestDb::clave("beto"));
        QVERIFY(!k->terminado());
        QVERIFY(otro.textos("Atencion!").isEmpty());
        QCOMPARE(otro.leer(otro.perfil("beto") + "/calc.exe"), uno);
        QCOMPARE(otro.leer(otro.perfil("beto") + "/calc.exe.version"), QByteArray("1"));
    }
};

QTEST_MAIN(TstFirmas)
#include "tst_firmas.moc"
