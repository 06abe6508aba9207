#include "consola.h"

#include <QByteArray>

#include <cstdio>

namespace Consola {

int fallar(const QString &linea)
{
    std::fprintf(stderr, "kolvaster-publicar: %s\n", linea.toLocal8Bit().constData());
    return 2;
}

void decir(const QString &linea)
{
    std::fprintf(stdout, "%s\n", linea.toLocal8Bit().constData());
    std::fflush(stdout);
}

void barra(const QString &etiqueta, double fraccion, const QString &cola, bool fin)
{
    const double f = qBound(0.0, fraccion, 1.0);
    const int ancho = 30, lleno = int(ancho * f);
    std::fprintf(stderr, "\r%-28s [%s%s] %3d%% %s", etiqueta.left(28).toLocal8Bit().constData(),
                 QByteArray(lleno, '#').constData(), QByteArray(ancho - lleno, '.').constData(),
                 int(100 * f), cola.toLocal8Bit().constData());
    if (fin)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace Consola
