#pragma once

#include <QProcessEnvironment>

// The environment the launcher was given, for the programs it starts.
//
// The launcher itself changes its own environment (the session record's private place becomes
// its TMPDIR, so that Qt's shared-memory keys are made there), and the libraries it loads may
// too. None of that is the programs' business: each one gets exactly what the launcher got.
namespace Entorno {

// Keeps the process environment as it is now: the first thing main() does, before anything
// could change it. Later calls change nothing.
void guardar();

// The environment kept by guardar(); the current one when it never ran (a test that drives
// the launcher's classes in its own process).
QProcessEnvironment delLanzador();

} // namespace Entorno
