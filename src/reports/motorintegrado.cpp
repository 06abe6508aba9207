// The engine built into the library for the suite's programs: they link the web engine
// themselves, as they always did, so nothing is loaded at run time.
#include "kolvastermotorreportes.h"
#include "visor/motorweb.h"

KolvasterMotorReportes *kolvasterMotorReportes(QString *)
{
    static MotorWeb motor;
    return &motor;
}
