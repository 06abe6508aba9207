#pragma once

// Statements run once: sent to the server in a single round trip, as text with their values
// written by the session's own driver, instead of a prepare and an execute (two trips each,
// which a slow link makes the bulk of a start).

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

class QSqlDriver;
class QSqlQuery;

namespace Sentencia {

// Named placeholders (":uid") and their values, typed as they would be bound: an integer is
// written as a number, a text as a quoted literal, a null QVariant as NULL.
using Valores = QList<std::pair<QString, QVariant>>;

// `sql` with each placeholder outside quotes replaced by its value as the driver writes it, so
// the server runs and logs the same statement the prepared one gives. Nothing when the text
// could be read otherwise by some server: a placeholder without a value, bytes, or a text
// holding a backslash or a NUL (whose escaping depends on the server's sql_mode).
std::optional<QString> texto(const QSqlDriver *driver, const QString &sql, const Valores &valores);

// Runs `sql` on `q`'s connection: in one trip when texto() can write it, otherwise prepared and
// executed as before. The query's result, position and error are what exec() leaves.
bool ejecutar(QSqlQuery &q, const QString &sql, const Valores &valores = {});

// Several statements, each with its values, in one trip (the driver opens every session able
// to take several statements in one text). On return the first one's result is current, and
// QSqlQuery::nextResult() moves to the next one's, false with the error of a statement that
// failed. Nothing is sent when one of them cannot be written as text: the caller then runs
// them one by one.
std::optional<bool> ejecutarJuntas(QSqlQuery &q,
                                   const QList<std::pair<QString, Valores>> &sentencias);

} // namespace Sentencia
