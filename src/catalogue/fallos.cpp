#include "fallos.h"

#include "catalogue/descarga.h"
#include "catalogue/firma.h"
#include "catalogue/programas.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QVariant>

#include <mysql.h>

namespace Fallos {

namespace {

// The file is the user's to write as anyone else's: nothing read from it is trusted.
constexpr qint64 tamanoMaximo = 64 * 1024;
constexpr qint64 atrasMaximo = 30LL * 24 * 3600; // seconds
const QStringList causas = {"firma", "md5", "piezas", "corte", "perfil", "disco"};

bool digestoValido(const QString &d)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{32}$"));
    return d.isEmpty() || hex.match(d).hasMatch();
}

QString sinMarcas(QString texto)
{
    texto.replace(QLatin1String("<br>"), QLatin1String(" "));
    texto.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    return texto.simplified().left(400);
}

// The connection is gone: what cannot be written now waits for the next start.
bool sinServidor(const QSqlDatabase &db, const QSqlError &e)
{
    const QString n = e.nativeErrorCode();
    if (!db.isOpen() || e.type() == QSqlError::ConnectionError || n == QLatin1String("2006")
        || n == QLatin1String("2013") || n == QLatin1String("2055"))
        return true;
    // A failed prepare may say less: the server is asked whether it is there.
    MYSQL *m = Descarga::manejador(db);
    return !m || mysql_ping(m) != 0;
}

bool escribir(const QSqlDatabase &db, qint64 uid, const Fallo &f, QSqlError *error)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral(
        "INSERT INTO appfallo (sysuser_id, app_id, version, md5, conserva, conserva_md5, causa, "
        "texto, cuando) VALUES (:uid, :app, :version, :md5, :conserva, :cmd5, :causa, :texto, "
        "NOW() - INTERVAL :hace SECOND) ON DUPLICATE KEY UPDATE md5=VALUES(md5), "
        "conserva=VALUES(conserva), conserva_md5=VALUES(conserva_md5), causa=VALUES(causa), "
        "texto=VALUES(texto), cuando=VALUES(cuando), intentos=intentos+1, resuelto=NULL"));
    // The machine's clock only measures how long ago: the time is the server's.
    const qint64 hace = qBound<qint64>(0, f.cuando.secsTo(QDateTime::currentDateTimeUtc()),
                                       atrasMaximo);
    q.bindValue(QStringLiteral(":uid"), uid);
    q.bindValue(QStringLiteral(":app"), f.appId);
    q.bindValue(QStringLiteral(":version"), f.version);
    q.bindValue(QStringLiteral(":md5"), f.md5);
    q.bindValue(QStringLiteral(":conserva"), f.conserva ? QVariant(qlonglong(*f.conserva))
                                                        : QVariant(QMetaType::fromType<qlonglong>()));
    q.bindValue(QStringLiteral(":cmd5"), f.conservaMd5.isEmpty()
                                             ? QVariant(QMetaType::fromType<QString>())
                                             : QVariant(f.conservaMd5));
    q.bindValue(QStringLiteral(":causa"), f.causa);
    q.bindValue(QStringLiteral(":texto"), f.texto);
    q.bindValue(QStringLiteral(":hace"), hace);
    if (q.exec())
        return true;
    *error = q.lastError();
    return false;
}

QJsonObject comoJson(const Fallo &f)
{
    return {{"app", f.appId},           {"nombre", f.nombre}, {"version", QString::number(f.version)},
            {"md5", f.md5},             {"causa", f.causa},   {"texto", f.texto},
            {"cuando", f.cuando.toMSecsSinceEpoch() / 1000.0},
            {"conserva", f.conserva ? QString::number(*f.conserva) : QString()},
            {"cmd5", f.conservaMd5}};
}

std::optional<Fallo> deJson(const QJsonObject &o)
{
    Fallo f;
    f.appId = o.value("app").toInt();
    f.nombre = o.value("nombre").toString();
    bool ok = false;
    f.version = o.value("version").toString().toLongLong(&ok);
    f.md5 = o.value("md5").toString();
    f.causa = o.value("causa").toString();
    f.texto = o.value("texto").toString().left(400);
    f.cuando = QDateTime::fromSecsSinceEpoch(qint64(o.value("cuando").toDouble()), Qt::UTC);
    bool conserva = false;
    const qint64 v = o.value("conserva").toString().toLongLong(&conserva);
    if (conserva && v > 0)
        f.conserva = v;
    f.conservaMd5 = o.value("cmd5").toString();
    if (!digestoValido(f.conservaMd5))
        return std::nullopt;
    if (f.appId <= 0 || !ok || f.version < 0 || !digestoValido(f.md5) || !causas.contains(f.causa)
        || !Programas::nombreSeguro(f.nombre) || f.nombre.size() > 80)
        return std::nullopt;
    return f;
}

QList<Fallo> leerPendientes(const QString &ruta)
{
    QFile archivo(ruta);
    QList<Fallo> r;
    if (!archivo.open(QIODevice::ReadOnly) || archivo.size() > tamanoMaximo)
        return r;
    const QJsonArray lista = QJsonDocument::fromJson(archivo.readAll()).array();
    for (const QJsonValue &v : lista) {
        if (r.size() >= maximoPendientes)
            break;
        if (const std::optional<Fallo> f = deJson(v.toObject()))
            r.append(*f);
    }
    return r;
}

void guardarPendientes(const QString &ruta, const QList<Fallo> &fallos)
{
    if (fallos.isEmpty()) {
        QFile::remove(ruta);
        return;
    }
    QJsonArray lista;
    for (const Fallo &f : fallos)
        lista.append(comoJson(f));
    QSaveFile archivo(ruta);
    if (archivo.open(QIODevice::WriteOnly)) {
        archivo.write(QJsonDocument(lista).toJson(QJsonDocument::Compact));
        archivo.commit();
    }
}

void guardar(const QString &dir, const Fallo &f)
{
    const QString ruta = dir + QLatin1Char('/') + QLatin1String(archivoPendientes);
    QList<Fallo> fallos = leerPendientes(ruta);
    // One per program and version, as on the server; the newest kept when there are too many.
    fallos.removeIf([&](const Fallo &g) { return g.appId == f.appId && g.version == f.version; });
    fallos.append(f);
    while (fallos.size() > maximoPendientes)
        fallos.removeFirst();
    guardarPendientes(ruta, fallos);
}

} // namespace

QString causaEscritura(const QString &dir)
{
    QTemporaryFile prueba(dir + QStringLiteral("/.kolvaster-prueba-XXXXXX"));
    if (!prueba.open())
        return QStorageInfo(dir).bytesAvailable() == 0 ? QStringLiteral("disco")
                                                         : QStringLiteral("perfil");
    // A directory that takes a new file but not the program's bytes has no room for them.
    return QStringLiteral("disco");
}

void registrar(const QSqlDatabase &db, qint64 uid, const QString &dir, Fallo f)
{
    f.texto = sinMarcas(f.texto);
    if (!f.cuando.isValid())
        f.cuando = QDateTime::currentDateTimeUtc();
    if (Programas::nombreSeguro(f.nombre)) {
        const QString exe = dir + QLatin1Char('/') + f.nombre + QLatin1String(Programas::sufijoPrograma);
        QFile digesto(exe + QLatin1String(Programas::sufijoDigest));
        if (QFile::exists(exe) && digesto.open(QIODevice::ReadOnly)) {
            const QString d = QString::fromLatin1(digesto.read(64)).trimmed();
            if (d.size() == 32 && digestoValido(d))
                f.conservaMd5 = d;
            f.conserva = Firma::versionInstalada(exe + QLatin1String(Firma::sufijoVersion));
        }
    }
    QSqlError error;
    if (escribir(db, uid, f, &error))
        return;
    // Without its server the session ends: the next start writes it. A database without the
    // table (not upgraded yet) or any other refusal keeps nothing.
    if (sinServidor(db, error))
        guardar(dir, f);
}

void enviarPendientes(const QSqlDatabase &db, qint64 uid, const QString &dir)
{
    const QString ruta = dir + QLatin1Char('/') + QLatin1String(archivoPendientes);
    if (!QFile::exists(ruta))
        return;
    QList<Fallo> quedan;
    for (const Fallo &f : leerPendientes(ruta)) {
        QSqlError error;
        if (!escribir(db, uid, f, &error) && sinServidor(db, error))
            quedan.append(f);
    }
    guardarPendientes(ruta, quedan);
}

QHash<int, qint64> sinResolver(const QSqlDatabase &db, qint64 uid)
{
    QHash<int, qint64> r;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT app_id, MAX(version) FROM appfallo WHERE sysuser_id=:uid "
                             "AND resuelto IS NULL GROUP BY app_id"));
    q.bindValue(QStringLiteral(":uid"), uid);
    if (q.exec())
        while (q.next())
            r.insert(q.value(0).toInt(), q.value(1).toLongLong());
    return r;
}

void resolver(const QSqlDatabase &db, qint64 uid, QHash<int, qint64> &pendientes, int appId,
              std::optional<qint64> version)
{
    const auto i = pendientes.constFind(appId);
    if (i == pendientes.cend())
        return;
    // A copy of a version below the one that failed has not got there yet.
    if (version && *version < *i && *i != 0)
        return;
    pendientes.erase(i);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("UPDATE appfallo SET resuelto=NOW() WHERE sysuser_id=:uid AND "
                             "app_id=:app AND resuelto IS NULL"));
    q.bindValue(QStringLiteral(":uid"), uid);
    q.bindValue(QStringLiteral(":app"), appId);
    q.exec();
}

} // namespace Fallos
