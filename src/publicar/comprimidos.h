#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <mysql.h>

class Lector;

// What the tool stores beside a program so that launchers fetch fewer bytes: its compressed
// copy and the patch from the version it replaces, in pieces (see the launcher's Piezas), with
// the sizes launchers bound their fetches by. Several versions of a program may have theirs at
// the same time: nothing is keyed by the program alone.
namespace Comprimidos {

// How much of a value travels in one long-data call (and one progress step).
inline constexpr qint64 tamanoEnvio = 1024 * 1024;

// The compressed copy of the new program and the patch from the version it replaces, made
// before anything is written, so that one the server could not take is named first.
struct Hechos {
    QByteArray md5Nuevo;
    QByteArray copia;
    QByteArray md5Viejo; // empty: no patch (a new program, or the same bytes again)
    QByteArray parche;
};

// A step's bar on the terminal, in MB.
void progreso(const QString &nombre, qint64 hecho, qint64 total);

// A value sent in pieces through the long-data calls as placeholder `param` of `st`.
bool enviarLargo(Lector &st, unsigned param, QByteArrayView datos, const QString &etiqueta,
                 bool terminal);

// What a server whose max_allowed_packet is `paquete` refuses: a row holding `bytes` (with
// its name and digests) must fit in one packet, which it counts in blocks of 1024 bytes.
qint64 paqueteNecesario(qint64 bytes);

// Compresses `nuevo`, and makes its patch from `viejo` when that is another version.
bool comprimir(QByteArrayView nuevo, QByteArrayView viejo, const QString &nombre, bool terminal,
               Hechos *c, QString *error);

// Stores the compressed copy of the new version, keyed by its digest (app_id, md5), and the
// patch, keyed by the digests it goes from and to (app_id, desde_md5, hasta_md5), each in
// pieces behind its header row, replacing rows of the same keys; and drops the program's
// one-row copies and patches of the previous release, whose launchers then take the plain
// download. Within the caller's transaction; false with *error (and the server's *codigo, for
// the caller to recognise a lost race) on failure.
bool guardar(MYSQL *m, long long appId, const QString &nombre, qint64 largo, const Hechos &c,
             bool terminal, QString *error, unsigned int *codigo);

// comprimir() and guardar() in one: the copy and patch of `nuevo` against `viejo`.
bool almacenar(MYSQL *m, long long appId, const QString &nombre, QByteArrayView nuevo,
               QByteArrayView viejo, bool terminal, QString *error, unsigned int *codigo);

// The patches worth keeping while the versions `conservar` are the ones launchers are sent to:
// those that lead, in at most five steps, to one of them other than the one they start from.
// For a program published one version after another and `conservar` its current digest, the
// patches of its last five publications. Of the (desde, hasta) digests of the stored patches.
QSet<QPair<QByteArray, QByteArray>> parchesUtiles(const QList<QPair<QByteArray, QByteArray>> &filas,
                                                  const QSet<QByteArray> &conservar);

// Drops the program's copies of every digest but those of `conservar`, and the patches
// parchesUtiles() does not keep. Within the caller's transaction, as guardar().
bool limpiar(MYSQL *m, long long appId, const QSet<QByteArray> &conservar, QString *error,
             unsigned int *codigo);

} // namespace Comprimidos
