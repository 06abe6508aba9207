// kolvaster-publicar piloto: the system's pilot group.

#include "catalogue/lector.h"
#include "catalogue/versiones.h"
#include "conexion.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"
#include "registro.h"

#include <QRegularExpression>

using Consola::decir;
using Consola::fallar;

namespace {

// A short name as the connection dialog takes it: lower-case letters.
bool nombreValido(const QString &u)
{
    static const QRegularExpression letras(QStringLiteral("^[a-z]{1,40}$"));
    return letras.match(u).hasMatch();
}

} // namespace

std::optional<QStringList> nombresPiloto(const QString &lista, QString *error)
{
    QStringList r;
    for (const QString &u : lista.split(QLatin1Char(','))) {
        const QString t = u.trimmed();
        if (!nombreValido(t)) {
            *error = QStringLiteral("\"%1\" no es un nombre de usuario (letras minusculas)").arg(t);
            return std::nullopt;
        }
        if (!r.contains(t))
            r << t;
    }
    return r;
}

int pilotoEn(MYSQL *m, const QString &sistema, const QStringList &agregar,
             const QStringList &quitar)
{
    auto fallaServidor = [&](const Lector &st) {
        return fallar(QStringLiteral("no se pudo cambiar el grupo piloto: %1")
                          .arg(QString::fromUtf8(st.error())));
    };
    if (mysql_query(m, "START TRANSACTION") != 0)
        return fallar(QStringLiteral("no se pudo iniciar la transaccion: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    // Every name is checked, its row locked, before anything is written.
    QList<std::pair<long long, bool>> cambios;
    for (const auto &[nombres, valor] : {std::pair{agregar, true}, std::pair{quitar, false}}) {
        for (const QString &u : nombres) {
            const QByteArray cuenta = (sistema + QLatin1Char('_') + u).toUtf8();
            Lector st(m);
            if (!st.preparar("SELECT sysuser_id FROM sysuser WHERE sysuser=? FOR UPDATE")
                || !st.texto(cuenta).ejecutar())
                return fallaServidor(st);
            const int hay = st.fila();
            if (hay < 0)
                return fallaServidor(st);
            if (hay == 1) {
                cambios.append({st.numero(0), valor});
                continue;
            }
            // The same short name under another system's prefix is someone else's user.
            Lector otro(m);
            if (!otro.preparar("SELECT sysuser FROM sysuser WHERE sysuser LIKE ? AND sysuser!=? "
                               "ORDER BY sysuser LIMIT 1")
                || !otro.texto(("%\\_" + u).toUtf8()).texto(cuenta).ejecutar())
                return fallaServidor(otro);
            if (otro.fila() == 1)
                return fallar(QStringLiteral("%1 es un usuario de otro sistema (%2), no de %3")
                                  .arg(u, QString::fromUtf8(otro.valor(0).value_or(QByteArray())),
                                       sistema));
            return fallar(QStringLiteral("no existe el usuario %1 en %2").arg(u, sistema));
        }
    }
    for (const auto &[id, valor] : cambios) {
        Lector st(m);
        if (!st.preparar("UPDATE sysuser SET piloto=? WHERE sysuser_id=?")
            || !st.entero(valor ? 1 : 0).entero(id).ejecutar())
            return fallaServidor(st);
    }
    // One row per option given: the step as typed, and whom it named (by account).
    auto cuentas = [&](const QStringList &cortos) {
        QStringList r;
        for (const QString &u : cortos)
            r << sistema + QLatin1Char('_') + u;
        return r.join(QLatin1Char(','));
    };
    QString error;
    if ((!agregar.isEmpty()
         && !Registro::anotar(m, QStringLiteral("piloto --agregar"), cuentas(agregar),
                              QStringLiteral("en el grupo piloto"), &error))
        || (!quitar.isEmpty()
            && !Registro::anotar(m, QStringLiteral("piloto --quitar"), cuentas(quitar),
                                 QStringLiteral("fuera del grupo piloto"), &error)))
        return fallar(error);
    if (mysql_commit(m))
        return fallar(QStringLiteral("no se pudo confirmar: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    Lector st(m);
    if (!st.preparar(Versiones::sqlGrupo) || !st.ejecutar())
        return fallaServidor(st);
    QStringList grupo;
    for (int hay; (hay = st.fila()) > 0;)
        grupo << Versiones::corto(QString::fromUtf8(st.valor(0).value_or(QByteArray())));
    decir(QStringLiteral("grupo piloto de %1: %2")
              .arg(sistema, grupo.isEmpty() ? QStringLiteral("vacio")
                                            : grupo.join(QStringLiteral(", "))));
    return 0;
}

namespace {

int piloto(const Argumentos &a)
{
    QString error;
    QStringList agregar, quitar;
    for (const auto &[opcion, destino] : {std::pair{"--agregar", &agregar}, std::pair{"--quitar", &quitar}})
        if (a.tiene(QLatin1String(opcion))) {
            const std::optional<QStringList> n = nombresPiloto(a.valor(QLatin1String(opcion)), &error);
            if (!n)
                return fallar(error);
            *destino = *n;
        }
    for (const QString &u : std::as_const(agregar))
        if (quitar.contains(u))
            return fallar(QStringLiteral("%1 no puede agregarse y quitarse a la vez").arg(u));
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    return pilotoEn(m, a.conexion.sistema, agregar, quitar);
}

} // namespace

const Orden ordenPiloto{
    "piloto", "piloto --sistema BASE [--agregar U[,U...]] [--quitar U[,U...]]",
    "Agrega al grupo piloto del sistema o quita de el a los usuarios dados por su nombre corto\n"
    "(el que se escribe al conectarse), en una sola transaccion; sin opciones, muestra el grupo.\n"
    "Los usuarios del grupo instalan la version piloto de un programa mientras este publicada.\n",
    {"--agregar", "--quitar"}, {}, true, 0, 0, "piloto no toma mas argumentos", piloto};
