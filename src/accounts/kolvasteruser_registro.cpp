// The administration's changes on record, each with its change.

#include "accounts/cuentas.h"
#include "accounts/kolvasteruser.h"
#include "accounts/registrocambios.h"
#include "ui_kolvasteruser.h"

bool KolvasterUser::registrarCambio(const QString &paso, const QString &resultado,
                                    const std::function<bool(QSqlError *)> &cambio)
{
    const QString cuenta = Cuentas::nombreCuenta(*database, cortoSeleccionado());
    QSqlError error;
    const bool hecho =
        cambio ? RegistroCambios::enTransaccion(*database, cambio, paso, cuenta, resultado, &error)
               : RegistroCambios::anotar(*database, paso, cuenta, resultado, &error);
    if (!hecho)
        reportarError(error.text());
    return hecho;
}
