#include "salida.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::function<void(int)> &interceptor()
{
    static std::function<void(int)> f;
    return f;
}
} // namespace

void finalizarProceso(int estado)
{
    if (interceptor()) {
        interceptor()(estado);
        return;
    }
    std::fflush(nullptr);
    std::exit(estado);
}

void interceptarSalida(std::function<void(int)> f)
{
    interceptor() = std::move(f);
}
