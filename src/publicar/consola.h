#pragma once

#include <QString>

// What the tool writes on its terminal: results on standard output, failures and progress bars
// on standard error, so that a script reading the results gets them alone.
namespace Consola {

// "kolvaster-publicar: <line>" on standard error; returns the tool's failure status (2).
int fallar(const QString &linea);
// A failure line as it is printed: one that carries the server's words for a table or column
// the database lacks says instead that the database is not upgraded, and how to upgrade it.
QString sinActualizar(const QString &linea);
// One line of result on standard output, at once.
void decir(const QString &linea);
// A bar drawn over itself: the step, how much of it is done, and what follows the bar (bytes
// or seconds); the line is ended when the step is.
void barra(const QString &etiqueta, double fraccion, const QString &cola, bool fin);

} // namespace Consola
