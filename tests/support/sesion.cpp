#include "sesion.h"

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "testdb.h"

#include <QDir>
#include <QFile>

void prepararInstalacion(const QString &home)
{
    QDir().mkpath(home + QStringLiteral("/Kolvaster"));
    for (const char *lib : {"libeay32.dll", "ssleay32.dll"}) {
        QFile f(home + QStringLiteral("/Kolvaster/") + QLatin1String(lib));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray("biblioteca ") + lib);
    }
}

QString prepararBanco(const QString &raiz)
{
    const QString home = raiz + QStringLiteral("/home");
    prepararInstalacion(home);
    qputenv("HOME", QFile::encodeName(home));
    QDir::setCurrent(raiz);
    Mensajes::guionizar(true);
    return home;
}

EntornoSesion::EntornoSesion(const QString &nombreHome)
    : casa(raiz.path() + QLatin1Char('/') + nombreHome)
{
    prepararInstalacion(casa);
    QDir().mkpath(trabajo());
    homeAnterior = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(casa));
    dirAnterior = QDir::currentPath();
    QDir::setCurrent(trabajo());
}

EntornoSesion::~EntornoSesion()
{
    QDir::setCurrent(dirAnterior);
    qputenv("HOME", homeAnterior);
}

std::unique_ptr<Kolvaster> EntornoSesion::iniciar(const QString &usuario, const QString &clave)
{
    conductor.antes(DriverModal::conectar(QStringLiteral("127.0.0.1"), TestDb::base(), usuario,
                                          clave));
    return std::make_unique<Kolvaster>();
}
