// The launcher's search for its report engine as it runs outside the tests, for tst_visor: a
// program of the launcher's code alone, without the tests' fixed folder (tests/support's
// modulos.cpp is not in it).
//   ayudante_modulo     prints "motor 1" when the engine was loaded, else "motor 0 <why>"
#include "reports/kolvastermotorreportes.h"

#include <QApplication>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QString motivo;
    const bool cargado = kolvasterMotorReportes(&motivo) != nullptr;
    std::printf("motor %d %s\n", cargado ? 1 : 0, qPrintable(motivo));
    return 0;
}
