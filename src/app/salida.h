#pragma once

#include <functional>

// Ends the process with the given status, without running destructors (the program's exit
// paths deliberately skip the main window's shut-down). A test may install an interceptor: the
// call then only reports the status and returns, so every caller must return right after it.
void finalizarProceso(int estado);

// Installs the interceptor; an empty function restores the real exit.
void interceptarSalida(std::function<void(int)> interceptor);
