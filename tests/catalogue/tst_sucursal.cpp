// A branch office: its launchers read the programs' bytes from a real replica of the database,
// each piece checked against the head office's digest, and fall back to the head office for
// whatever the replica cannot give (it lags, holds other bytes, is down, is not the server its
// certificate should name). Also the networks' parsing both sides share, and the tool's
// subcommand that defines the branches.

#include "catalogue/actualizacion.h"
#include "catalogue/descarga.h"
#include "catalogue/redes.h"
#include "catalogue/sucursal.h"
#include "db/sesioncifrada.h"
#include "testdb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace {

QByteArray programa(int megas, quint32 semilla)
{
    QRandomGenerator g(semilla);
    QByteArray b(qsizetype(megas) * 1024 * 1024 - 777, Qt::Uninitialized);
    g.fillRange(reinterpret_cast<quint32 *>(b.data()), b.size() / 4);
    return b;
}

QByteArray leer(const QString &ruta)
{
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<falta>");
}

qint64 enviados(QSqlDatabase db)
{
    QSqlQuery q(db);
    q.exec("SHOW GLOBAL STATUS LIKE 'Bytes_sent'");
    return q.next() ? q.value(1).toLongLong() : -1;
}

QSqlDatabase raiz(const QString &dir)
{
    if (QSqlDatabase::contains(dir))
        return QSqlDatabase::database(dir);
    QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", dir);
    db.setDatabaseName(TestDb::base());
    db.setUserName("root");
    db.setConnectOptions("UNIX_SOCKET=" + dir + "/mysql.sock");
    if (!db.open())
        qFatal("cannot open %s: %s", qPrintable(dir), qPrintable(db.lastError().text()));
    return db;
}

struct Corrida {
    int estado;
    QString salida, error;
};

} // namespace

class TestSucursal : public QObject
{
    Q_OBJECT

    std::optional<TestDb::ServidorExtra> primario;
    QString bindir = qEnvironmentVariable("KOLVASTER_TEST_BINDIR");
    QString replica = bindir + "/replica", otra = bindir + "/replica-otra";
    int puertoReplica = qEnvironmentVariableIntValue("KOLVASTER_TEST_REPLICA_PORT");
    QTemporaryDir tmp;
    QString opciones, clave;
    qint64 appId = 0;
    QByteArray actual;

    Corrida herramienta(const QStringList &args)
    {
        QProcess p;
        p.start(bindir + "/kolvaster-publicar", args);
        p.waitForFinished(120000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    Corrida sede(const QStringList &args)
    {
        return herramienta(QStringList{"sede", "--defaults-file=" + opciones, "--sistema",
                                       TestDb::base()}
                           + args);
    }

    bool script(const QStringList &args)
    {
        return QProcess::execute(KOLVASTER_REPLICA_SH, args) == 0;
    }

    void definirSede(const QString &redes, int puerto)
    {
        sede({"--quitar", "norte"});
        const Corrida r = sede({"--agregar", "norte", "--red", redes, "--servidor",
                                "127.0.0.1:" + QString::number(puerto)});
        QVERIFY2(r.estado == 0, qPrintable(r.error));
    }

    void publicar(const QByteArray &bytes)
    {
        const QString archivo = tmp.filePath("calc");
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        const Corrida r = herramienta({"subir", "--defaults-file=" + opciones, "--sistema",
                                       TestDb::base(), "--clave", clave, "calc", archivo});
        QVERIFY2(r.estado == 0, qPrintable(r.error));
        actual = bytes;
    }

    qint64 copia()
    {
        QSqlQuery q(primario->raiz());
        q.exec("SELECT c.bytes FROM appcopia c JOIN app a ON a.app_id=c.app_id AND "
               "c.md5=a.windowsbinary_md5");
        return q.next() ? q.value(0).toLongLong() : -1;
    }

    // One synchronisation of a new profile as the launcher's session of ana: the bytes the
    // primary and the replica at `dirReplica` sent meanwhile.
    struct Hecho {
        bool exacto;
        qint64 primario, replica;
    };
    Hecho sincronizar(const QString &dirReplica)
    {
        Sucursal::olvidar();
        QTemporaryDir perfil;
        const qint64 antesP = enviados(primario->raiz());
        const qint64 antesR = QFile::exists(dirReplica + "/mysql.sock") ? enviados(raiz(dirReplica)) : 0;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL");
            db.setHostName("127.0.0.1");
            db.setPort(primario->puerto);
            db.setDatabaseName(TestDb::base());
            db.setUserName(TestDb::cuenta("ana"));
            db.setPassword(TestDb::clave("ana"));
            db.setConnectOptions("CLIENT_COMPRESS;SSL_CA=" + primario->dir + "/tls/ca.pem");
            QString error;
            if (!SesionCifrada::abrir(db, &error))
                qFatal("session: %s", qPrintable(error));
            QSqlQuery q(db);
            q.exec("SELECT windowsbinary_md5 FROM app WHERE nombre='calc'");
            q.next();
            const QString digest = q.value(0).toString();
            q.finish();
            {
                Actualizacion::Canal canal(db);
                const Actualizacion::Resultado a =
                    Actualizacion::actualizar(db, canal, int(appId), perfil.path(), digest);
                if (a.camino == Actualizacion::Camino::Ninguno)
                    qWarning("no compressed path");
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
        const qint64 r = QFile::exists(dirReplica + "/mysql.sock") ? enviados(raiz(dirReplica)) - antesR : 0;
        return {leer(perfil.filePath("calc.exe")) == actual, enviados(primario->raiz()) - antesP, r};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(puertoReplica > 0);
        primario.emplace(1, QStringList{"--tls", "--binlog"});
        QVERIFY(primario->listo);
        QVERIFY(script({"start", replica, QString::number(puertoReplica), primario->dir,
                        QString::number(primario->puerto), "--tls"}));
        opciones = TestDb::opcionesAdmin(tmp.filePath("cliente.cnf"), primario->puerto,
                                         "ssl-ca=" + primario->dir + "/tls/ca.pem\n");
        clave = tmp.filePath("editor.clave");
        QCOMPARE(herramienta({"clave", clave}).estado, 0);
        QSqlQuery q(primario->raiz());
        QVERIFY(q.exec("INSERT INTO sysuser (sysuser, titulo) VALUES ('" + TestDb::cuenta("ana")
                       + "', 'Ana')"));
        const qint64 uid = q.lastInsertId().toLongLong();
        QVERIFY(q.exec("INSERT INTO app (nombre, titulo) VALUES ('calc', 'Calculadora')"));
        appId = q.lastInsertId().toLongLong();
        QVERIFY(q.exec(QString("INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) VALUES "
                               "(%1, %2, 1)").arg(uid).arg(appId)));
        publicar(programa(4, 1));
        definirSede("127.0.0.0/8", puertoReplica);
        QVERIFY(script({"sync", replica}));
    }

    void cleanupTestCase()
    {
        QSqlDatabase::removeDatabase(replica);
        QSqlDatabase::removeDatabase(otra);
        script({"stop", otra});
        script({"stop", replica});
        primario.reset();
    }

    // What the tool writes and the launcher reads back: CIDR blocks of either family, the
    // addresses a server shows (with a port, IPv4-mapped), and the most specific block.
    void redes_data()
    {
        QTest::addColumn<QString>("lista");
        QTest::addColumn<QString>("direccion");
        QTest::addColumn<int>("prefijo"); // -2: the list is refused
        QTest::newRow("loopback") << "127.0.0.0/8" << "127.0.0.1" << 8;
        QTest::newRow("con puerto") << "127.0.0.0/8" << "127.0.0.1:51234" << 8;
        QTest::newRow("mapeada") << "10.1.0.0/16" << "::ffff:10.1.2.3" << 16;
        QTest::newRow("red mapeada") << "::ffff:10.1.0.0/112" << "10.1.9.9" << 16;
        QTest::newRow("fuera") << "10.1.0.0/16" << "10.2.0.1" << -1;
        QTest::newRow("la mas precisa") << "10.0.0.0/8, 10.1.0.0/16" << "10.1.0.7" << 16;
        QTest::newRow("bits de host") << "10.1.2.3/16" << "10.1.200.1" << 16;
        QTest::newRow("ipv6") << "2001:db8::/32" << "[2001:db8::5]:3306" << 32;
        QTest::newRow("familia distinta") << "0.0.0.0/0" << "::1" << -1;
        QTest::newRow("todo ipv4") << "0.0.0.0/0" << "192.168.7.7" << 0;
        QTest::newRow("un nombre") << "127.0.0.0/8" << "localhost" << -1;
        QTest::newRow("prefijo grande") << "10.0.0.0/33" << "" << -2;
        QTest::newRow("sin prefijo") << "10.0.0.1" << "" << -2;
        QTest::newRow("mascara") << "10.0.0.0/255.0.0.0" << "" << -2;
        QTest::newRow("vacia") << "" << "" << -2;
        QTest::newRow("una vacia") << "10.0.0.0/8," << "" << -2;
        QTest::newRow("no es red") << "norte/8" << "" << -2;
        QTest::newRow("mapeada corta") << "::ffff:0.0.0.0/90" << "" << -2;
        // As long as the column holds, blanks included, and not a character more.
        QTest::newRow("la columna entera") << "10.0.0.0/8" + QString(990, ' ') << "10.3.0.1" << 8;
        QTest::newRow("mas que la columna") << "10.0.0.0/8" + QString(991, ' ') << "" << -2;
    }
    void redes()
    {
        QFETCH(QString, lista);
        QFETCH(QString, direccion);
        QFETCH(int, prefijo);
        const std::optional<QList<Redes::Red>> r = Redes::leer(lista);
        QCOMPARE(bool(r), prefijo != -2);
        if (!r)
            return;
        QCOMPARE(Redes::contiene(*r, Redes::direccion(direccion)), prefijo);
        // What the tool stores reads back the same.
        QCOMPARE(Redes::texto(*Redes::leer(Redes::texto(*r))), Redes::texto(*r));
    }

    void servidores_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("host"); // empty: refused
        QTest::addColumn<int>("puerto");
        QTest::newRow("nombre") << "replica.norte.example" << "replica.norte.example" << 0;
        QTest::newRow("con puerto") << "127.0.0.1:23316" << "127.0.0.1" << 23316;
        QTest::newRow("ipv6") << "[::1]:3307" << "::1" << 3307;
        QTest::newRow("ipv6 sin puerto") << "[::1]" << "::1" << 0;
        QTest::newRow("ipv6 sin corchetes") << "::1" << "" << 0;
        QTest::newRow("puerto 0") << "host:0" << "" << 0;
        QTest::newRow("puerto grande") << "host:65536" << "" << 0;
        QTest::newRow("puerto vacio") << "host:" << "" << 0;
        QTest::newRow("puerto con letras") << "host:33o6" << "" << 0;
        QTest::newRow("barra") << "host/x" << "" << 0;
        QTest::newRow("prefijo de conexion") << "kolvaster://host" << "" << 0;
        QTest::newRow("vacio") << "" << "" << 0;
    }
    void servidores()
    {
        QFETCH(QString, texto);
        QFETCH(QString, host);
        QFETCH(int, puerto);
        const std::optional<Redes::Servidor> s = Redes::servidor(texto);
        QCOMPARE(bool(s), !host.isEmpty());
        if (s) {
            QCOMPARE(s->host, host);
            QCOMPARE(s->puerto, puerto);
        }
    }

    // Every wrong definition is one line and status 2, with the table as it was.
    void herramientaRechaza_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("linea");
        QTest::newRow("duplicada") << QStringList{"--agregar", "norte", "--red", "10.0.0.0/8",
                                                  "--servidor", "otra:1"}
                                   << "ya hay una sede llamada \"norte\"";
        QTest::newRow("red mala") << QStringList{"--agregar", "sur", "--red", "10.0.0.0/8,300.1.0.0/16",
                                                 "--servidor", "otra"}
                                  << "\"300.1.0.0/16\" no es una red (por ejemplo 10.1.0.0/16)";
        QTest::newRow("servidor malo") << QStringList{"--agregar", "sur", "--red", "10.0.0.0/8",
                                                      "--servidor", "otra:99999"}
                                       << "\"otra:99999\" no es un servidor (HOST o HOST:PUERTO)";
        QTest::newRow("desconocida") << QStringList{"--quitar", "oeste"}
                                     << "no hay una sede llamada \"oeste\"";
        QTest::newRow("nombre malo") << QStringList{"--quitar", "Norte"}
                                     << "\"Norte\" no es un nombre de sede (letras minusculas, "
                                        "digitos y _, hasta 40)";
        QTest::newRow("sin red") << QStringList{"--agregar", "sur", "--servidor", "otra"}
                                 << "sede --agregar necesita --red y --servidor";
        QTest::newRow("red sola") << QStringList{"--red", "10.0.0.0/8"}
                                  << "--red y --servidor van con --agregar";
        QTest::newRow("ambas") << QStringList{"--agregar", "sur", "--quitar", "norte"}
                               << "sede toma --agregar o --quitar, no ambas";
        QTest::newRow("palabra suelta") << QStringList{"norte"}
                                        << "opcion desconocida o sin valor: norte";
    }
    void herramientaRechaza()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, linea);
        const Corrida r = sede(args);
        QCOMPARE(r.estado, 2);
        QCOMPARE(r.error, "kolvaster-publicar: " + linea + "\n");
        QCOMPARE(r.salida, QString());
        QCOMPARE(sede({}).salida,
                 "norte: redes 127.0.0.0/8, servidor 127.0.0.1:" + QString::number(puertoReplica)
                     + "\n");
    }

    // The branch a session is in: the most specific block among the rows the tool could have
    // written; rows it would not have written (hand-made, damaged) are passed over.
    void sedeElegida()
    {
        QSqlQuery q(primario->raiz());
        QVERIFY(q.exec("INSERT INTO sede VALUES ('a', 'basura', '127.0.0.1:1'), "
                       "('b', '127.0.0.0/8', '127.0.0.1:2'), ('c', '127.0.0.1/32', 'mal host!'), "
                       "('d', '10.0.0.0/8,127.0.0.0/16', '127.0.0.1:4'), ('e', '127.0.0.0/12', 'x:5')"));
        QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", "eleccion");
        db.setHostName("127.0.0.1");
        db.setPort(primario->puerto);
        db.setDatabaseName(TestDb::base());
        db.setUserName(TestDb::cuenta("ana"));
        db.setPassword(TestDb::clave("ana"));
        db.setConnectOptions("SSL_CA=" + primario->dir + "/tls/ca.pem");
        QVERIFY(SesionCifrada::abrir(db));
        const std::optional<Redes::Servidor> s = Sucursal::buscar(db);
        QVERIFY(q.exec("DELETE FROM sede WHERE nombre <> 'norte'"));
        QVERIFY(s);
        QCOMPARE(s->puerto, 4);
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("eleccion");
    }

    // The pieces come from the replica: the primary sends the catalogue's few rows and the
    // pieces' digests, not the copy.
    void enLaSede()
    {
        const Hecho h = sincronizar(replica);
        QVERIFY(h.exacto);
        const qint64 c = copia();
        QVERIFY2(h.primario < c / 20, qPrintable(QString("%1 of %2").arg(h.primario).arg(c)));
        QVERIFY2(h.replica >= c, qPrintable(QString("%1 of %2").arg(h.replica).arg(c)));
    }

    // A release the replica has received but not applied: every piece it lacks comes from the
    // primary, and the program is the new one.
    void replicaAtrasada()
    {
        QVERIFY(script({"lag", replica, "on"}));
        publicar(programa(4, 2));
        const Hecho h = sincronizar(replica);
        QVERIFY(script({"lag", replica, "off"}));
        QVERIFY(script({"sync", replica}));
        QVERIFY(h.exacto);
        QVERIFY2(h.primario >= copia(), qPrintable(QString::number(h.primario)));
    }

    // A piece changed on the replica with its own digest made to match: the primary's digest
    // refuses it, and the primary gives that piece and the rest, no more.
    void piezaAlterada()
    {
        QSqlQuery q(raiz(replica));
        QVERIFY2(q.exec("UPDATE appcopiapieza SET datos=REVERSE(datos), suma=MD5(REVERSE(datos)) "
                        "WHERE pieza=2 AND md5=(SELECT windowsbinary_md5 FROM app WHERE nombre='calc')"),
                 qPrintable(q.lastError().text()));
        QCOMPARE(q.numRowsAffected(), 1);
        const Hecho h = sincronizar(replica);
        QVERIFY(h.exacto);
        const qint64 c = copia();
        QVERIFY2(h.primario >= c / 4 && h.primario < c * 3 / 4,
                 qPrintable(QString("%1 of %2").arg(h.primario).arg(c)));
    }

    // The plain download, where there is no copy: from the replica when it holds the same
    // bytes; refused before anything is written when it holds others.
    void descargaSinCopia()
    {
        QSqlQuery p(primario->raiz());
        QVERIFY(p.exec("INSERT INTO app (nombre, titulo, windowsbinary) VALUES ('nota', 'Notas', "
                       "REPEAT('n', 300000))"));
        const int nota = p.lastInsertId().toInt();
        QVERIFY(script({"sync", replica}));
        QVERIFY(p.exec(QString("SELECT windowsbinary_md5 FROM app WHERE app_id=%1").arg(nota)));
        QVERIFY(p.next());
        const QString digest = p.value(0).toString();
        QSqlDatabase r = raiz(replica);
        Descarga::Cerca cerca{Descarga::manejador(r), "nota", digest};
        QTemporaryDir perfil;
        Descarga::Resultado d = Descarga::descargar(primario->raiz(), nota, perfil.path(), nullptr,
                                                    {}, &cerca);
        QCOMPARE(d.estado, Descarga::Estado::Hecha);
        QCOMPARE(leer(perfil.filePath("nota.exe")), QByteArray(300000, 'n'));

        QSqlQuery q(r);
        QVERIFY(q.exec(QString("UPDATE app SET windowsbinary=REPEAT('x', 300000) WHERE app_id=%1").arg(nota)));
        QTemporaryDir otro;
        d = Descarga::descargar(primario->raiz(), nota, otro.path(), nullptr, {}, &cerca);
        QCOMPARE(d.estado, Descarga::Estado::DigestDistinto);
        QVERIFY(Sucursal::otraVez(d.estado));
        QVERIFY(!QFile::exists(otro.filePath("nota.exe")));
        // Another program's row under that id is refused the same way.
        cerca.nombre = "otra";
        cerca.digest = QString::fromLatin1(
            QCryptographicHash::hash(QByteArray(300000, 'x'), QCryptographicHash::Md5).toHex());
        d = Descarga::descargar(primario->raiz(), nota, otro.path(), nullptr, {}, &cerca);
        QCOMPARE(d.estado, Descarga::Estado::DigestDistinto);
        QVERIFY(!QFile::exists(otro.filePath("nota.exe")));
        QVERIFY(!Sucursal::otraVez(Descarga::Estado::Hecha));
    }

    // An address in no branch's networks: the replica is never reached.
    void fueraDeLaSede()
    {
        definirSede("10.99.0.0/16,::ffff:192.168.0.0/112", puertoReplica);
        const Hecho h = sincronizar(replica);
        definirSede("127.0.0.0/8", puertoReplica);
        QVERIFY(h.exacto);
        QVERIFY2(h.primario >= copia(), qPrintable(QString::number(h.primario)));
        QVERIFY2(h.replica < 4096, qPrintable(QString::number(h.replica)));
    }

    // A replica whose certificate (from the same authority) names another host is refused in
    // the handshake; the primary gives everything.
    void certificadoDeOtro()
    {
        QVERIFY(script({"start", otra, QString::number(puertoReplica + 1), primario->dir,
                        QString::number(primario->puerto), "--tls", "--tls-name=otro.example"}));
        definirSede("127.0.0.0/8", puertoReplica + 1);
        QVERIFY(script({"sync", otra}));
        const Hecho h = sincronizar(otra);
        definirSede("127.0.0.0/8", puertoReplica);
        QVERIFY(h.exacto);
        QVERIFY2(h.primario >= copia(), qPrintable(QString::number(h.primario)));
        QVERIFY2(h.replica < 4096, qPrintable(QString::number(h.replica)));
    }

    // The replica down: the primary gives everything.
    void replicaCaida()
    {
        QSqlDatabase::removeDatabase(replica);
        QCOMPARE(QProcess::execute("mariadb-admin", {"--no-defaults", "--socket=" + replica + "/mysql.sock",
                                                     "-uroot", "shutdown"}),
                 0);
        const Hecho h = sincronizar(replica);
        QVERIFY(h.exacto);
        QVERIFY2(h.primario >= copia(), qPrintable(QString::number(h.primario)));
    }
};

QTEST_GUILESS_MAIN(TestSucursal)
#include "tst_sucursal.moc"
