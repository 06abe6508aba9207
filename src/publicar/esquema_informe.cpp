// The report of what a database lacks of the model, and of what blocks the change.

#include "esquema.h"

#include "consola.h"

namespace Esquema {

using Consola::decir;
using Consola::fallar;

QString mostrar(const QString &v)
{
    QString r = v.left(80);
    for (QChar &c : r)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    return QLatin1Char('"') + r + (v.size() > 80 ? QStringLiteral("...\"") : QStringLiteral("\""));
}

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

int informar(MYSQL *m, const Conexion &c, const Estado &estado, const QList<Paso> &pasos,
             const QStringList &impedimentos)
{
    QString error;
    auto servidor = [&](const QString &que) { return fallar(QStringLiteral("%1: %2").arg(que, error)); };
    int faltas = 0;
    for (const Paso &p : pasos)
        for (const auto &[falta, que] : p.faltas) {
            decir(falta ? QStringLiteral("falta ") + que : que);
            ++faltas;
        }
    for (const QString &d : impedimentos)
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
    faltas += int(impedimentos.size());
    if (faltas == 0) {
        decir(QStringLiteral("la base %1 esta al dia").arg(c.sistema));
        return AlDia;
    }
    decir(QStringLiteral("%1 diferencias; kolvaster-publicar esquema --aplicar las corrige%2")
              .arg(faltas)
              .arg(impedimentos.isEmpty()
                       ? QString()
                       : QStringLiteral(" una vez resueltos los impedimentos")));
    return Pendiente;
}

} // namespace Esquema
