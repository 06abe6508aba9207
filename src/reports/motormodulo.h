#pragma once

#include <QStringList>

// Where the launcher finds its report engine (kolvastermotorreportes.h): the module file,
// looked for in the installation's module folder beside the launcher's own and then in the
// launcher's folder itself (a build tree), never in the working directory.
namespace MotorModulo {

QString nombreArchivo();
QStringList carpetas();
// Replaces the folders (for programs run from elsewhere in a build tree, and tests); takes
// effect until the engine has been loaded.
void fijarCarpetas(const QStringList &carpetas);

} // namespace MotorModulo
