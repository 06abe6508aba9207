#include "sesioncifrada.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

#include <mysql.h>

namespace SesionCifrada {

bool pideCifrado(const QString &opciones)
{
    // Split as the driver splits them: ";" between options, "=" before a value, blanks ignored.
    for (const QString &opcion : opciones.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype igual = opcion.indexOf(QLatin1Char('='));
        if (igual > 0 && opcion.left(igual).simplified().startsWith(QLatin1String("SSL_"))
            && !opcion.mid(igual + 1).simplified().isEmpty())
            return true;
    }
    return false;
}

st_mysql *manejador(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    // Qt names the type after the structure behind the MYSQL typedef.
    if (!h.isValid()
        || (qstrcmp(h.typeName(), "MYSQL*") != 0 && qstrcmp(h.typeName(), "st_mysql*") != 0))
        return nullptr;
    return *static_cast<MYSQL *const *>(h.constData());
}

bool verificar(QSqlDatabase &db, QString *error)
{
    if (!db.isOpen())
        return false;
    if (!pideCifrado(db.connectOptions()))
        return true;
    MYSQL *mysql = manejador(db);
    if (mysql && mysql_get_ssl_cipher(mysql))
        return true;
    db.close();
    if (error)
        *error = QStringLiteral("La conexion con el servidor no esta cifrada (el servidor no "
                                "ofrece TLS); fue cerrada sin usarla.");
    return false;
}

bool abrir(QSqlDatabase &db, QString *error)
{
    if (!db.open()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    return verificar(db, error);
}

} // namespace SesionCifrada
