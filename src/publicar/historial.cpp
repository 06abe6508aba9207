// kolvaster-publicar historial: the record of administrative steps, newest first.

#include "catalogue/lector.h"
#include "conexion.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"

#include <QDate>
#include <QRegularExpression>

using Consola::decir;
using Consola::fallar;

namespace {

// A value of the table as it may be printed: anyone with INSERT on it wrote it, so a terminal's
// control sequences become "?".
QString visible(QString texto)
{
    for (QChar &c : texto)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    return texto;
}

} // namespace

int historialEn(MYSQL *m, const QString &sistema, const QString &programa, const QString &usuario,
                const QDate &desde)
{
    // Each filter through an index: the time's alone, or the program's or the account's with
    // the time. A user is the one who did the step, or the one it was done to (a pilot step
    // names several, comma-separated).
    // Without a program the time's index is the one: read backwards from the newest, it gives
    // the rows in their order, where the server would otherwise sort a whole scan.
    QByteArray sql = "SELECT DATE_FORMAT(cuando, '%Y-%m-%d %H:%i:%s'), cuenta, direccion, paso, "
                     "objeto, resultado FROM registro";
    sql += programa.isEmpty() ? " FORCE INDEX (ix_registro_cuando) WHERE cuando >= ?"
                              : " WHERE cuando >= ?";
    const QByteArray cuenta = (sistema + QLatin1Char('_') + usuario).toUtf8();
    if (!programa.isEmpty())
        sql += " AND objeto = ?";
    else if (!usuario.isEmpty())
        sql += " AND (cuenta = ? OR objeto = ? OR FIND_IN_SET(?, objeto))";
    sql += " ORDER BY cuando DESC, registro_id DESC";
    Lector st(m);
    if (!st.preparar(sql.constData()))
        return fallar(QStringLiteral("no se pudo leer el registro: %1").arg(QString::fromUtf8(st.error())));
    st.texto(desde.isValid() ? desde.toString(Qt::ISODate).toLatin1() : QByteArray("1000-01-01"));
    if (!programa.isEmpty())
        st.texto(programa.toUtf8());
    else if (!usuario.isEmpty())
        st.texto(cuenta).texto(cuenta).texto(cuenta);
    if (!st.ejecutar())
        return fallar(QStringLiteral("no se pudo leer el registro: %1").arg(QString::fromUtf8(st.error())));
    int filas = 0;
    for (int hay; (hay = st.fila()) != 0; ++filas) {
        if (hay < 0)
            return fallar(QStringLiteral("no se pudo leer el registro: %1")
                              .arg(QString::fromUtf8(st.error())));
        auto col = [&](unsigned i) {
            return visible(QString::fromUtf8(st.valor(i).value_or(QByteArray())));
        };
        const QString objeto = col(4), resultado = col(5);
        decir(QStringLiteral("%1 %2 desde %3: %4%5%6")
                  .arg(col(0), col(1), col(2), col(3),
                       objeto.isEmpty() ? QString() : QLatin1Char(' ') + objeto,
                       resultado.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(resultado)));
    }
    if (filas == 0)
        decir(QStringLiteral("no hay pasos registrados"));
    return 0;
}

namespace {

int historial(const Argumentos &a)
{
    const QString programa = a.libres.value(0), usuario = a.valor(QStringLiteral("--usuario"));
    if (!programa.isEmpty() && a.tiene(QStringLiteral("--usuario")))
        return fallar(QStringLiteral("historial toma un PROGRAMA o --usuario NOMBRE, no ambos"));
    static const QRegularExpression corto(QStringLiteral("^[a-z]{1,40}$"));
    if (a.tiene(QStringLiteral("--usuario")) && !corto.match(usuario).hasMatch())
        return fallar(QStringLiteral("\"%1\" no es un nombre de usuario (letras minusculas)").arg(usuario));
    QDate desde;
    if (a.tiene(QStringLiteral("--desde"))) {
        desde = QDate::fromString(a.valor(QStringLiteral("--desde")), QStringLiteral("yyyy-MM-dd"));
        if (!desde.isValid())
            return fallar(QStringLiteral("fecha no valida: %1 (se espera AAAA-MM-DD)")
                              .arg(a.valor(QStringLiteral("--desde"))));
    }
    QString error;
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    return historialEn(m, a.conexion.sistema, programa, usuario, desde);
}

} // namespace

const Orden ordenHistorial{
    "historial", "historial --sistema BASE [PROGRAMA | --usuario NOMBRE] [--desde AAAA-MM-DD]",
    "Lista los pasos de administracion registrados, el mas reciente primero, uno por linea:\n"
    "cuando, la cuenta que lo dio y desde que direccion, el paso, sobre que y lo que hizo.\n"
    "Con PROGRAMA, solo los de ese programa; con --usuario, los que dio ese usuario o que lo\n"
    "nombran; con --desde, los de ese dia en adelante.\n",
    {"--usuario", "--desde"}, {}, true, 0, 1, "historial toma a lo sumo un PROGRAMA", historial};
