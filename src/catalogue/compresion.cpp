#include "compresion.h"

#include <zstd.h>

#include <algorithm>

namespace Compresion {

namespace {

constexpr qint64 piezaEntrada = 1024 * 1024;

int bitAlto(qint64 x)
{
    int b = 0;
    while (x > 1) {
        x >>= 1;
        ++b;
    }
    return b;
}

// A window that reaches from the end of the larger file back to the start of the other: what
// a patch needs to find the old bytes at any offset.
int ventana(qint64 a, qint64 b)
{
    const ZSTD_bounds limites = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
    return std::clamp(bitAlto(std::max(a, b)) + 1, limites.lowerBound, limites.upperBound);
}

struct Contexto {
    ZSTD_CCtx *c = ZSTD_createCCtx();
    ~Contexto() { ZSTD_freeCCtx(c); }
    bool poner(ZSTD_cParameter p, int v) { return c && !ZSTD_isError(ZSTD_CCtx_setParameter(c, p, v)); }
};

std::optional<QByteArray> correr(Contexto &cx, QByteArrayView datos, const Avance &avance)
{
    if (ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(cx.c, static_cast<unsigned long long>(datos.size()))))
        return std::nullopt;
    QByteArray salida;
    salida.resize(qsizetype(ZSTD_compressBound(size_t(datos.size()))));
    ZSTD_outBuffer out{salida.data(), size_t(salida.size()), 0};
    for (qint64 desde = 0;;) {
        const qint64 n = std::min(piezaEntrada, datos.size() - desde);
        const bool ultima = desde + n == datos.size();
        ZSTD_inBuffer in{datos.data() + desde, size_t(n), 0};
        size_t resta;
        do {
            resta = ZSTD_compressStream2(cx.c, &out, &in, ultima ? ZSTD_e_end : ZSTD_e_continue);
            if (ZSTD_isError(resta))
                return std::nullopt;
        } while (ultima ? resta != 0 : in.pos < in.size);
        desde += n;
        if (avance)
            avance(desde, datos.size());
        if (ultima)
            break;
    }
    salida.resize(qsizetype(out.pos));
    salida.squeeze();
    return salida;
}

} // namespace

int nivel(qint64 largo)
{
    if (largo <= 32 * 1024 * 1024)
        return 19;
    if (largo <= 48 * 1024 * 1024)
        return 12;
    return 6;
}

std::optional<QByteArray> comprimir(QByteArrayView datos, int nivel, const Avance &avance)
{
    Contexto cx;
    if (!cx.poner(ZSTD_c_compressionLevel, nivel) || !cx.poner(ZSTD_c_checksumFlag, 1))
        return std::nullopt;
    return correr(cx, datos, avance);
}

std::optional<QByteArray> parche(QByteArrayView viejo, QByteArrayView nuevo, int nivel,
                                 const Avance &avance)
{
    Contexto cx;
    if (!cx.poner(ZSTD_c_compressionLevel, nivel) || !cx.poner(ZSTD_c_checksumFlag, 1)
        || !cx.poner(ZSTD_c_enableLongDistanceMatching, 1)
        || !cx.poner(ZSTD_c_windowLog, ventana(viejo.size(), nuevo.size()))
        || ZSTD_isError(ZSTD_CCtx_refPrefix(cx.c, viejo.data(), size_t(viejo.size()))))
        return std::nullopt;
    return correr(cx, nuevo, avance);
}

std::optional<qint64> largoContenido(QByteArrayView inicio)
{
    const unsigned long long n = ZSTD_getFrameContentSize(inicio.data(), size_t(inicio.size()));
    if (n == ZSTD_CONTENTSIZE_UNKNOWN || n == ZSTD_CONTENTSIZE_ERROR || n > (1ULL << 62))
        return std::nullopt;
    return qint64(n);
}

struct Descompresor::Estado {
    Fuente fuente;
    ZSTD_DCtx *d = nullptr;
    ZSTD_inBuffer in{nullptr, 0, 0};
    bool fallido = false;
    bool fin = false;      // the frame is complete
    bool agotada = false;  // the source said there is no more
};

Descompresor::Descompresor(Fuente fuente, qint64 largo, QByteArrayView referencia)
    : e(new Estado)
{
    e->fuente = std::move(fuente);
    e->d = ZSTD_createDCtx();
    // A frame may not ask for a window beyond what the two sizes justify: a damaged or
    // hostile row never makes the launcher reserve more than that.
    e->fallido = !e->d
                 || ZSTD_isError(ZSTD_DCtx_setParameter(
                     e->d, ZSTD_d_windowLogMax,
                     std::min(ventana(largo, referencia.size()) + 1,
                              ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound)))
                 || (!referencia.isEmpty()
                     && ZSTD_isError(ZSTD_DCtx_refPrefix(e->d, referencia.data(),
                                                         size_t(referencia.size()))));
}

Descompresor::~Descompresor()
{
    ZSTD_freeDCtx(e->d);
    delete e;
}

bool Descompresor::llenar()
{
    if (e->in.pos < e->in.size)
        return true;
    if (e->agotada)
        return false;
    QByteArrayView pieza;
    if (!e->fuente(&pieza)) {
        e->fallido = true;
        return false;
    }
    e->agotada = pieza.isEmpty();
    e->in = ZSTD_inBuffer{pieza.data(), size_t(pieza.size()), 0};
    return !e->agotada;
}

bool Descompresor::producir(char *destino, qint64 n)
{
    ZSTD_outBuffer out{destino, size_t(n), 0};
    while (!e->fallido && out.pos < out.size) {
        if (e->fin)
            return e->fallido = true, false; // the frame is shorter than the program
        // The decoder may still hold output with no input left; give it a chance first.
        const bool hayEntrada = llenar();
        if (e->fallido)
            return false;
        const size_t antes = out.pos;
        const size_t r = ZSTD_decompressStream(e->d, &out, &e->in);
        if (ZSTD_isError(r))
            return e->fallido = true, false;
        e->fin = r == 0;
        if (!hayEntrada && out.pos == antes && !e->fin)
            return e->fallido = true, false; // input ended in the middle of the frame
    }
    return !e->fallido;
}

bool Descompresor::completo()
{
    // The checksum may still wait in the input after the last byte of output.
    char uno;
    while (!e->fallido && !e->fin) {
        const bool hayEntrada = llenar();
        if (e->fallido)
            return false;
        ZSTD_outBuffer out{&uno, 1, 0};
        const size_t antes = e->in.pos;
        const size_t r = ZSTD_decompressStream(e->d, &out, &e->in);
        if (ZSTD_isError(r) || out.pos != 0 || (!hayEntrada && e->in.pos == antes && r != 0))
            return e->fallido = true, false;
        e->fin = r == 0;
    }
    return !e->fallido && !llenar() && !e->fallido;
}

} // namespace Compresion
