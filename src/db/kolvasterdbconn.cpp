#include "kolvasterdbconn.h"

#include "db/sesioncifrada.h"

KolvasterDBConn::KolvasterDBConn(QSqlDatabase *conexion, QObject *parent)
    : QObject(parent), conexion(conexion)
{
    *conexion = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"),
                                          QLatin1String(QSqlDatabase::defaultConnection));
}

bool KolvasterDBConn::conectar(const QString &database, const QString &host,
                               const QString &usuario, const QString &password,
                               const QString &opciones)
{
    // A session refused by its check was removed with its password: the second attempt
    // registers the default connection anew.
    if (!conexion->isValid())
        *conexion = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"),
                                              QLatin1String(QSqlDatabase::defaultConnection));
    // No port: the client library's default applies.
    conexion->setDatabaseName(database);
    conexion->setHostName(host);
    conexion->setUserName(usuario);
    conexion->setPassword(password);
    conexion->setConnectOptions(opciones);
    // A session asked to travel over TLS that came up in clear counts as a failed attempt.
    return SesionCifrada::abrir(*conexion);
}
