#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <functional>

// The user administration's changes on record (table `registro`), each in the transaction of
// the change it records.
namespace RegistroCambios {

// One row: what was changed ("administrador"), whose account, and to what ("si"); never a
// password. False with *error when the row cannot be written.
bool anotar(const QSqlDatabase &db, const QString &paso, const QString &objeto,
            const QString &resultado, QSqlError *error);

// Runs `cambio` (the change's statements; false when one failed, with *error set) and the row
// in one transaction, committed only when all went; rolled back otherwise.
bool enTransaccion(QSqlDatabase db, const std::function<bool(QSqlError *)> &cambio,
                   const QString &paso, const QString &objeto, const QString &resultado,
                   QSqlError *error);

} // namespace RegistroCambios
