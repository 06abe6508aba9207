#include "notificador.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

namespace Notificador {
namespace {

QByteArray pedir(const QString &ruta)
{
    QNetworkAccessManager red;
    const QUrl url(QStringLiteral("http://") + qEnvironmentVariable("KOLVASTER_TEST_HTTP") + ruta);
    QNetworkReply *r = red.get(QNetworkRequest(url));
    QEventLoop bucle;
    QObject::connect(r, &QNetworkReply::finished, &bucle, &QEventLoop::quit);
    bucle.exec();
    if (r->error() != QNetworkReply::NoError)
        qFatal("notifier stand-in unreachable: %s", qPrintable(r->errorString()));
    const QByteArray cuerpo = r->readAll();
    delete r;
    return cuerpo;
}

} // namespace

void reiniciar()
{
    pedir(QStringLiteral("/control/reset"));
}

void responderCon(int codigo)
{
    pedir(QStringLiteral("/control/status/%1").arg(codigo));
}

void demorar(int ms)
{
    pedir(QStringLiteral("/control/delay/%1").arg(ms));
}

QList<QJsonObject> pedidos()
{
    QList<QJsonObject> lista;
    for (const QByteArray &linea : pedir(QStringLiteral("/control/requests")).split('\n'))
        if (!linea.isEmpty())
            lista.append(QJsonDocument::fromJson(linea).object());
    return lista;
}

} // namespace Notificador
