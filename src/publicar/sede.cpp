// kolvaster-publicar sede: the system's branch offices, each with the networks of its
// workstations and the replica its launchers read the programs' bytes from.

#include "catalogue/lector.h"
#include "catalogue/redes.h"
#include "conexion.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "registro.h"

#include <QRegularExpression>

#include <errmsg.h>
#include <mysqld_error.h>

using Consola::decir;
using Consola::fallar;

namespace {

bool nombreValido(const QString &n)
{
    static const QRegularExpression letras(QStringLiteral("^[a-z0-9_]{1,40}$"));
    return letras.match(n).hasMatch();
}

int listar(MYSQL *m)
{
    Lector st(m);
    if (!st.preparar("SELECT nombre, redes, servidor FROM sede ORDER BY nombre") || !st.ejecutar())
        return fallar(QStringLiteral("no se pudo leer las sedes: %1")
                          .arg(QString::fromUtf8(st.error())));
    int n = 0;
    for (int hay; (hay = st.fila()) != 0; ++n) {
        if (hay < 0)
            return fallar(QStringLiteral("no se pudo leer las sedes: %1")
                              .arg(QString::fromUtf8(st.error())));
        auto texto = [&](unsigned c) {
            return QString::fromUtf8(st.valor(c).value_or(QByteArray()));
        };
        decir(QStringLiteral("%1: redes %2, servidor %3").arg(texto(0), texto(1), texto(2)));
    }
    if (n == 0)
        decir(QStringLiteral("no hay sedes definidas"));
    return 0;
}

// The change and its row in the record of steps are one transaction: both are kept or neither.
int cambiar(MYSQL *m, const char *sql, const QList<QByteArray> &valores, const QString &paso,
            const QString &resultado, const QString &dicho, const QString &sinFila)
{
    if (mysql_autocommit(m, 0) != 0)
        return fallar(QStringLiteral("no se pudo cambiar las sedes: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    Lector st(m);
    for (const QByteArray &v : valores)
        st.texto(v);
    if (!st.preparar(sql) || !st.ejecutar()) {
        if (st.codigo() == ER_DUP_ENTRY)
            return fallar(QStringLiteral("ya hay una sede llamada \"%1\"")
                              .arg(QString::fromUtf8(valores.first())));
        return fallar(QStringLiteral("no se pudo cambiar las sedes: %1")
                          .arg(QString::fromUtf8(st.error())));
    }
    if (mysql_stmt_affected_rows(st.sentencia()) != 1)
        return fallar(sinFila); // the connection's end rolls back
    QString error;
    if (!Registro::anotar(m, paso, QString::fromUtf8(valores.first()), resultado, &error))
        return fallar(error);
    if (mysql_commit(m) != 0)
        return fallar(QStringLiteral("no se pudo cambiar las sedes: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    decir(dicho);
    return 0;
}

int sede(const Argumentos &a)
{
    const bool agregar = a.tiene(QStringLiteral("--agregar"));
    const bool quitar = a.tiene(QStringLiteral("--quitar"));
    const bool datos = a.tiene(QStringLiteral("--red")) || a.tiene(QStringLiteral("--servidor"));
    // Every argument is checked before the server is reached.
    if (agregar && quitar)
        return fallar(QStringLiteral("sede toma --agregar o --quitar, no ambas"));
    if (datos && !agregar)
        return fallar(QStringLiteral("--red y --servidor van con --agregar"));
    const QString nombre = a.valor(agregar ? QStringLiteral("--agregar") : QStringLiteral("--quitar"));
    if ((agregar || quitar) && !nombreValido(nombre))
        return fallar(QStringLiteral("\"%1\" no es un nombre de sede (letras minusculas, digitos "
                                     "y _, hasta 40)")
                          .arg(nombre));
    QList<Redes::Red> redes;
    Redes::Servidor servidor;
    if (agregar) {
        if (!a.tiene(QStringLiteral("--red")) || !a.tiene(QStringLiteral("--servidor")))
            return fallar(QStringLiteral("sede --agregar necesita --red y --servidor"));
        QString error;
        const std::optional<QList<Redes::Red>> r = Redes::leer(a.valor(QStringLiteral("--red")), &error);
        if (!r)
            return fallar(error);
        const std::optional<Redes::Servidor> s =
            Redes::servidor(a.valor(QStringLiteral("--servidor")), &error);
        if (!s)
            return fallar(error);
        redes = *r;
        servidor = *s;
    }

    QString error;
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    if (agregar) {
        const QString red = Redes::texto(redes);
        const QString srv = a.valor(QStringLiteral("--servidor"));
        return cambiar(m, "INSERT INTO sede (nombre, redes, servidor) VALUES (?, ?, ?)",
                       {nombre.toUtf8(), red.toUtf8(), srv.toUtf8()},
                       QStringLiteral("sede --agregar"),
                       QStringLiteral("redes %1, servidor %2").arg(red, srv),
                       QStringLiteral("sede %1 agregada: redes %2, servidor %3").arg(nombre, red, srv),
                       QStringLiteral("no se pudo agregar la sede %1").arg(nombre));
    }
    if (quitar)
        return cambiar(m, "DELETE FROM sede WHERE nombre=?", {nombre.toUtf8()},
                       QStringLiteral("sede --quitar"), QStringLiteral("quitada"),
                       QStringLiteral("sede %1 quitada").arg(nombre),
                       QStringLiteral("no hay una sede llamada \"%1\"").arg(nombre));
    return listar(m);
}

} // namespace

const Orden ordenSede{
    "sede",
    "sede --sistema BASE [--agregar NOMBRE --red CIDR[,CIDR...] --servidor HOST[:PUERTO]] "
    "[--quitar NOMBRE]",
    "Define las sedes del sistema: las redes de sus puestos y la replica de la base en la sede,\n"
    "de la que sus lanzadores leen los programas (el catalogo, los digestos y las firmas se\n"
    "siguen leyendo del servidor principal). Sin --agregar ni --quitar, lista las sedes.\n",
    {"--agregar", "--quitar", "--red", "--servidor"}, {}, true, 0, 0, "sede no toma mas argumentos",
    sede};
