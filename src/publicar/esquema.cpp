// kolvaster-publicar esquema: the subcommand (esquema.h says how the work is divided).

#include "esquema.h"

#include "consola.h"
#include "orden.h"

namespace {

using namespace Esquema;
using Consola::fallar;

int esquema(const Argumentos &a)
{
    const Conexion &c = a.conexion;
    QString error;
    MYSQL *m = c.conectar(&error);
    if (!m)
        return fallar(error);
    struct Cierre {
        MYSQL *m = nullptr;
        ~Cierre() { if (m) mysql_close(m); }
    } cierre{m};
    auto servidor = [&](const QString &que) { return fallar(QStringLiteral("%1: %2").arg(que, error)); };

    Estado estado;
    if (!estado.leer(m, &error))
        return servidor(QStringLiteral("no se pudo leer el esquema"));
    for (const Disparador &d : disparadores) {
        Paso ver;
        ver.tabla = QLatin1String(d.tabla);
        ver.privilegios << QStringLiteral("TRIGGER");
        const std::optional<QStringList> falta = estado.tablas.contains(ver.tabla)
                                                     ? privilegiosQueFaltan(m, {ver}, c.sistema, &error)
                                                     : QStringList();
        if (!falta)
            return servidor(QStringLiteral("no se pudieron leer los privilegios de la cuenta"));
        if (!falta->isEmpty())
            estado.disparadoresOcultos.insert(ver.tabla);
    }
    const QList<Paso> pasos = planificar(estado);
    std::optional<QStringList> dups = duplicados(m, estado, pasos, &error);
    if (!dups)
        return servidor(QStringLiteral("no se pudieron buscar duplicados"));
    const QStringList impedimentos = columnasSinClave(estado, pasos) + *dups;
    return a.tiene(QStringLiteral("--aplicar")) ? aplicar(m, c, estado, pasos, impedimentos)
                                                : informar(m, c, estado, pasos, impedimentos);
}

} // namespace

const Orden ordenEsquema{
    "esquema", "esquema --sistema BASE [--aplicar]",
    "Compara la base del sistema con las tablas que el lanzador y la herramienta esperan y\n"
    "muestra lo que falta o no corresponde, una linea cada cosa; con --aplicar lo agrega sin\n"
    "perder filas, o no cambia nada si algo lo impide (duplicados, privilegios). Sale con 0\n"
    "cuando la base esta (ahora) al dia, con 1 cuando falta algo o algo lo impide.\n",
    {}, {"--aplicar"}, true, 0, 0, "", esquema};
