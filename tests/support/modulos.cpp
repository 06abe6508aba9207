// Compiled into every program of the tests: they run from folders of the build tree other than
// the launcher's, so they look for the report engine's module where the build puts it.
#include "reports/motormodulo.h"

namespace {

const bool carpetaDePrueba = [] {
    MotorModulo::fijarCarpetas({QStringLiteral(KOLVASTER_MODULO_PRUEBA)});
    return true;
}();

} // namespace
