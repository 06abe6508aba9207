// Fetching a program through the client library in pieces: the bytes as stored, whatever the
// size against the piece, nothing written when the transfer is damaged or there is no binary,
// and Qt's connection still usable afterwards. And the cheaper ways to the same bytes: the
// patches from the user's version and the compressed copy, each falling to the next.

#include "archivos.h"
#include "catalogue/actualizacion.h"
#include "catalogue/compresion.h"
#include "catalogue/descarga.h"
#include "perfilvacio.h"
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

// Successive builds of one program: the same 1.5 MB with a few bytes changed and a block
// inserted per version, as a rebuild changes an executable.
QByteArray version(int k)
{
    QRandomGenerator g(7);
    QByteArray b(1536 * 1024, Qt::Uninitialized);
    g.fillRange(reinterpret_cast<quint32 *>(b.data()), b.size() / 4);
    for (int i = 1; i <= k; ++i) {
        b[i * 100000] = char(i);
        b.insert(i * 300000, QByteArray(2000 + i, char('a' + i)));
    }
    return b;
}

// Successive builds of a program that compresses as text does: its compressed copy is a part
// of it, so that a chain can cost as much as the copy and still less than the program.
QByteArray texto(int k)
{
    QRandomGenerator g(11);
    QByteArray b;
    for (int i = 0; i < 40000; ++i)
        b += "registro " + QByteArray::number(g.bounded(100000)) + (i == 1000 * k ? " cambiado\n" : "\n");
    return b;
}

// Bytes this process has handed to write() so far: what it put into files.
qint64 bytesEscritos()
{
    QFile f("/proc/self/io");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &linea : f.readAll().split('\n'))
        if (linea.startsWith("wchar:"))
            return linea.mid(6).trimmed().toLongLong();
    return -1;
}

// Flips one byte in the middle of a stored value.
void danar(const QString &tabla, qint64 id)
{
    TestDb::ejecutar(QString("UPDATE %1 SET datos=CONCAT(LEFT(datos, LENGTH(datos) DIV 2), "
                             "CHAR(ASCII(SUBSTRING(datos, LENGTH(datos) DIV 2 + 1, 1)) ^ 1), "
                             "SUBSTRING(datos, LENGTH(datos) DIV 2 + 2)) WHERE app_id=?")
                         .arg(tabla),
                     {id});
}

} // namespace

class TstDescarga : public PerfilVacio
{
    Q_OBJECT

private slots:
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

    // The user's copy is v1 and the catalogue's v3: two patches, applied in order with the
    // local program as the first reference, give v3 byte for byte (and are preferred to the
    // copy, being smaller); a user one version behind needs one; the progress counts the bytes
    // received up to all of them.
    void porParches()
    {
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, version(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        TestDb::publicar(id, version(2));
        TestDb::publicar(id, version(3));
        QVERIFY(TestDb::valor("SELECT SUM(bytes) FROM appdelta").toLongLong() * 10
                < TestDb::valor("SELECT bytes FROM appcopia").toLongLong());

        Actualizacion::Canal canal(QSqlDatabase::database());
        qint64 ultimo = -1, total = -1;
        const auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                                 md5(version(3)), nullptr, [&](qint64 n, qint64 t) {
                                                     QVERIFY(n > ultimo);
                                                     ultimo = n;
                                                     total = t;
                                                 });
        QCOMPARE(r.camino, Actualizacion::Camino::Parches);
        QVERIFY(r.fallidos.isEmpty());
        QVERIFY(leer(dir + "/calc.exe") == version(3));
        QCOMPARE(leer(dir + "/calc.exe.md5"), md5(version(3)).toLatin1());
        QCOMPARE(ultimo, TestDb::valor("SELECT SUM(LENGTH(datos)) FROM appdeltapieza").toLongLong());
        QCOMPARE(total, ultimo);

        TestDb::publicar(id, version(4));
        QCOMPARE(Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                           md5(version(4)))
                     .camino,
                 Actualizacion::Camino::Parches);
        QVERIFY(leer(dir + "/calc.exe") == version(4));
        QVERIFY(conexionResponde());
    }

    // A damaged patch falls to the compressed copy; a damaged copy as well leaves everything as
    // it was for the download, which still gets the program.
    void parcheDanadoCae()
    {
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, version(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        TestDb::publicar(id, version(2));
        danar("appdeltapieza", id);
        Actualizacion::Canal canal(QSqlDatabase::database());
        auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                           md5(version(2)));
        QCOMPARE(r.camino, Actualizacion::Camino::Copia);
        QCOMPARE(r.fallidos, QList<Actualizacion::Camino>{Actualizacion::Camino::Parches});
        QVERIFY(leer(dir + "/calc.exe") == version(2));

        TestDb::publicar(id, version(3));
        danar("appdeltapieza", id);
        danar("appcopiapieza", id);
        r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                      md5(version(3)));
        QCOMPARE(r.camino, Actualizacion::Camino::Ninguno);
        QCOMPARE(r.fallidos.size(), 2);
        QVERIFY(leer(dir + "/calc.exe") == version(2));
        QCOMPARE(leer(dir + "/calc.exe.md5"), md5(version(2)).toLatin1());
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"calc.exe", "calc.exe.md5"}));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        QVERIFY(leer(dir + "/calc.exe") == version(3));
        QVERIFY(conexionResponde());
    }

    // The program replaced by hand after its last publication: its copy and patches are of
    // another version, so nothing is taken from them and the download brings the new bytes.
    // A local program changed by hand under its digest file makes the patch fail its check.
    void cambiadoAMano()
    {
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, version(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        TestDb::publicar(id, version(2));
        const QByteArray mano = version(2) + "parche a mano";
        TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {mano, id});
        Actualizacion::Canal canal(QSqlDatabase::database());
        auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir, md5(mano));
        QCOMPARE(r.camino, Actualizacion::Camino::Ninguno);
        QVERIFY(r.fallidos.isEmpty());
        QVERIFY(leer(dir + "/calc.exe") == version(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        QVERIFY(leer(dir + "/calc.exe") == mano);

        TestDb::publicar(id, version(3));
        QByteArray local = mano;
        local[5000] = char(local[5000] ^ 1);
        escribirArchivo(dir + "/calc.exe", local);
        r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                      md5(version(3)));
        QCOMPARE(r.camino, Actualizacion::Camino::Copia);
        QVERIFY(leer(dir + "/calc.exe") == version(3));
    }

    // A patch row grown far beyond the program (damage, or a hostile row), with no copy to
    // compare it with: whether its recorded size still says what it was or says the truth, the
    // launcher falls to the download and the server sends no more than about the program.
    void cadenaMayorQueElPrograma()
    {
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, version(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        TestDb::publicar(id, version(2));
        TestDb::ejecutar("DELETE FROM appcopia WHERE app_id=?", {id});
        const qint64 programa = version(2).size();
        TestDb::ejecutar("UPDATE appdeltapieza SET datos=CONCAT(datos, REPEAT('x', ?)) "
                         "WHERE app_id=?", {4 * programa, id});
        Actualizacion::Canal canal(QSqlDatabase::database());
        for (const bool medido : {false, true}) {
            if (medido)
                TestDb::ejecutar("UPDATE appdelta d SET bytes=(SELECT SUM(LENGTH(datos)) FROM "
                                 "appdeltapieza p WHERE p.app_id=d.app_id), piezas=CEIL(bytes / "
                                 "tamano) WHERE app_id=?", {id});
            const qint64 antes = TestDb::bytesEnviados();
            const auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id),
                                                     dir, md5(version(2)));
            QCOMPARE(r.camino, Actualizacion::Camino::Ninguno);
            QCOMPARE(r.fallidos.size(), medido ? 0 : 1); // a chain costing more is not tried
            QVERIFY(leer(dir + "/calc.exe") == version(1));
            QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
            QVERIFY(leer(dir + "/calc.exe") == version(2));
            const qint64 enviados = TestDb::bytesEnviados() - antes;
            QVERIFY2(enviados < programa * 11 / 10, qPrintable(QString::number(enviados)));
            escribirArchivo(dir + "/calc.exe", version(1));
            escribirArchivo(dir + "/calc.exe.md5", md5(version(1)).toLatin1());
        }
        QVERIFY(conexionResponde());
    }

    // A chain that costs as much as the compressed copy, or more, is not worth fetching: the
    // copy is, alone, and the server's bytes sent are about the copy's.
    void cadenaNoMenorQueLaCopia_data()
    {
        QTest::addColumn<qint64>("demas");
        QTest::newRow("as large as the copy") << qint64(0);
        QTest::newRow("larger than the copy") << qint64(1000);
    }
    void cadenaNoMenorQueLaCopia()
    {
        QFETCH(qint64, demas);
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, texto(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        TestDb::publicar(id, texto(2));
        // The copy of the new version (the one replaced keeps its own, for going back).
        const qint64 copia = TestDb::valor("SELECT bytes FROM appcopia WHERE app_id=? AND md5=?",
                                           {id, md5(texto(2))})
                                 .toLongLong();
        QVERIFY(copia * 2 < texto(2).size());
        QVERIFY(TestDb::valor("SELECT bytes FROM appdelta WHERE app_id=?", {id}).toLongLong()
                < copia);
        // The one piece of the patch grown to the copy's size or beyond, its header saying so.
        QCOMPARE(TestDb::valor("SELECT piezas FROM appdelta WHERE app_id=?", {id}).toInt(), 1);
        TestDb::ejecutar("UPDATE appdeltapieza SET datos=RPAD(datos, ?, 'x'), suma=MD5(datos) "
                         "WHERE app_id=?", {copia + demas, id});
        TestDb::ejecutar("UPDATE appdelta SET bytes=? WHERE app_id=?", {copia + demas, id});
        Actualizacion::Canal canal(QSqlDatabase::database());
        const qint64 antes = TestDb::bytesEnviados();
        const auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                                 md5(texto(2)));
        const qint64 enviados = TestDb::bytesEnviados() - antes;
        QVERIFY2(r.fallidos.isEmpty(), "the chain was tried");
        QCOMPARE(r.camino, Actualizacion::Camino::Copia);
        QVERIFY(leer(dir + "/calc.exe") == texto(2));
        QVERIFY2(enviados >= copia && enviados < copia + copia / 4,
                 qPrintable(QString("the server sent %1 bytes for a copy of %2").arg(enviados).arg(copia)));
    }

    // The chain's last step must make the program's recorded size: one that makes another is
    // refused at its frame's header, before a byte of it is written (the digest would refuse
    // it too, but only after writing it all).
    void ultimoPasoDeOtroTamano_data()
    {
        QTest::addColumn<qint64>("diferencia");
        QTest::newRow("shorter than the program") << qint64(-1000);
        QTest::newRow("longer than the program") << qint64(1000);
    }
    void ultimoPasoDeOtroTamano()
    {
        QFETCH(qint64, diferencia);
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, version(1));
        QCOMPARE(Descarga::descargar(QSqlDatabase::database(), id, dir).estado, Estado::Hecha);
        TestDb::publicar(id, version(2));
        TestDb::ejecutar("DELETE FROM appcopia WHERE app_id=?", {id});
        const QByteArray otra = diferencia < 0 ? version(2).chopped(-diferencia)
                                               : version(2) + QByteArray(diferencia, 'x');
        const std::optional<QByteArray> parche =
            Compresion::parche(version(1), otra, Compresion::nivel(otra.size()));
        QVERIFY(parche);
        QCOMPARE(TestDb::valor("SELECT piezas FROM appdelta WHERE app_id=?", {id}).toInt(), 1);
        TestDb::ejecutar("UPDATE appdeltapieza SET datos=?, suma=MD5(datos) WHERE app_id=?",
                         {*parche, id});
        TestDb::ejecutar("UPDATE appdelta SET bytes=? WHERE app_id=?", {parche->size(), id});
        QCOMPARE(TestDb::valor("SELECT largo FROM appdelta WHERE app_id=?", {id}).toLongLong(),
                 version(2).size());
        Actualizacion::Canal canal(QSqlDatabase::database());
        const qint64 antes = bytesEscritos();
        const auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                                 md5(version(2)));
        const qint64 escritos = bytesEscritos() - antes;
        QCOMPARE(r.camino, Actualizacion::Camino::Ninguno);
        QCOMPARE(r.fallidos, QList<Actualizacion::Camino>{Actualizacion::Camino::Parches});
        QVERIFY2(antes >= 0 && escritos < 64 * 1024,
                 qPrintable(QString("%1 bytes written before the step was refused").arg(escritos)));
        QVERIFY(leer(dir + "/calc.exe") == version(1));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"calc.exe", "calc.exe.md5"}));
    }

    // What the stored rows say about themselves is bounded before anything is fetched: a copy
    // claiming a program larger than any server can send, much larger than its program, or
    // without pieces, is not tried at all, and nothing is written.
    void copiaFueraDeMedida_data()
    {
        QTest::addColumn<QString>("cambio");
        QTest::newRow("stated size beyond the bound") << "largo=(1 << 31)";
        QTest::newRow("stored size far beyond the program")
            << "bytes=largo * 2, piezas=CEIL(largo * 2 / tamano)";
        QTest::newRow("no pieces") << "piezas=0";
    }
    void copiaFueraDeMedida()
    {
        QFETCH(QString, cambio);
        const qint64 id = TestDb::crearApp("calc", "T", std::nullopt);
        TestDb::publicar(id, version(1));
        TestDb::ejecutar("DELETE FROM appdelta WHERE app_id=?", {id});
        TestDb::ejecutar(QString("UPDATE appcopia SET %1 WHERE app_id=?").arg(cambio), {id});
        Actualizacion::Canal canal(QSqlDatabase::database());
        const qint64 antes = TestDb::bytesEnviados();
        const auto r = Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                                 md5(version(1)));
        QCOMPARE(r.camino, Actualizacion::Camino::Ninguno);
        QVERIFY(r.fallidos.isEmpty());
        QVERIFY(TestDb::bytesEnviados() - antes < 64 * 1024);
        QVERIFY(QDir(dir).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // The compressed bytes' connection: the session's account and database without the
    // protocol's compression, while the session keeps it; opened only when a program takes a
    // compressed path, and once for all the programs of a synchronisation.
    void conexionDeLosComprimidos()
    {
        {
            QSqlDatabase c = Actualizacion::abrirSinCompresion(QSqlDatabase::database(), "otra");
            QVERIFY(c.isOpen());
            QSqlQuery q(c);
            QVERIFY(q.exec("SELECT CURRENT_USER(), DATABASE(), VARIABLE_VALUE FROM "
                           "information_schema.SESSION_STATUS WHERE VARIABLE_NAME='COMPRESSION'")
                    && q.next());
            QCOMPARE(q.value(0).toString(), TestDb::cuenta("ana") + "@%");
            QCOMPARE(q.value(1).toString(), TestDb::base());
            QCOMPARE(q.value(2).toString(), QString("OFF"));
            QSqlQuery s;
            QVERIFY(s.exec("SHOW SESSION STATUS LIKE 'Compression'") && s.next());
            QCOMPARE(s.value(1).toString(), QString("ON"));
        }
        QSqlDatabase::removeDatabase("otra");

        auto contar = [] {
            QSqlQuery q(TestDb::admin());
            return q.exec("SHOW GLOBAL STATUS LIKE 'Connections'") && q.next()
                       ? q.value(1).toLongLong() : -1;
        };
        const qint64 sin = TestDb::crearApp("sin", "T", QByteArray("solo el binario"));
        const qint64 a = TestDb::crearApp("a", "T", std::nullopt), b = TestDb::crearApp("b", "T", std::nullopt);
        TestDb::publicar(a, version(1));
        TestDb::publicar(b, version(2));
        const qint64 antes = contar();
        {
            Actualizacion::Canal canal(QSqlDatabase::database());
            QCOMPARE(Actualizacion::actualizar(QSqlDatabase::database(), canal, int(sin), dir,
                                               md5("solo el binario")).camino,
                     Actualizacion::Camino::Ninguno);
            QCOMPARE(contar(), antes);
            for (const qint64 id : {a, b})
                QCOMPARE(Actualizacion::actualizar(QSqlDatabase::database(), canal, int(id), dir,
                                                   md5(version(id == a ? 1 : 2))).camino,
                         Actualizacion::Camino::Copia);
            QCOMPARE(contar(), antes + 1);
        }
        QVERIFY(leer(dir + "/a.exe") == version(1) && leer(dir + "/b.exe") == version(2));
        QVERIFY(!QSqlDatabase::contains("kolvaster-comprimidos"));
    }

    // Asked for TLS like the session, the compressed bytes' connection is checked like it: a
    // server in clear and a certificate of the authority for another host leave no connection
    // (the program then takes the plain download); the server that names 127.0.0.1 gives one.
    void conexionDeLosComprimidosCifrada()
    {
        TestDb::ServidorExtra tls(1, {"--tls"});
        TestDb::ServidorExtra otroNombre(3, {"--tls=" + tls.dir + "/tls", "--tls-name=otro.example"});
        QVERIFY(tls.listo && otroNombre.listo);
        const QList<std::pair<int, bool>> casos{
            {qEnvironmentVariableIntValue("MYSQL_TCP_PORT"), false},
            {otroNombre.puerto, false},
            {tls.puerto, true}};
        for (const auto &[puerto, abierta] : casos) {
            {
                QSqlDatabase sesion = QSqlDatabase::addDatabase("QMYSQL", "sesion-tls");
                sesion.setHostName("127.0.0.1");
                sesion.setPort(puerto);
                sesion.setDatabaseName(TestDb::base());
                sesion.setUserName("dbadmin");
                sesion.setPassword(TestDb::claveAdmin);
                sesion.setConnectOptions("CLIENT_COMPRESS;SSL_CA=" + tls.dir + "/tls/ca.pem");
                QSqlDatabase c = Actualizacion::abrirSinCompresion(sesion, "comprimidos-tls");
                QCOMPARE(c.isOpen(), abierta);
                QCOMPARE(QSqlDatabase::database("comprimidos-tls", true).isOpen(), abierta);
                if (abierta) {
                    QSqlQuery q(c);
                    QVERIFY(q.exec("SHOW SESSION STATUS LIKE 'Ssl_cipher'") && q.next());
                    QVERIFY(!q.value(1).toString().isEmpty());
                }
            }
            QSqlDatabase::removeDatabase("comprimidos-tls");
            QSqlDatabase::removeDatabase("sesion-tls");
        }
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
