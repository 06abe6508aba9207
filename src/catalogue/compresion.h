#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <optional>

// zstd as the catalogue uses it: the publishing tool compresses each program once (a copy) and
// makes a patch from the version it replaces (the old bytes as the compressor's prefix, with
// long-distance matching); the launcher turns either back into the program piece by piece.
// Every frame carries its content size and a checksum of the content.
namespace Compresion {

// The level for a program of `largo` bytes: the strongest for small programs, lighter ones as
// they grow, so that publishing a large program stays within a minute on a modest machine.
int nivel(qint64 largo);

// Told how many input bytes have been consumed so far, of `total`.
using Avance = std::function<void(qint64 hecho, qint64 total)>;

// One frame holding `datos`. Nothing when the library fails (memory).
std::optional<QByteArray> comprimir(QByteArrayView datos, int nivel, const Avance &avance = {});

// One frame that gives `nuevo` when decompressed with `viejo` as the reference.
std::optional<QByteArray> parche(QByteArrayView viejo, QByteArrayView nuevo, int nivel,
                                 const Avance &avance = {});

// The uncompressed size a frame announces in its header; nothing when it is not a zstd frame
// header or the size is not given.
std::optional<qint64> largoContenido(QByteArrayView inicio);

// Streaming decompression of one frame, optionally against a reference (the older version a
// patch was made from, which must stay in place while this object lives). Output is asked for
// in pieces; input is pulled from `fuente` as the frame needs it. Any failure (corrupt input,
// checksum, a window larger than the expected sizes justify, no memory) ends it for good.
class Descompresor
{
public:
    // Gives the next piece of the frame in *pieza, which must stay valid until the next call;
    // an empty piece means there is no more. False: the input could not be had.
    using Fuente = std::function<bool(QByteArrayView *pieza)>;

    // `largo`: the size the output must have; with the reference's size it bounds the window.
    Descompresor(Fuente fuente, qint64 largo, QByteArrayView referencia = {});
    ~Descompresor();
    Descompresor(const Descompresor &) = delete;
    Descompresor &operator=(const Descompresor &) = delete;

    // Fills exactly n bytes; false when the frame cannot give them.
    bool producir(char *destino, qint64 n);
    // True when the frame ended exactly where the output did and no input is left over.
    bool completo();

private:
    bool llenar();
    struct Estado;
    Estado *e;
};

} // namespace Compresion
