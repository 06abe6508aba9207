#include "testdb.h"

#include <sodium.h>

#include "modal.h"

#include "accounts/cuentas.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

// Every test program links this unit: its application gets the watch for error dialogs that
// nothing answers.
static void vigilarErrores()
{
    DriverModal::vigilarErrores();
}
Q_COREAPP_STARTUP_FUNCTION(vigilarErrores)

namespace TestDb {
namespace {

const QStringList tablas = {"sysuser", "sysuserimg", "apprisklevel", "app", "sysuserapp",
                            "sysuserelog", "appuse", "report", "sysuserreport", "kolvaster",
                            "kolvasterop", "appfirma", "appcopia", "appcopiapieza", "appdelta",
                            "appdeltapieza", "appcomprimido", "appparche",
                            "appversion", "appfallo", "registro"};

QSqlQuery correr(const QString &sql, const QVariantList &valores)
{
    QSqlQuery q(admin());
    if (!q.prepare(sql))
        qFatal("prepare failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    for (int i = 0; i < valores.size(); ++i)
        q.bindValue(i, valores.at(i));
    if (!q.exec())
        qFatal("statement failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

// Account statements take no placeholders: they run as text.
void directa(const QString &sql)
{
    QSqlQuery q(admin());
    if (!q.exec(sql))
        qFatal("statement failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

} // namespace

QString base()
{
    const QString b = qEnvironmentVariable("KOLVASTER_TEST_DB");
    return b.isEmpty() ? QStringLiteral("prueba") : b;
}

QString cuenta(const QString &corto)
{
    return base() + QLatin1Char('_') + corto;
}

QString clave(const QString &corto)
{
    return corto + QStringLiteral("_pw");
}

QSqlDatabase admin()
{
    const QString nombre = QStringLiteral("admin");
    if (QSqlDatabase::contains(nombre)) {
        QSqlDatabase db = QSqlDatabase::database(nombre);
        if (db.isOpen())
            return db;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), nombre);
    db.setHostName(QStringLiteral("127.0.0.1"));
    db.setPort(qEnvironmentVariableIntValue("MYSQL_TCP_PORT"));
    db.setDatabaseName(base());
    db.setUserName(QStringLiteral("dbadmin"));
    db.setPassword(QString::fromLatin1(claveAdmin));
    if (!db.open())
        qFatal("cannot open the test database: %s", qPrintable(db.lastError().text()));
    return db;
}

void limpiar()
{
    for (const QString &t : tablas)
        correr(QStringLiteral("TRUNCATE TABLE ") + t, {});
    correr(QStringLiteral("INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2')"), {});
}

void ejecutar(const QString &sql, const QVariantList &valores)
{
    correr(sql, valores);
}

QVariant valor(const QString &sql, const QVariantList &valores)
{
    QSqlQuery q = correr(sql, valores);
    return q.next() ? q.value(0) : QVariant();
}

int contar(const QString &sql, const QVariantList &valores)
{
    QSqlQuery q = correr(sql, valores);
    int n = 0;
    while (q.next())
        ++n;
    return n;
}

QList<int> tiposLog()
{
    QList<int> tipos;
    QSqlQuery q = correr(
        QStringLiteral("SELECT sysuserelogtipo_id FROM sysuserelog ORDER BY sysuserelogtipo_id"),
        {});
    while (q.next())
        tipos.append(q.value(0).toInt());
    return tipos;
}

qint64 crearUsuario(const QString &sysuser, const QString &titulo, bool useradmin)
{
    QSqlQuery q = correr(QStringLiteral("INSERT INTO sysuser (sysuser,titulo,pass,useradmin) "
                                        "VALUES (?,?,'',?)"),
                         {sysuser, titulo, useradmin});
    return q.lastInsertId().toLongLong();
}

qint64 crearApp(const QString &nombre, const QString &titulo,
                const std::optional<QByteArray> &binario)
{
    const QVariant bin = binario ? QVariant(*binario) : QVariant(QMetaType(QMetaType::QByteArray));
    QSqlQuery q = correr(
        QStringLiteral("INSERT INTO app (nombre,titulo,windowsbinary) VALUES (?,?,?)"),
        {nombre, titulo, bin});
    return q.lastInsertId().toLongLong();
}

void publicar(qint64 appId, const QByteArray &nueva)
{
    // The publishing tool itself, as dbadmin, with a key of this process's own: the rows the
    // launcher reads are the tool's, whatever it stores.
    static QTemporaryDir dir;
    static const QString herramienta =
        qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + QStringLiteral("/kolvaster-publicar");
    const QString opciones = dir.filePath(QStringLiteral("cliente.cnf"));
    const QString clave = dir.filePath(QStringLiteral("editor.clave"));
    auto correrHerramienta = [&](const QStringList &args) {
        QProcess p;
        p.start(herramienta, args);
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit
            || p.exitCode() != 0)
            qFatal("kolvaster-publicar %s failed: %s", qPrintable(args.first()),
                   p.readAllStandardError().constData());
    };
    if (!QFile::exists(clave)) {
        opcionesAdmin(opciones);
        correrHerramienta({QStringLiteral("clave"), clave});
    }
    const QString archivo = dir.filePath(QStringLiteral("programa"));
    QFile f(archivo);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(nueva);
    f.close();
    correrHerramienta({QStringLiteral("subir"), QStringLiteral("--defaults-file=") + opciones,
                       QStringLiteral("--sistema"), base(), QStringLiteral("--clave"), clave,
                       valor(QStringLiteral("SELECT nombre FROM app WHERE app_id=?"), {appId})
                           .toString(),
                       archivo});
}

QString opcionesAdmin(const QString &ruta, int puerto, const QString &mas)
{
    QFile f(ruta);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(ruta));
    f.write(QStringLiteral("[client]\nhost=127.0.0.1\nport=%1\nuser=dbadmin\npassword=%2\n%3")
                .arg(puerto ? QString::number(puerto) : qEnvironmentVariable("MYSQL_TCP_PORT"),
                     QLatin1String(claveAdmin), mas)
                .toUtf8());
    return ruta;
}

QString claveDeSemilla(const QString &ruta, char semilla)
{
    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES], s[crypto_sign_SEEDBYTES];
    memset(s, semilla, sizeof s);
    if (sodium_init() < 0 || crypto_sign_seed_keypair(pk, sk, s) != 0)
        qFatal("no key of seed %c", semilla);
    QFile f(ruta);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(ruta));
    f.write("kolvaster-clave-secreta-1 "
            + QByteArray(reinterpret_cast<char *>(sk), sizeof sk).toBase64() + "\n");
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return ruta;
}

qint64 bytesEnviados()
{
    QSqlQuery q = correr(QStringLiteral("SHOW GLOBAL STATUS LIKE 'Bytes_sent'"), {});
    return q.next() ? q.value(1).toLongLong() : -1;
}

void otorgar(qint64 uid, qint64 appId, const QVariant &clogleido)
{
    correr(QStringLiteral("INSERT INTO sysuserapp (sysuser_id,app_id,clogleido) VALUES (?,?,?)"),
           {uid, appId, clogleido});
}

bool entra(const QString &cuenta, const QString &clave, bool socket)
{
    static int serie = 0;
    const QString nombre = QStringLiteral("prueba-entrada-%1").arg(++serie);
    bool abierta = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), nombre);
        if (socket) {
            db.setHostName(QStringLiteral("localhost"));
            db.setConnectOptions(QStringLiteral("UNIX_SOCKET=")
                                 + qEnvironmentVariable("KOLVASTER_TEST_BINDIR")
                                 + QStringLiteral("/testdb/mysql.sock"));
        } else {
            db.setHostName(QStringLiteral("127.0.0.1"));
        }
        db.setUserName(cuenta);
        db.setPassword(clave);
        abierta = db.open();
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return abierta;
}

QStringList hosts(const QString &cuenta)
{
    QStringList h;
    QSqlQuery q = correr(QStringLiteral("SELECT host FROM mysql.user WHERE user=? ORDER BY host"),
                         {cuenta});
    while (q.next())
        h << q.value(0).toString();
    return h;
}

void proveer(const QString &cuenta, const QString &host, const QString &clave)
{
    for (const Cuentas::Sentencia &s : Cuentas::sentenciasAlta(admin(), cuenta, host, clave))
        directa(s.sql);
}

void quitarCuenta(const QString &cuenta)
{
    for (const QString &h : hosts(cuenta))
        directa(QStringLiteral("DROP USER ") + Cuentas::literal(admin(), cuenta) + '@'
                + Cuentas::literal(admin(), h));
}

void restaurarCuenta(const QString &cuenta)
{
    quitarCuenta(cuenta);
    for (const char *corto : {"ana", "beto"}) {
        if (cuenta != TestDb::cuenta(QLatin1String(corto)))
            continue;
        const QString a = Cuentas::literal(admin(), cuenta) + QStringLiteral("@'%'");
        directa(QStringLiteral("CREATE USER ") + a + QStringLiteral(" IDENTIFIED BY ")
                   + Cuentas::literal(admin(), clave(QLatin1String(corto))));
        directa(QStringLiteral("GRANT ALL PRIVILEGES ON ") + Cuentas::identificador(base())
                   + QStringLiteral(".* TO ") + a);
    }
}

QSqlDatabase abrirSesion(const QString &cuenta, const QString &clave)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"));
    db.setHostName(QStringLiteral("127.0.0.1"));
    db.setDatabaseName(base());
    db.setUserName(cuenta);
    db.setPassword(clave);
    db.setConnectOptions(QStringLiteral("CLIENT_COMPRESS"));
    if (!db.open())
        qFatal("cannot open a session as %s: %s", qPrintable(cuenta),
               qPrintable(db.lastError().text()));
    return db;
}

void cerrarSesion()
{
    {
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection),
                                                 false);
        db.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

void registrar(QSqlDatabase db, bool encendido)
{
    QSqlQuery q(db);
    if (!q.exec(encendido ? "SET GLOBAL log_output='TABLE', general_log=ON"
                          : "SET GLOBAL general_log=OFF")
        || !q.exec("TRUNCATE TABLE mysql.general_log"))
        qFatal("general log: %s", qPrintable(q.lastError().text()));
}

QStringList sentencias(QSqlDatabase db, const QString &cuenta)
{
    QSqlQuery q(db);
    q.prepare("SELECT CONCAT(command_type, ': ', argument) FROM mysql.general_log WHERE thread_id "
              "IN (SELECT thread_id FROM mysql.general_log WHERE command_type='Connect' AND "
              "argument LIKE CONCAT(?, '@%')) ORDER BY event_time");
    q.addBindValue(cuenta);
    QStringList r;
    for (q.exec(); q.next();)
        r << q.value(0).toString();
    return r;
}

ServidorExtra::ServidorExtra(int k, const QStringList &opciones)
    : dir(qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + QString("/testdb-%1").arg(k)),
      puerto(qEnvironmentVariableIntValue("MYSQL_TCP_PORT") + k)
{
    listo = QProcess::execute(KOLVASTER_TESTDB_SH, QStringList{"start", dir,
                                                               QString::number(puerto), base()}
                                                       + opciones)
            == 0;
}

ServidorExtra::~ServidorExtra()
{
    QSqlDatabase::removeDatabase(dir);
    QProcess::execute(KOLVASTER_TESTDB_SH, {"stop", dir});
}

QSqlDatabase ServidorExtra::raiz() const
{
    if (QSqlDatabase::contains(dir))
        return QSqlDatabase::database(dir);
    QSqlDatabase db = QSqlDatabase::addDatabase("QMYSQL", dir);
    db.setDatabaseName(base());
    db.setUserName("root");
    db.setConnectOptions("UNIX_SOCKET=" + dir + "/mysql.sock");
    if (!db.open())
        qFatal("cannot open %s: %s", qPrintable(dir), qPrintable(db.lastError().text()));
    return db;
}

ServidorFalso::ServidorFalso(int k, const QString &modo)
    : registro(qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + QString("/falso-%1.bin").arg(k)),
      puerto(qEnvironmentVariableIntValue("MYSQL_TCP_PORT") + k), proceso(new QProcess)
{
    QFile::remove(registro);
    proceso->start("python3", {KOLVASTER_SERVIDOR_FALSO, modo, QString::number(puerto), registro});
    listo = proceso->waitForReadyRead(10000) && proceso->readLine().startsWith("LISTO");
}

ServidorFalso::~ServidorFalso()
{
    proceso->kill();
    proceso->waitForFinished();
    delete proceso;
}

QByteArray ServidorFalso::recibido() const
{
    QFile f(registro);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace TestDb
