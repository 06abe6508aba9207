// The expected schema, and what a database lacks of it.

#include "esquema.h"

#include "catalogue/piezas.h"

namespace Esquema {

const char opcionesTabla[] = "ENGINE=InnoDB DEFAULT CHARSET=utf8mb4";

const QList<Columna> columnas = {
    {"sysuser", "sysuser_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"sysuser", "sysuser", "VARCHAR(80) NOT NULL"},
    {"sysuser", "titulo", "VARCHAR(80) NOT NULL DEFAULT ''"},
    {"sysuser", "pass", "VARCHAR(40) NOT NULL DEFAULT ''"},
    {"sysuser", "enviamailas", "VARCHAR(255) NULL"},
    {"sysuser", "useradmin", "BOOLEAN NOT NULL DEFAULT FALSE"},
    {"sysuser", "piloto", "BOOLEAN NOT NULL DEFAULT FALSE"},
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
    {"appuse", "version", "BIGINT NULL"},
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
    {"appversion", "app_id", "BIGINT NOT NULL"},
    {"appversion", "clase", "VARCHAR(10) CHARACTER SET ascii NOT NULL"},
    {"appversion", "md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appversion", "largo", "BIGINT NOT NULL"},
    {"appversion", "datos", "LONGBLOB NOT NULL"},
    {"appversion", "version", "BIGINT NOT NULL"},
    {"appversion", "sha256", "CHAR(64) NOT NULL"},
    {"appversion", "clave", "VARCHAR(64) NOT NULL"},
    {"appversion", "firma", "BINARY(64) NOT NULL"},
    {"appversion", "firmado", "DATETIME NOT NULL"},
    // Copies and patches in pieces, each behind its header row.
    {"appcopia", "app_id", "BIGINT NOT NULL"},
    {"appcopia", "md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appcopia", "largo", "BIGINT NOT NULL"},
    {"appcopia", "bytes", "BIGINT NOT NULL"},
    {"appcopia", "piezas", "INT NOT NULL"},
    {"appcopia", "tamano", "INT NOT NULL"},
    {"appcopiapieza", "app_id", "BIGINT NOT NULL"},
    {"appcopiapieza", "md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appcopiapieza", "pieza", "INT NOT NULL"},
    {"appcopiapieza", "suma", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appcopiapieza", "datos", "MEDIUMBLOB NOT NULL"},
    {"appdelta", "app_id", "BIGINT NOT NULL"},
    {"appdelta", "desde_md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appdelta", "hasta_md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appdelta", "largo", "BIGINT NOT NULL"},
    {"appdelta", "bytes", "BIGINT NOT NULL"},
    {"appdelta", "piezas", "INT NOT NULL"},
    {"appdelta", "tamano", "INT NOT NULL"},
    {"appdeltapieza", "app_id", "BIGINT NOT NULL"},
    {"appdeltapieza", "desde_md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appdeltapieza", "hasta_md5", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appdeltapieza", "pieza", "INT NOT NULL"},
    {"appdeltapieza", "suma", "CHAR(32) CHARACTER SET ascii NOT NULL"},
    {"appdeltapieza", "datos", "MEDIUMBLOB NOT NULL"},
    // The previous release's one-row copies and patches: kept for its launchers, emptied into
    // the tables above (see planificar()).
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
    // The launchers' failed updates, and the record of every administrative step.
    {"appfallo", "sysuser_id", "BIGINT NOT NULL"},
    {"appfallo", "app_id", "BIGINT NOT NULL"},
    {"appfallo", "version", "BIGINT NOT NULL"},
    {"appfallo", "md5", "CHAR(32) CHARACTER SET ascii NOT NULL DEFAULT ''"},
    {"appfallo", "conserva", "BIGINT NULL"},
    {"appfallo", "conserva_md5", "CHAR(32) CHARACTER SET ascii NULL"},
    {"appfallo", "causa", "VARCHAR(10) CHARACTER SET ascii NOT NULL"},
    {"appfallo", "texto", "VARCHAR(400) NOT NULL DEFAULT ''"},
    {"appfallo", "cuando", "DATETIME NOT NULL"},
    {"appfallo", "intentos", "INT NOT NULL DEFAULT 1"},
    {"appfallo", "resuelto", "DATETIME NULL"},
    {"appfallo", "appfallo_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"registro", "registro_id", "BIGINT NOT NULL AUTO_INCREMENT"},
    {"registro", "cuando", "DATETIME NOT NULL"},
    {"registro", "cuenta", "VARCHAR(80) NOT NULL DEFAULT ''"},
    {"registro", "direccion", "VARCHAR(255) NOT NULL DEFAULT ''"},
    {"registro", "paso", "VARCHAR(60) NOT NULL"},
    {"registro", "objeto", "VARCHAR(120) NOT NULL DEFAULT ''"},
    {"registro", "resultado", "VARCHAR(255) NOT NULL DEFAULT ''"},
    // The branch offices and their replicas.
    {"sede", "nombre", "VARCHAR(40) CHARACTER SET ascii NOT NULL"},
    {"sede", "redes", "VARCHAR(1000) CHARACTER SET ascii NOT NULL"},
    {"sede", "servidor", "VARCHAR(255) CHARACTER SET ascii NOT NULL"},
};

const QList<Clave> claves = {
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
    {"appuse", "ix_appuse_app", TipoClave::Indice, "app_id,sysuser_id,cuando"},
    {"report", "PRIMARY", TipoClave::Primaria, "report_id"},
    {"sysuserreport", "PRIMARY", TipoClave::Primaria, "sysuserreport_id"},
    {"sysuserreport", "uq_sysuserreport", TipoClave::Unica, "sysuser_id,report_id"},
    {"kolvaster", "PRIMARY", TipoClave::Primaria, "kolvaster_id"},
    {"kolvasterop", "PRIMARY", TipoClave::Primaria, "kolvasterop_id"},
    {"kolvasterop", "ix_kolvasterop_user", TipoClave::Indice, "sysuser_id,llave"},
    {"appfirma", "PRIMARY", TipoClave::Primaria, "app_id"},
    {"appversion", "PRIMARY", TipoClave::Primaria, "app_id,clase"},
    {"appcopia", "PRIMARY", TipoClave::Primaria, "app_id,md5"},
    {"appcopiapieza", "PRIMARY", TipoClave::Primaria, "app_id,md5,pieza"},
    {"appdelta", "PRIMARY", TipoClave::Primaria, "app_id,desde_md5,hasta_md5"},
    {"appdeltapieza", "PRIMARY", TipoClave::Primaria, "app_id,desde_md5,hasta_md5,pieza"},
    {"appcomprimido", "PRIMARY", TipoClave::Primaria, "app_id"},
    {"appparche", "PRIMARY", TipoClave::Primaria, "app_id,desde_md5"},
    {"appfallo", "PRIMARY", TipoClave::Primaria, "appfallo_id"},
    {"appfallo", "uq_appfallo", TipoClave::Unica, "sysuser_id,app_id,version"},
    {"appfallo", "ix_appfallo_app", TipoClave::Indice, "app_id,resuelto"},
    {"registro", "PRIMARY", TipoClave::Primaria, "registro_id"},
    {"registro", "ix_registro_cuando", TipoClave::Indice, "cuando"},
    {"registro", "ix_registro_objeto", TipoClave::Indice, "objeto,cuando"},
    {"registro", "ix_registro_cuenta", TipoClave::Indice, "cuenta,cuando"},
    {"sede", "PRIMARY", TipoClave::Primaria, "nombre"},
};

// The digest is the one of the bytes a statement leaves, whatever the statement says.
const QList<Disparador> disparadores = {
    {"app", "app_md5_alta", "BEFORE", "INSERT", "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)"},
    {"app", "app_md5_cambio", "BEFORE", "UPDATE", "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)"},
    // Who, when and from where are the server's; no row is changed or removed.
    {"registro", "registro_alta", "BEFORE", "INSERT",
     "SET NEW.cuando = NOW(), NEW.cuenta = SUBSTRING_INDEX(USER(), '@', 1), NEW.direccion = "
     "SUBSTRING_INDEX(USER(), '@', -1)"},
    {"registro", "registro_cambio", "BEFORE", "UPDATE",
     "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'el registro de pasos solo admite filas nuevas'"},
    {"registro", "registro_baja", "BEFORE", "DELETE",
     "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'el registro de pasos solo admite filas nuevas'"},
};

const char digestosMalos[] = "SELECT app_id, nombre FROM app "
                             "WHERE NOT (CAST(windowsbinary_md5 AS BINARY) <=> "
                             "CAST(MD5(windowsbinary) AS BINARY)) ORDER BY app_id";
const char digestoMalo[] = "SELECT app_id, nombre FROM app WHERE app_id = %1 AND "
                           "NOT (CAST(windowsbinary_md5 AS BINARY) <=> "
                           "CAST(MD5(windowsbinary) AS BINARY))";

const char columnaDigesto[] = "windowsbinary_md5", digestoProvisional[] = "kolvaster_md5_nuevo";
const char indiceNumeracion[] = "kolvaster_numeracion";

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
    auto v = d ? consultar(m, "SHOW SESSION VARIABLES WHERE Variable_name IN ('log_bin', 'wsrep_on')",
                           error)
               : std::nullopt;
    if (!v)
        return false;
    for (const QStringList &f : *v)
        replicada = replicada
                    || (f.size() == 2
                        && (f[1].compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0
                            || f[1] == QLatin1String("1")));
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
    for (const char *t : {"appcomprimido", "appparche"}) {
        if (!tablas.contains(QLatin1String(t)))
            continue;
        const auto n = consultar(m, QByteArray("SELECT COUNT(*) FROM ") + t, error);
        if (!n)
            return false;
        unaFila += n->value(0).value(0).toLongLong();
    }
    return true;
}

namespace {

// The one-row copies and patches turned into pieces by the server itself (no byte travels),
// in one transaction, each value cut in the pieces the tool writes (up to 1024 of them, the
// 1 GB no row can exceed), each piece with its MD5; a copy or patch already stored in pieces
// under the same key is replaced. A patch whose size of the version it gives is not recorded
// (nor that of a copy of that version) is of no use to any launcher and goes with the rest.
QStringList sentenciasDePiezas()
{
    const QString pieza = QString::number(Piezas::tamanoPieza);
    const QString corte = QStringLiteral("SUBSTRING(v.datos, s.seq * %1 + 1, %1)").arg(pieza);
    const QString cabecera =
        QStringLiteral("LENGTH(v.datos), CEIL(LENGTH(v.datos) / %1), %1").arg(pieza);
    const QString duplicada = QStringLiteral(
        " ON DUPLICATE KEY UPDATE largo = VALUES(largo), bytes = VALUES(bytes), "
        "piezas = VALUES(piezas), tamano = VALUES(tamano)");
    return {
        QStringLiteral("START TRANSACTION"),
        QStringLiteral("DELETE p FROM appcopiapieza p JOIN appcomprimido v ON v.app_id = p.app_id "
                       "AND v.md5 = p.md5"),
        QStringLiteral("INSERT INTO appcopia (app_id, md5, largo, bytes, piezas, tamano) SELECT "
                       "v.app_id, v.md5, v.largo, %1 FROM appcomprimido v WHERE LENGTH(v.datos) > 0")
                .arg(cabecera)
            + duplicada,
        QStringLiteral("INSERT INTO appcopiapieza (app_id, md5, pieza, suma, datos) SELECT "
                       "v.app_id, v.md5, s.seq, MD5(%1), %1 FROM appcomprimido v JOIN "
                       "appcopia c ON c.app_id = v.app_id AND c.md5 = v.md5 JOIN seq_0_to_1023 s "
                       "ON s.seq < c.piezas")
            .arg(corte),
        QStringLiteral("DELETE p FROM appdeltapieza p JOIN appparche v ON v.app_id = p.app_id AND "
                       "v.desde_md5 = p.desde_md5 AND v.hasta_md5 = p.hasta_md5"),
        QStringLiteral("INSERT INTO appdelta (app_id, desde_md5, hasta_md5, largo, bytes, piezas, "
                       "tamano) SELECT v.app_id, v.desde_md5, v.hasta_md5, COALESCE(v.largo, "
                       "c.largo), %1 FROM appparche v LEFT JOIN appcopia c ON c.app_id = v.app_id "
                       "AND c.md5 = v.hasta_md5 WHERE LENGTH(v.datos) > 0 AND COALESCE(v.largo, "
                       "c.largo) IS NOT NULL")
                .arg(cabecera)
            + duplicada,
        QStringLiteral("INSERT INTO appdeltapieza (app_id, desde_md5, hasta_md5, pieza, suma, "
                       "datos) SELECT v.app_id, v.desde_md5, v.hasta_md5, s.seq, MD5(%1), %1 FROM "
                       "appparche v JOIN appdelta d ON d.app_id = v.app_id AND d.desde_md5 = "
                       "v.desde_md5 AND d.hasta_md5 = v.hasta_md5 JOIN seq_0_to_1023 s ON s.seq < "
                       "d.piezas")
            .arg(corte),
        QStringLiteral("DELETE FROM appcomprimido"),
        QStringLiteral("DELETE FROM appparche"),
        QStringLiteral("COMMIT"),
    };
}

} // namespace

QString columnasDe(const Clave &k)
{
    return QString::fromLatin1(k.columnas);
}

QString sqlColumnas(const Clave &k)
{
    return QString::fromLatin1(k.columnas).replace(QLatin1Char(','), QStringLiteral(", "));
}

QString formaClave(const Clave &k, bool texto)
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
    return formaClave(k, true);
}

QString sqlClave(const Clave &k)
{
    return formaClave(k, false);
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

QStringList tablasDelModelo()
{
    QStringList r;
    for (const Columna &c : columnas)
        if (!r.contains(QLatin1String(c.tabla)))
            r << QLatin1String(c.tabla);
    return r;
}

bool tipoLargo(const QString &tipo)
{
    static const QStringList largos = {"tinytext", "text", "mediumtext", "longtext",
                                       "tinyblob", "blob", "mediumblob", "longblob"};
    return largos.contains(tipo);
}

namespace {

// The rows of an existing table in the order of their values: its columns as it has them, but
// the long ones, which the server sorts by a prefix only.
QString ordenDeValores(const Estado &e, const QString &tabla)
{
    QStringList cols;
    for (const QString &c : e.columnas.value(tabla))
        if (!tipoLargo(e.tipos.value(tabla).value(c)))
            cols << QLatin1Char('`') + QString(c).replace(QLatin1Char('`'), QStringLiteral("``"))
                        + QLatin1Char('`');
    return cols.isEmpty() ? QString() : QStringLiteral(", ORDER BY ") + cols.join(QStringLiteral(", "));
}

} // namespace

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
        // A surrogate key added to a table without a primary key numbers its rows, and the
        // server would number them in the order it stored them: on a cluster (or a replica that
        // applies the statement) each node stored them in its own order, and the same row would
        // get another id on each. So that column comes first, alone, numbering the rows in the
        // order of their values (equal rows are interchangeable), with an index of its own
        // until the key replaces it: the server only honours the order while the table keeps
        // its hidden clustered index. A server that passes its statements on to no one is
        // spared that second rebuild.
        const bool sinPrimaria = e.replicada && existe
                                 && !e.indices.value(tabla).contains(QStringLiteral("PRIMARY"));
        QString numeracion;
        if (existe && e.indices.value(tabla).contains(QLatin1String(indiceNumeracion)))
            partes << QStringLiteral("DROP KEY ") + QLatin1String(indiceNumeracion); // a run cut off
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
                    const QString columna =
                        QStringLiteral("ADD COLUMN %1 %2%3")
                            .arg(nombre, def,
                                 anterior.isEmpty() ? QStringLiteral(" FIRST")
                                                    : QStringLiteral(" AFTER ") + anterior);
                    if (sinPrimaria && def.contains(QLatin1String("AUTO_INCREMENT"))) {
                        numeracion = QStringLiteral("ALTER TABLE %1 %2, ADD KEY %3 (%4)%5")
                                         .arg(tabla, columna, QLatin1String(indiceNumeracion),
                                              nombre, ordenDeValores(e, tabla));
                        partes << QStringLiteral("DROP KEY ") + QLatin1String(indiceNumeracion);
                    } else {
                        partes << columna;
                    }
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
            if (!numeracion.isEmpty())
                p.sentencias << numeracion;
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
    // Last, once every table has its shape: the previous release's one-row copies and patches
    // into pieces. Its launchers then find none and take the plain download.
    if (e.unaFila > 0) {
        Paso p;
        p.tabla = QStringLiteral("appcomprimido");
        p.faltas << qMakePair(false, QStringLiteral("%1 copias y parches de una sola fila en "
                                                    "appcomprimido y appparche sin pasar a piezas")
                                         .arg(e.unaFila));
        p.sentencias = sentenciasDePiezas();
        p.privilegios << QStringLiteral("SELECT") << QStringLiteral("DELETE");
        pasos << p;
    }
    return pasos;
}

} // namespace Esquema
