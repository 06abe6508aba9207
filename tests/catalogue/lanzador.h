#pragma once

// Starts the real main window for a test: a home directory of its own with the installation
// folder, a working directory of its own (for "defaults"), message boxes recorded, and the
// connection dialog answered as the given user.

#include "app/kolvaster.h"
#include "app/mensajes.h"
#include "app/salida.h"
#include "modal.h"
#include "testdb.h"

#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class Lanzador
{
public:
    explicit Lanzador(const QString &subdirHome = QStringLiteral("home"))
    {
        home = raiz.path() + QLatin1Char('/') + subdirHome;
        QDir().mkpath(home + QStringLiteral("/Kolvaster"));
        QDir().mkpath(raiz.path() + QStringLiteral("/trabajo"));
        escribir(home + QStringLiteral("/Kolvaster/libeay32.dll"), "crypto");
        escribir(home + QStringLiteral("/Kolvaster/ssleay32.dll"), "ssl");
        qputenv("HOME", QFile::encodeName(home));
        QDir::setCurrent(raiz.path() + QStringLiteral("/trabajo"));
        Mensajes::guionizar(true);
        Mensajes::olvidar();
        interceptarSalida([this](int) { salidas++; });
    }

    ~Lanzador()
    {
        cerrar();
        interceptarSalida({});
    }

    // Logs in through the connection dialog; "dbadmin" logs in as itself. `despues` answers
    // the modal dialogs that start-up opens later.
    Kolvaster *abrir(const QString &usuario, const QString &clave,
                     const QList<DriverModal::Respuesta> &despues = {})
    {
        cerrar();
        driver.luego(DriverModal::conectar(QStringLiteral("127.0.0.1"), TestDb::base(), usuario,
                                           clave));
        for (const DriverModal::Respuesta &r : despues)
            driver.luego(r);
        ventana = std::make_unique<Kolvaster>();
        return ventana.get();
    }

    void cerrar()
    {
        if (ventana)
            ventana->close();
        ventana.reset();
    }

    QString perfil(const QString &parte) const
    {
        return home + QStringLiteral("/Kolvaster/profiles/") + TestDb::base() + QLatin1Char('/')
               + parte;
    }

    QListWidget *lista() const { return ventana->findChild<QListWidget *>("lw_apps"); }

    // Texts of the recorded boxes with the given title.
    static QStringList textos(const QString &titulo)
    {
        QStringList r;
        for (const Mensajes::Mostrado &m : Mensajes::mostrados())
            if (m.titulo == titulo)
                r << m.texto;
        return r;
    }

    static void escribir(const QString &ruta, const QByteArray &contenido)
    {
        QFile f(ruta);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(contenido);
    }

    static QByteArray leer(const QString &ruta)
    {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir raiz;
    QString home;
    DriverModal driver;
    std::unique_ptr<Kolvaster> ventana;
    int salidas = 0;
};
