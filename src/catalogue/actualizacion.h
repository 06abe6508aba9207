#pragma once

#include "catalogue/descarga.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <functional>

// Bringing a program up to date from what the publishing tool stored beside it: the patches
// from the user's version to the catalogue's (`appparche`), or the compressed copy
// (`appcomprimido`). Both are only ways to get the same bytes cheaper: the result passes the
// very checks of a download (Descarga::guardar), and anything that goes wrong leaves the
// profile as it was for the download to do its work.
namespace Actualizacion {

// A connection with the session's settings (host, database, user, password, options) but
// without the protocol's compression, which bytes compressed already would only pay for
// (`conCompresion` keeps it, for the benchmark that weighs the two). Open when it could be
// opened; the session's own connection is untouched.
QSqlDatabase abrirSinCompresion(const QSqlDatabase &sesion, const QString &nombre,
                                bool conCompresion = false);

// That connection, opened on first use and closed with the object: one per synchronisation,
// none when no program takes a compressed path.
class Canal
{
public:
    explicit Canal(const QSqlDatabase &sesion, bool conCompresion = false);
    ~Canal();
    Canal(const Canal &) = delete;
    Canal &operator=(const Canal &) = delete;

    // Null when it cannot be opened (then not tried again).
    st_mysql *manejador();
    // The replica of the session's branch office, for the bytes alone; null when the session
    // is in no branch or its replica cannot be reached (remembered for the session).
    st_mysql *replica();
    // The replica stopped answering: not used again in this session.
    void perderReplica();

private:
    QSqlDatabase sesion;
    QString nombre, nombreReplica;
    bool intentado = false;
    bool replicaIntentada = false, conReplica = false;
    bool conCompresion;
};

enum class Camino { Ninguno, Parches, Copia };

// Bytes received so far out of those the chosen path fetches.
using Progreso = std::function<void(qint64 recibidos, qint64 total)>;

struct Resultado {
    Camino camino = Camino::Ninguno; // the path that put the program in place, if any
    QList<Camino> fallidos;          // paths tried that failed, in order
    // Not empty when the connection was lost while the bytes came (the client library's
    // words): no other path is tried, and the pieces of the copy received so far stay in the
    // profile for the next start.
    QString corte;
};

// Both are stored in pieces (see Piezas): each piece received is counted through `progreso`,
// and a compressed copy whose transfer is cut goes on at the next call from the pieces kept.
// Brings dir/<nombre>.exe to the catalogue's `digest` for the program `appId`: through a chain
// of patches from the local copy's digest (its .md5 file) when there is one and it is smaller
// than the compressed copy, else through the compressed copy of that digest; each failure falls
// to the next. The program's name and what is stored are read on `sesion`, the bytes on the
// canal. With `claves`, the result must carry its publisher's signature as a download must.
// Camino::Ninguno: nothing usable, or every path failed; the profile is as it was, but for a
// newer version mark when a signature was checked (the download decides then).
Resultado actualizar(const QSqlDatabase &sesion, Canal &canal, int appId, const QString &dir,
                     const QString &digest, const QList<QByteArray> *claves = nullptr,
                     const Progreso &progreso = {});

// Removes what cut transfers left in the profile: once every program has been looked at, none
// is waiting for the pieces it kept (another version's, or a program no longer there).
void descartarParciales(const QString &dir);

} // namespace Actualizacion
