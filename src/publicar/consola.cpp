#include "consola.h"

#include <QByteArray>
#include <QRegularExpression>

#include <cstdio>

namespace Consola {

QString sinActualizar(const QString &linea)
{
    // The server's words for a table or column the statement names and the database lacks.
    static const QRegularExpression columna(QStringLiteral("Unknown column '(?:[^'.]*\\.)?([^']*)'"));
    static const QRegularExpression tabla(QStringLiteral("Table '(?:[^'.]*\\.)?([^']*)' doesn't exist"));
    QString falta;
    if (const QRegularExpressionMatch c = columna.match(linea); c.hasMatch())
        falta = QStringLiteral("la columna %1").arg(c.captured(1));
    else if (const QRegularExpressionMatch t = tabla.match(linea); t.hasMatch())
        falta = QStringLiteral("la tabla %1").arg(t.captured(1));
    if (falta.isEmpty())
        return linea;
    return QStringLiteral("la base del sistema no esta actualizada (le falta %1): actualicela con "
                          "kolvaster-publicar esquema --sistema BASE --aplicar")
        .arg(falta.left(80));
}

int fallar(const QString &linea)
{
    std::fprintf(stderr, "kolvaster-publicar: %s\n", sinActualizar(linea).toLocal8Bit().constData());
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
