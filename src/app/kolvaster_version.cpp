// The version gate: the database names the one launcher version that may use it.

#include "base/constantes.h"
#include "app/kolvaster.h"
#include "db/sentencia.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

QString Kolvaster::verificarVersion()
{
    QSqlQuery q;
    if (!Sentencia::ejecutar(q, QStringLiteral("SELECT versionlauncher FROM kolvaster;"))) {
        reportarError(q.lastError().text());
        return QString();
    }
    if (!q.next()) {
        reportarError(QStringLiteral("Sin registros al obtener version!"));
        return QString();
    }
    // Exact text: versions have no order, any other text (older or newer) stops the launcher.
    const QString requerida = q.value(0).toString();
    if (requerida == QLatin1String(KOLVASTER_VERSION))
        return QString();
    return requerida;
}
