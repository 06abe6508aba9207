#pragma once

#include "catalogue/lector.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct st_mysql;

// A compressed copy or a patch as the publishing tool stores it: its bytes cut in pieces of a
// fixed size (the last one shorter), one row each, numbered from 0, each with the MD5 of its
// bytes; and a row saying how many pieces of what size make how many bytes, giving a program
// of what size. The launcher fetches the pieces with one statement whose rows arrive one at a
// time, so that it never holds more than a piece, and keeps those of a compressed copy in the
// profile as they arrive, so that a cut transfer goes on from where it stopped.
namespace Piezas {

// The size of the pieces the tool writes.
inline constexpr int tamanoPieza = 1024 * 1024;
// No piece may be announced larger: a launcher reserves one piece at a time.
inline constexpr int tamanoMaximo = 4 * 1024 * 1024;

// What the header row of a stored value says.
struct Medida {
    qint64 largo = 0;  // of the program it gives
    qint64 bytes = 0;  // stored, all pieces together
    int piezas = 0;
    int tamano = 0;    // of every piece but the last
};

// Whether the header's numbers agree with each other and stay within bounds: a size no larger
// than `largoMaximo`, pieces no larger than tamanoMaximo, exactly as many as the bytes need.
bool valida(const Medida &m, qint64 largoMaximo);

// The size piece `i` must have.
qint64 largoPieza(const Medida &m, int i);

enum class Fallo {
    Ninguno,
    Danado,  // a piece missing, out of order, of another size or not matching its MD5
    Cortado, // the connection was lost while the pieces came
};

// The pieces of one stored value from piece `desde` on, by one statement with the placeholders
// (tamano, bytes, tamano, app_id, the value's key..., desde, piezas) that gives the rows
// (pieza, suma, bytes) ordered by pieza, the bytes as LEFT(datos, LEAST(tamano, bytes - pieza *
// tamano) + 1). What the server sends is bounded by the header: no row beyond the pieces
// announced, no piece beyond one byte more than its announced size.
class Flujo
{
public:
    Flujo(st_mysql *m, const char *sql, const Medida &medida, long long appId,
          const QList<QByteArray> &clave, int desde = 0);

    // The next piece in *pieza (valid until the next call), empty after the last one. False
    // when it cannot be had: fallo() says why, and the statement is not read any further.
    bool siguiente(QByteArrayView *pieza);
    // The digests another server holds for the pieces from `desde` on: each piece must hash to
    // its own there too, whatever the rows here say of it.
    void exigir(const QList<QByteArray> &sumas) { esperadas = sumas; }
    Fallo fallo() const { return estado; }
    // The client library's words for a lost connection.
    QString error() const;

private:
    bool fallar(Fallo f);

    Lector lector;
    st_mysql *m;
    Medida medida;
    int proxima;
    bool ejecutado = false;
    long long appId;
    QList<QByteArray> clave;
    const char *sql;
    QByteArray buffer;
    Fallo estado = Fallo::Ninguno;
    QString perdido;
    QList<QByteArray> esperadas;
    int primera;
};

// The digests the server holds for the pieces of one stored value from `desde` on, by one
// statement with the placeholders (app_id, the value's key..., desde, piezas) that gives the
// rows (pieza, suma) ordered by pieza: exactly one row per piece, each 32 hexadecimal digits
// (lower case), or nothing.
std::optional<QList<QByteArray>> sumas(st_mysql *m, const char *sql, const Medida &medida,
                                       long long appId, const QList<QByteArray> &clave,
                                       int desde = 0);

// The pieces read from a copy of the database near the launcher (a branch's replica), each
// checked against the digest the head office holds for it, and from the head office for
// whatever that copy cannot give: a piece it lacks, one that does not hash to the head
// office's digest, a connection lost. The head office's connection is asked for only then.
// Without a copy (a null `cerca`), every piece comes from the head office.
class Fuente
{
public:
    Fuente(std::function<st_mysql *()> lejos, st_mysql *cerca, const QList<QByteArray> &sumasLejos,
           const char *sql, const Medida &medida, long long appId, const QList<QByteArray> &clave,
           int desde = 0, std::function<void()> cercaPerdida = {});

    bool siguiente(QByteArrayView *pieza);
    // Of the head office's connection: the nearby copy's failures are only a change of source.
    Fallo fallo() const;
    QString error() const;
    // How many pieces came from the nearby copy.
    int deCerca() const { return cercanas; }

private:
    std::function<st_mysql *()> lejos;
    std::function<void()> perdida;
    std::optional<Flujo> cerca, principal;
    const char *sql;
    Medida medida;
    long long appId;
    QList<QByteArray> clave;
    int desde;
    int cercanas = 0;
    bool sinPrincipal = false;
};

// The pieces of one compressed copy received and checked so far, kept beside the program as
// <program>.parcial: a first line naming the exact stored value (the digest of the program it
// gives and the header's numbers), then the pieces in order. Never the program itself: only
// what is decompressed from it, checked as a download is, replaces the program.
class Parcial
{
public:
    Parcial(const QString &ruta, const QByteArray &digest, const Medida &medida);

    // Keeps the pieces of a partial of this very value (the last one, if it was cut while
    // written, dropped), or starts a new one: how many whole pieces it holds. -1 when the file
    // cannot be written.
    int abrir();
    // Piece `i` (< what abrir() gave) into *pieza, which stays valid until the next call.
    bool leer(int i, QByteArrayView *pieza);
    // Adds the next piece, written through before the next one is asked for.
    bool agregar(QByteArrayView pieza);
    void descartar();

    static QString sufijo() { return QStringLiteral(".parcial"); }

private:
    QByteArray cabecera() const;

    QFile archivo;
    QByteArray digest;
    Medida medida;
    QByteArray buffer;
    int piezas = 0;
};

} // namespace Piezas
