#include "orden.h"

bool leerArgumentos(const Orden &orden, const QStringList &args, Argumentos *r, QString *error)
{
    for (int i = 0; i < args.size(); ++i) {
        if (orden.conexion && r->conexion.tomar(args, &i, error)) {
            if (!error->isEmpty())
                return false;
            continue;
        }
        const QString &a = args.at(i);
        const QString nombre = a.section(QLatin1Char('='), 0, 0);
        if (orden.conValor.contains(nombre) && a.contains(QLatin1Char('='))) {
            r->valores.insert(nombre, a.section(QLatin1Char('='), 1));
        } else if (orden.conValor.contains(a) && i + 1 < args.size()) {
            r->valores.insert(a, args.at(++i));
        } else if (orden.banderas.contains(a)) {
            r->banderas.insert(a);
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            *error = QStringLiteral("opcion desconocida o sin valor: %1").arg(a);
            return false;
        } else if (orden.libresMaximo == 0) {
            // A subcommand that takes no words names a stray one as it names a stray option.
            *error = QStringLiteral("opcion desconocida o sin valor: %1").arg(a);
            return false;
        } else {
            r->libres << a;
        }
    }
    if (r->libres.size() < orden.libresMinimo || r->libres.size() > orden.libresMaximo) {
        *error = QString::fromUtf8(orden.faltanLibres);
        return false;
    }
    return true;
}
