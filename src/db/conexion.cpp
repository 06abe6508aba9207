// The main window's connection procedure: from what the user types to an open session.

#include "app/kolvaster.h"
#include "base/kolvasterprocessdialog.h"
#include "base/mensajes.h"
#include "db/kolvasterconndialog.h"
#include "db/kolvasterdbconn.h"
#include "db/predeterminados.h"

#include <QCoreApplication>

void Kolvaster::leerPredeterminados(QString *host, QString *sistema, QString *usuario)
{
    Predeterminados::leer(QString::fromLatin1(Predeterminados::archivo), host, sistema, usuario);
}

bool Kolvaster::conectarBase()
{
    QString host, sistema, usuario, password, opciones;
    bool recordar = false;
    leerPredeterminados(&host, &sistema, &usuario);

    KolvasterConnDialog dialogo(&host, &sistema, &usuario, &password, &opciones, &recordar, this);
    if (dialogo.exec() == QDialog::Rejected) {
        // Rejection has ended the process; only a test that intercepts the exit gets here.
        finalizado = true;
        return false;
    }

    KolvasterProcessDialog espera(QStringLiteral("Conectando a servidor:"), host, this);
    espera.show();
    QCoreApplication::processEvents();

    KolvasterDBConn conexion(&db, this);
    bool abierta = conexion.conectar(sistema, host, Predeterminados::nombreCuenta(sistema, usuario),
                                     password, opciones);
    if (!abierta) {
        espera.hide();
        Mensajes::advertencia(
            this, QStringLiteral("Error en conexion!"),
            QStringLiteral("No se pudo establecer conexion segun los datos ingresados!<br><br>"
                           "                              A continuacion se le pedira reingrese "
                           "TODOS los datos<br>                              de conexion. Preste "
                           "atencion a cada cuadro y complete<br>                              "
                           "cuidadosamente (respetando mayusculas / minusculas)."));
        if (dialogo.exec() == QDialog::Rejected) {
            finalizado = true;
            return false;
        }
        espera.setDetalle(QStringLiteral("Conectando a servidor:"), host);
        espera.show();
        QCoreApplication::processEvents();
        abierta = conexion.conectar(sistema, host,
                                    Predeterminados::nombreCuenta(sistema, usuario), password,
                                    opciones);
        if (!abierta) {
            Mensajes::advertencia(
                this, QStringLiteral("Error de conexion!"),
                QStringLiteral("No se pudo establecer conexion ! Los datos ingresados<br>"
                               "                                  son incorrectos o el servidor "
                               "no esta disponible!"));
            return false;
        }
    }

    if (recordar)
        Predeterminados::guardar(QString::fromLatin1(Predeterminados::archivo), host, sistema,
                                 usuario);
    return true;
}
