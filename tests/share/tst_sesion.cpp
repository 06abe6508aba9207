// The shared session record across real processes: the launcher's writer in this process, the
// client library in a child (tests/share/ayudante_sesion), both through QSharedMemory.
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "db/kolvasterdbconn.h"
#include "sesion.h"
#include "share/registrosesion.h"
#include "registroprivado.h"
#include "guion.h"
#include "notificador.h"
#include "testdb.h"

#include <kolvasterclient.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSharedMemory>
#include <QSqlQuery>
#include <QTest>

#include <memory>
#include <optional>

#include <unistd.h>

namespace {

QString ayudante()
{
    return qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/tests/share/ayudante_sesion";
}

struct Lectura {
    int estado = -1;
    QMap<QString, QString> valores; // null QString for a null value
    QStringList cajas;              // "title|text"
};

// Runs the client library in a child process and collects what it read and showed.
Lectura leer(const QString &sistema, const QStringList &nombres)
{
    QProcess p;
    p.start(ayudante(), QStringList{"leer", sistema.isEmpty() ? "-" : sistema} + nombres);
    if (!p.waitForFinished(30000))
        qFatal("reader child did not finish");
    Lectura r;
    r.estado = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    for (const QByteArray &linea : p.readAllStandardOutput().split('\n')) {
        if (linea.startsWith("CAJA|")) {
            r.cajas.append(QString::fromUtf8(linea.mid(5)));
        } else if (const int igual = linea.indexOf('='); igual > 0) {
            const QByteArray v = linea.mid(igual + 1);
            r.valores.insert(QString::fromUtf8(linea.left(igual)),
                             v == "NULL" ? QString() : QString::fromUtf8(QByteArray::fromHex(v)));
        }
    }
    return r;
}

// A process that holds segments the way a running launcher does, until it is killed.
struct Tenedor {
    QProcess p;
    QStringList claves;
    explicit Tenedor(const QStringList &claves) : claves(claves)
    {
        p.start(ayudante(), QStringList{"tener"} + claves);
        if (!p.waitForReadyRead(30000) || !p.readLine().startsWith("LISTO"))
            qFatal("holder child did not start");
    }
    // SIGKILL: the segments stay behind with nobody attached, as after a crash.
    void matar()
    {
        p.kill();
        p.waitForFinished();
    }
    // Leaves no orphan behind for later runs: attaching and detaching removes it.
    ~Tenedor()
    {
        if (p.state() != QProcess::NotRunning)
            matar();
        for (const QString &c : claves) {
            QSharedMemory s(c);
            if (s.attach())
                s.detach();
        }
    }
};

QString clave(const QString &nombre)
{
    return "KOLVASTER_" + TestDb::base() + "_" + nombre;
}

// Whether some live process publishes the default system. Attaching and detaching removes an
// orphan left by a crashed run, so a second look tells the two apart.
bool defectoOcupado()
{
    for (int i = 0; i < 2; ++i) {
        QSharedMemory s(QString::fromLatin1(RegistroSesion::claveDefecto));
        if (!s.attach())
            return false;
        s.detach();
    }
    return true;
}

// A launcher of the tree's scenario program, logged in as `usuario`, that has started the
// program "lector" of its list and waits; `prefijo` runs it as someone else.
struct Sesion {
    QProcess p;
    QByteArray salida;
    static QString escenarioDelArbol()
    {
        return qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/tests/app/kolvaster_escenario";
    }
    Sesion(const QString &usuario, const QString &directorio, const QStringList &prefijo = {},
           const QString &escenario = escenarioDelArbol())
    {
        p.setWorkingDirectory(directorio);
        const QStringList args = prefijo + QStringList{escenario, "lector", usuario};
        p.start(args.first(), args.mid(1));
    }
    // True once the started program has ended; false when the launcher ended first.
    bool listo()
    {
        while (!salida.contains("LISTO\n")) {
            const bool mas = p.waitForReadyRead(60000);
            salida += p.readAllStandardOutput();
            if (!mas)
                break;
        }
        return salida.contains("LISTO\n");
    }
    ~Sesion()
    {
        p.terminate();
        if (!p.waitForFinished(30000))
            p.kill();
        p.waitForFinished();
    }
};

// A program of this tree run against the server on `puerto` (the launcher built with the
// authority of the TLS server at the tests' port + 1, or the reader).
QProcess *correrContra(int puerto, const QString &programa, const QStringList &args,
                       const QMap<QString, QString> &variables = {})
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("MYSQL_TCP_PORT", QString::number(puerto));
    for (auto it = variables.cbegin(); it != variables.cend(); ++it)
        env.insert(it.key(), it.value());
    p->setProcessEnvironment(env);
    p->start(qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + programa, args);
    return p;
}

// The account's sessions carried nothing but the driver's own set-up inside open().
void soloPreparacionDelDriver(const QStringList &log)
{
    QVERIFY(!log.isEmpty());
    for (const QString &l : log)
        QVERIFY2(QRegularExpression("^(Connect|Init DB|Close stmt|Quit): |^Query: SET NAMES "
                                    "utf8mb4$|^Prepare: SELECT \\? \\+ \\?$")
                     .match(l)
                     .hasMatch(),
                 qPrintable(l));
}

// Whether `nombre` resolves to 127.0.0.1 on this machine.
bool resuelveALocal(const QString &nombre)
{
    QProcess p;
    p.start("getent", {"ahosts", nombre});
    return p.waitForFinished(10000) && p.readAllStandardOutput().startsWith("127.0.0.1 ");
}

// Connections the server behind `db` has seen (successful or not): the sample's attempt.
qint64 intentosDeConexion(QSqlDatabase db)
{
    QSqlQuery q(db);
    if (!q.exec("SHOW GLOBAL STATUS LIKE 'Connections'") || !q.next())
        return -1;
    return q.value(1).toLongLong();
}

// What the account's sessions sent: nothing at all when refused in the handshake, else only
// the driver's own set-up inside the opening.
void comoLogin(const QStringList &log, bool antesDelLogin, const char *quien)
{
    if (antesDelLogin)
        QVERIFY2(log.isEmpty(), qPrintable(QString("the %1 logged in: %2")
                                               .arg(quien, log.join(" / "))));
    else
        soloPreparacionDelDriver(log);
}

// The launcher's scenario ended as a refused login ends: the first attempt's box, then the
// second's, once, and a normal exit.
void dosIntentosFallidos(QProcess &s)
{
    const bool termino = s.waitForFinished(60000);
    const QByteArray cajas = s.readAll();
    QVERIFY2(termino && s.exitCode() == 0, cajas.constData());
    QVERIFY2(cajas.startsWith("CAJA Error en conexion!|")
                 && cajas.count("\nCAJA Error de conexion!|") == 1,
             cajas.constData());
}

bool ejecutar(const QString &programa, const QStringList &args)
{
    QProcess p;
    p.start(programa, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit
           && p.exitCode() == 0;
}

// A path of `programa` that the operating-system user `otro` may run: the build tree itself, or,
// when it lies below a directory closed to others (a checkout under /root), a copy in /tmp.
QString ejecutablePor(const QString &otro, const QString &programa)
{
    if (ejecutar("runuser", {"-u", otro, "--", "test", "-x", programa}))
        return programa;
    const QString dir = QStringLiteral("/tmp/kolvaster-pruebas-bin");
    const QString copia = dir + "/" + QFileInfo(programa).fileName();
    if (!ejecutar("sh", {"-c", "mkdir -p " + dir + " && chmod 755 " + dir + " && cp -f " + programa
                                   + " " + copia + " && chmod 755 " + copia}))
        return programa;
    return copia;
}

QByteArray contenido(const QString &ruta)
{
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

const QString textoCajaEscritor = QStringLiteral(
    "No se pueden crear recursos compartidos ! Verifique no exista otra instancia del programa "
    "abierta y conectada a la misma base de datos! Reinicie su ordenador y vuelva a intentar "
    "operacion!");

QString cajaLector(const QString &clave)
{
    return "Error !|Error al acceder a recurso compartido !<br>Comunique novedad al "
           "Administrador de Sistemas !<br><br>Nombre de recurso: "
           + clave;
}

} // namespace

class TstSesion : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;

private slots:

    // The test process and every child it starts use this user's place for the record, as the
    // programs a launcher starts do.
    void initTestCase() { QVERIFY(RegistroPrivado::preparar()); }

    void init()
    {
        TestDb::limpiar();
        Mensajes::olvidar();
        salidas.clear();
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void formatoDelRegistro()
    {
        QCOMPARE(RegistroSesion::codificar("sales"),
                 QByteArray::fromHex("0000000A00730061006C00650073"));
        QCOMPARE(RegistroSesion::codificar(""), QByteArray::fromHex("00000000"));
        QCOMPARE(RegistroSesion::codificar(QString()), QByteArray::fromHex("FFFFFFFF"));
        // UTF-16 big-endian code units, a surrogate pair counting as two.
        QCOMPARE(RegistroSesion::codificar(QString::fromUtf8("ñ\xF0\x9F\x94\x91")),
                 QByteArray::fromHex("0000000600F1D83DDD11"));
    }

    // Values written here come back unchanged in another process; a reader given the system's
    // name reads that system's entries and never the default system's segment.
    void idaYVueltaEntreProcesos()
    {
        const bool defectoLibre = !defectoOcupado();
        QObject dueno;
        const QMap<QString, QString> valores{
            {clave("HOST"), QString::fromUtf8("servidor-ñandú.local")},
            {clave("USER"), TestDb::cuenta("ana")},
            {clave("PASS"), QString()},
            {clave("OPTIONS"), QStringLiteral("")},
        };
        QCOMPARE(RegistroSesion::publicar(valores, &dueno), QString());

        const Lectura r = leer(TestDb::base(), {"HOST", "USER", "PASS", "OPTIONS"});
        QCOMPARE(r.estado, 0);
        QCOMPARE(r.cajas, QStringList());
        QCOMPARE(r.valores.value("HOST"), QString::fromUtf8("servidor-ñandú.local"));
        QCOMPARE(r.valores.value("USER"), TestDb::cuenta("ana"));
        QVERIFY(r.valores.contains("PASS") && r.valores.value("PASS").isNull());
        QVERIFY(r.valores.contains("OPTIONS"));
        QVERIFY(!r.valores.value("OPTIONS").isNull());
        QVERIFY(r.valores.value("OPTIONS").isEmpty());
        if (!defectoLibre)
            QSKIP("another launcher on this machine publishes the default system; the reader "
                  "was not shown to leave it alone");
        // Had the reader looked for the default system, it would have stopped with its box.
        QVERIFY(!defectoOcupado());
    }

    void lectorSinLanzador()
    {
        if (defectoOcupado())
            QSKIP("another launcher on this machine publishes the default system");
        const Lectura r = leer(QString(), {"HOST"});
        QCOMPARE(r.estado, 0);
        QCOMPARE(r.cajas, QStringList{cajaLector("KOLVASTER_DEFSYSNAME")});
        QVERIFY(r.valores.isEmpty());

        // A named system no launcher publishes: the box names the entry's key.
        const Lectura s = leer("nohaysistema", {"USER"});
        QCOMPARE(s.estado, 0);
        QCOMPARE(s.cajas, QStringList{cajaLector("KOLVASTER_nohaysistema_USER")});
        QVERIFY(s.valores.isEmpty());
    }

    // A segment left by a launcher that died without cleaning up does not block the next one;
    // one held by a live launcher still does.
    void segmentoHuerfanoYSegmentoVivo()
    {
        {
            Tenedor muerto({clave("HOST")});
            muerto.matar();
        }

        {
            QObject dueno;
            QCOMPARE(RegistroSesion::publicar({{clave("HOST"), "nuevo"}}, &dueno), QString());
            const Lectura r = leer(TestDb::base(), {"HOST"});
            QCOMPARE(r.valores.value("HOST"), QString("nuevo"));
        }

        Tenedor vivo({clave("USER")});
        QObject dueno;
        QCOMPARE(RegistroSesion::publicar({{clave("HOST"), "h"}, {clave("USER"), "u"}}, &dueno),
                 clave("USER"));
        // The live holder's record is untouched.
        QCOMPARE(leer(TestDb::base(), {"USER"}).valores.value("USER"), QString("x"));
    }

    // The launcher publishes its own connection; a program it starts reads exactly that, and
    // the segments go when the launcher ends.
    void lanzadorPublicaSuConexion()
    {
        TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        {
            EntornoSesion entorno;
            auto w = entorno.iniciar("ana", TestDb::clave("ana"));
            QVERIFY(!w->terminado());
            const Lectura r = leer(TestDb::base(), {"HOST", "USER", "PASS", "OPTIONS"});
            QCOMPARE(r.estado, 0);
            QCOMPARE(r.valores.value("HOST"), QString("127.0.0.1"));
            QCOMPARE(r.valores.value("USER"), TestDb::cuenta("ana"));
            QCOMPARE(r.valores.value("PASS"), TestDb::clave("ana"));
            QCOMPARE(r.valores.value("OPTIONS"), QString("CLIENT_COMPRESS"));
        }
        const Lectura despues = leer(TestDb::base(), {"USER"});
        QCOMPARE(despues.cajas, QStringList{cajaLector(clave("USER"))});
        QVERIFY(salidas.isEmpty());
    }

    // A second launcher on the same database goes through its whole start-up and is refused
    // at the record: its login is logged, its logout never is.
    void segundoLanzadorRechazado()
    {
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        Tenedor primero({clave("HOST"), clave("OPTIONS"), clave("PASS"), clave("USER")});

        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(w->terminado());
        QCOMPARE(salidas, QList<int>{0});
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.at(0).tipo, Mensajes::Tipo::Critico);
        QCOMPARE(m.at(0).titulo, QString("Error!"));
        QCOMPARE(m.at(0).texto, textoCajaEscritor);
        // Everything before the record ran: identified, logged in, identity panel filled.
        QCOMPARE(w->uid, ana);
        QVERIFY(!w->findChild<QWidget *>("le_emp")->property("text").toString().isEmpty());
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserelog WHERE sysuserelogtipo_id=1 AND "
                                "sysuser_id=?",
                                {ana}),
                 1);
        // The real process ends here, so the window's shut-down (and its logout) never runs;
        // this test's window is only destroyed after the check.
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserelog WHERE sysuserelogtipo_id=2"), 0);
    }

    // Two people logged in to one machine each run a launcher on the same database; the
    // program each one starts reads its own person's record, and so does one started by hand.
    // A second launcher of the same person is still refused.
    void dosUsuariosDelSistema()
    {
        if (geteuid() != 0)
            QSKIP("acting as a second operating-system user needs root");
        const QString otro = QStringLiteral("kolvotro");
        // Made once, kept for later runs.
        QVERIFY(ejecutar("sh", {"-c", "id -u " + otro + " >/dev/null 2>&1 || useradd -m " + otro}));
        // Her home for this database: the installation folder with its two libraries, and a
        // runtime directory of her own.
        const QString casa = "/home/" + otro + "/" + TestDb::base();
        QVERIFY(ejecutar("rm", {"-rf", casa}));
        QVERIFY(ejecutar("runuser",
                         {"-u", otro, "--", "sh", "-c",
                          "mkdir -p " + casa + "/Kolvaster " + casa + "/xdg && chmod 700 " + casa
                              + "/xdg && for l in libeay32 ssleay32; do echo x > " + casa
                              + "/Kolvaster/$l.dll; done"}));
        const QStringList comoOtro{
            "runuser", "-u", otro, "--", "env", "-i", "HOME=" + casa, "PATH=/usr/bin:/bin",
            "XDG_RUNTIME_DIR=" + casa + "/xdg", "QT_QPA_PLATFORM=offscreen",
            "QTWEBENGINE_DISABLE_SANDBOX=1",
            "MYSQL_TCP_PORT=" + qEnvironmentVariable("MYSQL_TCP_PORT"),
            "KOLVASTER_TEST_DB=" + TestDb::base()};

        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        const qint64 beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        const qint64 lector = TestDb::crearApp("lector", "Lector", contenido(ayudante()));
        TestDb::otorgar(ana, lector, true); // change log read: no alert box at start-up
        TestDb::otorgar(beto, lector, true);

        EntornoSesion entorno; // root's home and working directory, inherited by the child
        Sesion deRoot("ana", entorno.trabajo());
        QVERIFY2(deRoot.listo(), deRoot.salida.constData());
        const QString escenarioDeOtro = ejecutablePor(otro, Sesion::escenarioDelArbol());
        Sesion deOtro("beto", casa, comoOtro, escenarioDeOtro);
        QVERIFY2(deOtro.listo(), deOtro.salida.constData());

        const QString perfil = "/Kolvaster/profiles/" + TestDb::base();
        QCOMPARE(contenido(entorno.home() + perfil + "/ana/lectura.txt"),
                 (TestDb::base() + "|" + TestDb::cuenta("ana") + "|127.0.0.1").toUtf8());
        QCOMPARE(contenido(casa + perfil + "/beto/lectura.txt"),
                 (TestDb::base() + "|" + TestDb::cuenta("beto") + "|127.0.0.1").toUtf8());

        // Started by hand, without the launcher's environment, a program of the second person
        // finds her record through the reader library.
        QProcess aMano;
        aMano.setWorkingDirectory(casa);
        aMano.start(comoOtro.first(),
                    comoOtro.mid(1)
                        + QStringList{ejecutablePor(otro, ayudante()), "leer", "-", "USER"});
        QVERIFY(aMano.waitForFinished(30000));
        QCOMPARE(aMano.readAllStandardOutput().trimmed(),
                 "USER=" + TestDb::cuenta("beto").toUtf8().toHex());

        // Her second launcher on the same database is refused as before.
        Sesion segunda("beto", casa, comoOtro, escenarioDeOtro);
        QVERIFY(!segunda.listo());
        QVERIFY(segunda.p.state() == QProcess::NotRunning || segunda.p.waitForFinished(30000));
        QVERIFY2(segunda.salida.contains(("CAJA|Error!|" + textoCajaEscritor).toUtf8()),
                 segunda.salida.constData());
        QCOMPARE(segunda.p.exitCode(), 0);
    }

    // Built with the organisation's authority, the launcher logs in to a server that takes TLS
    // sessions only, and the program it starts connects over TLS from the record, with exactly
    // the environment the launcher was given (the launcher's own TMPDIR, the session record's
    // place, is not passed on). Against a server in clear, the reader library refuses the same
    // record's session: nothing sent.
    void sesionCifrada()
    {
        TestDb::ServidorExtra tls(1, {"--tls"});
        QVERIFY(tls.listo);
        QSqlQuery q(tls.raiz());
        QVERIFY(q.exec("INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2')"));
        QVERIFY(q.exec("INSERT INTO sysuser (sysuser, titulo, pass) VALUES ('"
                       + TestDb::cuenta("ana") + "', 'Ana', 'ana_pw')"));
        QVERIFY(q.exec("INSERT INTO app (nombre, titulo, windowsbinary) VALUES ('lector', "
                       "'Lector', LOAD_FILE('" + ayudante() + "'))"));
        QVERIFY(q.exec("INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) SELECT "
                       "sysuser_id, app_id, TRUE FROM sysuser, app"));
        EntornoSesion entorno;
        // Started from the ordinary temporary directory, where the launcher makes its own.
        const QString temporal = QFileInfo(RegistroPrivado::directorio()).path();
        std::unique_ptr<QProcess> s(correrContra(tls.puerto, "/tests/app/kolvaster_escenario_tls",
                                                 {"lector", "ana"}, {{"TMPDIR", temporal}}));
        QVERIFY(s->waitForReadyRead(60000) && s->readAll().contains("LISTO"));
        QStringList dado = s->processEnvironment().toStringList();
        dado.sort();
        const QString perfilAna = entorno.home() + "/Kolvaster/profiles/" + TestDb::base() + "/ana";
        QCOMPARE(QString::fromUtf8(contenido(perfilAna + "/entorno.txt")).split('\n'), dado);
        QCOMPARE(contenido(entorno.home() + "/Kolvaster/profiles/" + TestDb::base()
                           + "/ana/conexion.txt")
                     .left(14),
                 "CONECTADA TLS_");
        QVERIFY(q.exec("SELECT * FROM sysuserelog") && q.next());

        TestDb::registrar(TestDb::admin(), true);
        std::unique_ptr<QProcess> r(correrContra(
            qEnvironmentVariableIntValue("MYSQL_TCP_PORT"), "/tests/share/ayudante_sesion",
            {"conectar", TestDb::base()}));
        QVERIFY(r->waitForFinished());
        const QByteArray fallo = r->readAll();
        QVERIFY2(fallo.startsWith("FALLO ") && fallo.contains("SSL"), fallo.constData());
        comoLogin(TestDb::sentencias(TestDb::admin(), TestDb::cuenta("ana")), true, "library");
        TestDb::registrar(TestDb::admin(), false);
        s->terminate();
        s->waitForFinished();
    }

    // Servers the launcher built with the authority must not log in to: another authority's
    // certificate, a server in clear, the authority's certificate for another name, and a
    // partial wildcard, each typed by the name or address the row gives. The launcher shows
    // the two boxes of a failed connection and records nothing; the reader library and the
    // sample program, given the same server in the record, refuse it too. Where the client
    // library decides in the handshake, the server's general log shows no login of the account
    // at all; a partial wildcard that OpenSSL's default rules take (two labels after the star)
    // passes the library's check and is refused by ours right after the login exchange, before
    // any statement of the system's.
    void sesionRechazada_data()
    {
        QTest::addColumn<int>("k");
        QTest::addColumn<QString>("nombreCertificado"); // "": the server's own authority
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<bool>("antesDelLogin");
        QTest::newRow("certificado de otra autoridad") << 2 << "" << "127.0.0.1" << true;
        QTest::newRow("servidor en claro") << 0 << "" << "127.0.0.1" << true;
        QTest::newRow("certificado de la autoridad para otro nombre")
            << 3 << "otro.example" << "127.0.0.1" << true;
        QTest::newRow("comodin parcial f*.example para foo.example")
            << 3 << "f*.example" << "foo.example" << true;
        QTest::newRow("comodin parcial f*.pruebas.example para foo.pruebas.example")
            << 3 << "f*.pruebas.example" << "foo.pruebas.example" << false;
    }

    void sesionRechazada()
    {
        QFETCH(int, k);
        QFETCH(QString, nombreCertificado);
        QFETCH(QString, servidor);
        QFETCH(bool, antesDelLogin);
        if (servidor != "127.0.0.1" && !resuelveALocal(servidor))
            QSKIP(qPrintable(servidor + " does not resolve to 127.0.0.1: scripts/test.sh, as root, "
                             "adds the tests' names to /etc/hosts"));
        TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        // k 3 signs with the authority of the server at k 1, the launcher's.
        std::optional<TestDb::ServidorExtra> autoridad, otro; // k 0: the tests' own, in clear
        if (k == 3)
            autoridad.emplace(1, QStringList{"--tls"});
        if (k)
            otro.emplace(k, k == 3 ? QStringList{"--tls=" + autoridad->dir + "/tls",
                                                 "--tls-name=" + nombreCertificado}
                                   : QStringList{"--tls"});
        QVERIFY(!otro || otro->listo);
        const int puerto = qEnvironmentVariableIntValue("MYSQL_TCP_PORT") + k;
        QSqlDatabase db = k ? otro->raiz() : TestDb::admin();
        TestDb::registrar(db, true);
        Notificador::reiniciar();
        std::unique_ptr<QProcess> s(correrContra(puerto, "/tests/app/kolvaster_escenario_tls",
                                                 {"dos-fallos", "ana", TestDb::clave("ana"),
                                                  servidor}));
        dosIntentosFallidos(*s);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuserelog"), 0);
        QCOMPARE(Notificador::pedidos().size(), 0);
        comoLogin(TestDb::sentencias(db, TestDb::cuenta("ana")), antesDelLogin, "launcher");

        // The reader library and the sample program, with the launcher's authority and the
        // row's server in the record.
        TestDb::registrar(db, true);
        QObject dueno;
        QCOMPARE(RegistroSesion::publicar(
                     {{clave("HOST"), servidor},
                      {clave("USER"), TestDb::cuenta("ana")},
                      {clave("PASS"), TestDb::clave("ana")},
                      {clave("OPTIONS"), "CLIENT_COMPRESS;SSL_CA="
                                             + qEnvironmentVariable("KOLVASTER_TEST_BINDIR")
                                             + "/testdb-1/tls/ca.pem"}},
                     &dueno),
                 QString());
        std::unique_ptr<QProcess> r(
            correrContra(puerto, "/tests/share/ayudante_sesion", {"conectar", TestDb::base()}));
        QVERIFY(r->waitForFinished(60000));
        const QByteArray salida = r->readAll();
        QVERIFY2(salida.startsWith("FALLO ") && !salida.contains("REABIERTA"), salida.constData());
        // The sample stays on its error box: it is ended once the server has seen its attempt.
        const qint64 antes = intentosDeConexion(db);
        std::unique_ptr<QProcess> m(correrContra(
            puerto, "/src/share/muestra/kolvastermuestra", {TestDb::base()}));
        for (int i = 0; i < 300 && intentosDeConexion(db) == antes; ++i)
            QTest::qWait(50);
        QVERIFY2(intentosDeConexion(db) > antes, "the sample never reached the server");
        QTest::qWait(300);
        m->kill();
        m->waitForFinished();
        comoLogin(TestDb::sentencias(db, TestDb::cuenta("ana")), antesDelLogin,
                  "library and sample");
        TestDb::registrar(db, false);
    }

    // The launcher's refused session (asked for TLS, answered in clear) cannot be opened
    // again unchecked: every opening goes through the connection's limits, QSqlDatabase::
    // database() and a plain open() included; the next attempt registers the connection anew
    // and works.
    void sesionRechazadaNoSeReabre()
    {
        QSqlDatabase db;
        KolvasterDBConn conexion(&db);
        QVERIFY(!conexion.conectar(TestDb::base(), "127.0.0.1", TestDb::cuenta("ana"),
                                   TestDb::clave("ana"),
                                   "CLIENT_COMPRESS;SSL_CA=/etc/ssl/certs/ca-certificates.crt"));
        QVERIFY(!QSqlDatabase::database().isOpen());
        QVERIFY(!db.open());
        QVERIFY(conexion.conectar(TestDb::base(), "127.0.0.1", TestDb::cuenta("ana"),
                                  TestDb::clave("ana"), "CLIENT_COMPRESS"));
        QSqlQuery q(QSqlDatabase::database());
        QVERIFY(q.exec("SELECT CURRENT_USER()") && q.next());
        QCOMPARE(q.value(0).toString(), TestDb::cuenta("ana") + "@%");
    }

    // A server in clear that answers the login by asking for the clear-text authentication
    // plugin gets no password from the launcher nor from the reader library, with or without
    // an authority, even when the environment has the client library load that plugin at its
    // start (LIBMYSQL_PLUGINS, with MARIADB_PLUGIN_DIR at the library's own plugin folder).
    // Without an authority each login reaches it (and is refused at the switch); with one,
    // none does. The stock client, for comparison, sends the password. A refused session of
    // the library leaves nothing that QSqlDatabase::database() could open again.
    void servidorQuePideLaClaveEnClaro_data()
    {
        QTest::addColumn<bool>("conAutoridad");
        QTest::addColumn<bool>("complementosEnElEntorno");
        QTest::newRow("sin autoridad") << false << false;
        QTest::newRow("con autoridad") << true << false;
        QTest::newRow("sin autoridad, LIBMYSQL_PLUGINS=mysql_clear_password") << false << true;
        QTest::newRow("con autoridad, LIBMYSQL_PLUGINS=mysql_clear_password") << true << true;
    }

    void servidorQuePideLaClaveEnClaro()
    {
        QFETCH(bool, conAutoridad);
        QFETCH(bool, complementosEnElEntorno);
        TestDb::ServidorFalso falso(5, "claro");
        QVERIFY(falso.listo);
        QMap<QString, QString> variables;
        if (complementosEnElEntorno) {
            QProcess carpeta;
            carpeta.start("mariadb_config", {"--plugindir"});
            QVERIFY(carpeta.waitForFinished());
            const QString dir = QString::fromUtf8(carpeta.readAllStandardOutput().trimmed());
            QVERIFY(QFileInfo::exists(dir + "/mysql_clear_password.so"));
            variables = {{"LIBMYSQL_PLUGINS", "mysql_clear_password"}, {"MARIADB_PLUGIN_DIR", dir}};
        }
        QProcess control;
        control.start("mariadb", {"--no-defaults", "--protocol=tcp", "-h127.0.0.1",
                                  "-P" + QString::number(falso.puerto), "-ucontrol",
                                  "-pclave_del_control", "-e", "SELECT 1"});
        QVERIFY(control.waitForFinished(30000));
        QVERIFY(falso.recibido().contains("clave_del_control"));

        const QString secreto = "clave_secreta_ana";
        std::unique_ptr<QProcess> s(correrContra(
            falso.puerto,
            conAutoridad ? "/tests/app/kolvaster_escenario_tls" : "/tests/app/kolvaster_escenario",
            {"dos-fallos", "ana", secreto}, variables));
        dosIntentosFallidos(*s);
        if (QTest::currentTestFailed())
            return;
        QObject dueno;
        QCOMPARE(RegistroSesion::publicar(
                     {{clave("HOST"), "127.0.0.1"},
                      {clave("USER"), TestDb::cuenta("ana")},
                      {clave("PASS"), secreto},
                      {clave("OPTIONS"),
                       conAutoridad ? "CLIENT_COMPRESS;SSL_CA="
                                          + qEnvironmentVariable("KOLVASTER_TEST_BINDIR")
                                          + "/testdb-1/tls/ca.pem"
                                    : QStringLiteral("CLIENT_COMPRESS")}},
                     &dueno),
                 QString());
        std::unique_ptr<QProcess> r(correrContra(
            falso.puerto, "/tests/share/ayudante_sesion", {"conectar", TestDb::base()}, variables));
        QVERIFY(r->waitForFinished(60000));
        const QByteArray salida = r->readAll();
        QVERIFY2(salida.startsWith("FALLO ") && !salida.contains("REABIERTA"), salida.constData());

        const QByteArray recibido = falso.recibido();
        QVERIFY2(!recibido.contains(secreto.toUtf8()), "the password reached the server in clear");
        // Two attempts of the launcher, one of the library.
        const int logins = recibido.count(TestDb::cuenta("ana").toUtf8());
        if (conAutoridad)
            QVERIFY2(logins == 0, qPrintable(QString("%1 logins sent in clear").arg(logins)));
        else
            QVERIFY2(logins >= 3, qPrintable(QString("only %1 logins reached it").arg(logins)));
    }

    // The reader library against a server whose certificate the authority gave to another
    // host: refused in the handshake (no login), and nothing left to open again; the server
    // that names 127.0.0.1 is taken, and so is one typed by a name its certificate holds.
    void libreriaYNombreDelServidor()
    {
        TestDb::ServidorExtra autoridad(1, {"--tls"});
        TestDb::ServidorExtra otroNombre(3, {"--tls=" + autoridad.dir + "/tls",
                                             "--tls-name=otro.example"});
        QVERIFY(autoridad.listo && otroNombre.listo);
        QObject dueno;
        QCOMPARE(RegistroSesion::publicar(
                     {{clave("HOST"), "127.0.0.1"},
                      {clave("USER"), "dbadmin"},
                      {clave("PASS"), TestDb::claveAdmin},
                      {clave("OPTIONS"), "CLIENT_COMPRESS;SSL_CA=" + autoridad.dir + "/tls/ca.pem"}},
                     &dueno),
                 QString());
        TestDb::registrar(otroNombre.raiz(), true);
        std::unique_ptr<QProcess> r(correrContra(otroNombre.puerto, "/tests/share/ayudante_sesion",
                                                 {"conectar", TestDb::base()}));
        QVERIFY(r->waitForFinished(60000));
        const QByteArray fallo = r->readAll().trimmed();
        QVERIFY2(fallo.startsWith("FALLO ") && fallo.contains("certificate"), fallo.constData());
        comoLogin(TestDb::sentencias(otroNombre.raiz(), "dbadmin"), true, "library");
        TestDb::registrar(otroNombre.raiz(), false);

        std::unique_ptr<QProcess> s(correrContra(autoridad.puerto, "/tests/share/ayudante_sesion",
                                                 {"conectar", TestDb::base()}));
        QVERIFY(s->waitForFinished(60000));
        QVERIFY(s->readAll().startsWith("CONECTADA TLS_"));
    }

    // A kept server resumed with certificates that expire within a week gets new ones; valid
    // ones are kept.
    void certificadosRenovadosAlReanudar()
    {
        TestDb::ServidorExtra tls(1, {"--tls"});
        QVERIFY(tls.listo);
        const QString t = tls.dir + "/tls";
        auto correr = [](const QString &orden) { return ejecutar("sh", {"-c", orden}); };
        const QString reanudar = QString(KOLVASTER_TESTDB_SH) + " resume " + tls.dir + " "
                                 + QString::number(tls.puerto) + " --tls >/dev/null";
        const QString parar = QString(KOLVASTER_TESTDB_SH) + " stop " + tls.dir + " --keep";
        QVERIFY(correr(parar));
        const QByteArray vigente = contenido(t + "/server-cert.pem");
        QVERIFY(correr(reanudar) && correr(parar));
        QCOMPARE(contenido(t + "/server-cert.pem"), vigente);
        // Signed again by the authority, for 3 days only.
        QVERIFY(correr("cd " + t + " && openssl x509 -x509toreq -in server-cert.pem -signkey "
                       "server-key.pem -out corta.csr 2>/dev/null && openssl x509 -req -in "
                       "corta.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3 -copy_extensions "
                       "copy -out server-cert.pem 2>/dev/null"));
        QVERIFY(!correr("openssl x509 -checkend 604800 -noout -in " + t + "/server-cert.pem"));
        QVERIFY(correr(reanudar));
        QVERIFY(correr("openssl x509 -checkend 604800 -noout -in " + t + "/server-cert.pem"));
        QVERIFY(correr("openssl verify -CAfile " + t + "/ca.pem " + t + "/server-cert.pem"));
        QVERIFY(correr("mariadb --no-defaults --protocol=tcp -h127.0.0.1 -P"
                       + QString::number(tls.puerto) + " -udbadmin -p" + TestDb::claveAdmin
                       + " --ssl-ca=" + t + "/ca.pem --ssl-verify-server-cert -e 'SELECT 1'"));
    }

    void administradorYPermisos()
    {
        const qint64 admin = TestDb::crearUsuario("dbadmin", "Administrador");
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        const qint64 beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        const qint64 ventas = TestDb::crearApp("ventas", "Ventas", QByteArray("x"));
        const qint64 stock = TestDb::crearApp("stock", "Stock", QByteArray("x"));
        TestDb::otorgar(ana, ventas);
        TestDb::otorgar(beto, stock);
        TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));

        KolvasterAcceso acceso;
        QCOMPARE(acceso.idUsuario(TestDb::cuenta("ana").toUtf8().constData()), int(ana));
        QCOMPARE(acceso.idUsuario("nadie"), 0);
        QVERIFY(acceso.accesoAplicacion(int(admin), "ventas"));
        QVERIFY(acceso.accesoAplicacion(int(admin), "no-existe"));
        QVERIFY(acceso.accesoAplicacion(int(ana), "ventas"));
        QVERIFY(!acceso.accesoAplicacion(int(ana), "stock"));
        QVERIFY(acceso.accesoAplicacion(int(beto), "stock"));
        QVERIFY(!acceso.accesoAplicacion(int(beto), "ventas"));

        // Without an administrator row, -1 names nobody real and everyone is checked.
        TestDb::ejecutar("DELETE FROM sysuser WHERE sysuser='dbadmin'");
        QVERIFY(!acceso.accesoAplicacion(int(admin), "ventas"));
        QVERIFY(acceso.accesoAplicacion(int(ana), "ventas"));
    }
};

QTEST_MAIN(TstSesion)
#include "tst_sesion.moc"
