#pragma once

// kolvaster-publicar esquema: what a system's database lacks of the tables the launcher and the
// tool expect, and, with --aplicar, the statements that add it, in an order that launchers
// running meanwhile do not notice. It only adds: tables, columns, keys and the digest's
// triggers. Existing columns keep their types, rows are never deleted (but for the one-row
// copies and patches of the previous release, which are turned into pieces), and a key that
// duplicates would block is not attempted: the duplicates are listed for the administrator.
//
// The work is in three files: the model of the expected schema and the plan of what a database
// lacks of it (esquema_modelo.cpp), the report (esquema_informe.cpp) and the steps of the
// upgrade (esquema_pasos.cpp); esquema.cpp is the subcommand.

#include "conexion.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

#include <mysql.h>

namespace Esquema {

// The exit statuses: 0 when the database is (now) up to date, 1 when something is missing or
// blocks the change (duplicates), 2 on any failure.
enum Salida { AlDia = 0, Pendiente = 1, Error = 2 };

// --- The expected schema, one line per column, key and trigger ------------------------------
// It must make what sql/schema.sql makes: a test loads both and compares them. A column's
// definition is how it is added (at its place, after the column before it); `relleno`, when
// given, fills it on the rows that were there before it.

extern const char opcionesTabla[];

struct Columna {
    const char *tabla, *nombre, *definicion;
    const char *relleno = nullptr;
};

extern const QList<Columna> columnas;

enum class TipoClave { Primaria, Unica, Indice }; // in the order of formaClave()'s forms

struct Clave {
    const char *tabla, *nombre;
    TipoClave tipo;
    const char *columnas; // as "a,b"
};

extern const QList<Clave> claves;

struct Disparador {
    const char *tabla, *nombre, *momento, *evento, *cuerpo;
};

// The digest is the one of the bytes a statement leaves, whatever the statement says.
extern const QList<Disparador> disparadores;

// The stored digest, checked against the bytes by the server, byte for byte: every row that
// differs, and whether one row (app_id %1) does.
extern const char digestosMalos[], digestoMalo[];
// The digest column, and its name while it is being filled (one no launcher asks for).
extern const char columnaDigesto[], digestoProvisional[];

// The provisional index of a surrogate key's column while its rows are numbered (planificar).
extern const char indiceNumeracion[];

// A column type a key can take only by a prefix (TEXT, BLOB and their sizes), as DATA_TYPE
// names it.
bool tipoLargo(const QString &tipo);

// A key's columns as "a,b", and as a statement lists them.
QString columnasDe(const Clave &k);
QString sqlColumnas(const Clave &k);
// A key as the report names it, and as a statement writes it.
QString textoClave(const Clave &k);
QString sqlClave(const Clave &k);
// The digest column's definition in the model.
QString definicionDigesto();
// A trigger's statement, for the digest column named `columna`.
QString sqlDisparador(const Disparador &d, const QString &columna);
// The model's tables, in its order (the order of the upgrade).
QStringList tablasDelModelo();

// --- What the database has ------------------------------------------------------------------

using Filas = QList<QStringList>; // a NULL is a null QString

// The rows of a statement that returns them, as text; nothing with *error set on failure.
std::optional<Filas> consultar(MYSQL *m, const QByteArray &sql, QString *error);

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
    // The server passes its changes on (a binary log for replicas, or a Galera node): every
    // copy must come out the same.
    bool replicada = false;
    // Rows of the previous release's one-row copies and patches (appcomprimido, appparche).
    qint64 unaFila = 0;
    bool leer(MYSQL *m, QString *error);
    bool tieneColumna(const QString &t, const QString &c) const
    {
        return columnas.value(t).contains(c.toLower());
    }
};

// --- What is missing, as steps ---------------------------------------------------------------

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

// One step for each table that lacks something of the model, in the model's order.
QList<Paso> planificar(const Estado &e);

// --- The report (esquema_informe.cpp) ---------------------------------------------------------

// A value from the database as it may be printed: control characters shown as "?", at most
// 80 characters, quoted.
QString mostrar(const QString &v);

// A key on a column that an old table holds as TEXT or BLOB cannot be added (the server wants a
// prefix length): one line each, with the type sql/schema.sql gives it. The type is the
// administrator's to change, as every existing column's.
QStringList columnasSinClave(const Estado &e, const QList<Paso> &pasos);

// Every group of rows that the new unique and primary keys would refuse, one line each (the
// key's values, and the rows' ids where the table has them). NULLs never collide in a key.
std::optional<QStringList> duplicados(MYSQL *m, const Estado &e, const QList<Paso> &pasos,
                                      QString *error);

// Prints what is missing or wrong and what blocks the change; the exit status.
int informar(MYSQL *m, const Conexion &c, const Estado &estado, const QList<Paso> &pasos,
             const QStringList &impedimentos);

// --- The upgrade (esquema_pasos.cpp) ----------------------------------------------------------

// The privileges the steps need that the account does not hold (on the database, a table, or
// globally, directly or through its current role), as "TRIGGER en base.app", and SUPER when
// the server asks it of a trigger's creator: a server that writes a binary log, or a Galera
// node (binary log or not), unless it trusts trigger creators.
std::optional<QStringList> privilegiosQueFaltan(MYSQL *m, const QList<Paso> &pasos,
                                                const QString &base, QString *error);

// Brings the database to the model, or refuses before the first change (impedimentos, a
// missing privilege); the exit status.
int aplicar(MYSQL *m, const Conexion &c, const Estado &estado, const QList<Paso> &pasos,
            const QStringList &impedimentos);

} // namespace Esquema
