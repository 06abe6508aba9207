#pragma once

#include <QObject>
#include <QSqlDatabase>

// Runs "SELECT 1;" every 50 seconds so that the server keeps the session, and reports how long
// each round took.
class KolvasterDBConnKeepAlive : public QObject
{
    Q_OBJECT

public:
    KolvasterDBConnKeepAlive(QSqlDatabase *conexion, qint64 uid, const QString &programa,
                             QObject *parent = nullptr);

    void iniciar();

    static constexpr int intervaloMs = 50000;

public slots:
    void keepAlive();

signals:
    void conexionOK(qint64 msecs);

private:
    QSqlDatabase *conexion;
    qint64 uid;
    QString programa;
};
