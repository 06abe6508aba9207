// kolvaster-publicar esquema on an organisation's database of many years (base_antigua.sql):
// the report, the refusal while duplicates block a key, the upgrade once they are resolved,
// which must leave what sql/schema.sql makes on an empty database (the test that tells when the
// tool's idea of the schema and the file drift apart) with every row and byte, and then the
// tool and the launcher at work on it.

#include "app/kolvaster.h"
#include "catalogue/actualizacion.h"
#include "catalogue/compresion.h"
#include "catalogue/descarga.h"
#include "guion.h"
#include "sesion.h"
#include "testdb.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString antigua = QStringLiteral("antigua"), fresca = QStringLiteral("fresca");

QString md5(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex());
}

QByteArray leerArchivo(const QString &ruta)
{
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Corrida {
    int estado = -1;
    QString salida, error;
};

QStringList filas(const QString &sql, const QVariantList &valores = {})
{
    QSqlQuery q(TestDb::admin());
    q.prepare(sql);
    for (const QVariant &v : valores)
        q.addBindValue(v);
    if (!q.exec())
        qFatal("%s", qPrintable(sql));
    QStringList r;
    while (q.next()) {
        QStringList f;
        for (int i = 0; i < q.record().count(); ++i)
            f << (q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
        r << f.join(QLatin1Char('|'));
    }
    return r;
}

// What information_schema says of a database's tables, columns, keys and triggers.
QStringList esquemaDe(const QString &base)
{
    return filas("SELECT CONCAT_WS(' ', 'tabla', TABLE_NAME, ENGINE, TABLE_COLLATION) FROM "
                 "information_schema.TABLES WHERE TABLE_SCHEMA=? ORDER BY TABLE_NAME",
                 {base})
           + filas("SELECT CONCAT_WS(' ', 'columna', TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, "
                   "COLUMN_TYPE, IS_NULLABLE, IFNULL(COLUMN_DEFAULT, '-'), EXTRA, "
                   "IFNULL(COLLATION_NAME, '-')) FROM information_schema.COLUMNS WHERE "
                   "TABLE_SCHEMA=? ORDER BY TABLE_NAME, ORDINAL_POSITION",
                   {base})
           + filas("SELECT CONCAT_WS(' ', 'clave', TABLE_NAME, INDEX_NAME, MIN(NON_UNIQUE), "
                   "GROUP_CONCAT(COLUMN_NAME, IFNULL(SUB_PART, '') ORDER BY SEQ_IN_INDEX)) FROM "
                   "information_schema.STATISTICS WHERE TABLE_SCHEMA=? GROUP BY TABLE_NAME, "
                   "INDEX_NAME ORDER BY TABLE_NAME, INDEX_NAME",
                   {base})
           + filas("SELECT CONCAT_WS(' ', 'disparador', EVENT_OBJECT_TABLE, TRIGGER_NAME, "
                   "ACTION_TIMING, EVENT_MANIPULATION, ACTION_ORIENTATION, ACTION_STATEMENT) FROM "
                   "information_schema.TRIGGERS WHERE TRIGGER_SCHEMA=? ORDER BY TRIGGER_NAME",
                   {base});
}

// Every row of every table, over the columns the table had in `columnas` (table -> columns),
// as one digest per table with its row count.
QStringList datosDe(const QString &base, const QMap<QString, QStringList> &columnas)
{
    TestDb::ejecutar("SET SESSION group_concat_max_len=16777216");
    QStringList r;
    for (auto t = columnas.cbegin(); t != columnas.cend(); ++t) {
        QStringList citas;
        for (const QString &c : *t)
            citas << "QUOTE(`" + c + "`)";
        r << t.key() + ": "
                 + filas(QString("SELECT CONCAT(COUNT(*), ' ', MD5(GROUP_CONCAT(h ORDER BY h))) FROM "
                                 "(SELECT MD5(CONCAT_WS('|', %1)) h FROM `%2`.`%3`) x")
                             .arg(citas.join(", "), base, t.key()))
                       .join("");
    }
    return r;
}

QMap<QString, QStringList> columnasDe(const QString &base)
{
    QMap<QString, QStringList> r;
    for (const QString &f : filas("SELECT TABLE_NAME, COLUMN_NAME FROM information_schema.COLUMNS "
                                  "WHERE TABLE_SCHEMA=? ORDER BY ORDINAL_POSITION",
                                  {base}))
        r[f.section('|', 0, 0)] << f.section('|', 1);
    return r;
}

} // namespace

class TstEsquema : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString opciones;

    QString ruta(const QString &n) const { return dir.path() + "/" + n; }

    static void escribir(const QString &ruta, const QByteArray &b)
    {
        QFile f(ruta);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(b);
    }

    // Statements as the administrator types them into the stock client.
    static QString cliente(const QString &base, const QByteArray &sql,
                           const QString &puerto = qEnvironmentVariable("MYSQL_TCP_PORT"))
    {
        QProcess p;
        p.start("mariadb", {"--no-defaults", "-h127.0.0.1", "-P" + puerto, "-udbadmin",
                            QString("-p") + TestDb::claveAdmin, "-N", base});
        p.write(sql);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            qFatal("mariadb: %s", p.readAllStandardError().constData());
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    static void cargar(const QString &base, const QString &archivo,
                       const QString &puerto = qEnvironmentVariable("MYSQL_TCP_PORT"))
    {
        cliente("mysql", QString("DROP DATABASE IF EXISTS `%1`; CREATE DATABASE `%1` CHARACTER SET "
                                 "utf8mb4;").arg(base).toUtf8(),
                puerto);
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        cliente(base, f.readAll(), puerto);
    }

    Corrida correr(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        p.setProcessEnvironment(env);
        p.start(KOLVASTER_PUBLICAR, args);
        Corrida r;
        if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
            r.estado = p.exitCode();
        r.salida = QString::fromUtf8(p.readAllStandardOutput());
        r.error = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    Corrida esquema(const QStringList &extra = {})
    {
        return correr(QStringList{"esquema", "--defaults-extra-file=" + opciones, "--sistema",
                                  antigua}
                      + extra);
    }

    // What "Upgrading an existing database" in the administrator's guide tells an administrator to run for
    // the duplicates of this database, as it says it.
    static void resolverDuplicados(const QString &puerto = qEnvironmentVariable("MYSQL_TCP_PORT"))
    {
        cliente(antigua, R"(
-- one program under two names that the key takes as one (app_id 1 and 4): keep 1
UPDATE sysuserapp SET app_id = 1 WHERE app_id = 4;
UPDATE appuse SET app_id = 1 WHERE app_id = 4;
DELETE FROM app WHERE app_id = 4;
-- one account entered twice (sysuser_id 4 and 5): keep 4
UPDATE sysuserapp SET sysuser_id = 4 WHERE sysuser_id = 5;
UPDATE sysuserreport SET sysuser_id = 4 WHERE sysuser_id = 5;
DELETE FROM sysuser WHERE sysuser_id = 5;
-- a grant or a report given twice: one row goes
DELETE FROM sysuserapp WHERE sysuser_id = 2 AND app_id = 1 LIMIT 1;
DELETE FROM sysuserreport WHERE sysuser_id = 3 AND report_id = 1 LIMIT 1;
-- a second picture of a user: the one whose digest the listing showed
DELETE FROM sysuserimg WHERE sysuser_id = 2 AND MD5(imagen) = MD5(UNHEX(REPEAT('89504E470D0A1A0A', 40))) LIMIT 1;
)",
                puerto);
    }

private slots:
    void initTestCase()
    {
        opciones = TestDb::opcionesAdmin(ruta("cliente.cnf"));
        cargar(fresca, KOLVASTER_SCHEMA);
    }

    void init() { cargar(antigua, KOLVASTER_BASE_ANTIGUA); }

    void cleanupTestCase()
    {
        TestDb::ejecutar("DROP DATABASE IF EXISTS `" + antigua + "`");
        TestDb::ejecutar("DROP DATABASE IF EXISTS `" + fresca + "`");
        TestDb::ejecutar("DROP USER IF EXISTS 'antigua_ana'@'%', 'antigua_tomas'@'%'");
    }

    // A freshly loaded sql/schema.sql is up to date, in the report and for --aplicar.
    void unaBaseNuevaEstaAlDia()
    {
        for (const QStringList &extra : {QStringList(), QStringList{"--aplicar"}}) {
            const Corrida r = correr(QStringList{"esquema", "--defaults-extra-file=" + opciones,
                                                 "--sistema", fresca}
                                     + extra);
            QVERIFY2(r.estado == 0, qPrintable(r.salida + r.error));
            QVERIFY2(r.salida.endsWith("la base fresca esta al dia"
                                       + QString(extra.isEmpty() ? "" : ": no se cambio nada")
                                       + "\n"),
                     qPrintable(r.salida));
        }
    }

    // The whole way, from the report to the launcher.
    void deUnaBaseAntigua()
    {
        const QMap<QString, QStringList> columnas = columnasDe(antigua);
        const QStringList esquemaAntes = esquemaDe(antigua), datosAntes = datosDe(antigua, columnas);

        // The report: what is missing, the duplicates, status 1, nothing written.
        Corrida r = esquema();
        QCOMPARE(r.estado, 1);
        const QStringList informe = r.salida.split('\n', Qt::SkipEmptyParts);
        for (const char *linea :
             {"falta la columna app.windowsbinary_md5", "falta la clave unica uq_app_nombre (nombre) en app",
              "falta el disparador app_md5_alta de app", "falta el disparador app_md5_cambio de app",
              "falta la columna sysuserapp.sysuserapp_id",
              "falta la clave primaria (sysuserapp_id) en sysuserapp",
              "falta la clave unica uq_sysuserapp (sysuser_id, app_id) en sysuserapp",
              "falta el indice ix_appuse_user (sysuser_id) en appuse", "falta la tabla appfirma",
              "falta la tabla appcopia", "falta la tabla appcopiapieza", "falta la tabla appdelta",
              "falta la tabla appdeltapieza", "falta la tabla appcomprimido",
              "falta la tabla appparche", "falta la tabla sede"})
            QVERIFY2(informe.contains(linea), linea);
        QCOMPARE(esquemaDe(antigua), esquemaAntes);

        // --aplicar refuses: every duplicate named, with its rows' ids where it has them.
        r = esquema({"--aplicar"});
        QCOMPARE(r.estado, 1);
        const QStringList dups = r.salida.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(dups.size(), 6);
        QCOMPARE(dups[0], QString("duplicado en sysuser para la clave unica uq_sysuser (sysuser): "
                          "sysuser=\"antigua_eva\" (sysuser_id 4, 5)"));
        QCOMPARE(dups[1], QString("duplicado en sysuserimg para la clave unica uq_sysuserimg_user "
                          "(sysuser_id): sysuser_id=\"2\" (2 filas)"));
        QVERIFY2(dups[2].startsWith("duplicado en app para la clave unica uq_app_nombre (nombre): "
                                    "nombre=")
                     && dups[2].endsWith(" (app_id 1, 4)"),
                 qPrintable(dups[2]));
        QCOMPARE(dups[3], QString("duplicado en sysuserapp para la clave unica uq_sysuserapp (sysuser_id, "
                          "app_id): sysuser_id=\"2\", app_id=\"1\" (2 filas)"));
        QCOMPARE(dups[4], QString("duplicado en sysuserreport para la clave unica uq_sysuserreport "
                          "(sysuser_id, report_id): sysuser_id=\"3\", report_id=\"1\" (2 filas)"));
        QVERIFY(dups[5].startsWith("5 impedimentos para las claves: no se cambio nada"));
        for (const QString &d : dups.mid(0, 5))
            QVERIFY(informe.contains(d));
        QCOMPARE(esquemaDe(antigua), esquemaAntes);
        QCOMPARE(datosDe(antigua, columnas), datosAntes);

        // Resolved as the guide says, the upgrade goes through and keeps every row and byte.
        resolverDuplicados();
        const QStringList datosResueltos = datosDe(antigua, columnas);
        r = esquema({"--aplicar"});
        QVERIFY2(r.estado == 0, qPrintable(r.salida + r.error));
        QVERIFY2(r.salida.contains("agregado: la columna app.windowsbinary_md5\n")
                     && r.salida.contains("agregado: la tabla appparche\n")
                     && r.salida.endsWith(" cambios)\n"),
                 qPrintable(r.salida));
        QVERIFY(r.error.isEmpty()); // no bars without a terminal
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));
        QCOMPARE(datosDe(antigua, columnas), datosResueltos);
        QCOMPARE(filas("SELECT app_id, BINARY windowsbinary_md5 = MD5(windowsbinary) FROM antigua.app "
                       "ORDER BY app_id"),
                 QStringList({"1|1", "2|1", "3|NULL", "5|1"}));
        QCOMPARE(filas("SELECT windowsbinary_md5 FROM antigua.app WHERE app_id=3"), QStringList({"NULL"}));

        // A second run changes nothing.
        r = esquema({"--aplicar"});
        QCOMPARE(r.estado, 0);
        QCOMPARE(r.salida, QString("la base antigua esta al dia: no se cambio nada\n"));
        r = esquema();
        QCOMPARE(r.estado, 0);
        QCOMPARE(r.salida, QString("la base antigua esta al dia\n"));
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));

        // A trigger lost (a dump restored without them) and a program changed meanwhile: both
        // reported, both mended.
        cliente(antigua, "DROP TRIGGER app_md5_cambio; UPDATE app SET windowsbinary = 'otra' "
                         "WHERE app_id = 2;");
        r = esquema();
        QCOMPARE(r.estado, 1);
        QCOMPARE(r.salida, QString("falta el disparador app_md5_cambio de app\n"
                           "el digesto guardado de \"nota\" (app_id 2) no es el de su programa\n"
                           "2 diferencias; kolvaster-publicar esquema --aplicar las corrige\n"));
        r = esquema({"--aplicar"});
        QCOMPARE(r.estado, 0);
        QVERIFY2(r.salida.contains("agregado: el disparador app_md5_cambio de app\n")
                     && r.salida.contains("corregido: el digesto de \"nota\" (app_id 2)\n"),
                 qPrintable(r.salida));
        QCOMPARE(esquema().estado, 0);
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));

        // The tool publishes on it: a new program and a new version of an old one.
        QCOMPARE(correr({"clave", ruta("editor.clave")}).estado, 0);
        const QByteArray calc2 = "#!/bin/sh\necho calc 2\n", hoja = "#!/bin/sh\necho hoja\n";
        escribir(ruta("calc2"), calc2);
        escribir(ruta("hoja"), hoja);
        for (const auto &[nombre, archivo] : {qMakePair(QString("calc"), QString("calc2")),
                                              qMakePair(QString("hoja"), QString("hoja"))}) {
            r = correr({"subir", "--defaults-extra-file=" + opciones, "--sistema", antigua,
                        "--clave", ruta("editor.clave"), nombre, ruta(archivo)});
            QVERIFY2(r.estado == 0, qPrintable(r.error));
        }
        QCOMPARE(filas("SELECT a.nombre, BINARY a.windowsbinary_md5 = MD5(a.windowsbinary), f.version, "
                       "c.md5 = a.windowsbinary_md5 FROM antigua.app a JOIN antigua.appfirma f "
                       "ON f.app_id = a.app_id JOIN antigua.appcopia c ON c.app_id = a.app_id "
                       "ORDER BY a.nombre"),
                 QStringList({"calc|1|1|1", "hoja|1|1|1"}));

        // The launcher logs in, syncs the user's programs, and records the session.
        TestDb::ejecutar("CREATE USER IF NOT EXISTS 'antigua_ana'@'%' IDENTIFIED BY 'ana_pw'");
        TestDb::ejecutar("GRANT ALL ON antigua.* TO 'antigua_ana'@'%'");
        {
            Guion guion;
            EntornoSesion entorno;
            entorno.driver().antes(DriverModal::conectar("127.0.0.1", antigua, "ana", "ana_pw"));
            auto k = std::make_unique<Kolvaster>();
            QVERIFY(!k->terminado());
            const QString perfil = entorno.home() + "/Kolvaster/profiles/antigua/ana/";
            auto leer = [](const QString &ruta) {
                QFile f(ruta);
                return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<falta>");
            };
            QCOMPARE(leer(perfil + "calc.exe"), calc2);
            QCOMPARE(leer(perfil + "nota.exe"), QByteArray("otra"));
            QCOMPARE(leer(perfil + "grande.exe"),
                     QByteArray::fromHex("0123456789ABCDEF00").repeated(200000));
            QCOMPARE(leer(perfil + "calc.exe.md5"),
                     QCryptographicHash::hash(calc2, QCryptographicHash::Md5).toHex());
            k->close();
        }
        QCOMPARE(filas("SELECT sysuserelogtipo_id FROM antigua.sysuserelog WHERE sysuser_id = 2 "
                       "AND cuando > NOW() - INTERVAL 1 HOUR ORDER BY sysuserelog_id"),
                 QStringList({"1", "2"}));
    }

    // A server that passes its statements on (here a lone one with a binary log, which a
    // replica follows) numbers a history without a key in the order of its rows' values, not of
    // their storage: a replica that stored the same rows in another order must give each row
    // the same id.
    void numeracionPorValores()
    {
        TestDb::ServidorExtra binlog(5, {"--binlog"});
        QVERIFY(binlog.listo);
        const QString puerto = QString::number(binlog.puerto);
        cargar(antigua, KOLVASTER_BASE_ANTIGUA, puerto);
        // Stored against the order of their values, after the old file's own rows (which are
        // out of it already: a user's second event before another user's first).
        cliente(antigua, "INSERT INTO sysuserelog VALUES (3, 9, '2021-01-01 00:00:00'), "
                         "(2, 9, '2021-01-01 00:00:00'), (1, 2, '2018-01-01 00:00:00'); "
                         "INSERT INTO appuse VALUES (3, NULL, '2021-05-05 10:00:00'), "
                         "(2, 1, '2018-05-05 10:00:00');",
                puerto);
        // Each table's rows in the order of `orden`; without one, in their storage order.
        const auto filasEn = [&](const QString &ordenElog, const QString &ordenUso) {
            const QString orden = QStringLiteral(" ORDER BY %1");
            return cliente(antigua,
                           QString("SELECT GROUP_CONCAT(CONCAT_WS('/', sysuserelogtipo_id, sysuser_id, "
                                   "cuando)%1 SEPARATOR ' ') FROM sysuserelog; SELECT GROUP_CONCAT("
                                   "CONCAT_WS('/', sysuser_id, IFNULL(app_id, '-'), cuando)%2 "
                                   "SEPARATOR ' ') FROM appuse;")
                               .arg(ordenElog.isEmpty() ? QString() : orden.arg(ordenElog),
                                    ordenUso.isEmpty() ? QString() : orden.arg(ordenUso))
                               .toUtf8(),
                           puerto);
        };
        const QString esperado = filasEn("sysuserelogtipo_id, sysuser_id, cuando",
                                         "sysuser_id, app_id, cuando");
        QVERIFY2(filasEn({}, {}) != esperado,
                 "the rows are stored in the order of their values: the case would show nothing");
        resolverDuplicados(puerto);

        const QString otras = TestDb::opcionesAdmin(ruta("binlog.cnf"), binlog.puerto);
        const Corrida r = correr({"esquema", "--defaults-extra-file=" + otras, "--sistema", antigua,
                                  "--aplicar"});
        QVERIFY2(r.estado == 0, qPrintable(r.salida + r.error));
        QCOMPARE(filasEn("sysuserelog_id", "appuse_id"), esperado);
    }

    // The digest's two ways besides the usual one: a run cut off while the column was being
    // filled under its provisional name (a program published meanwhile, kept by the triggers
    // of that moment), and a table the server cannot change in place, which is copied. And a
    // run cut off once a history's rows were numbered: the provisional index goes.
    void digestoInterrumpidoYComprimido_data()
    {
        QTest::addColumn<QString>("antes");
        QTest::newRow("cut off while filling")
            << "ALTER TABLE app ADD COLUMN kolvaster_md5_nuevo CHAR(32) CHARACTER SET ascii NULL "
               "AFTER windowsbinary; CREATE TRIGGER app_md5_alta BEFORE INSERT ON app FOR EACH ROW "
               "SET NEW.kolvaster_md5_nuevo = MD5(NEW.windowsbinary); CREATE TRIGGER app_md5_cambio "
               "BEFORE UPDATE ON app FOR EACH ROW SET NEW.kolvaster_md5_nuevo = MD5(NEW.windowsbinary); "
               "INSERT INTO app (nombre, windowsbinary) VALUES ('nueva', 'publicada a mitad');";
        QTest::newRow("compressed rows") << "ALTER TABLE app ROW_FORMAT=COMPRESSED;";
        QTest::newRow("cut off after numbering a history")
            << "ALTER TABLE sysuserelog ADD COLUMN sysuserelog_id BIGINT NOT NULL AUTO_INCREMENT "
               "AFTER cuando, ADD KEY kolvaster_numeracion (sysuserelog_id);";
    }
    void digestoInterrumpidoYComprimido()
    {
        QFETCH(QString, antes);
        resolverDuplicados();
        cliente(antigua, antes.toUtf8());
        const Corrida r = esquema({"--aplicar"});
        QVERIFY2(r.estado == 0, qPrintable(r.salida + r.error));
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));
        QCOMPARE(filas("SELECT COUNT(*), COUNT(windowsbinary_md5) FROM antigua.app WHERE "
                       "BINARY windowsbinary_md5 <=> MD5(windowsbinary)"),
                 QStringList(QTest::currentDataTag() == QByteArray("cut off while filling") ? "5|4" : "4|3"));
    }

    // Programs replaced all the while the upgrade runs: none keeps a digest that is not its
    // own, and none is refused: writes wait while the column takes its name and its triggers.
    void publicacionesDuranteLaActualizacion()
    {
        resolverDuplicados();
        cliente(antigua, "INSERT INTO app (nombre, windowsbinary) SELECT CONCAT('p', seq), "
                         "REPEAT(RANDOM_BYTES(1024), 2048) FROM seq_1_to_20;");
        QSqlDatabase otra = QSqlDatabase::cloneDatabase(TestDb::admin(), "escritor");
        otra.setDatabaseName(antigua);
        QVERIFY(otra.open());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", dir.path());
        p.setProcessEnvironment(env);
        p.start(KOLVASTER_PUBLICAR, {"esquema", "--defaults-extra-file=" + opciones, "--sistema",
                                     antigua, "--aplicar"});
        QVERIFY(p.waitForStarted());
        int escritas = 0;
        QStringList rechazos;
        {
            QSqlQuery q(otra);
            for (int i = 0; p.state() == QProcess::Running; ++i) {
                q.prepare("UPDATE app SET windowsbinary = ? WHERE app_id = ?");
                q.addBindValue(QByteArray::number(i).repeated(1000));
                q.addBindValue(6 + i % 20);
                if (q.exec())
                    ++escritas;
                else
                    rechazos << q.lastError().text();
                p.waitForFinished(5);
            }
        }
        otra.close();
        QSqlDatabase::removeDatabase("escritor");
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(escritas > 0);
        QVERIFY2(rechazos.isEmpty(), qPrintable(rechazos.join('\n')));
        QCOMPARE(filas("SELECT COUNT(*) FROM antigua.app WHERE NOT (BINARY windowsbinary_md5 "
                       "<=> MD5(windowsbinary))"),
                 QStringList({"0"}));
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));
    }

    // An old table that holds a key's column as TEXT: the key cannot be added, so nothing is
    // until the administrator changes the type the line suggests.
    void columnaDeTextoBloqueaSuClave()
    {
        resolverDuplicados();
        cliente(antigua, "ALTER TABLE kolvasterop MODIFY llave TEXT NOT NULL;");
        const QStringList antes = esquemaDe(antigua);
        Corrida r = esquema({"--aplicar"});
        QCOMPARE(r.estado, 1);
        QCOMPARE(r.salida.section('\n', 0, 0),
                 QString("la columna kolvasterop.llave es TEXT y no admite el indice "
                         "ix_kolvasterop_user (sysuser_id, llave): cambie su tipo (ALTER TABLE "
                         "kolvasterop MODIFY llave VARCHAR(40) NOT NULL)"));
        QCOMPARE(esquemaDe(antigua), antes);
        cliente(antigua, "ALTER TABLE kolvasterop MODIFY llave VARCHAR(40) NOT NULL;");
        r = esquema({"--aplicar"});
        QVERIFY2(r.estado == 0, qPrintable(r.salida + r.error));
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));
    }

    // A database of the previous release, whose compressed copies and patches are one row each
    // (some stored before their sizes were): --aplicar makes the piece tables and turns every
    // row into pieces the launcher fetches, byte for byte, leaving the one-row tables empty, so
    // that a launcher of the previous release finds nothing there and downloads the program. A
    // patch to a version whose size nobody recorded can serve no launcher and goes.
    void unaFilaAPiezas()
    {
        QRandomGenerator g(3);
        QByteArray v1(5 * 1024 * 1024 / 2, Qt::Uninitialized);
        g.fillRange(reinterpret_cast<quint32 *>(v1.data()), v1.size() / 4);
        QByteArray v2 = v1;
        v2.insert(1000, "version 2");
        const QByteArray copia = *Compresion::comprimir(v2, 3);
        const QByteArray parche = *Compresion::parche(v1, v2, 3);
        cargar(antigua, KOLVASTER_SCHEMA);
        cliente(antigua, "DROP TABLE appcopia, appcopiapieza, appdelta, appdeltapieza; "
                         "ALTER TABLE appcomprimido DROP COLUMN bytes; "
                         "ALTER TABLE appparche DROP COLUMN bytes, DROP COLUMN largo;");
        auto guardar = [](const QString &sql, const QVariantList &valores) {
            QSqlQuery q(TestDb::admin());
            q.prepare(sql);
            for (const QVariant &v : valores)
                q.addBindValue(v);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        };
        const QString md1 = md5(v1), md2 = md5(v2);
        guardar("INSERT INTO antigua.app (app_id, nombre, windowsbinary) VALUES (1, 'calc', ?)", {v2});
        guardar("INSERT INTO antigua.appcomprimido (app_id, md5, largo, datos) VALUES (1, ?, ?, ?)",
                {md2, v2.size(), copia});
        guardar("INSERT INTO antigua.appparche (app_id, desde_md5, hasta_md5, datos) VALUES "
                "(1, ?, ?, ?), (1, MD5('v0'), ?, 'parche 0-1')",
                {md1, md2, parche, md1});

        Corrida r = esquema();
        QCOMPARE(r.estado, 1);
        QVERIFY2(r.salida.contains("falta la tabla appcopia\n")
                     && r.salida.contains("falta la columna appparche.largo\n")
                     && r.salida.contains("3 copias y parches de una sola fila en appcomprimido "
                                          "y appparche sin pasar a piezas\n"),
                 qPrintable(r.salida));
        r = esquema({"--aplicar"});
        QVERIFY2(r.estado == 0, qPrintable(r.salida + r.error));
        QCOMPARE(esquemaDe(antigua), esquemaDe(fresca));
        QCOMPARE(filas("SELECT COUNT(*) FROM antigua.appcomprimido"), QStringList({"0"}));
        QCOMPARE(filas("SELECT COUNT(*) FROM antigua.appparche"), QStringList({"0"}));
        QCOMPARE(filas("SELECT md5, largo, bytes, piezas, tamano FROM antigua.appcopia"),
                 QStringList({QString("%1|%2|%3|3|1048576").arg(md2).arg(v2.size()).arg(copia.size())}));
        QCOMPARE(filas("SELECT desde_md5, hasta_md5, largo, bytes FROM antigua.appdelta"),
                 QStringList({QString("%1|%2|%3|%4").arg(md1, md2).arg(v2.size()).arg(parche.size())}));
        QCOMPARE(filas("SELECT COUNT(*) FROM antigua.appcopiapieza WHERE suma = "
                       "CONVERT(MD5(datos) USING ascii)"),
                 QStringList({"3"}));
        r = esquema();
        QCOMPARE(r.salida, QString("la base antigua esta al dia\n"));

        // The launcher takes them: the patch for a user on v1, the copy for a new one.
        {
            QSqlDatabase db = QSqlDatabase::cloneDatabase(TestDb::admin(), "antigua-lanzador");
            db.setDatabaseName(antigua);
            QVERIFY(db.open());
            const QString perfil = ruta("perfil-piezas");
            QDir(perfil).removeRecursively();
            QDir().mkpath(perfil);
            escribir(perfil + "/calc.exe", v1);
            escribir(perfil + "/calc.exe.md5", md1.toLatin1());
            Actualizacion::Canal canal(db);
            QCOMPARE(Actualizacion::actualizar(db, canal, 1, perfil, md2).camino,
                     Actualizacion::Camino::Parches);
            QVERIFY(leerArchivo(perfil + "/calc.exe") == v2);
            QFile::remove(perfil + "/calc.exe");
            QFile::remove(perfil + "/calc.exe.md5");
            QCOMPARE(Actualizacion::actualizar(db, canal, 1, perfil, md2).camino,
                     Actualizacion::Camino::Copia);
            QVERIFY(leerArchivo(perfil + "/calc.exe") == v2);

            // What a launcher of the previous release asks for finds only the program, so it
            // takes the plain download, which gives the catalogue's bytes.
            QSqlQuery q(db);
            QVERIFY(q.exec("SELECT 'n', nombre, NULL, NULL, NULL FROM app WHERE app_id=1 UNION ALL "
                           "SELECT 'c', md5, NULL, largo, bytes FROM appcomprimido WHERE app_id=1 "
                           "UNION ALL SELECT 'p', desde_md5, hasta_md5, largo, bytes FROM appparche "
                           "WHERE app_id=1"));
            QVERIFY(q.next() && q.value(0).toString() == "n" && !q.next());
            QFile::remove(perfil + "/calc.exe");
            QCOMPARE(Descarga::descargar(db, 1, perfil).estado, Descarga::Estado::Hecha);
            QVERIFY(leerArchivo(perfil + "/calc.exe") == v2);
        }
        QSqlDatabase::removeDatabase("antigua-lanzador");
    }

    // An account without the right to create triggers: the one line names it, and nothing of
    // the upgrade is done.
    void sinPrivilegio()
    {
        resolverDuplicados();
        TestDb::ejecutar("CREATE USER IF NOT EXISTS 'antigua_tomas'@'%' IDENTIFIED BY 'tomas_pw'");
        TestDb::ejecutar("GRANT ALL ON antigua.* TO 'antigua_tomas'@'%'");
        TestDb::ejecutar("REVOKE TRIGGER ON antigua.* FROM 'antigua_tomas'@'%'");
        const QStringList antes = esquemaDe(antigua);
        const Corrida r = esquema({"--aplicar", "--user=antigua_tomas", "--password=tomas_pw"});
        QCOMPARE(r.estado, 2);
        QVERIFY(r.salida.isEmpty());
        QCOMPARE(r.error, QString("kolvaster-publicar: a la cuenta le falta el privilegio TRIGGER en "
                          "antigua.app; TRIGGER en antigua.registro: no se cambio nada\n"));
        QCOMPARE(esquemaDe(antigua), antes);

        // The report needs no more than reading, and says what is missing; the triggers, which
        // the server hides from the account, are not claimed missing.
        const Corrida informe = esquema({"--user=antigua_tomas", "--password=tomas_pw"});
        QCOMPARE(informe.estado, 1);
        QVERIFY(informe.salida.contains("falta la columna app.windowsbinary_md5\n"));
        QVERIFY(informe.salida.contains("no se pueden ver los disparadores de app: a la cuenta le "
                                        "falta el privilegio TRIGGER\n"));
        QVERIFY(!informe.salida.contains("falta el disparador app_md5"));
    }
};

QTEST_MAIN(TstEsquema)
#include "tst_esquema.moc"
