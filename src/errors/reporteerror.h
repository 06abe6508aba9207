#pragma once

#include <QString>
#include <QUrl>

class QSqlDatabase;

// The plain-text error report and the notifier request that carries it.
namespace ReporteError {

// The five lines: user, program, error detail, the connection's last error, schema. The user
// is looked up by identifier on the default connection; 0 means not yet identified.
QString componer(const QSqlDatabase &conexion, qint64 uid, const QString &programa,
                 const QString &error);

// http://<notifier host>/notifier/notifier.php?authkey=...&mensaje=<report>, with the report
// fully percent-encoded so that "&", "#", "+" or "=" inside it reach the notifier unharmed.
QUrl url(const QString &reporte);

} // namespace ReporteError
