#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// What the administration of users and their MySQL accounts needs without any widget: the
// naming and input rules, and the account statements assembled as text (the server does not
// take placeholders in them).
namespace Cuentas {

// A new user's first password: 10 letters and digits drawn from the system's cryptographic
// random source, so that no account starts with a password anyone could know beforehand.
QString claveInicial();

// Host patterns of an account: any host, or the local 192.168.x.x network only.
QString hostDe(bool accesoRemoto);

// True when a leading run of the one-character-class pattern covers the whole text, the way
// every input rule of the system is checked ("[A-Za-z_0-9]*", "[a-z]*", ...).
bool cumplePatron(const QString &texto, const QString &patron);

// Short name and account name: the account is the database name, "_" and the short name.
// The short name is what follows the connection's database name and "_"; a value without that
// prefix (made by hand, or from another database) falls back to what follows its first "_".
QString nombreCorto(const QSqlDatabase &db, const QString &sysuser);
QString nombreCuenta(const QSqlDatabase &db, const QString &corto);

enum class FalloNombre { Ninguno, Corto, Largo, NoSoloLetras };
// A short name, already trimmed and lower-cased: 4 to 8 letters a-z.
FalloNombre validarNombre(const QString &nombre);

// Quoting for the text of account statements. A literal goes through the driver's own string
// escaping; an identifier is backquoted with embedded backquotes doubled.
QString literal(const QSqlDatabase &db, const QString &valor);
QString identificador(const QString &nombre);

struct Sentencia {
    QString sql;
    QString etiqueta; // appended to the server's error text when the statement fails
};

QString sentenciaBaja(const QSqlDatabase &db, const QString &cuenta, const QString &host);
// The account and the six privileges every user with system access receives, in order.
QList<Sentencia> sentenciasAlta(const QSqlDatabase &db, const QString &cuenta,
                                const QString &host, const QString &clave);
QString sentenciaClave(const QSqlDatabase &db, const QString &cuenta, const QString &host,
                       const QString &clave);

} // namespace Cuentas
