#include "kolvasterdbconnkeepalive.h"

#include "db/sesioncifrada.h"
#include "errors/kolvastererrorhandler.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QTimer>

KolvasterDBConnKeepAlive::KolvasterDBConnKeepAlive(QSqlDatabase *conexion, qint64 uid,
                                                   const QString &programa, QObject *parent)
    : QObject(parent), conexion(conexion), uid(uid), programa(programa)
{
}

void KolvasterDBConnKeepAlive::iniciar()
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &KolvasterDBConnKeepAlive::keepAlive);
    timer->start(intervaloMs);
}

void KolvasterDBConnKeepAlive::keepAlive()
{
    if (!conexion->isOpen() && !SesionCifrada::abrir(*conexion)) {
        KolvasterErrorHandler::mostrar(conexion, uid, programa,
                                       QStringLiteral("Database no esta open en keepalive"),
                                       nullptr);
        return;
    }
    const QDateTime inicio = QDateTime::currentDateTime();
    // A failure is deliberately not examined: the next real statement will report it.
    QSqlQuery q;
    q.exec(QStringLiteral("SELECT 1;"));
    emit conexionOK(inicio.msecsTo(QDateTime::currentDateTime()));
}
