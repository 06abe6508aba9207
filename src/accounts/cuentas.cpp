#include "cuentas.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlField>

namespace Cuentas {

QString hostDe(bool accesoRemoto)
{
    return accesoRemoto ? QStringLiteral("%") : QStringLiteral("192.168.%");
}

bool cumplePatron(const QString &texto, const QString &patron)
{
    // Anchored at the start only: the match is the longest leading run of allowed characters.
    const QRegularExpression re(patron);
    const QRegularExpressionMatch m =
        re.match(texto, 0, QRegularExpression::NormalMatch,
                 QRegularExpression::AnchorAtOffsetMatchOption);
    return m.hasMatch() && m.capturedLength() == texto.length();
}

QString claveInicial()
{
    static const char caracteres[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString clave;
    for (int i = 0; i < 10; ++i)
        clave += QLatin1Char(caracteres[QRandomGenerator::system()->bounded(
            int(sizeof caracteres - 1))]);
    return clave;
}

QString nombreCorto(const QSqlDatabase &db, const QString &sysuser)
{
    const QString prefijo = db.databaseName() + QLatin1Char('_');
    if (sysuser.startsWith(prefijo))
        return sysuser.mid(prefijo.length());
    const int guion = sysuser.indexOf(QLatin1Char('_'));
    return guion < 0 ? sysuser : sysuser.mid(guion + 1);
}

QString nombreCuenta(const QSqlDatabase &db, const QString &corto)
{
    return db.databaseName() + QLatin1Char('_') + corto;
}

FalloNombre validarNombre(const QString &nombre)
{
    if (nombre.length() < 4)
        return FalloNombre::Corto;
    if (nombre.length() > 8)
        return FalloNombre::Largo;
    if (!cumplePatron(nombre, QStringLiteral("[a-z]*")))
        return FalloNombre::NoSoloLetras;
    return FalloNombre::Ninguno;
}

QString literal(const QSqlDatabase &db, const QString &valor)
{
    QSqlField campo(QString(), QMetaType(QMetaType::QString));
    campo.setValue(valor);
    return db.driver()->formatValue(campo);
}

QString identificador(const QString &nombre)
{
    QString doblado = nombre;
    doblado.replace(QLatin1Char('`'), QStringLiteral("``"));
    return QLatin1Char('`') + doblado + QLatin1Char('`');
}

namespace {
// In the database of a GRANT, "_" and "%" are wildcards: "ventas_sur" would also cover
// "ventas1sur". Escaped, the privileges reach the one database meant.
QString baseLiteral(const QString &base)
{
    QString escapada = base;
    escapada.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escapada.replace(QLatin1Char('_'), QStringLiteral("\\_"));
    escapada.replace(QLatin1Char('%'), QStringLiteral("\\%"));
    return escapada;
}

QString cuentaHost(const QSqlDatabase &db, const QString &cuenta, const QString &host)
{
    return literal(db, cuenta) + QLatin1Char('@') + literal(db, host);
}
} // namespace

QString sentenciaBaja(const QSqlDatabase &db, const QString &cuenta, const QString &host)
{
    return QStringLiteral("DROP USER ") + cuentaHost(db, cuenta, host) + QLatin1Char(';');
}

QList<Sentencia> sentenciasAlta(const QSqlDatabase &db, const QString &cuenta,
                                const QString &host, const QString &clave)
{
    const QString a = cuentaHost(db, cuenta, host);
    return {
        {QStringLiteral("CREATE USER ") + a + QStringLiteral(" IDENTIFIED BY ")
             + literal(db, clave) + QLatin1Char(';'),
         QStringLiteral(" (Create User)")},
        {QStringLiteral("GRANT ALL ON ") + identificador(baseLiteral(db.databaseName()))
             + QStringLiteral(".* TO ") + a + QLatin1Char(';'),
         QStringLiteral(" (Gran All)")},
        {QStringLiteral("GRANT GRANT OPTION ON *.* TO ") + a + QLatin1Char(';'),
         QStringLiteral(" (Grant Grant)")},
        {QStringLiteral("GRANT RELOAD ON *.* TO ") + a + QLatin1Char(';'),
         QStringLiteral(" (Grant Reload)")},
        {QStringLiteral("GRANT SELECT ON mysql.user TO ") + a + QLatin1Char(';'),
         QStringLiteral(" (Grant SELECT on MYSQL.user)")},
        {QStringLiteral("GRANT CREATE USER ON *.* TO ") + a
             + QStringLiteral(" WITH GRANT OPTION;"),
         QStringLiteral(" (Grant CREATE USER)")},
    };
}

QString sentenciaClave(const QSqlDatabase &db, const QString &cuenta, const QString &host,
                       const QString &clave)
{
    return QStringLiteral("ALTER USER ") + cuentaHost(db, cuenta, host)
           + QStringLiteral(" IDENTIFIED BY ") + literal(db, clave) + QLatin1Char(';');
}

} // namespace Cuentas
