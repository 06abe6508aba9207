#include "entorno.h"

#include <optional>

namespace Entorno {

namespace {
std::optional<QProcessEnvironment> &guardado()
{
    static std::optional<QProcessEnvironment> e;
    return e;
}
} // namespace

void guardar()
{
    if (!guardado())
        guardado() = QProcessEnvironment::systemEnvironment();
}

QProcessEnvironment delLanzador()
{
    return guardado() ? *guardado() : QProcessEnvironment::systemEnvironment();
}

} // namespace Entorno
