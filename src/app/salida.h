#pragma once

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

// From here on SIGTERM, SIGHUP and SIGINT end the session as closing its main window does
// (Kolvaster::terminarPorSenal), from the event loop of the GUI thread, whatever modal dialog
// is open; before the main window exists they end the process at once. The handler itself
// only writes a byte to a pipe that the event loop watches. No effect where there are no such
// signals.
void atenderSenales();
