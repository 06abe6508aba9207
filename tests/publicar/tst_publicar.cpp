// kolvaster-publicar as a deployer runs it: keys, signed uploads in one transaction, every bad
// input one line and a non-zero status with nothing written, and the catalogue's check.

#include "catalogue/compresion.h"
#include "testdb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sodium.h>

namespace {

struct Corrida {
    int estado = -1;
    QByteArray salida, error;
};

// A state of the tables the tool writes, to prove that nothing was written.
QString foto()
{
    QSqlQuery q(TestDb::admin());
    q.exec("SELECT COUNT(*), COALESCE(SUM(CRC32(CONCAT(a.app_id, a.nombre, a.titulo, "
           "MD5(a.windowsbinary), COALESCE(f.version, ''), COALESCE(HEX(f.firma), ''), "
           "(SELECT COALESCE(SUM(CRC32(CONCAT(md5, pieza, suma))), 0) FROM appcopiapieza c "
           "WHERE c.app_id=a.app_id), "
           "(SELECT COUNT(*) FROM appdeltapieza p WHERE p.app_id=a.app_id))) ), 0) "
           "FROM app a LEFT JOIN appfirma f ON f.app_id=a.app_id");
    return q.next() ? q.value(0).toString() + "/" + q.value(1).toString() : QString();
}

QByteArray md5(const QByteArray &b)
{
    return QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex();
}

// A stored value put together from its pieces, in their order.
QByteArray juntar(const QString &tabla, const QString &donde, const QVariantList &valores)
{
    QSqlQuery q(TestDb::admin());
    q.prepare(QString("SELECT datos FROM %1 WHERE %2 ORDER BY pieza").arg(tabla, donde));
    for (const QVariant &v : valores)
        q.addBindValue(v);
    QByteArray b;
    if (q.exec())
        while (q.next())
            b += q.value(0).toByteArray();
    return b;
}

// One zstd frame decompressed whole, against `referencia` for a patch.
QByteArray descomprimir(const QByteArray &frame, const QByteArray &referencia = {})
{
    const std::optional<qint64> largo = Compresion::largoContenido(frame);
    if (!largo)
        return "<sin largo>";
    bool dado = false;
    Compresion::Descompresor d(
        [&](QByteArrayView *p) {
            *p = dado ? QByteArrayView() : QByteArrayView(frame);
            dado = true;
            return true;
        },
        *largo, referencia);
    QByteArray r(*largo, Qt::Uninitialized);
    return d.producir(r.data(), *largo) && d.completo() ? r : QByteArray("<danado>");
}

// Build k of a program: a megabyte with a few bytes changed per build.
QByteArray build(int k)
{
    QByteArray b(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(b.data()), b.size() / 4);
    for (int i = 1; i <= k; ++i)
        b.replace(i * 70000, 6, "build" + QByteArray::number(i % 10));
    return b;
}

} // namespace

class TstPublicar : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString opciones, clave, pub;

    QString ruta(const QString &n) const { return dir.path() + "/" + n; }

    static void escribir(const QString &ruta, const QByteArray &b)
    {
        QFile f(ruta);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(b);
    }

    // Variables a test adds to the tool's environment, for one case.
    QMap<QString, QString> entornoExtra;

    QProcess *proceso(const QStringList &args, const char *programa = KOLVASTER_PUBLICAR)
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path()); // no option file of the real home is read
        for (auto it = entornoExtra.cbegin(); it != entornoExtra.cend(); ++it)
            env.insert(it.key(), it.value());
        p->setProcessEnvironment(env);
        p->start(programa, args);
        return p;
    }

    Corrida correr(const QStringList &args, const char *programa = KOLVASTER_PUBLICAR)
    {
        QProcess *p = proceso(args, programa);
        Corrida r;
        if (p->waitForFinished(120000) && p->exitStatus() == QProcess::NormalExit)
            r.estado = p->exitCode();
        r.salida = p->readAllStandardOutput();
        r.error = p->readAllStandardError();
        delete p;
        return r;
    }

    // subir through the option file, as dbadmin.
    Corrida subir(const QStringList &extra)
    {
        return correr(QStringList{"subir", "--defaults-extra-file=" + opciones, "--sistema",
                                  TestDb::base(), "--clave", clave}
                      + extra);
    }

    static void verificaFirma(const QString &nombre, const QByteArray &bytes, qint64 version,
                              const QByteArray &clavePublica)
    {
        QSqlQuery q(TestDb::admin());
        q.prepare("SELECT f.version, f.sha256, f.largo, f.clave, f.firma, a.windowsbinary FROM "
                  "app a JOIN appfirma f ON f.app_id=a.app_id WHERE a.nombre=?");
        q.addBindValue(nombre);
        QVERIFY(q.exec() && q.next());
        const QByteArray sha = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        QCOMPARE(q.value(0).toLongLong(), version);
        QCOMPARE(q.value(1).toByteArray(), sha);
        QCOMPARE(q.value(2).toLongLong(), qint64(bytes.size()));
        QCOMPARE(q.value(3).toByteArray(), clavePublica);
        QVERIFY(q.value(5).toByteArray() == bytes);
        const QByteArray m = "kolvaster-programa-1\n" + nombre.toUtf8() + "\n"
                             + QByteArray::number(version) + "\n" + sha + "\n"
                             + QByteArray::number(bytes.size()) + "\n";
        const QByteArray pk = QByteArray::fromBase64(clavePublica), firma = q.value(4).toByteArray();
        QCOMPARE(firma.size(), 64);
        QCOMPARE(crypto_sign_verify_detached(
                     reinterpret_cast<const unsigned char *>(firma.constData()),
                     reinterpret_cast<const unsigned char *>(m.constData()), m.size(),
                     reinterpret_cast<const unsigned char *>(pk.constData())),
                 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        opciones = TestDb::opcionesAdmin(ruta("cliente.cnf"));
        clave = ruta("editor.clave");
        const Corrida r = correr({"clave", clave});
        QCOMPARE(r.estado, 0);
        pub = QString::fromLatin1(r.salida.trimmed());
        QCOMPARE(pub.size(), 44);
    }

    void init() { TestDb::limpiar(); }

    // With an authority (--ssl-ca, or ssl-ca in an option file) the tool works over TLS; a
    // server in clear, and one whose certificate names another host, are refused before the
    // login: the account never logs in there.
    void cifrado()
    {
        TestDb::ServidorExtra tls(1, {"--tls"});
        TestDb::ServidorExtra otroNombre(3, {"--tls=" + tls.dir + "/tls", "--tls-name=otro.org"});
        QVERIFY(tls.listo && otroNombre.listo);
        auto args = [&](int puerto, bool enArchivo) {
            const QString f = ruta(QString("tls-%1.cnf").arg(puerto));
            escribir(f, QString("[client]\nhost=127.0.0.1\nport=%1\nuser=%2\npassword=%3\n%4")
                            .arg(puerto)
                            .arg(TestDb::cuenta("ana"), TestDb::clave("ana"),
                                 enArchivo ? "ssl-ca=" + tls.dir + "/tls/ca.pem\n" : "")
                            .toUtf8());
            return QStringList{"verificar", "--defaults-file=" + f, "--sistema", TestDb::base(),
                               "--claves", pub}
                   + (enArchivo ? QStringList() : QStringList{"--ssl-ca", tls.dir + "/tls/ca.pem"});
        };
        TestDb::registrar(TestDb::admin(), true);
        TestDb::registrar(otroNombre.raiz(), true);
        for (const bool enArchivo : {false, true}) {
            QCOMPARE(correr(args(tls.puerto, enArchivo)).estado, 0);
            for (const int puerto : {qEnvironmentVariableIntValue("MYSQL_TCP_PORT"), otroNombre.puerto}) {
                const Corrida r = correr(args(puerto, enArchivo));
                QVERIFY(r.estado != 0);
                QVERIFY2(r.error.startsWith("kolvaster-publicar: no se puede conectar con el "
                                            "servidor por TLS: ") && r.error.count('\n') == 1,
                         r.error.constData());
            }
        }
        QCOMPARE(TestDb::sentencias(TestDb::admin(), TestDb::cuenta("ana"))
                     + TestDb::sentencias(otroNombre.raiz(), TestDb::cuenta("ana")),
                 QStringList());
        TestDb::registrar(TestDb::admin(), false);
    }

    // The command line wins over the option files, as with the stock client: a file that turns
    // the certificate's check or TLS itself off while an authority is in force is refused in one
    // line naming it, and a file's ssl-ca does not replace --ssl-ca. Built with an authority, the
    // tool requires TLS with it unless told another.
    void cifradoYArchivosDeOpciones()
    {
        TestDb::ServidorExtra tls(1, {"--tls"});
        TestDb::ServidorExtra otroNombre(3, {"--tls=" + tls.dir + "/tls", "--tls-name=otro.org"});
        QVERIFY(tls.listo && otroNombre.listo);
        const QString ca = tls.dir + "/tls/ca.pem";
        const int claro = qEnvironmentVariableIntValue("MYSQL_TCP_PORT");
        auto conexion = [&](int puerto, const QStringList &mas) {
            return QStringList{"verificar", "--sistema", TestDb::base(), "--claves", pub,
                               "--host=127.0.0.1", "--port=" + QString::number(puerto),
                               "--user=" + TestDb::cuenta("ana"),
                               "--password=" + TestDb::clave("ana")}
                   + mas;
        };
        auto rechazo = [](const Corrida &r, const QByteArray &comienzo) {
            return r.estado != 0 && r.error.startsWith("kolvaster-publicar: " + comienzo)
                   && r.error.count('\n') == 1;
        };
        TestDb::registrar(TestDb::admin(), true);
        TestDb::registrar(otroNombre.raiz(), true);

        escribir(ruta("apaga.cnf"), "[client]\nssl_verify_server_cert = 0\n");
        Corrida r = correr(conexion(otroNombre.puerto, {"--defaults-extra-file=" + ruta("apaga.cnf"),
                                                        "--ssl-ca", ca}));
        QCOMPARE(r.error, "kolvaster-publicar: el archivo de opciones apaga una comprobacion de "
                          "TLS, que con una autoridad no se admite: "
                              + ruta("apaga.cnf").toUtf8() + ": ssl_verify_server_cert = 0\n");
        QVERIFY(r.estado != 0);
        // ~/.my.cnf, with the authority in a file of its own.
        escribir(ruta(".my.cnf"), "[kolvaster-publicar]\nssl-enforce=0\n");
        escribir(ruta("ca.cnf"), ("[client]\nssl-ca=" + ca + "\n").toUtf8());
        r = correr(conexion(claro, {"--defaults-extra-file=" + ruta("ca.cnf")}));
        QVERIFY2(rechazo(r, "el archivo de opciones apaga") && r.error.contains(".my.cnf: ssl-enforce=0"),
                 r.error.constData());
        QFile::remove(ruta(".my.cnf"));
        // A file's authority does not replace the command line's.
        escribir(ruta("otra.cnf"), "[client]\nssl-ca=/no/existe/ca.pem\n");
        QCOMPARE(correr(conexion(tls.puerto, {"--defaults-extra-file=" + ruta("otra.cnf"),
                                              "--ssl-ca", ca}))
                     .estado,
                 0);

        // Built with the authority: TLS with it, and the name checked, without --ssl-ca.
        QCOMPARE(correr(conexion(tls.puerto, {}), KOLVASTER_PUBLICAR_TLS).estado, 0);
        for (const int puerto : {claro, otroNombre.puerto}) {
            r = correr(conexion(puerto, {}), KOLVASTER_PUBLICAR_TLS);
            QVERIFY2(rechazo(r, "no se puede conectar con el servidor por TLS: "),
                     r.error.constData());
            r = correr(conexion(puerto, {"--defaults-extra-file=" + ruta("apaga.cnf")}),
                       KOLVASTER_PUBLICAR_TLS);
            QVERIFY2(rechazo(r, "el archivo de opciones apaga"), r.error.constData());
        }
        QCOMPARE(TestDb::sentencias(TestDb::admin(), TestDb::cuenta("ana"))
                     + TestDb::sentencias(otroNombre.raiz(), TestDb::cuenta("ana")),
                 QStringList());
        TestDb::registrar(otroNombre.raiz(), false);
        TestDb::registrar(TestDb::admin(), false);
    }

    // A server in clear that asks for the clear-text authentication plugin gets no password
    // from the tool, not even when an option file points at the client library's plugins, nor
    // when the environment has the library load that plugin at its start (LIBMYSQL_PLUGINS,
    // with MARIADB_PLUGIN_DIR at the library's own plugin folder).
    void servidorQuePideLaClaveEnClaro_data()
    {
        QTest::addColumn<bool>("complementosEnElEntorno");
        QTest::newRow("sin variables") << false;
        QTest::newRow("LIBMYSQL_PLUGINS=mysql_clear_password") << true;
    }

    void servidorQuePideLaClaveEnClaro()
    {
        QFETCH(bool, complementosEnElEntorno);
        TestDb::ServidorFalso falso(5, "claro");
        QVERIFY(falso.listo);
        QProcess carpeta;
        carpeta.start("mariadb_config", {"--plugindir"});
        QVERIFY(carpeta.waitForFinished());
        const QByteArray plugins = carpeta.readAllStandardOutput().trimmed();
        escribir(ruta("complementos.cnf"), "[client]\nplugin-dir=" + plugins + "\n");
        struct Limpio {
            QMap<QString, QString> &e;
            ~Limpio() { e.clear(); }
        } limpio{entornoExtra};
        if (complementosEnElEntorno)
            entornoExtra = {{"LIBMYSQL_PLUGINS", "mysql_clear_password"},
                            {"MARIADB_PLUGIN_DIR", QString::fromUtf8(plugins)}};
        for (const QString &archivos :
             {QString("--no-defaults"), "--defaults-file=" + ruta("complementos.cnf")}) {
            const Corrida r = correr(
                {"verificar", "--sistema", TestDb::base(), "--claves", pub, archivos,
                 "--host=127.0.0.1", "--port=" + QString::number(falso.puerto),
                 "--user=" + TestDb::cuenta("ana"), "--password=clave_secreta"});
            QVERIFY(r.estado != 0);
        }
        QCOMPARE(falso.recibido().count(TestDb::cuenta("ana").toUtf8()), 2);
        QVERIFY2(!falso.recibido().contains("clave_secreta"),
                 "the password reached the server in clear");
    }

    // The key pair: secret 0600, the public line printed and in ARCHIVO.pub; never overwritten.
    void claveNueva()
    {
        QCOMPARE(QFileInfo(clave).permissions(),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                     | QFileDevice::WriteUser);
        QFile f(clave + ".pub");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(f.readAll()), pub + "\n");
        QFile s(clave);
        QVERIFY(s.open(QIODevice::ReadOnly));
        const QByteArray secreta = s.readAll();
        const Corrida r = correr({"clave", clave});
        QVERIFY(r.estado != 0);
        QCOMPARE(r.error.count('\n'), 1);
        QVERIFY(r.salida.isEmpty());
        s.seek(0);
        QCOMPARE(s.readAll(), secreta);
    }

    // A new program, then a new publication of it: one row, the version grows, the signature
    // verifies over the message, the title changes only when given.
    void subirYReemplazar()
    {
        const QByteArray v1 = "#!/bin/sh\necho uno\n";
        QByteArray v2(3 * 1024 * 1024 + 5, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(v2.data()),
                                              v2.size() / 4);
        escribir(ruta("v1"), v1);
        escribir(ruta("v2"), v2);
        const QString nombre = QString::fromUtf8("Gestión de stock");
        Corrida r = subir({nombre, ruta("v1")});
        QVERIFY2(r.estado == 0, r.error.constData());
        verificaFirma(nombre, v1, 1, pub.toLatin1());
        QCOMPARE(TestDb::valor("SELECT titulo FROM app WHERE nombre=?", {nombre}).toString(),
                 nombre);
        const qint64 id = TestDb::valor("SELECT app_id FROM app").toLongLong();

        r = subir({"--titulo", "Stock", nombre, ruta("v2")});
        QVERIFY2(r.estado == 0, r.error.constData());
        verificaFirma(nombre, v2, 2, pub.toLatin1());
        QCOMPARE(TestDb::contar("SELECT COUNT(*) FROM app"), 1);
        QCOMPARE(TestDb::valor("SELECT app_id FROM app").toLongLong(), id);
        QCOMPARE(TestDb::valor("SELECT titulo FROM app").toString(), QString("Stock"));
        r = subir({nombre, ruta("v1")});
        QCOMPARE(r.estado, 0);
        verificaFirma(nombre, v1, 3, pub.toLatin1());
        QCOMPARE(TestDb::valor("SELECT titulo FROM app").toString(), QString("Stock"));
    }

    // Each publication stores the compressed copy of the program and the patch from the one it
    // replaces, read from the database: seven publications leave the chain of the last five,
    // each patch giving its version from the one before. Going back to an older build drops
    // the patch that started from it.
    void comprimidosYCadena()
    {
        for (int k = 1; k <= 7; ++k) {
            escribir(ruta("prog"), build(k));
            // What a tool of the previous release left: one-row rows, which go at the next
            // publication (their launchers then take the plain download).
            if (k == 3) {
                TestDb::ejecutar("INSERT INTO appcomprimido (app_id, md5, largo, datos, bytes) "
                                 "SELECT app_id, windowsbinary_md5, 1, 'x', 1 FROM app");
                TestDb::ejecutar("INSERT INTO appparche (app_id, desde_md5, hasta_md5, datos) "
                                 "SELECT app_id, MD5('v'), windowsbinary_md5, 'x' FROM app");
            }
            const Corrida r = subir({"calc", ruta("prog")});
            QVERIFY2(r.estado == 0, r.error.constData());
            QSqlQuery q(TestDb::admin());
            QVERIFY(q.exec(QString("SELECT md5, largo FROM appcopia ORDER BY md5='%1' DESC")
                               .arg(QString::fromLatin1(md5(build(k)))))
                    && q.next());
            QCOMPARE(q.value(0).toByteArray(), md5(build(k)));
            QCOMPARE(q.value(1).toLongLong(), qint64(build(k).size()));
            // The copy of the version replaced stays as long as it is kept for going back; the
            // one before it is gone.
            if (k > 1) {
                QVERIFY(q.next());
                QCOMPARE(q.value(0).toByteArray(), md5(build(k - 1)));
            }
            QVERIFY(!q.next());
            // A publication leaves no row of the previous release's one-row tables.
            QCOMPARE(TestDb::contar("SELECT 1 FROM appcomprimido UNION ALL SELECT 1 FROM appparche"),
                     0);
            QVERIFY(descomprimir(juntar("appcopiapieza", "md5=?", {md5(build(k))})) == build(k));
            // The sizes the launchers bound their fetches by, without measuring on the server.
            for (const auto &[t, clave] :
                 {std::pair{"appcopia", "p.md5=h.md5"},
                  std::pair{"appdelta", "p.desde_md5=h.desde_md5 AND p.hasta_md5=h.hasta_md5"}})
                QCOMPARE(TestDb::contar(QString("SELECT 1 FROM %1 h WHERE bytes=(SELECT "
                                                "SUM(LENGTH(datos)) FROM %1pieza p WHERE "
                                                "p.app_id=h.app_id AND %2) AND piezas=(SELECT "
                                                "COUNT(*) FROM %1pieza p WHERE p.app_id=h.app_id "
                                                "AND %2) AND tamano=1048576")
                                            .arg(t, clave)),
                         TestDb::contar(QString("SELECT 1 FROM %1").arg(t)));
        }
        QHash<QByteArray, QPair<QByteArray, QByteArray>> parches;
        QSqlQuery q(TestDb::admin());
        QVERIFY(q.exec("SELECT desde_md5, hasta_md5, largo FROM appdelta"));
        while (q.next()) {
            parches.insert(q.value(0).toByteArray(),
                           {q.value(1).toByteArray(),
                            juntar("appdeltapieza", "desde_md5=? AND hasta_md5=?",
                                   {q.value(0), q.value(1)})});
            QCOMPARE(q.value(2).toLongLong(), qint64(build(1).size()));
        }
        // The last five lead to the current version; the one before them to the version kept
        // for going back.
        QCOMPARE(parches.size(), 6);
        for (int k = 1; k <= 6; ++k) {
            QVERIFY2(parches.contains(md5(build(k))), qPrintable(QString::number(k)));
            const auto &[hasta, datos] = parches.value(md5(build(k)));
            QCOMPARE(hasta, md5(build(k + 1)));
            QVERIFY(datos.size() < 2000);
            QVERIFY(descomprimir(datos, build(k)) == build(k + 1));
        }

        escribir(ruta("prog"), build(5));
        QCOMPARE(subir({"calc", ruta("prog")}).estado, 0);
        QCOMPARE(TestDb::valor("SELECT hasta_md5 FROM appdelta WHERE desde_md5=?",
                               {QString::fromLatin1(md5(build(7)))}).toByteArray(),
                 md5(build(5)));
        // From the current version only the chain to the one kept for going back (7) is left.
        QCOMPARE(TestDb::valor("SELECT GROUP_CONCAT(hasta_md5) FROM appdelta WHERE desde_md5=?",
                               {QString::fromLatin1(md5(build(5)))}).toByteArray(),
                 md5(build(6)));
        QCOMPARE(TestDb::contar("SELECT 1 FROM appcopia"), 2);
        QCOMPARE(TestDb::contar("SELECT 1 FROM appcopia WHERE md5 IN (?, ?)",
                                {QString::fromLatin1(md5(build(5))), QString::fromLatin1(md5(build(7)))}),
                 2);
        QCOMPARE(TestDb::contar("SELECT DISTINCT md5 FROM appcopiapieza"), 2);
    }

    void entradasMalas_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("dice");
        const QString base = TestDb::base();
        const QString bien = "--defaults-extra-file=" + opciones;
        QTest::newRow("missing file") << QStringList{bien, "calc", ruta("no-existe")} << "no existe";
        QTest::newRow("empty file") << QStringList{bien, "calc", ruta("vacio")} << "vacio";
        QTest::newRow("not a file") << QStringList{bien, "calc", dir.path()} << "no es un archivo";
        QTest::newRow("name with a separator") << QStringList{bien, "a/b", ruta("prog")} << "nombre";
        QTest::newRow("name ..") << QStringList{bien, "..", ruta("prog")} << "nombre";
        QTest::newRow("public key as secret key")
            << QStringList{bien, "--clave", ruta("editor.clave.pub"), "calc", ruta("prog")}
            << "no es una clave secreta";
        QTest::newRow("damaged key") << QStringList{bien, "--clave", ruta("danada"), "calc",
                                                    ruta("prog")}
                                     << "no es una clave secreta";
        QTest::newRow("wrong password") << QStringList{bien, "--password=otra", "calc", ruta("prog")}
                                        << "acceso denegado";
        QTest::newRow("unreachable server") << QStringList{bien, "--port", "1", "calc", ruta("prog")}
                                            << "no se puede conectar";
        QTest::newRow("unknown system") << QStringList{bien, "--sistema", "noexiste", "calc",
                                                       ruta("prog")}
                                        << "no existe el sistema";
        QTest::newRow("packet too small") << QStringList{bien, "calc", ruta("grande")}
                                          << "max_allowed_packet de al menos 2099200";
        Q_UNUSED(base);
    }
    // One line, a non-zero status and the tables as they were (an old publication present).
    void entradasMalas()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, dice);
        escribir(ruta("prog"), "#!/bin/sh\n");
        escribir(ruta("vacio"), "");
        escribir(ruta("grande"), QByteArray(2 * 1024 * 1024 + 1, 'x'));
        QFile s(clave);
        QVERIFY(s.open(QIODevice::ReadOnly));
        QByteArray danada = s.readAll();
        danada[40] = danada[40] == 'A' ? 'B' : 'A';
        escribir(ruta("danada"), danada);
        QCOMPARE(subir({"calc", ruta("prog")}).estado, 0);
        const QString antes = foto();
        const bool paquete = QTest::currentDataTag() == QByteArray("packet too small");
        if (paquete)
            TestDb::ejecutar("SET GLOBAL max_allowed_packet=2097152");

        QStringList todos{"subir"};
        if (!args.contains("--clave"))
            todos << "--clave" << clave;
        if (!args.contains("--sistema"))
            todos << "--sistema" << TestDb::base();
        const Corrida r = correr(todos + args);
        if (paquete)
            TestDb::ejecutar("SET GLOBAL max_allowed_packet=268435456");
        QVERIFY(r.estado > 0);
        QCOMPARE(r.error.count('\n'), 1);
        QVERIFY2(r.error.startsWith("kolvaster-publicar: ") && r.error.contains(dice.toUtf8()),
                 r.error.constData());
        QCOMPARE(foto(), antes);
    }

    void ordenesMalas_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("dice");
        const QString base = TestDb::base(), bien = "--defaults-extra-file=" + opciones;
        const QString desconocida = "opcion desconocida o sin valor: ";
        QTest::newRow("unknown option") << QStringList{"verificar", bien, "--clavez", "x"}
                                        << desconocida + "--clavez";
        QTest::newRow("option without its value")
            << QStringList{"subir", bien, "calc", ruta("prog"), "--clave"} << desconocida + "--clave";
        QTest::newRow("value given to a flag") << QStringList{"esquema", bien, "--aplicar=1"}
                                               << desconocida + "--aplicar=1";
        QTest::newRow("another subcommand's option") << QStringList{"verificar", bien, "--aplicar"}
                                                     << desconocida + "--aplicar";
        QTest::newRow("connection option without a connection")
            << QStringList{"clave", "--host", "127.0.0.1", ruta("k")} << desconocida + "--host";
        QTest::newRow("stray word") << QStringList{"esquema", bien, "sobra"} << desconocida + "sobra";
        QTest::newRow("a word too many")
            << QStringList{"subir", bien, "--clave", clave, "calc", ruta("prog"), "otro"}
            << "subir necesita NOMBRE y PROGRAMA";
        QTest::newRow("bad port") << QStringList{"verificar", bien, "--port", "x"}
                                  << "puerto no valido: x";
        QTest::newRow("no system") << QStringList{"esquema", "--no-defaults"} << "falta --sistema BASE";
        Q_UNUSED(base);
    }
    // The options every subcommand shares are read by one parser: whatever it cannot take is
    // one line and status 2 before any connection, and nothing is written.
    void ordenesMalas()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, dice);
        escribir(ruta("prog"), "#!/bin/sh\n");
        const QString antes = foto();
        const Corrida r = correr(args);
        QCOMPARE(r.estado, 2);
        QCOMPARE(r.salida, QByteArray());
        QCOMPARE(QString::fromUtf8(r.error), "kolvaster-publicar: " + dice + "\n");
        QVERIFY2(!QFileInfo::exists(ruta("k")), "a key was made");
        QCOMPARE(foto(), antes);
    }

    // Each subcommand explains itself, and the tool's help lists every one.
    void ayuda()
    {
        const Corrida todas = correr({"--help"});
        QCOMPARE(todas.estado, 0);
        for (const char *orden : {"clave", "subir", "verificar", "esquema"}) {
            const Corrida r = correr({orden, "--help"});
            QCOMPARE(r.estado, 0);
            QVERIFY2(r.salida.startsWith("uso: kolvaster-publicar " + QByteArray(orden) + " "),
                     r.salida.constData());
            const QByteArray linea = r.salida.split('\n').first().mid(5);
            QVERIFY2(todas.salida.contains(linea), linea.constData());
        }
    }

    // A catalogue with every state: only the programs signed by a given key over their stored
    // bytes count as valid, and the status says whether all are.
    void verificarMixto()
    {
        const QString otra = ruta("otra.clave");
        QCOMPARE(correr({"clave", otra}).estado, 0);
        escribir(ruta("prog"), "#!/bin/sh\necho prog\n");
        QCOMPARE(subir({"calc", ruta("prog")}).estado, 0);
        QCOMPARE(subir({"vieja", ruta("prog")}).estado, 0);
        QCOMPARE(correr({"subir", "--defaults-extra-file=" + opciones, "--sistema",
                         TestDb::base(), "--clave", otra, "ajena", ruta("prog")})
                     .estado,
                 0);
        TestDb::crearApp("nota", "Notas", QByteArray("sin firma"));
        TestDb::crearApp("sinbin", "Sin binario", std::nullopt);
        TestDb::ejecutar("UPDATE app SET windowsbinary='cambiado' WHERE nombre='vieja'");

        const QStringList conexion{"--defaults-extra-file=" + opciones, "--sistema",
                                   TestDb::base()};
        Corrida r = correr(QStringList{"verificar"} + conexion + QStringList{"--claves", pub});
        QCOMPARE(r.estado, 1);
        const QStringList lineas = QString::fromUtf8(r.salida).trimmed().split('\n');
        QCOMPARE(lineas.size(), 6);
        QVERIFY2(lineas[0].startsWith("ajena: NO COINCIDE: firmado con una clave que no esta"),
                 qPrintable(lineas[0]));
        QCOMPARE(lineas[1], QString("calc: firmado, version 1"));
        QCOMPARE(lineas[2], QString("nota: SIN FIRMA"));
        QCOMPARE(lineas[3], QString("sinbin: sin binario"));
        QCOMPARE(lineas[4], QString("vieja: NO COINCIDE: la firma no corresponde al programa "
                                    "guardado"));
        QCOMPARE(lineas[5], QString("1 firmados y validos, 1 sin firma, 2 no coinciden, 1 sin binario"));

        // Both keys (a rotation) and the others re-signed: all valid, status 0.
        QFile f(otra + ".pub");
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString ambas = pub + ";" + QString::fromLatin1(f.readAll().trimmed());
        QCOMPARE(subir({"nota", ruta("prog")}).estado, 0);
        QCOMPARE(subir({"vieja", ruta("prog")}).estado, 0);
        r = correr(QStringList{"verificar"} + conexion + QStringList{"--claves", ambas});
        QCOMPARE(r.estado, 0);
        QVERIFY2(r.salida.endsWith("4 firmados y validos, 0 sin firma, 0 no coinciden, 1 sin "
                                   "binario\n"),
                 r.salida.constData());

        // Without one of the triggers that keep the stored digest, the catalogue is not sound
        // whatever its signatures: said on a line of its own, and the status says so.
        TestDb::ejecutar("DROP TRIGGER app_md5_cambio");
        r = correr(QStringList{"verificar"} + conexion + QStringList{"--claves", ambas});
        TestDb::ejecutar("CREATE TRIGGER app_md5_cambio BEFORE UPDATE ON app FOR EACH ROW SET "
                         "NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)");
        QCOMPARE(r.estado, 1);
        QVERIFY2(r.salida.contains("binario\nFALTAN DISPARADORES: app_md5_alta y app_md5_cambio"),
                 r.salida.constData());
    }

    // A copy and a patch larger than the server's packet still go: in pieces, put together
    // again into the program, with its patch from the version before.
    void paqueteMenorQueLoComprimido()
    {
        QByteArray viejo(3 * 1024 * 1024, Qt::Uninitialized), nuevo(3 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator(5).fillRange(reinterpret_cast<quint32 *>(viejo.data()), viejo.size() / 4);
        QRandomGenerator(6).fillRange(reinterpret_cast<quint32 *>(nuevo.data()), nuevo.size() / 4);
        escribir(ruta("viejo"), viejo);
        QCOMPARE(subir({"calc", ruta("viejo")}).estado, 0);
        // Room for the program (3 MB) but not for a copy or a patch of random bytes whole,
        // which come out a little larger than the program.
        const qint64 paquete = TestDb::valor("SELECT @@GLOBAL.max_allowed_packet").toLongLong();
        TestDb::ejecutar("SET GLOBAL max_allowed_packet=3146752");
        const auto restaurar = qScopeGuard([=] {
            TestDb::ejecutar("SET GLOBAL max_allowed_packet=?", {paquete});
        });
        escribir(ruta("nuevo"), nuevo);
        const Corrida r = subir({"calc", ruta("nuevo")});
        QVERIFY2(r.estado == 0, r.error.constData());
        const QByteArray copia = juntar("appcopiapieza", "md5=?", {md5(nuevo)});
        QVERIFY(copia.size() > nuevo.size()); // no packet of the server could hold it whole
        QVERIFY(descomprimir(copia) == nuevo);
        QVERIFY(descomprimir(juntar("appdeltapieza", "desde_md5=? AND hasta_md5=?",
                                    {md5(viejo), md5(nuevo)}),
                             viejo)
                == nuevo);
    }

    // The server dies while the program is arriving: after its restart, the old publication
    // is whole. Kills the tests' server, so it runs last and resumes it on the same data.
    void servidorMuereDuranteLaSubida()
    {
        const QByteArray viejo = "#!/bin/sh\necho viejo\n";
        escribir(ruta("viejo"), viejo);
        QCOMPARE(subir({"calc", ruta("viejo")}).estado, 0);
        QByteArray nuevo(128 * 1024 * 1024, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(nuevo.data()),
                                              nuevo.size() / 4);
        escribir(ruta("nuevo"), nuevo);
        nuevo.clear();

        const QString datos = qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/testdb";
        QFile pidFile(datos + "/mysqld.pid");
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t servidor = pid_t(pidFile.readAll().trimmed().toLongLong());
        QProcess *p = proceso({"subir", "--defaults-extra-file=" + opciones, "--sistema",
                               TestDb::base(), "--clave", clave, "calc", ruta("nuevo")});
        QVERIFY(p->waitForStarted());
        // Killed once the server has received some 16 MB of the program.
        auto recibidos = [] {
            QSqlQuery q(TestDb::admin());
            return q.exec("SHOW GLOBAL STATUS LIKE 'Bytes_received'") && q.next()
                       ? q.value(1).toLongLong() : 0;
        };
        const qint64 antes = recibidos();
        bool matado = false;
        while (!matado && p->state() == QProcess::Running) {
            if (recibidos() - antes > 16 << 20) {
                ::kill(servidor, SIGKILL);
                matado = true;
            }
            QTest::qWait(1);
        }
        QVERIFY2(matado, p->readAllStandardError().constData());
        QVERIFY(p->waitForFinished(60000));
        QVERIFY(p->exitCode() != 0);
        // Told where it stopped: the tool does not go on sending into a dead connection.
        const QByteArray error = p->readAllStandardError();
        QCOMPARE(error.count('\n'), 1);
        QVERIFY2(error.contains("se corto el envio"), error.constData());

        // The checks' own session to the dead server is closed first: left open, it holds the
        // server's port (FIN-WAIT-2), and the script refuses to start on a port in use.
        TestDb::admin().close();
        QCOMPARE(QProcess::execute(KOLVASTER_TESTDB_SH,
                                   {"resume", datos, qEnvironmentVariable("MYSQL_TCP_PORT")}),
                 0);
        verificaFirma("calc", viejo, 1, pub.toLatin1());
    }
};

QTEST_MAIN(TstPublicar)
#include "tst_publicar.moc"
