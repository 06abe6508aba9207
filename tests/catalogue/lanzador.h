#pragma once

// Starts the real main window for a test, in a session environment of its own, with message
// boxes and exits recorded, and the connection dialog answered as the given user.

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "guion.h"
#include "sesion.h"
#include "testdb.h"

#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class Lanzador : public EntornoSesion
{
public:
    using EntornoSesion::EntornoSesion;

    ~Lanzador() { cerrar(); }

    // Logs in through the connection dialog; "dbadmin" logs in as itself. `despues` answers
    // the modal dialogs that start-up opens later.
    Kolvaster *abrir(const QString &usuario, const QString &clave,
                     const QList<DriverModal::Respuesta> &despues = {})
    {
        cerrar();
        for (const DriverModal::Respuesta &r : despues)
            driver().luego(r);
        ventana = iniciar(usuario, clave);
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
        return home() + QStringLiteral("/Kolvaster/profiles/") + TestDb::base()
               + QLatin1Char('/') + parte;
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

    Guion guion;
    std::unique_ptr<Kolvaster> ventana;
};
