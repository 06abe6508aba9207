#include "registrocambios.h"

#include "base/pasosregistro.h"

#include <QSqlQuery>
#include <QVariant>

#include <functional>

namespace RegistroCambios {

bool anotar(const QSqlDatabase &db, const QString &paso, const QString &objeto,
            const QString &resultado, QSqlError *error)
{
    using namespace PasosRegistro;
    QSqlQuery q(db);
    q.prepare(QLatin1String(sqlAnotar));
    q.addBindValue(QString(QStringLiteral("Adm Accesos: ") + paso).left(largoPaso));
    q.addBindValue(objeto.left(largoObjeto));
    q.addBindValue(resultado.left(largoResultado));
    if (q.exec())
        return true;
    *error = q.lastError();
    return false;
}

bool enTransaccion(QSqlDatabase db, const std::function<bool(QSqlError *)> &cambio,
                   const QString &paso, const QString &objeto, const QString &resultado,
                   QSqlError *error)
{
    if (!db.transaction()) {
        *error = db.lastError();
        return false;
    }
    if (!cambio(error) || !anotar(db, paso, objeto, resultado, error)) {
        db.rollback();
        return false;
    }
    if (!db.commit()) {
        *error = db.lastError();
        db.rollback();
        return false;
    }
    return true;
}

} // namespace RegistroCambios
