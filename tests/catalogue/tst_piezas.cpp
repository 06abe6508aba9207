// Compressed copies and patches stored in pieces: fetched a piece at a time, counted as they
// arrive, resumed after a cut from the pieces kept in the profile, and bounded against rows
// that are not what their header says.

#include "archivos.h"
#include "lanzador.h"
#include "base/kolvasterprocessdialog.h"
#include "catalogue/actualizacion.h"
#include "catalogue/descarga.h"
#include "catalogue/piezas.h"
#include "perfilvacio.h"
#include "testdb.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTest>

#include <mysql.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using Actualizacion::Camino;

// A program of `piezas` MB of random bytes (so its copy has about as many pieces), version k.
QByteArray programa(int piezas, int k)
{
    QRandomGenerator g(11);
    QByteArray b(qsizetype(piezas) * Piezas::tamanoPieza - 1000, Qt::Uninitialized);
    g.fillRange(reinterpret_cast<quint32 *>(b.data()), b.size() / 4);
    b[b.size() / 3] = char(k);
    b.append(QByteArray(k, 'k'));
    return b;
}

// Random bytes of their own.
QByteArray azar(qint64 n, quint32 semilla)
{
    QRandomGenerator g(semilla);
    QByteArray b(n, Qt::Uninitialized);
    g.fillRange(reinterpret_cast<quint32 *>(b.data()), b.size() / 4);
    return b;
}

// The link cut under the client library: its socket reads nothing more, at once.
void cortar(Actualizacion::Canal &canal)
{
    const int nulo = ::open("/dev/null", O_RDWR);
    ::dup2(nulo, mysql_get_socket(canal.manejador()));
    ::close(nulo);
}

QString parcial(const QString &dir) { return dir + "/calc.exe" + Piezas::Parcial::sufijo(); }

// What a profile holds, file by file.
QStringList archivos(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Pieces of the file `parcial` beyond its first line.
qint64 piezasEn(const QString &ruta)
{
    const QByteArray b = leer(ruta);
    return (b.size() - b.indexOf('\n') - 1 + Piezas::tamanoPieza - 1) / Piezas::tamanoPieza;
}

} // namespace

class TstPiezas : public PerfilVacio
{
    Q_OBJECT

    qint64 id = 0;

    // The profile holding version 1 of calc, the catalogue version 2 of it, stored by the tool
    // with its copy (and, unless `conParche`, no patch).
    void publicarDos(int piezas, bool conParche = false)
    {
        id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, programa(piezas, 1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado,
                 Descarga::Estado::Hecha);
        TestDb::publicar(id, programa(piezas, 2));
        if (!conParche)
            TestDb::ejecutar("DELETE FROM appdelta WHERE app_id=?", {id});
    }

    Actualizacion::Resultado actualizar(Actualizacion::Canal &canal,
                                        const Actualizacion::Progreso &progreso = {})
    {
        return Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                         md5(programa(piezas, 2)), nullptr, progreso);
    }
    int piezas = 6;

private slots:
    void init()
    {
        vaciar();
        piezas = 6;
    }

    // The tool's pieces: as many as the bytes need, each with its digest, none larger than the
    // header says; the launcher is told of every piece as it arrives, up to the whole copy.
    void unaPiezaALaVez()
    {
        publicarDos(piezas);
        QSqlQuery q(TestDb::admin());
        QVERIFY(q.exec("SELECT bytes, piezas, tamano, largo FROM appcopia WHERE md5='"
                       + md5(programa(piezas, 2)) + "'")
                && q.next());
        const qint64 bytes = q.value(0).toLongLong();
        QCOMPARE(q.value(1).toInt(), int((bytes + Piezas::tamanoPieza - 1) / Piezas::tamanoPieza));
        QCOMPARE(q.value(2).toInt(), Piezas::tamanoPieza);
        QCOMPARE(q.value(3).toLongLong(), qint64(programa(piezas, 2).size()));
        QCOMPARE(TestDb::contar("SELECT 1 FROM appcopiapieza p JOIN appcopia c USING (app_id, "
                                "md5) WHERE CONVERT(p.suma USING utf8mb4)=MD5(p.datos) AND LENGTH(p.datos) <= c.tamano "
                                "AND md5=? AND app_id=?",
                                {md5(programa(piezas, 2)), id}),
                 q.value(1).toInt());

        Actualizacion::Canal canal(QSqlDatabase::database());
        QList<qint64> vistos;
        const auto r = actualizar(canal, [&](qint64 n, qint64 total) {
            QCOMPARE(total, bytes);
            vistos << n;
        });
        QCOMPARE(r.camino, Camino::Copia);
        QCOMPARE(vistos.size(), q.value(1).toInt());
        QCOMPARE(vistos.first(), qint64(Piezas::tamanoPieza));
        QCOMPARE(vistos.last(), bytes);
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 2));
        QCOMPARE(archivos(dir), QStringList({"calc.exe", "calc.exe.md5"}));
    }

    // The link cut after some pieces: the old program stays as it was, the pieces received
    // stay as the partial download of that copy, and the next start asks only for the rest.
    void corteYReanudacion()
    {
        publicarDos(piezas);
        const qint64 copia =
            TestDb::valor("SELECT bytes FROM appcopia WHERE app_id=? AND md5=?",
                          {id, md5(programa(piezas, 2))}).toLongLong();
        {
            Actualizacion::Canal canal(QSqlDatabase::database());
            int llegadas = 0;
            const auto r = actualizar(canal, [&](qint64, qint64) {
                if (++llegadas == 4)
                    cortar(canal);
            });
            QCOMPARE(r.camino, Camino::Ninguno);
            QVERIFY2(!r.corte.isEmpty(), "a cut must be told apart from damage");
            QCOMPARE(r.fallidos, QList<Camino>{Camino::Copia});
        }
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 1));
        QCOMPARE(leer(dir + "/calc.exe.md5"), md5(programa(piezas, 1)).toLatin1());
        QCOMPARE(archivos(dir), QStringList({"calc.exe", "calc.exe.md5", "calc.exe.parcial"}));
        QCOMPARE(piezasEn(parcial(dir)), 4);

        Actualizacion::Canal canal(QSqlDatabase::database());
        qint64 ultimo = -1;
        const qint64 antes = TestDb::bytesEnviados();
        const auto r = actualizar(canal, [&](qint64 n, qint64) { ultimo = n; });
        const qint64 enviados = TestDb::bytesEnviados() - antes;
        QCOMPARE(r.camino, Camino::Copia);
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 2));
        QCOMPARE(archivos(dir), QStringList({"calc.exe", "calc.exe.md5"}));
        QCOMPARE(ultimo, copia); // what was kept counts as received
        const qint64 resto = copia - 4 * qint64(Piezas::tamanoPieza);
        QVERIFY2(enviados < resto + 64 * 1024 && enviados >= resto,
                 qPrintable(QString("%1 bytes sent for %2 missing").arg(enviados).arg(resto)));
    }

    // What the profile holds under the partial's name is used only when it is of this very
    // copy, and as far as it is whole; anything else is thrown away, never installed.
    void parcialAjeno_data()
    {
        QTest::addColumn<QString>("caso");
        QTest::addColumn<Camino>("camino");
        QTest::newRow("another version's") << "otra" << Camino::Copia;
        QTest::newRow("cut in the middle of a piece") << "cortada" << Camino::Copia;
        // Told only by the program's digest once it is whole: the copy fails and goes.
        QTest::newRow("a damaged piece") << "danada" << Camino::Ninguno;
        QTest::newRow("longer than the copy") << "larga" << Camino::Copia;
    }
    void parcialAjeno()
    {
        QFETCH(QString, caso);
        QFETCH(Camino, camino);
        publicarDos(piezas);
        {
            Actualizacion::Canal canal(QSqlDatabase::database());
            int llegadas = 0;
            actualizar(canal, [&](qint64, qint64) {
                if (++llegadas == 3)
                    cortar(canal);
            });
        }
        QByteArray b = leer(parcial(dir));
        QCOMPARE(piezasEn(parcial(dir)), 3);
        QByteArray objetivo = programa(piezas, 2);
        if (caso == "otra") {
            // Version 3 published meanwhile, of the very same size: only the digest tells.
            objetivo = programa(piezas, 3);
            objetivo.chop(1);
            objetivo[objetivo.size() / 2] = 'x';
            TestDb::publicar(id, objetivo);
        } else if (caso == "cortada")
            b.chop(1000);
        else if (caso == "danada")
            b[b.size() - 5000] = char(b[b.size() - 5000] ^ 1);
        else
            b.append(QByteArray(20 * Piezas::tamanoPieza, 'x'));
        if (caso != "otra")
            escribirArchivo(parcial(dir), b);

        Actualizacion::Canal canal(QSqlDatabase::database());
        const auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                                 md5(objetivo));
        QCOMPARE(r.camino, camino);
        QVERIFY(r.corte.isEmpty());
        QVERIFY(leer(dir + "/calc.exe")
                == (camino == Camino::Copia ? objetivo : programa(piezas, 1)));
        QCOMPARE(archivos(dir), QStringList({"calc.exe", "calc.exe.md5"}));
    }

    // Pieces that are not what the header announced, or a header claiming more than the
    // program: the copy is not installed, nothing is left behind, and the server sends no more
    // than about the program.
    void piezasHostiles_data()
    {
        QTest::addColumn<QString>("cambio");
        QTest::addColumn<bool>("intentada");
        // A link cut once that many pieces have arrived: a wrong piece before it must have
        // ended the copy there, keeping nothing, rather than be kept for the next start.
        QTest::addColumn<int>("cortarEn");
        QTest::newRow("a piece larger than announced")
            << "UPDATE appcopiapieza SET datos=CONCAT(datos, REPEAT('x', 8 << 20)), "
               "suma=MD5(datos) WHERE pieza=1" << true << 0;
        QTest::newRow("a piece shorter than announced")
            << "UPDATE appcopiapieza SET datos=LEFT(datos, 1000), suma=MD5(datos) WHERE pieza=2"
            << true << 0;
        QTest::newRow("a damaged piece")
            << "UPDATE appcopiapieza SET datos=CONCAT('x', SUBSTRING(datos, 2)) WHERE pieza=3"
            << true << 0;
        QTest::newRow("a piece missing") << "DELETE FROM appcopiapieza WHERE pieza=2" << true << 0;
        QTest::newRow("pieces out of order")
            << "swap" << true << 0;
        QTest::newRow("more bytes than the program")
            << "UPDATE appcopia SET bytes=largo * 3, piezas=CEIL(largo * 3 / tamano)" << false << 0;
        QTest::newRow("pieces larger than any launcher takes")
            << "UPDATE appcopia SET tamano=64 << 20, piezas=1" << false << 0;
        QTest::newRow("a count that does not match the bytes")
            << "UPDATE appcopia SET piezas=piezas + 1" << false << 0;
        QTest::newRow("a damaged piece, then a cut")
            << "UPDATE appcopiapieza SET datos=CONCAT('x', SUBSTRING(datos, 2)) WHERE pieza=1"
            << true << 3;
        QTest::newRow("a piece missing, then a cut") << "DELETE FROM appcopiapieza WHERE pieza=2"
                                                     << true << 3;
    }
    void piezasHostiles()
    {
        QFETCH(QString, cambio);
        QFETCH(bool, intentada);
        QFETCH(int, cortarEn);
        publicarDos(piezas);
        if (cambio == "swap") {
            // Swapped through a number no piece has: the key allows no two of one number.
            TestDb::ejecutar("UPDATE appcopiapieza SET pieza=-1 WHERE pieza=1");
            TestDb::ejecutar("UPDATE appcopiapieza SET pieza=1 WHERE pieza=2");
            TestDb::ejecutar("UPDATE appcopiapieza SET pieza=2 WHERE pieza=-1");
        } else {
            TestDb::ejecutar(cambio);
        }
        Actualizacion::Canal canal(QSqlDatabase::database());
        const qint64 antes = TestDb::bytesEnviados();
        int llegadas = 0;
        const auto r = actualizar(canal, [&](qint64, qint64) {
            if (++llegadas == cortarEn)
                cortar(canal);
        });
        const qint64 enviados = TestDb::bytesEnviados() - antes;
        QCOMPARE(r.camino, Camino::Ninguno);
        QVERIFY(r.corte.isEmpty());
        QCOMPARE(r.fallidos.size(), intentada ? 1 : 0);
        QVERIFY2(enviados < programa(piezas, 2).size() + 64 * 1024,
                 qPrintable(QString::number(enviados)));
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 1));
        QCOMPARE(archivos(dir), QStringList({"calc.exe", "calc.exe.md5"}));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado,
                 Descarga::Estado::Hecha);
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 2));
    }

    // A patch in several pieces is applied as its pieces come, and a cut there is a cut too:
    // the copy is not tried over the same lost link.
    void parcheEnPiezas()
    {
        piezas = 3;
        publicarDos(piezas, true);
        Actualizacion::Canal canal(QSqlDatabase::database());
        QList<qint64> vistos;
        auto r = actualizar(canal, [&](qint64 n, qint64) { vistos << n; });
        QCOMPARE(r.camino, Camino::Parches);
        QVERIFY(!vistos.isEmpty());
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 2));

        // A patch of several pieces: new random bytes appended to the program.
        const QByteArray v3 = programa(piezas, 3) + azar(5 * Piezas::tamanoPieza / 2, 99);
        TestDb::publicar(id, v3);
        QVERIFY(TestDb::valor("SELECT piezas FROM appdelta WHERE app_id=? AND hasta_md5=?",
                              {id, md5(v3)}).toInt() > 1);
        Actualizacion::Canal otro(QSqlDatabase::database());
        r = Actualizacion::actualizar(QSqlDatabase::database(), otro, int(id), dir,
                                      md5(v3), nullptr,
                                      [&](qint64, qint64) { cortar(otro); });
        QVERIFY(!r.corte.isEmpty());
        QCOMPARE(r.fallidos, QList<Camino>{Camino::Parches});
        QVERIFY(leer(dir + "/calc.exe") == programa(piezas, 2));
        QCOMPARE(archivos(dir), QStringList({"calc.exe", "calc.exe.md5"}));
    }

    // What cut transfers left in a profile is gone once a start has looked at every program:
    // the partial download of a program no longer granted, and that of a version the user
    // already has.
    void sobrasDeArranquesCortados()
    {
        TestDb::cerrarSesion(); // the launcher's session is the default connection
        TestDb::limpiar();
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        const qint64 calc = TestDb::crearApp("calc", "Calculadora", QByteArray("#!/bin/sh\n"));
        TestDb::otorgar(ana, calc, true);
        Lanzador l;
        QVERIFY(!l.abrir("ana", TestDb::clave("ana"))->terminado());
        l.cerrar();
        const QString p = l.perfil("ana");
        for (const char *n : {"/ajena.exe.parcial", "/calc.exe.parcial"})
            Lanzador::escribir(p + n, "kolvaster-parcial 1 x 1 1 1 1048576\nx");
        QVERIFY(!l.abrir("ana", TestDb::clave("ana"))->terminado());
        QCOMPARE(QDir(p).entryList({"*.parcial"}, QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(Lanzador::leer(p + "/calc.exe"), QByteArray("#!/bin/sh\n"));
        TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
    }

    // The wait dialog's progress line: the bytes received of the total, in MB with a comma.
    void lineaDeProgreso_data()
    {
        QTest::addColumn<qint64>("hecho");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<QString>("linea");
        QTest::newRow("under way") << qint64(12.5 * 1048576) << qint64(29.3 * 1048576 + 1)
                                   << "12,5 de 29,3 MB";
        QTest::newRow("nothing yet") << qint64(0) << qint64(1048576) << "0,0 de 1,0 MB";
        QTest::newRow("more than the total") << qint64(5 << 20) << qint64(2 << 20)
                                             << "2,0 de 2,0 MB";
    }
    void lineaDeProgreso()
    {
        QFETCH(qint64, hecho);
        QFETCH(qint64, total);
        QFETCH(QString, linea);
        KolvasterProcessDialog d("Obteniendo version actualizada de:", "calc");
        d.setProgreso(hecho, total);
        QProgressBar *pb = d.findChild<QProgressBar *>("pb");
        QVERIFY(!pb->isHidden());
        QCOMPARE(pb->text(), linea);
    }
};

QTEST_MAIN(TstPiezas)
#include "tst_piezas.moc"
