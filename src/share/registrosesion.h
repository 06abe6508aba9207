#pragma once

#include <QMap>
#include <QString>

class QObject;
class QSharedMemory;
class QSqlDatabase;

// The launcher's side of the shared session record: the values of the session's connection,
// published one per shared-memory segment for the programs it starts (they read them with
// KolvasterClient).
namespace RegistroSesion {

inline constexpr char claveDefecto[] = "KOLVASTER_DEFSYSNAME";

// Key -> value for the five entries of a connection.
QMap<QString, QString> entradas(const QSqlDatabase &db);

// The bytes of one segment: the value as QDataStream writes a QString.
QByteArray codificar(const QString &valor);

// Creates the segment of exactly `tamano` bytes. A segment left behind by a launcher that died
// without detaching (System V keeps it with no process attached) is removed and the creation
// tried once more; a segment some live process holds is left alone and the creation fails.
bool crear(QSharedMemory *segmento, int tamano);

// Creates and fills one segment per entry, in ascending key order, each a child of `padre` and
// released by finalizarProceso should the process end through an exit path.
// Returns the first key (other than the default system's) that could not be created, or the
// empty text when all went well. An existing default system belongs to an earlier launcher and
// is kept.
QString publicar(const QMap<QString, QString> &valores, QObject *padre);

} // namespace RegistroSesion
