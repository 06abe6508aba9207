// kolvaster-publicar estado: who runs what.

#include "catalogue/lector.h"
#include "catalogue/versiones.h"
#include "conexion.h"
#include "consola.h"
#include "orden.h"
#include "pasos.h"

#include <QHash>

using Consola::decir;
using Consola::fallar;

namespace {

std::optional<qint64> numero(Lector &st, unsigned columna)
{
    return st.nulo(columna) ? std::nullopt : std::optional<qint64>(st.numero(columna));
}

QString texto(Lector &st, unsigned columna)
{
    return st.nulo(columna) ? QString() : QString::fromUtf8(st.valor(columna).value_or(QByteArray()));
}

} // namespace

int estadoEn(MYSQL *m, const QString &nombre)
{
    const QByteArray n = nombre.toUtf8();
    QList<Versiones::Programa> programas;
    QHash<qint64, qsizetype> indice;
    QStringList grupo;
    auto falla = [&](const Lector &st) {
        return fallar(QStringLiteral("no se pudo leer las versiones: %1")
                          .arg(QString::fromUtf8(st.error())));
    };
    {
        Lector st(m);
        if (!st.preparar(Versiones::sqlProgramas) || !st.texto(n).texto(n).ejecutar())
            return falla(st);
        for (int hay; (hay = st.fila()) != 0;) {
            if (hay < 0)
                return falla(st);
            Versiones::Programa p;
            p.appId = st.numero(0);
            p.nombre = texto(st, 1);
            p.general = numero(st, 2);
            p.generalFirmado = Versiones::hora(texto(st, 3));
            p.piloto = numero(st, 4);
            p.pilotoFirmado = Versiones::hora(texto(st, 5));
            p.anterior = numero(st, 6);
            indice.insert(p.appId, programas.size());
            programas.append(p);
        }
    }
    if (!nombre.isEmpty() && programas.isEmpty())
        return fallar(QStringLiteral("no hay un programa llamado \"%1\"").arg(nombre));
    {
        Lector st(m);
        if (!st.preparar(Versiones::sqlUsuarios) || !st.texto(n).texto(n).ejecutar())
            return falla(st);
        for (int hay; (hay = st.fila()) != 0;) {
            if (hay < 0)
                return falla(st);
            const auto i = indice.constFind(st.numero(0));
            if (i == indice.cend())
                continue;
            Versiones::Usuario u;
            u.cuenta = texto(st, 1);
            u.piloto = st.numero(2) != 0;
            u.version = numero(st, 3);
            u.cuando = Versiones::hora(texto(st, 4));
            programas[*i].usuarios.append(u);
        }
    }
    {
        Lector st(m);
        if (!st.preparar(Versiones::sqlFallos) || !st.texto(n).texto(n).ejecutar())
            return falla(st);
        QList<Versiones::FalloDe> fallos;
        for (int hay; (hay = st.fila()) != 0;) {
            if (hay < 0)
                return falla(st);
            Versiones::FalloDe f;
            f.appId = st.numero(0);
            f.cuenta = texto(st, 1);
            f.fallo.version = st.numero(2);
            f.fallo.causa = texto(st, 3);
            f.fallo.cuando = Versiones::hora(texto(st, 4));
            fallos.append(f);
        }
        Versiones::agregarFallos(programas, indice, fallos);
    }
    {
        Lector st(m);
        if (!st.preparar(Versiones::sqlGrupo) || !st.ejecutar())
            return falla(st);
        for (int hay; (hay = st.fila()) != 0;) {
            if (hay < 0)
                return falla(st);
            grupo << texto(st, 0);
        }
    }
    for (const QString &l : Versiones::lineas(programas, grupo))
        decir(l);
    return 0;
}

namespace {

int estado(const Argumentos &a)
{
    QString error;
    MYSQL *m = a.conexion.conectar(&error);
    if (!m)
        return fallar(error);
    Cierre cierre{m};
    return estadoEn(m, a.libres.value(0));
}

} // namespace

const Orden ordenEstado{
    "estado", "estado --sistema BASE [NOMBRE]",
    "Muestra por programa la version general, la piloto con su grupo y la guardada para volver,\n"
    "y por cada usuario con acceso la ultima version que inicio y cuando, y la actualizacion\n"
    "que no pudo hacer desde la ultima lograda, con su causa; al final, un resumen.\n",
    {}, {}, true, 0, 1, "estado toma a lo sumo un NOMBRE", estado};
