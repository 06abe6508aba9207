#pragma once

// From here on SIGTERM, SIGHUP and SIGINT end the session as closing its main window does
// (Kolvaster::terminarPorSenal), from the event loop of the GUI thread, whatever modal dialog
// is open; before the main window exists they end the process at once. The handler itself
// only writes a byte to a pipe that the event loop watches. No effect where there are no such
// signals.
void atenderSenales();
