// kolvaster-publicar esquema: what a system's database lacks of the tables the launcher and the
// tool expect, and, with --aplicar, the statements that add it, in an order that launchers
// running meanwhile do not notice. It only adds: tables, columns, keys and the digest's
// triggers. Existing columns keep their types, rows are never deleted, and a key that
// duplicates would block is not attempted: the duplicates are listed for the administrator.

#include "esquema.h"

#include "conexion.h"
#include "consola.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

#include <atomic>
#include <cstdio>
#include <mysqld_error.h>
#include <thread>
#include <unistd.h>

namespace {

// --- The expected schema, one line per column, key and trigger ------------------------------
// It must make what sql/schema.sql makes: a test loads both and compares them. A column's
// definition is how it is added (at its place, after the column before it); `relleno`, when
// given, fills it on the rows that were there before it.

const char opcionesTabla[] = "ENGINE=InnoDB DEFAULT CHARSET=utf8mb4";

struct Columna {
    const char *tabla, *nombre, *definicion;
    const char *relleno = nullptr;
};

const Columna columnas[] = {
    {"sysuser", "sysuser_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"sysuser", "sysuser", "VARCHAR(80) NOT NULL"},
    {"sysuser", "titulo", "VARCHAR(80) NOT NULL DEFAULT ''"},
    {"sysuser", "pass", "VARCHAR(40) NOT NULL DEFAULT ''"},
    {"sysuser", "enviamailas", "VARCHAR(255) NULL"},
    {"sysuser", "useradmin", "BOOLEAN NOT NULL DEFAULT FALSE"},
    {"sysuserimg", "sysuser_id", "BIGINT NOT NULL"},
    {"sysuserimg", "imagen", "LONGBLOB"},
    {"sysuserimg", "sysuserimg_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"apprisklevel", "apprisklevel_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"apprisklevel", "detalle", "VARCHAR(80) NOT NULL DEFAULT ''"},
    {"app", "app_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"app", "nombre", "VARCHAR(80) NOT NULL"},
    {"app", "titulo", "VARCHAR(120) NOT NULL DEFAULT ''"},
    {"app", "windowsbinary", "LONGBLOB NULL"},
    // Added by agregarDigesto(), not as the other columns.
    {"app", "windowsbinary_md5", "CHAR(32) CHARACTER SET ascii NULL DEFAULT (MD5(windowsbinary))"},
    {"app", "descri", "TEXT NULL"},
    {"app", "apprisklevel_id", "BIGINT NULL"},
    {"app", "riskdetalle", "TEXT NULL"},
    {"sysuserapp", "sysuser_id", "BIGINT NOT NULL"},
    {"sysuserapp", "app_id", "BIGINT NOT NULL"},
    {"sysuserapp", "clogleido", "BOOLEAN NULL"},
    {"sysuserapp", "sysuserapp_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"sysuserelog", "sysuserelogtipo_id", "INT NOT NULL"},
    {"sysuserelog", "sysuser_id", "BIGINT NOT NULL"},
    {"sysuserelog", "cuando", "DATETIME NOT NULL"},
    {"sysuserelog", "sysuserelog_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"appuse", "sysuser_id", "BIGINT NOT NULL"},
    {"appuse", "app_id", "BIGINT NULL"},
    {"appuse", "cuando", "DATETIME NOT NULL"},
    {"appuse", "appuse_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"report", "report_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"report", "titulo", "VARCHAR(120) NOT NULL DEFAULT ''"},
    {"sysuserreport", "sysuser_id", "BIGINT NOT NULL"},
    {"sysuserreport", "report_id", "BIGINT NOT NULL"},
    {"sysuserreport", "sysuserreport_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"kolvaster", "versionlauncher", "VARCHAR(20) NOT NULL"},
    {"kolvaster", "kolvaster_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"kolvasterop", "sysuser_id", "BIGINT NOT NULL"},
    {"kolvasterop", "llave", "VARCHAR(40) NOT NULL"},
    {"kolvasterop", "valor", "VARCHAR(255) NOT NULL DEFAULT ''"},
    {"kolvasterop", "kolvasterop_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"appfirma", "app_id", "BIGINT NOT NULL"},
    {"appfirma", "version", "BIGINT NOT NULL"},
    {"appfirma", "sha256", "CHAR(64) NOT NULL"},
    {"appfirma", "largo", "BIGINT NOT NULL"},
    {"appfirma", "clave", "VARCHAR(64) NOT NULL"},
    {"appfirma", "firma", "BINARY(64) NOT NULL"},
    {"appfirma", "firmado", "DATETIME NOT NULL"},
    {"appcomprimido", "app_id", "BIGINT NOT NULL"},
    {"appcomprimido", "md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appcomprimido", "largo", "BIGINT NOT NULL"},
    {"appcomprimido", "datos", "LONGBLOB NOT NULL"},
    // Sizes the tool writes with each row; rows stored before them get them measured once.
    {"appcomprimido", "bytes", "BIGINT NULL",
     "UPDATE appcomprimido SET bytes = LENGTH(datos) WHERE bytes IS NULL"},
    {"appparche", "app_id", "BIGINT NOT NULL"},
    {"appparche", "desde_md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appparche", "hasta_md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appparche", "datos", "LONGBLOB NOT NULL"},
    {"appparche", "bytes", "BIGINT NULL", "UPDATE appparche SET bytes = LENGTH(datos) WHERE bytes IS NULL"},
    // The size of the version a patch leads to is known where that is the compressed copy's.
    {"appparche", "largo", "BIGINT NULL",
     "UPDATE appparche p JOIN appcomprimido c ON c.app_id = p.app_id AND c.md5 = p.hasta_md5 "
     "SET p.largo = c.largo WHERE p.largo IS NULL"},
};

enum class TipoClave { Primaria, Unica, Indice }; // in the order of clave()'s forms

struct Clave {
    const char *tabla, *nombre;
    TipoClave tipo;
    const char *columnas; // as "a,b"
};

const Clave claves[] = {
    {"sysuser", "PRIMARY", TipoClave::Primaria, "sysuser_id"},
    {"sysuser", "uq_sysuser", TipoClave::Unica, "sysuser"},
    {"sysuserimg", "PRIMARY", TipoClave::Primaria, "sysuserimg_id"},
    {"sysuserimg", "uq_sysuserimg_user", TipoClave::Unica, "sysuser_id"},
    {"apprisklevel", "PRIMARY", TipoClave::Primaria, "apprisklevel_id"},
    {"app", "PRIMARY", TipoClave::Primaria, "app_id"},
    {"app", "uq_app_nombre", TipoClave::Unica, "nombre"},
    {"sysuserapp", "PRIMARY", TipoClave::Primaria, "sysuserapp_id"},
    {"sysuserapp", "uq_sysuserapp", TipoClave::Unica, "sysuser_id,app_id"},
    {"sysuserelog", "PRIMARY", TipoClave::Primaria, "sysuserelog_id"},
    {"sysuserelog", "ix_sysuserelog_user", TipoClave::Indice, "sysuser_id,cuando"},
    {"appuse", "PRIMARY", TipoClave::Primaria, "appuse_id"},
    {"appuse", "ix_appuse_user", TipoClave::Indice, "sysuser_id"},
    {"report", "PRIMARY", TipoClave::Primaria, "report_id"},
    {"sysuserreport", "PRIMARY", TipoClave::Primaria, "sysuserreport_id"},
    {"sysuserreport", "uq_sysuserreport", TipoClave::Unica, "sysuser_id,report_id"},
    {"kolvaster", "PRIMARY", TipoClave::Primaria, "kolvaster_id"},
    {"kolvasterop", "PRIMARY", TipoClave::Primaria, "kolvasterop_id"},
    {"kolvasterop", "ix_kolvasterop_user", TipoClave::Indice, "sysuser_id,llave"},
    {"appfirma", "PRIMARY", TipoClave::Primaria, "app_id"},
    {"appcomprimido", "PRIMARY", TipoClave::Primaria, "app_id"},
    {"appparche", "PRIMARY", TipoClave::Primaria, "app_id,desde_md5"},
};

struct Disparador {
    const char *tabla, *nombre, *momento, *evento, *cuerpo;
};

// The digest is the one of the bytes a statement leaves, whatever the statement says.
const Disparador disparadores[] = {
    {"app", "app_md5_alta", "BEFORE", "INSERT", "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)"},
    {"app", "app_md5_cambio", "BEFORE", "UPDATE", "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)"},
};

// The stored digest, checked against the bytes by the server, byte for byte.
const char digestosMalos[] = "SELECT app_id, nombre FROM app "
                             "WHERE NOT (CAST(windowsbinary_md5 AS BINARY) <=> "
                             "CAST(MD5(windowsbinary) AS BINARY)) ORDER BY app_id";
const char digestoMalo[] = "SELECT app_id, nombre FROM app WHERE app_id = %1 AND "
                           "NOT (CAST(windowsbinary_md5 AS BINARY) <=> "
                           "CAST(MD5(windowsbinary) AS BINARY))";

// The digest column while it is being filled, under a name no launcher asks for.
const char columnaDigesto[] = "windowsbinary_md5", digestoProvisional[] = "kolvaster_md5_nuevo";

// --- Output ----------------------------------------------------------------------------------

enum Salida { AlDia = 0, Pendiente = 1, Error = 2 };

using Consola::decir;
using Consola::fallar;

// A value from the database as it may be printed: control characters shown as "?", at most
// 80 characters, quoted.
QString mostrar(const QString &v)
{
    QString r = v.left(80);
    for (QChar &c : r)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    return QLatin1Char('"') + r + (v.size() > 80 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

// --- Reading the database --------------------------------------------------------------------

using Filas = QList<QStringList>; // a NULL is a null QString

std::optional<Filas> consultar(MYSQL *m, const QByteArray &sql, QString *error)
{
    MYSQL_RES *res = mysql_query(m, sql.constData()) == 0 ? mysql_store_result(m) : nullptr;
    if (!res) {
        *error = QString::fromUtf8(mysql_error(m));
        return std::nullopt;
    }
    Filas filas;
    const unsigned n = mysql_num_fields(res);
    while (MYSQL_ROW f = mysql_fetch_row(res)) {
        const unsigned long *l = mysql_fetch_lengths(res);
        QStringList fila;
        for (unsigned i = 0; i < n; ++i)
            fila << (f[i] ? QString::fromUtf8(f[i], int(l[i])) : QString());
        filas << fila;
    }
    mysql_free_result(res);
    return filas;
}

struct Indice {
    bool unico;
    QString columnas; // "a,b" in the index's order, lower case; "a(10)" for a prefix
};

// What the database has, by table (tables by their exact name; columns in lower case).
struct Estado {
    QSet<QString> tablas;
    QHash<QString, QStringList> columnas;
    QHash<QString, QHash<QString, QString>> tipos; // table -> column -> DATA_TYPE
    QHash<QString, QHash<QString, Indice>> indices; // table -> index name -> index
    QHash<QString, QHash<QString, QString>> disparadores; // table -> name -> "BEFORE INSERT body"
    // information_schema shows a table's triggers only to an account with TRIGGER on it.
    QSet<QString> disparadoresOcultos;
    bool leer(MYSQL *m, QString *error);
    bool tieneColumna(const QString &t, const QString &c) const
    {
        return columnas.value(t).contains(c.toLower());
    }
};

bool Estado::leer(MYSQL *m, QString *error)
{
    auto t = consultar(m, "SELECT TABLE_NAME FROM information_schema.TABLES "
                          "WHERE TABLE_SCHEMA=DATABASE() AND TABLE_TYPE='BASE TABLE'", error);
    auto c = t ? consultar(m, "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE FROM information_schema.COLUMNS "
                              "WHERE TABLE_SCHEMA=DATABASE() ORDER BY TABLE_NAME, ORDINAL_POSITION",
                           error)
               : std::nullopt;
    auto i = c ? consultar(m, "SELECT TABLE_NAME, INDEX_NAME, MIN(NON_UNIQUE), "
                              "GROUP_CONCAT(LOWER(COLUMN_NAME), IFNULL(CONCAT('(', SUB_PART, ')'), '') "
                              "ORDER BY SEQ_IN_INDEX) FROM information_schema.STATISTICS "
                              "WHERE TABLE_SCHEMA=DATABASE() GROUP BY TABLE_NAME, INDEX_NAME",
                           error)
               : std::nullopt;
    auto d = i ? consultar(m, "SELECT EVENT_OBJECT_TABLE, TRIGGER_NAME, CONCAT(ACTION_TIMING, ' ', "
                              "EVENT_MANIPULATION, ' ', ACTION_STATEMENT) "
                              "FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA=DATABASE()",
                           error)
               : std::nullopt;
    if (!d)
        return false;
    for (const QStringList &f : *t)
        tablas.insert(f[0]);
    for (const QStringList &f : *c) {
        columnas[f[0]] << f[1].toLower();
        tipos[f[0]].insert(f[1].toLower(), f[2].toLower());
    }
    for (const QStringList &f : *i)
        indices[f[0]].insert(f[1], {f[2] == QLatin1String("0"), f[3]});
    for (const QStringList &f : *d)
        disparadores[f[0]].insert(f[1], f[2]);
    return true;
}

// --- What is missing, as steps ---------------------------------------------------------------

QString columnasDe(const Clave &k)
{
    return QString::fromLatin1(k.columnas);
}

QString sqlColumnas(const Clave &k)
{
    return QString::fromLatin1(k.columnas).replace(QLatin1Char(','), QStringLiteral(", "));
}

// A key as the report names it (texto) or as a statement writes it.
QString clave(const Clave &k, bool texto)
{
    static const char *const formas[][2] = {{"la clave primaria (%2)", "PRIMARY KEY (%2)"},
                                            {"la clave unica %1 (%2)", "UNIQUE KEY %1 (%2)"},
                                            {"el indice %1 (%2)", "KEY %1 (%2)"}};
    QString forma = QLatin1String(formas[int(k.tipo)][texto ? 0 : 1]);
    return forma.replace(QLatin1String("%1"), QLatin1String(k.nombre))
        .replace(QLatin1String("%2"), sqlColumnas(k));
}

QString textoClave(const Clave &k)
{
    return clave(k, true);
}

QString sqlClave(const Clave &k)
{
    return clave(k, false);
}

QString definicionDigesto()
{
    for (const Columna &c : columnas)
        if (QLatin1String(c.nombre) == QLatin1String(columnaDigesto))
            return QLatin1String(c.definicion);
    return QString();
}

QString sqlDisparador(const Disparador &d, const QString &columna)
{
    return QStringLiteral("CREATE OR REPLACE TRIGGER %1 %2 %3 ON %4 FOR EACH ROW %5")
        .arg(QLatin1String(d.nombre), QLatin1String(d.momento), QLatin1String(d.evento),
             QLatin1String(d.tabla),
             QString::fromLatin1(d.cuerpo).replace(QLatin1String(columnaDigesto), columna));
}

// One table's changes: a statement that creates or alters it, the triggers, the fillings.
struct Paso {
    QString tabla;
    QList<QPair<bool, QString>> faltas; // (missing, what) or (wrong, the line), one each
    QStringList sentencias;  // in order
    QStringList privilegios; // the account's privileges they need on the table
    bool triggers = false;   // creates triggers (binary logging may then need SUPER)
    bool digesto = false;    // the stored digest is added (agregarDigesto), after the statements
    QList<const Clave *> clavesNuevas; // unique and primary keys duplicates could block
    QList<const Clave *> indicesNuevos; // every key added to an existing table
};

QStringList tablasDelModelo()
{
    QStringList r;
    for (const Columna &c : columnas)
        if (!r.contains(QLatin1String(c.tabla)))
            r << QLatin1String(c.tabla);
    return r;
}

QList<Paso> planificar(const Estado &e)
{
    QList<Paso> pasos;
    for (const QString &tabla : tablasDelModelo()) {
        Paso p;
        p.tabla = tabla;
        const bool existe = e.tablas.contains(tabla);
        QStringList partes;   // of the CREATE or the ALTER
        QString anterior;     // the model's previous column
        QStringList rellenos;
        for (const Columna &c : columnas) {
            if (tabla != QLatin1String(c.tabla))
                continue;
            const QString nombre = QLatin1String(c.nombre), def = QLatin1String(c.definicion);
            if (!existe) {
                partes << nombre + QLatin1Char(' ') + def;
            } else if (!e.tieneColumna(tabla, nombre)) {
                p.faltas << qMakePair(true, QStringLiteral("la columna %1.%2").arg(tabla, nombre));
                if (tabla == QLatin1String("app") && nombre == QLatin1String(columnaDigesto)) {
                    p.digesto = p.triggers = true;
                    p.privilegios << QStringLiteral("ALTER") << QStringLiteral("TRIGGER")
                                  << QStringLiteral("UPDATE");
                } else {
                    partes << QStringLiteral("ADD COLUMN %1 %2%3")
                                  .arg(nombre, def,
                                       anterior.isEmpty() ? QStringLiteral(" FIRST")
                                                          : QStringLiteral(" AFTER ") + anterior);
                }
                if (c.relleno)
                    rellenos << QLatin1String(c.relleno);
            }
            anterior = nombre;
        }
        const QHash<QString, Indice> indices = e.indices.value(tabla);
        for (const Clave &k : claves) {
            if (tabla != QLatin1String(k.tabla))
                continue;
            const QString cols = columnasDe(k);
            if (!existe) {
                partes << sqlClave(k);
                continue;
            }
            bool hay = false;
            if (k.tipo == TipoClave::Primaria) {
                hay = indices.contains(QStringLiteral("PRIMARY"))
                      && indices.value(QStringLiteral("PRIMARY")).columnas == cols;
            } else {
                for (const Indice &i : indices)
                    hay = hay || (i.columnas == cols && (i.unico || k.tipo == TipoClave::Indice));
            }
            if (hay)
                continue;
            if (k.tipo == TipoClave::Primaria && indices.contains(QStringLiteral("PRIMARY"))) {
                p.faltas << qMakePair(false, QStringLiteral("la clave primaria de %1 es (%2) y "
                                                            "debe ser (%3)")
                                                 .arg(tabla, indices.value(QStringLiteral("PRIMARY")).columnas,
                                                      sqlColumnas(k)));
                partes << QStringLiteral("DROP PRIMARY KEY");
            } else {
                p.faltas << qMakePair(true, QStringLiteral("%1 en %2").arg(textoClave(k), tabla));
            }
            // A plain index on the same columns is superseded by the unique key.
            if (k.tipo == TipoClave::Unica)
                for (auto i = indices.cbegin(); i != indices.cend(); ++i)
                    if (!i->unico && i->columnas == cols)
                        partes << QStringLiteral("DROP KEY `%1`")
                                      .arg(QString(i.key()).replace(QLatin1Char('`'), QStringLiteral("``")));
            partes << QStringLiteral("ADD ") + sqlClave(k);
            p.indicesNuevos << &k;
            if (k.tipo != TipoClave::Indice)
                p.clavesNuevas << &k;
        }
        if (!existe) {
            p.faltas << qMakePair(true, QStringLiteral("la tabla %1").arg(tabla));
            p.sentencias << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\n  %2\n) %3")
                                .arg(tabla, partes.join(QStringLiteral(",\n  ")),
                                     QLatin1String(opcionesTabla));
            p.privilegios << QStringLiteral("CREATE");
        } else if (!partes.isEmpty()) {
            p.sentencias << QStringLiteral("ALTER TABLE %1 %2").arg(tabla, partes.join(QStringLiteral(", ")));
            p.privilegios << QStringLiteral("ALTER");
        }
        const bool ocultos = e.disparadoresOcultos.contains(tabla);
        if (ocultos) {
            p.faltas << qMakePair(false, QStringLiteral("no se pueden ver los disparadores de %1: a "
                                                        "la cuenta le falta el privilegio TRIGGER")
                                             .arg(tabla));
            p.privilegios << QStringLiteral("TRIGGER");
        }
        for (const Disparador &d : disparadores) {
            if (tabla != QLatin1String(d.tabla) || ocultos)
                continue;
            const QString nombre = QLatin1String(d.nombre);
            const QString esperado = QStringLiteral("%1 %2 %3").arg(QLatin1String(d.momento),
                                                                    QLatin1String(d.evento),
                                                                    QLatin1String(d.cuerpo));
            const QHash<QString, QString> hay = e.disparadores.value(tabla);
            if (hay.value(nombre) == esperado)
                continue;
            p.faltas << (hay.contains(nombre)
                             ? qMakePair(false, QStringLiteral("el disparador %1 de %2 no es el "
                                                               "esperado").arg(nombre, tabla))
                             : qMakePair(true, QStringLiteral("el disparador %1 de %2").arg(nombre, tabla)));
            if (p.digesto)
                continue; // made with the column
            p.sentencias << sqlDisparador(d, QLatin1String(columnaDigesto));
            if (!p.privilegios.contains(QStringLiteral("TRIGGER")))
                p.privilegios << QStringLiteral("TRIGGER");
            p.triggers = true;
        }
        if (!rellenos.isEmpty()) {
            p.sentencias << rellenos;
            p.privilegios << QStringLiteral("UPDATE");
        }
        if (!p.sentencias.isEmpty() || p.digesto || ocultos)
            pasos << p;
    }
    return pasos;
}

// --- Before any change: what blocks a key, and privileges -----------------------------------

// A key on a column that an old table holds as TEXT or BLOB cannot be added (the server wants a
// prefix length): one line each, with the type sql/schema.sql gives it. The type is the
// administrator's to change, as every existing column's.
QStringList columnasSinClave(const Estado &e, const QList<Paso> &pasos)
{
    static const QStringList largos = {"tinytext", "text", "mediumtext", "longtext",
                                       "tinyblob", "blob", "mediumblob", "longblob"};
    QStringList lineas;
    for (const Paso &p : pasos)
        for (const Clave *k : p.indicesNuevos)
            for (const QString &c : columnasDe(*k).split(QLatin1Char(','))) {
                const QString tipo = e.tipos.value(p.tabla).value(c);
                if (!largos.contains(tipo))
                    continue;
                QString modelo;
                for (const Columna &col : columnas)
                    if (p.tabla == QLatin1String(col.tabla) && c == QLatin1String(col.nombre))
                        modelo = QLatin1String(col.definicion);
                lineas << QStringLiteral("la columna %1.%2 es %3 y no admite %4: cambie su tipo "
                                         "(ALTER TABLE %1 MODIFY %2 %5)")
                              .arg(p.tabla, c, tipo.toUpper(), textoClave(*k), modelo);
            }
    lineas.removeDuplicates();
    return lineas;
}

// Every group of rows that the new unique and primary keys would refuse, one line each (the
// key's values, and the rows' ids where the table has them). NULLs never collide in a key.
std::optional<QStringList> duplicados(MYSQL *m, const Estado &e, const QList<Paso> &pasos,
                                      QString *error)
{
    QStringList lineas;
    mysql_query(m, "SET SESSION group_concat_max_len=1048576");
    for (const Paso &p : pasos) {
        for (const Clave *k : p.clavesNuevas) {
            const QStringList cols = columnasDe(*k).split(QLatin1Char(','));
            bool todas = true;
            for (const QString &c : cols)
                todas = todas && e.tieneColumna(p.tabla, c);
            if (!todas)
                continue; // a column still to be added is all new values
            // The rows' id: the table's own single-column primary key, if it has one.
            const QString pk = e.indices.value(p.tabla).value(QStringLiteral("PRIMARY")).columnas;
            const bool conId = !pk.isEmpty() && !pk.contains(QLatin1Char(','))
                               && !pk.contains(QLatin1Char('('));
            QStringList noNulos;
            for (const QString &c : cols)
                noNulos << c + QStringLiteral(" IS NOT NULL");
            const QString sql =
                QStringLiteral("SELECT %1, COUNT(*), %2 FROM %3 WHERE %4 GROUP BY %1 "
                               "HAVING COUNT(*) > 1 ORDER BY %1")
                    .arg(cols.join(QStringLiteral(", ")),
                         conId ? QStringLiteral("GROUP_CONCAT(%1 ORDER BY %1 SEPARATOR ', ')").arg(pk)
                               : QStringLiteral("''"),
                         p.tabla, noNulos.join(QStringLiteral(" AND ")));
            const std::optional<Filas> filas = consultar(m, sql.toUtf8(), error);
            if (!filas)
                return std::nullopt;
            for (const QStringList &f : *filas) {
                QStringList valores;
                for (int i = 0; i < cols.size(); ++i)
                    valores << cols[i] + QLatin1Char('=') + mostrar(f[i]);
                lineas << QStringLiteral("duplicado en %1 para %2: %3 (%4)")
                              .arg(p.tabla, textoClave(*k), valores.join(QStringLiteral(", ")),
                                   conId ? pk + QLatin1Char(' ') + f[cols.size() + 1]
                                         : QStringLiteral("%1 filas").arg(f[cols.size()]));
            }
        }
    }
    return lineas;
}

// The privileges the steps need that the account does not hold (on the database, a table, or
// globally, directly or through its current role), as "TRIGGER en base.app", and SUPER when
// the server writes a binary log and does not trust trigger creators.
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
    const std::optional<Filas> registro =
        filas ? consultar(m, "SELECT @@log_bin, @@log_bin_trust_function_creators", error)
              : std::nullopt;
    if (!registro)
        return std::nullopt;
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
    const QStringList &r = registro->first();
    if (triggers && r[0] == QLatin1String("1") && r[1] != QLatin1String("1")
        && !generales.contains(QStringLiteral("SUPER")))
        faltan << QStringLiteral("SUPER (el servidor escribe un registro binario: crear disparadores "
                                 "lo necesita, o log_bin_trust_function_creators=1)");
    faltan.removeDuplicates();
    return faltan;
}

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
    if (mysql_real_query(m, s.constData(), s.size()) != 0) {
        *error = QString::fromUtf8(mysql_error(m));
        return false;
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
            if (!sql(sqlDisparador(d, QLatin1String(columnaDigesto))))
                return false;
        return true;
    }
    for (const Disparador &d : disparadores)
        if (!sql(sqlDisparador(d, provisional)))
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
        hecho = hecho && sql(sqlDisparador(d, QLatin1String(columnaDigesto)));
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

int esquema(const QStringList &args)
{
    Conexion c;
    bool aplicar = false;
    for (int i = 0; i < args.size(); ++i) {
        QString error;
        if (c.tomar(args, &i, &error)) {
            if (!error.isEmpty())
                return fallar(error);
            continue;
        }
        if (args.at(i) == QLatin1String("--aplicar"))
            aplicar = true;
        else
            return fallar(QStringLiteral("opcion desconocida o sin valor: %1").arg(args.at(i)));
    }

    QString error;
    MYSQL *m = c.conectar(&error);
    if (!m)
        return fallar(error);
    struct Cierre {
        MYSQL *m = nullptr;
        ~Cierre() { if (m) mysql_close(m); }
    } cierre{m}, cierreVigia;
    auto servidor = [&](const QString &que) { return fallar(QStringLiteral("%1: %2").arg(que, error)); };

    Estado estado;
    if (!estado.leer(m, &error))
        return servidor(QStringLiteral("no se pudo leer el esquema"));
    for (const Disparador &d : disparadores) {
        Paso ver;
        ver.tabla = QLatin1String(d.tabla);
        ver.privilegios << QStringLiteral("TRIGGER");
        const std::optional<QStringList> falta = estado.tablas.contains(ver.tabla)
                                                     ? privilegiosQueFaltan(m, {ver}, c.sistema, &error)
                                                     : QStringList();
        if (!falta)
            return servidor(QStringLiteral("no se pudieron leer los privilegios de la cuenta"));
        if (!falta->isEmpty())
            estado.disparadoresOcultos.insert(ver.tabla);
    }
    const QList<Paso> pasos = planificar(estado);
    std::optional<QStringList> dups = duplicados(m, estado, pasos, &error);
    if (!dups)
        return servidor(QStringLiteral("no se pudieron buscar duplicados"));
    *dups = columnasSinClave(estado, pasos) + *dups;

    if (!aplicar) {
        int faltas = 0;
        for (const Paso &p : pasos)
            for (const auto &[falta, que] : p.faltas) {
                decir(falta ? QStringLiteral("falta ") + que : que);
                ++faltas;
            }
        for (const QString &d : *dups)
            decir(d);
        if (estado.tieneColumna(QStringLiteral("app"), QStringLiteral("windowsbinary_md5"))) {
            const std::optional<Filas> malos = consultar(m, digestosMalos, &error);
            if (!malos)
                return servidor(QStringLiteral("no se pudieron comprobar los digestos"));
            for (const QStringList &f : *malos)
                decir(QStringLiteral("el digesto guardado de %1 (app_id %2) no es el de su programa")
                          .arg(mostrar(f[1]), f[0]));
            faltas += int(malos->size());
        }
        faltas += int(dups->size());
        if (faltas == 0) {
            decir(QStringLiteral("la base %1 esta al dia").arg(c.sistema));
            return AlDia;
        }
        decir(QStringLiteral("%1 diferencias; kolvaster-publicar esquema --aplicar las corrige%2")
                  .arg(faltas)
                  .arg(dups->isEmpty() ? QString()
                                       : QStringLiteral(" una vez resueltos los impedimentos")));
        return Pendiente;
    }

    // Duplicates first: a key they block would fail half-way, so nothing starts while any is
    // there. Which row stays is the administrator's decision.
    if (!dups->isEmpty()) {
        for (const QString &d : *dups)
            decir(d);
        decir(QStringLiteral("%1 impedimentos para las claves: no se cambio nada (vea \"Actualizar "
                             "una base existente\" en el README)")
                  .arg(dups->size()));
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
    decir(cambios == 0 ? QStringLiteral("la base %1 esta al dia: no se cambio nada").arg(c.sistema)
                       : QStringLiteral("la base %1 esta al dia (%2 cambios)").arg(c.sistema).arg(cambios));
    return AlDia;
}
