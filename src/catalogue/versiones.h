#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Who runs what: for each program, the versions that are out (general, pilot, the one kept for
// going back) and, per user with access, the version last started. The publishing tool's
// `estado` and the launcher's report "Versiones en uso..." read the same rows with the same
// statements and word them here.
namespace Versiones {

// One row per program: app_id, nombre, general version and when it was signed, pilot version
// and when, kept previous version (times as text, see hora()). The name twice, empty for every program.
inline constexpr char sqlProgramas[] =
    "SELECT a.app_id, a.nombre, f.version, DATE_FORMAT(f.firmado, '%Y-%m-%d %H:%i:%s'), "
    "p.version, DATE_FORMAT(p.firmado, '%Y-%m-%d %H:%i:%s'), v.version "
    "FROM app a LEFT JOIN appfirma f ON f.app_id=a.app_id "
    "LEFT JOIN appversion p ON p.app_id=a.app_id AND p.clase='piloto' "
    "LEFT JOIN appversion v ON v.app_id=a.app_id AND v.clase='anterior' "
    "WHERE ?='' OR a.nombre=? ORDER BY a.nombre";

// One row per user with access to a program: app_id, sysuser, piloto, and the version and
// time of the user's last start of it (each found through ix_appuse_app, reading only that
// user's starts of that program). Same placeholders.
inline constexpr char sqlUsuarios[] =
    "SELECT ua.app_id, u.sysuser, u.piloto, x.version, "
    "DATE_FORMAT(x.cuando, '%Y-%m-%d %H:%i:%s') FROM sysuserapp ua "
    "JOIN app a ON a.app_id=ua.app_id JOIN sysuser u ON u.sysuser_id=ua.sysuser_id "
    "LEFT JOIN appuse x ON x.appuse_id=(SELECT y.appuse_id FROM appuse y WHERE "
    "y.app_id=ua.app_id AND y.sysuser_id=ua.sysuser_id ORDER BY y.cuando DESC, "
    "y.appuse_id DESC LIMIT 1) WHERE (?='' OR a.nombre=?) AND u.sysuser!='dbadmin' "
    "ORDER BY ua.app_id, u.sysuser";

// The pilot group, by account name.
inline constexpr char sqlGrupo[] = "SELECT sysuser FROM sysuser WHERE piloto ORDER BY sysuser";

// The user's failed update not resolved since (appfallo): the latest one.
struct Fallo {
    qint64 version = 0; // wanted
    QString causa;      // its code
    QDateTime cuando;
};

// One row per unresolved failed update: app_id, sysuser, the version wanted, the cause's code
// and when; newest last, so that the last row of a user and program is the one shown. Same
// placeholders.
inline constexpr char sqlFallos[] =
    "SELECT f.app_id, u.sysuser, f.version, f.causa, DATE_FORMAT(f.cuando, '%Y-%m-%d %H:%i:%s') "
    "FROM appfallo f JOIN sysuser u ON u.sysuser_id=f.sysuser_id JOIN app a ON "
    "a.app_id=f.app_id WHERE f.resuelto IS NULL AND (?='' OR a.nombre=?) "
    "ORDER BY f.cuando, f.version";

// A failure's cause, from its code, as estado and the report say it.
QString causa(const QString &codigo);

struct Usuario {
    QString cuenta; // sysuser.sysuser
    bool piloto = false;
    std::optional<qint64> version; // of the last start; nothing: unknown (an earlier launcher)
    QDateTime cuando;              // of the last start; null: never started
    std::optional<Fallo> fallo;    // an update that failed since the last success
};

struct Programa {
    qint64 appId = 0;
    QString nombre;
    std::optional<qint64> general, piloto, anterior;
    QDateTime generalFirmado, pilotoFirmado;
    QList<Usuario> usuarios;
};

// A row of sqlFallos.
struct FalloDe {
    qint64 appId = 0;
    QString cuenta;
    Fallo fallo;
};

// Gives each user of each program (found by its app_id's index in `programas`) the failure of
// its rows, the last one winning; rows of a user or program not there (changed between the
// statements) are left out.
void agregarFallos(QList<Programa> &programas, const QHash<qint64, qsizetype> &indice,
                   const QList<FalloDe> &fallos);

// A time of those rows (written as the statements write them); null for NULL.
QDateTime hora(const QString &texto);

// The account's short name: what follows the first "_" (the whole name without one).
QString corto(const QString &cuenta);

// The version a user must run now, and since when it is out.
std::optional<qint64> debida(const Programa &p, const Usuario &u, QDateTime *desde = nullptr);

// The program's line: its versions, and the pilot group (short names) beside the pilot one.
QString cabecera(const Programa &p, const QStringList &grupo);
// One line per user, starting with the short name.
QString linea(const Programa &p, const Usuario &u);

// How many users last started each version, most recent version first; "sin iniciar" counts
// those who never started it, "version desconocida" starts recorded without a version.
QList<std::pair<QString, int>> cuentas(const Programa &p);
QString resumen(const Programa &p);

// Every line of `estado` for the programs.
QStringList lineas(const QList<Programa> &programas, const QStringList &grupo);

// The report's body (HTML), with one chart per program drawn by `grafico(titulo, datos)`, which
// returns the chart's placeholder.
QString html(const QList<Programa> &programas, const QStringList &grupo,
             const std::function<QString(const QString &, const QList<QStringList> &)> &grafico);

} // namespace Versiones
