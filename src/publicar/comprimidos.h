#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <mysql.h>

class Lector;

// What the tool stores beside a program so that launchers fetch fewer bytes: its compressed
// copy and the patch from the version it replaces, with the sizes launchers bound their
// fetches by.
namespace Comprimidos {

// How much of a value travels in one long-data call (and one progress step).
inline constexpr qint64 tamanoPieza = 1024 * 1024;

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

// The patches worth keeping once `nuevo` is the current version: those that lead to it in at
// most five steps, which for a program published one version after another are the patches of
// its last five publications. A patch from the current version itself leads nowhere. Given
// the (desde, hasta) digests of the stored patches, the `desde` of those that may go.
QList<QByteArray> parchesSobrantes(const QList<QPair<QByteArray, QByteArray>> &filas,
                                   const QByteArray &nuevo);

// Compresses `nuevo`, and makes its patch from `viejo` when that is another version.
bool comprimir(QByteArrayView nuevo, QByteArrayView viejo, const QString &nombre, bool terminal,
               Hechos *c, QString *error);

// Stores the compressed copy and the patch, and drops the patches no launcher should need any
// more. Within the caller's transaction; false with *error (and the server's *codigo, for the
// caller to recognise a lost race) on failure.
bool guardar(MYSQL *m, long long appId, const QString &nombre, qint64 largo, const Hechos &c,
             bool terminal, QString *error, unsigned int *codigo);

} // namespace Comprimidos
