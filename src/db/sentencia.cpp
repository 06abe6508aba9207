#include "sentencia.h"

#include <QSqlDriver>
#include <QSqlField>
#include <QSqlQuery>

#include <algorithm>

namespace {

// What Qt takes for a placeholder's name when it rewrites named placeholders for the driver.
bool caracterDeNombre(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

} // namespace

namespace Sentencia {

std::optional<QString> texto(const QSqlDriver *driver, const QString &sql, const Valores &valores)
{
    QString r;
    r.reserve(sql.size() + 32);
    QChar comilla; // the quote of the literal or identifier being copied, if any
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        if (!comilla.isNull()) {
            r += c;
            if (c == QLatin1Char('\\') && comilla != QLatin1Char('`') && i + 1 < n)
                r += sql.at(++i);
            else if (c == comilla)
                comilla = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`')) {
            comilla = c;
            r += c;
            continue;
        }
        if (c != QLatin1Char(':') || i + 1 >= n || !caracterDeNombre(sql.at(i + 1))
            || (i > 0 && sql.at(i - 1) == QLatin1Char(':'))) {
            r += c;
            continue;
        }
        qsizetype fin = i + 1;
        while (fin < n && caracterDeNombre(sql.at(fin)))
            ++fin;
        const QString nombre = sql.mid(i, fin - i);
        auto v = std::find_if(valores.begin(), valores.end(),
                              [&](const auto &par) { return par.first == nombre; });
        if (v == valores.end())
            return std::nullopt;
        const QVariant &valor = v->second;
        if (!valor.isNull() && valor.metaType().id() == QMetaType::QByteArray)
            return std::nullopt; // bytes are bound as they are, never written as text
        if (!valor.isNull() && valor.metaType().id() == QMetaType::QString) {
            const QString s = valor.toString();
            if (s.contains(QLatin1Char('\\')) || s.contains(QChar(0)))
                return std::nullopt;
        }
        QSqlField campo(QString(), valor.metaType());
        campo.setValue(valor);
        r += driver->formatValue(campo);
        i = fin - 1;
    }
    return r;
}

bool ejecutar(QSqlQuery &q, const QString &sql, const Valores &valores)
{
    if (const std::optional<QString> t = texto(q.driver(), sql, valores))
        return q.exec(*t);
    if (!q.prepare(sql))
        return false;
    for (const auto &[nombre, valor] : valores)
        q.bindValue(nombre, valor);
    return q.exec();
}

std::optional<bool> ejecutarJuntas(QSqlQuery &q,
                                   const QList<std::pair<QString, Valores>> &sentencias)
{
    QString juntas;
    for (const auto &[sql, valores] : sentencias) {
        const std::optional<QString> t = texto(q.driver(), sql, valores);
        if (!t)
            return std::nullopt;
        juntas += *t;
        if (!t->trimmed().endsWith(QLatin1Char(';')))
            juntas += QLatin1Char(';');
        juntas += QLatin1Char('\n');
    }
    return q.exec(juntas);
}

} // namespace Sentencia
