#pragma once

#include <QObject>
#include <QSqlDatabase>

// Registers the session's connection as Qt's default "QMYSQL" connection and opens it.
class KolvasterDBConn : public QObject
{
    Q_OBJECT

public:
    KolvasterDBConn(QSqlDatabase *conexion, QObject *parent = nullptr);

    bool conectar(const QString &database, const QString &host, const QString &usuario,
                  const QString &password, const QString &opciones);

private:
    QSqlDatabase *conexion;
};
