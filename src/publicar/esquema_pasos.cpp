// The steps of the upgrade: the privileges they need, checked before the first, then the
// statements one table at a time, behind progress bars.

#include "esquema.h"

#include "consola.h"
#include "registro.h"

#include <QElapsedTimer>

#include <atomic>
#include <mysqld_error.h>
#include <thread>
#include <unistd.h>

namespace Esquema {

using Consola::decir;
using Consola::fallar;

namespace {

// The digest's triggers, made with its column; the other tables' come with their tables.
bool delDigesto(const Disparador &d)
{
    return QLatin1String(d.tabla) == QLatin1String("app");
}

} // namespace

std::optional<QStringList> privilegiosQueFaltan(MYSQL *m, const QList<Paso> &pasos,
                                                const QString &base, QString *error)
{
    const QByteArray quien =
        "(CONCAT('''', SUBSTRING_INDEX(CURRENT_USER(), '@', 1), '''@''', "
        "SUBSTRING_INDEX(CURRENT_USER(), '@', -1), ''''), CONCAT('''', CURRENT_ROLE(), ''''))";
    const std::optional<Filas> filas = consultar(
        m,
        "SELECT '', PRIVILEGE_TYPE FROM information_schema.USER_PRIVILEGES WHERE GRANTEE IN " + quien
            + " UNION SELECT '', PRIVILEGE_TYPE FROM information_schema.SCHEMA_PRIVILEGES "
              "WHERE DATABASE() LIKE TABLE_SCHEMA AND GRANTEE IN "
            + quien
            + " UNION SELECT TABLE_NAME, PRIVILEGE_TYPE FROM information_schema.TABLE_PRIVILEGES "
              "WHERE TABLE_SCHEMA=DATABASE() AND GRANTEE IN "
            + quien,
        error);
    // By name, so that a server without Galera (or an older one) simply lacks the variable.
    const std::optional<Filas> registro =
        filas ? consultar(m, "SHOW SESSION VARIABLES WHERE Variable_name IN ('log_bin', "
                             "'log_bin_trust_function_creators', 'wsrep_on')",
                          error)
              : std::nullopt;
    if (!registro)
        return std::nullopt;
    QSet<QString> activas;
    for (const QStringList &f : *registro)
        if (f.size() == 2
            && (f[1].compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0 || f[1] == QLatin1String("1")))
            activas.insert(f[0].toLower());
    QSet<QString> generales; // global or on the whole database
    QHash<QString, QSet<QString>> porTabla;
    for (const QStringList &f : *filas)
        (f[0].isEmpty() ? generales : porTabla[f[0]]).insert(f[1]);

    QStringList faltan;
    bool triggers = false;
    for (const Paso &p : pasos) {
        for (const QString &priv : p.privilegios)
            if (!generales.contains(priv) && !porTabla.value(p.tabla).contains(priv))
                faltan << QStringLiteral("%1 en %2.%3").arg(priv, base, p.tabla);
        triggers = triggers || p.triggers;
    }
    // A Galera node asks it with the binary log off too: it writes one for the cluster.
    const bool galera = activas.contains(QStringLiteral("wsrep_on"));
    if (triggers && (galera || activas.contains(QStringLiteral("log_bin")))
        && !activas.contains(QStringLiteral("log_bin_trust_function_creators"))
        && !generales.contains(QStringLiteral("SUPER")))
        faltan << (galera ? QStringLiteral("SUPER (el servidor es un nodo de Galera: crear "
                                           "disparadores lo necesita, o "
                                           "log_bin_trust_function_creators=1 en cada nodo)")
                          : QStringLiteral("SUPER (el servidor escribe un registro binario: crear "
                                           "disparadores lo necesita, o "
                                           "log_bin_trust_function_creators=1)"));
    faltan.removeDuplicates();
    return faltan;
}

namespace {

// --- Progress --------------------------------------------------------------------------------

void barra(const QString &etiqueta, double fraccion, double segundos, bool fin)
{
    Consola::barra(etiqueta, fraccion, QString::asprintf("%6.1f s", segundos), fin);
}

// A bar for a statement running on another session, drawn from the progress the server
// reports of it in its process list (stage by stage, for a table's copy or rebuild), read on
// a session of its own every quarter of a second. Without that session, the bar shows time.
class Avance
{
public:
    Avance(MYSQL *vigia, unsigned long id, const QString &etiqueta)
        : vigia(vigia), id(id), etiqueta(etiqueta)
    {
        reloj.start();
        hilo = std::thread([this] { mirar(); });
    }
    ~Avance()
    {
        fin = true;
        hilo.join();
        barra(etiqueta, 1.0, reloj.elapsed() / 1000.0, true);
    }

private:
    void mirar()
    {
        const QByteArray sql = "SELECT STAGE, MAX_STAGE, PROGRESS FROM information_schema.PROCESSLIST "
                               "WHERE ID=" + QByteArray::number(qulonglong(id));
        double fraccion = 0;
        while (!fin) {
            QString error;
            const std::optional<Filas> f = vigia ? consultar(vigia, sql, &error) : std::nullopt;
            if (f && !f->isEmpty()) {
                const QStringList &r = f->first();
                const double etapas = qMax(1.0, r[1].toDouble());
                if (r[1].toInt() > 0)
                    fraccion = qMax(fraccion, (qMax(1.0, r[0].toDouble()) - 1 + r[2].toDouble() / 100)
                                                  / etapas);
            }
            barra(etiqueta, fraccion, reloj.elapsed() / 1000.0, false);
            for (int i = 0; i < 25 && !fin; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    MYSQL *vigia;
    unsigned long id;
    QString etiqueta;
    QElapsedTimer reloj;
    std::atomic<bool> fin{false};
    std::thread hilo;
};

// Runs one statement; with a terminal, behind a bar.
bool ejecutar(MYSQL *m, MYSQL *vigia, const QString &sql, const QString &etiqueta, bool terminal,
              QString *error)
{
    std::optional<Avance> avance;
    if (terminal)
        avance.emplace(vigia, mysql_thread_id(m), etiqueta);
    const QByteArray s = sql.toUtf8();
    // On a cluster, a write of the same row through another node (a publication meanwhile) may
    // win the certification: the statement was then rolled back whole, with the server's
    // deadlock error, and each of ours can simply run again.
    for (int intento = 1; mysql_real_query(m, s.constData(), s.size()) != 0; ++intento) {
        if (mysql_errno(m) != ER_LOCK_DEADLOCK || intento == 5) {
            *error = QString::fromUtf8(mysql_error(m));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * intento));
    }
    // A statement that returns rows is not one of ours; drain it anyway.
    if (MYSQL_RES *r = mysql_store_result(m))
        mysql_free_result(r);
    return true;
}

// The stored digest added to a table full of programs with launchers at work: they must never
// see it empty (they would fetch every program again) nor may a write leave it stale. It is
// first added in place (no copy of the table) under a name no launcher asks for, kept by the
// triggers, filled row by row (the trigger computing it), then renamed into place with its
// default and its own triggers, under a table lock that makes writers wait for the three.
// Where the server cannot add a column in place (a compressed row format), the table is copied
// with the column computed, as by hand; the final check then mends what was written between
// the copy and the triggers.
bool agregarDigesto(MYSQL *m, MYSQL *vigia, bool terminal, QString *error)
{
    const QString provisional = QLatin1String(digestoProvisional);
    const QString tipo = QStringLiteral("CHAR(32) CHARACTER SET ascii NULL");
    auto sql = [&](const QString &s) {
        return ejecutar(m, nullptr, s, QString(), false, error);
    };
    if (!sql(QStringLiteral("ALTER TABLE app ADD COLUMN IF NOT EXISTS %1 %2 AFTER windowsbinary, "
                            "ALGORITHM=INSTANT")
                 .arg(provisional, tipo))) {
        const unsigned codigo = mysql_errno(m);
        if (codigo != ER_ALTER_OPERATION_NOT_SUPPORTED
            && codigo != ER_ALTER_OPERATION_NOT_SUPPORTED_REASON)
            return false;
        std::optional<Avance> avance;
        if (terminal)
            avance.emplace(vigia, mysql_thread_id(m), QStringLiteral("app: copia con digestos"));
        if (!sql(QStringLiteral("ALTER TABLE app ADD COLUMN %1 %2 AFTER windowsbinary")
                     .arg(QLatin1String(columnaDigesto), definicionDigesto())))
            return false;
        avance.reset();
        for (const Disparador &d : disparadores)
            if (delDigesto(d) && !sql(sqlDisparador(d, QLatin1String(columnaDigesto))))
                return false;
        return true;
    }
    for (const Disparador &d : disparadores)
        if (delDigesto(d) && !sql(sqlDisparador(d, provisional)))
            return false;
    // Each row's update is one small event for a binary log or a cluster, not the program's
    // bytes twice (ignored where the account may not choose).
    mysql_query(m, "SET SESSION binlog_row_image='MINIMAL'");
    const std::optional<Filas> ids = consultar(m, "SELECT app_id FROM app ORDER BY app_id", error);
    if (!ids)
        return false;
    QElapsedTimer reloj;
    reloj.start();
    for (qsizetype i = 0; i < ids->size(); ++i) {
        if (!sql(QStringLiteral("UPDATE app SET %1 = NULL WHERE app_id = %2")
                     .arg(provisional)
                     .arg(ids->at(i)[0].toLongLong())))
            return false;
        if (terminal)
            barra(QStringLiteral("app: digestos"), double(i + 1) / double(ids->size()),
                  reloj.elapsed() / 1000.0, i + 1 == ids->size());
    }
    // The rename and the two triggers that follow it must look like one step to a writer: with
    // the table locked, a publication meanwhile waits for them instead of meeting triggers that
    // name a column gone. Without the right to lock (or where the server refuses it), that
    // instant stays open and such a write fails whole, to be made again.
    const bool bloqueada = mysql_query(m, "LOCK TABLES app WRITE") == 0;
    bool hecho = sql(QStringLiteral("ALTER TABLE app CHANGE COLUMN %1 %2 %3")
                         .arg(provisional, QLatin1String(columnaDigesto), definicionDigesto()));
    for (const Disparador &d : disparadores)
        hecho = hecho && (!delDigesto(d) || sql(sqlDisparador(d, QLatin1String(columnaDigesto))));
    if (bloqueada)
        mysql_query(m, "UNLOCK TABLES");
    return hecho;
}

// Every stored digest against its program, one row at a time (the bar counts them); the rows
// that differ.
std::optional<Filas> comprobarDigestos(MYSQL *m, bool terminal, QString *error)
{
    const std::optional<Filas> ids = consultar(m, "SELECT app_id FROM app ORDER BY app_id", error);
    if (!ids)
        return std::nullopt;
    Filas malos;
    QElapsedTimer reloj;
    reloj.start();
    for (qsizetype i = 0; i < ids->size(); ++i) {
        const std::optional<Filas> f = consultar(
            m, QString::fromLatin1(digestoMalo).arg(ids->at(i)[0].toLongLong()).toUtf8(), error);
        if (!f)
            return std::nullopt;
        malos << *f;
        if (terminal)
            barra(QStringLiteral("app: comprobacion"), double(i + 1) / double(ids->size()),
                  reloj.elapsed() / 1000.0, i + 1 == ids->size());
    }
    return malos;
}

} // namespace

int aplicar(MYSQL *m, const Conexion &c, const Estado &estado, const QList<Paso> &pasos,
            const QStringList &impedimentos)
{
    QString error;
    auto servidor = [&](const QString &que) { return fallar(QStringLiteral("%1: %2").arg(que, error)); };
    struct Cierre {
        MYSQL *m = nullptr;
        ~Cierre() { if (m) mysql_close(m); }
    } cierreVigia;
    // Duplicates first: a key they block would fail half-way, so nothing starts while any is
    // there. Which row stays is the administrator's decision.
    if (!impedimentos.isEmpty()) {
        for (const QString &d : impedimentos)
            decir(d);
        decir(QStringLiteral("%1 impedimentos para las claves: no se cambio nada (vea \"Upgrading an "
                             "existing database\" en docs/administrator.md)")
                  .arg(impedimentos.size()));
        return Pendiente;
    }
    // Every privilege the steps need, before the first: nothing is left half done for want of
    // one. The digests' check may have to mend rows, with UPDATE on app.
    QList<Paso> necesarios = pasos;
    if (!pasos.isEmpty() && estado.tablas.contains(QStringLiteral("app"))) {
        Paso mendar;
        mendar.tabla = QStringLiteral("app");
        mendar.privilegios << QStringLiteral("SELECT") << QStringLiteral("UPDATE");
        necesarios << mendar;
    }
    const std::optional<QStringList> faltan = privilegiosQueFaltan(m, necesarios, c.sistema, &error);
    if (!faltan)
        return servidor(QStringLiteral("no se pudieron leer los privilegios de la cuenta"));
    if (!faltan->isEmpty())
        return fallar(QStringLiteral("a la cuenta le falta el privilegio %1: no se cambio nada")
                          .arg(faltan->join(QStringLiteral("; "))));

    const bool terminal = isatty(STDERR_FILENO);
    // The bars read the statement's progress on a second session, with the same settings and
    // the password the first one used.
    if (terminal && !pasos.isEmpty()) {
        Conexion otra = c;
        otra.clave = QString::fromUtf8(m->passwd ? m->passwd : "");
        otra.pedirClave = false;
        QString e;
        cierreVigia.m = otra.conectar(&e);
    }
    int cambios = 0;
    for (const Paso &p : pasos) {
        QElapsedTimer reloj;
        reloj.start();
        for (const QString &sql : p.sentencias) {
            const QString etiqueta = sql.startsWith(QLatin1String("CREATE OR REPLACE TRIGGER"))
                                         ? QStringLiteral("%1: disparador").arg(p.tabla)
                                     : sql.startsWith(QLatin1String("UPDATE"))
                                         ? QStringLiteral("%1: relleno").arg(p.tabla)
                                         : p.tabla;
            if (!ejecutar(m, cierreVigia.m, sql, etiqueta, terminal, &error))
                return fallar(QStringLiteral("no se pudo cambiar %1: %2 (los pasos anteriores "
                                             "quedaron hechos; corrija y vuelva a ejecutar)")
                                  .arg(p.tabla, error));
        }
        if (p.digesto && !agregarDigesto(m, cierreVigia.m, terminal, &error))
            return fallar(QStringLiteral("no se pudo agregar el digesto a app: %1 (los pasos "
                                         "anteriores quedaron hechos; corrija y vuelva a "
                                         "ejecutar)")
                              .arg(error));
        for (const auto &[falta, que] : p.faltas)
            decir((falta ? QStringLiteral("agregado: ") : QStringLiteral("corregido: ")) + que);
        decir(QStringLiteral("  %1: %2 s").arg(p.tabla).arg(reloj.elapsed() / 1000.0, 0, 'f', 1));
        cambios += int(p.faltas.size());
    }

    // At the end, every stored digest against its program: a row written by a statement that
    // ran between a copy of the table and its triggers (or while they were missing) is mended.
    const std::optional<Filas> malos = comprobarDigestos(m, terminal, &error);
    if (!malos)
        return servidor(QStringLiteral("no se pudieron comprobar los digestos"));
    for (const QStringList &f : *malos) {
        const QString sql = QStringLiteral("UPDATE app SET windowsbinary_md5 = MD5(windowsbinary) "
                                           "WHERE app_id = %1")
                                .arg(f[0].toLongLong());
        if (!ejecutar(m, nullptr, sql, QString(), false, &error))
            return servidor(QStringLiteral("no se pudo corregir el digesto de %1").arg(mostrar(f[1])));
        const std::optional<Filas> sigue = consultar(
            m, QString::fromLatin1(digestoMalo).arg(f[0].toLongLong()).toUtf8(), &error);
        if (!sigue || !sigue->isEmpty())
            return fallar(QStringLiteral("el digesto de %1 sigue sin coincidir con su programa: %2")
                              .arg(mostrar(f[1]), sigue ? QStringLiteral("vuelva a ejecutar") : error));
        decir(QStringLiteral("corregido: el digesto de %1 (app_id %2)").arg(mostrar(f[1]), f[0]));
        ++cambios;
    }
    // The statements of an upgrade commit on their own: its row follows them, once all went.
    if (!Registro::anotar(m, QStringLiteral("esquema --aplicar"), c.sistema,
                          cambios == 0 ? QStringLiteral("sin cambios")
                                       : QStringLiteral("%1 cambios").arg(cambios),
                          &error))
        return fallar(error);
    decir(cambios == 0 ? QStringLiteral("la base %1 esta al dia: no se cambio nada").arg(c.sistema)
                       : QStringLiteral("la base %1 esta al dia (%2 cambios)").arg(c.sistema).arg(cambios));
    return AlDia;
}

} // namespace Esquema
