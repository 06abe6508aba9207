#pragma once

// Part of the floor below every subsystem (src/base): the exit seam, used by the launcher and
// by the suite's libraries alike.

#include <functional>

class QSharedMemory;

// Ends the process with the given status, without running destructors (the program's exit
// paths deliberately skip the main window's shut-down). The shared-memory segments handed to
// liberarAlFinalizar are let go of first, since nothing else would. A test may install an
// interceptor: the call then only reports the status and returns, so every caller must return
// right after it.
void finalizarProceso(int estado);

// Installs the interceptor; an empty function restores the real exit.
void interceptarSalida(std::function<void(int)> interceptor);

// Registers a segment this process created, to be released by finalizarProceso. A System V
// segment that nobody detached outlives the process, and a reader started later would still
// find the old session in it. A segment destroyed in the meantime is simply skipped.
void liberarAlFinalizar(QSharedMemory *segmento);
