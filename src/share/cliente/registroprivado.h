#pragma once

#include <QString>

// Where the shared session record lives on a system whose QSharedMemory keys are machine-wide.
//
// Qt derives a key's System V identity from a file in QDir::tempPath(). Left there, one
// person's record would be every person's: the second person's launcher on a database could
// not publish, and a program could read another person's password. The record is therefore
// kept in a directory of the operating-system user's own, "kolvaster-<uid>" in the temporary
// directory (mode 0700, owned by the user), which becomes the process's TMPDIR. Programs the
// launcher starts inherit it; a program started by hand gets it from the reader library, or
// from TMPDIR set by whoever starts it. Keys, record and QSharedMemory stay as they are.
//
// On Windows shared memory is private to the logon session already: nothing to do there.
namespace RegistroPrivado {

// The user's directory for the record, derived from the current temporary directory: that
// directory itself when it already is the user's ("…/kolvaster-<uid>"), else inside it.
QString directorio();

// The writer's side: creates the directory if missing, makes sure it is a directory of this
// user's that nobody else can enter, and points TMPDIR at it. False when it cannot be made so
// (someone else's, a link, open to others): no record may then be published.
bool preparar();

// The reader's side: points TMPDIR at the user's directory when it exists and is safe; leaves
// everything as it is otherwise (no launcher has run, or the directory is not trustworthy).
void adoptar();

// Whether `ruta` is a directory (not a link to one) of this user's that no one else can enter.
bool esPropio(const QString &ruta);

} // namespace RegistroPrivado
