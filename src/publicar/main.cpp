// kolvaster-publicar: the publisher's tool. One subcommand per file (orden.h); this file only
// picks the subcommand and prints the help.
//
// Every failure is one line on the standard error and a non-zero status, with nothing written.

#include "consola.h"
#include "orden.h"

#include <QStringList>

#include <cstdio>
#include <sodium.h>

namespace {

const Orden *const ordenes[] = {&ordenClave,    &ordenSubir,    &ordenPiloto,
                                &ordenPromover, &ordenRetirar, &ordenVolver,
                                &ordenEstado,   &ordenHistorial, &ordenVerificar,
                                &ordenEsquema,  &ordenSede};

const char opcionesConexion[] =
    "opciones de conexion, como el cliente mariadb: --host, --port, --user, --password,\n"
    "--socket, --ssl-ca, --no-defaults, --defaults-file, --defaults-extra-file\n";

QByteArray uso()
{
    QByteArray texto;
    for (const Orden *o : ordenes)
        texto += (texto.isEmpty() ? "uso: " : "     ") + QByteArray("kolvaster-publicar ") + o->uso
                 + '\n';
    return texto + opcionesConexion
           + "kolvaster-publicar ORDEN --help explica cada orden\n";
}

QByteArray ayuda(const Orden &o)
{
    return "uso: kolvaster-publicar " + QByteArray(o.uso) + "\n\n" + o.ayuda
           + (o.conexion ? QByteArray("\n") + opcionesConexion : QByteArray());
}

} // namespace

int main(int argc, char **argv)
{
    if (sodium_init() < 0)
        return Consola::fallar(QStringLiteral("no se pudo iniciar libsodium"));
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty() || args.first() == QLatin1String("--help")) {
        std::fputs(uso().constData(), args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    const QString nombre = args.takeFirst();
    for (const Orden *o : ordenes) {
        if (nombre != QLatin1String(o->nombre))
            continue;
        if (args.value(0) == QLatin1String("--help")) {
            std::fputs(ayuda(*o).constData(), stdout);
            return 0;
        }
        Argumentos a;
        QString error;
        if (!leerArgumentos(*o, args, &a, &error))
            return Consola::fallar(error);
        return o->correr(a);
    }
    std::fputs(uso().constData(), stderr);
    return Consola::fallar(QStringLiteral("orden desconocida: %1").arg(nombre));
}
