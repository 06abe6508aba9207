#include "piezas.h"

#include <QCryptographicHash>

#include <errmsg.h>
#include <mysql.h>

namespace Piezas {

bool valida(const Medida &m, qint64 largoMaximo)
{
    if (m.largo <= 0 || m.largo > largoMaximo || m.bytes <= 0 || m.tamano <= 0
        || m.tamano > tamanoMaximo || m.piezas <= 0)
        return false;
    return (m.bytes + m.tamano - 1) / m.tamano == m.piezas;
}

qint64 largoPieza(const Medida &m, int i)
{
    return qMin<qint64>(m.tamano, m.bytes - qint64(i) * m.tamano);
}

Flujo::Flujo(MYSQL *m, const char *sql, const Medida &medida, long long appId,
             const QList<QByteArray> &clave, int desde)
    : lector(m), m(m), medida(medida), proxima(desde), appId(appId), clave(clave), sql(sql),
      primera(desde)
{
}

bool Flujo::fallar(Fallo f)
{
    estado = f;
    return false;
}

bool Flujo::siguiente(QByteArrayView *pieza)
{
    if (estado != Fallo::Ninguno)
        return false;
    // A lost connection is told apart from bytes that are not what was announced: the pieces
    // already kept are good, and the next start goes on from them.
    auto perdida = [&] {
        // The client library tells a lost link on the connection rather than the statement.
        const unsigned c = lector.codigo() ? lector.codigo() : (m ? mysql_errno(m) : 0);
        if (!lector.codigo() && m)
            perdido = QString::fromUtf8(mysql_error(m));
        return fallar(c == CR_SERVER_LOST || c == CR_SERVER_GONE_ERROR
                              || c == CR_SERVER_LOST_EXTENDED
                          ? Fallo::Cortado
                          : Fallo::Danado);
    };
    if (!ejecutado) {
        ejecutado = true;
        if (proxima >= medida.piezas) {
            *pieza = QByteArrayView();
            return true;
        }
        lector.entero(medida.tamano).entero(medida.bytes).entero(medida.tamano).entero(appId);
        for (const QByteArray &v : std::as_const(clave))
            lector.texto(v);
        lector.entero(proxima).entero(medida.piezas);
        if (!lector.preparar(sql) || !lector.ejecutar())
            return perdida();
    }
    if (proxima >= medida.piezas) {
        *pieza = QByteArrayView();
        return true;
    }
    const int hay = lector.fila();
    if (hay < 0)
        return perdida();
    const qint64 n = largoPieza(medida, proxima);
    if (hay == 0 || lector.numero(0) != proxima || lector.nulo(2) || lector.bytes(2) != n
        || lector.bytes(1) != 32)
        return fallar(Fallo::Danado);
    const std::optional<QByteArray> suma = lector.valor(1);
    if (buffer.size() < n)
        buffer = QByteArray(); // freed before the larger one is had
    if (buffer.isEmpty())
        buffer.resize(medida.tamano);
    if (!suma || !lector.leer(2, buffer.data(), 0, n))
        return perdida();
    const QByteArrayView vista(buffer.constData(), n);
    const QByteArray hecha = QCryptographicHash::hash(vista, QCryptographicHash::Md5).toHex();
    if (hecha != suma->toLower()
        || (!esperadas.isEmpty() && hecha != esperadas.value(proxima - primera)))
        return fallar(Fallo::Danado);
    ++proxima;
    *pieza = vista;
    return true;
}

QString Flujo::error() const
{
    return perdido.isEmpty() ? QString::fromUtf8(lector.error()) : perdido;
}

std::optional<QList<QByteArray>> sumas(MYSQL *m, const char *sql, const Medida &medida,
                                       long long appId, const QList<QByteArray> &clave,
                                       int desde)
{
    Lector st(m);
    st.entero(appId);
    for (const QByteArray &v : clave)
        st.texto(v);
    st.entero(desde).entero(medida.piezas);
    if (!st.preparar(sql) || !st.ejecutar())
        return std::nullopt;
    QList<QByteArray> r;
    // No more rows than the header announced are read, and none out of its place.
    for (int i = desde; i < medida.piezas; ++i) {
        if (st.fila() != 1 || st.numero(0) != i || st.bytes(1) != 32)
            return std::nullopt;
        const std::optional<QByteArray> s = st.valor(1);
        if (!s)
            return std::nullopt;
        r.append(s->toLower());
    }
    if (st.fila() != 0)
        return std::nullopt;
    return r;
}

Fuente::Fuente(std::function<MYSQL *()> lejos, MYSQL *cerca, const QList<QByteArray> &sumasLejos,
               const char *sql, const Medida &medida, long long appId,
               const QList<QByteArray> &clave, int desde, std::function<void()> cercaPerdida)
    : lejos(std::move(lejos)), perdida(std::move(cercaPerdida)), sql(sql), medida(medida),
      appId(appId), clave(clave), desde(desde)
{
    if (cerca && sumasLejos.size() == medida.piezas - desde) {
        this->cerca.emplace(cerca, sql, medida, appId, clave, desde);
        this->cerca->exigir(sumasLejos);
    }
}

bool Fuente::siguiente(QByteArrayView *pieza)
{
    if (cerca) {
        if (cerca->siguiente(pieza)) {
            if (!pieza->isEmpty())
                ++cercanas;
            return true;
        }
        if (cerca->fallo() == Fallo::Cortado && perdida)
            perdida();
        cerca.reset(); // what it still sends is drained; the head office gives the rest
    }
    if (!principal) {
        MYSQL *m = sinPrincipal ? nullptr : lejos();
        if (!m) {
            sinPrincipal = true;
            return false;
        }
        principal.emplace(m, sql, medida, appId, clave, desde + cercanas);
    }
    return principal->siguiente(pieza);
}

Fallo Fuente::fallo() const
{
    return principal ? principal->fallo() : (sinPrincipal ? Fallo::Danado : Fallo::Ninguno);
}

QString Fuente::error() const
{
    return principal ? principal->error() : QString();
}

Parcial::Parcial(const QString &ruta, const QByteArray &digest, const Medida &medida)
    : archivo(ruta), digest(digest), medida(medida)
{
}

QByteArray Parcial::cabecera() const
{
    return QByteArrayLiteral("kolvaster-parcial 1 ") + digest + ' '
           + QByteArray::number(medida.largo) + ' ' + QByteArray::number(medida.bytes) + ' '
           + QByteArray::number(medida.piezas) + ' ' + QByteArray::number(medida.tamano) + '\n';
}

int Parcial::abrir()
{
    const QByteArray c = cabecera();
    piezas = 0;
    if (archivo.open(QIODevice::ReadWrite)) {
        // Anything but a partial of this very value (another version, another tool's pieces,
        // more bytes than the value has) starts again from nothing.
        if (archivo.read(c.size()) == c && archivo.size() <= c.size() + medida.bytes) {
            const qint64 enteras = (archivo.size() - c.size()) / medida.tamano;
            piezas = int(qMin<qint64>(enteras, medida.piezas));
            qint64 largo = 0;
            for (int i = 0; i < piezas; ++i)
                largo += largoPieza(medida, i);
            if ((archivo.size() == c.size() + largo || archivo.resize(c.size() + largo))
                && archivo.seek(c.size() + largo))
                return piezas;
            piezas = 0;
        }
        archivo.close();
    }
    if (!archivo.open(QIODevice::ReadWrite | QIODevice::Truncate) || archivo.write(c) != c.size()
        || !archivo.flush())
        return -1;
    return 0;
}

bool Parcial::leer(int i, QByteArrayView *pieza)
{
    const qint64 n = largoPieza(medida, i);
    if (i >= piezas || n <= 0)
        return false;
    const qint64 volver = archivo.pos();
    if (buffer.size() < n)
        buffer.resize(n);
    const bool bien = archivo.seek(cabecera().size() + qint64(i) * medida.tamano)
                      && archivo.read(buffer.data(), n) == n;
    archivo.seek(volver);
    *pieza = QByteArrayView(buffer.constData(), n);
    return bien;
}

bool Parcial::agregar(QByteArrayView pieza)
{
    if (!archivo.isOpen() || archivo.write(pieza.data(), pieza.size()) != pieza.size()
        || !archivo.flush())
        return false;
    ++piezas;
    return true;
}

void Parcial::descartar()
{
    archivo.close();
    archivo.remove();
}

} // namespace Piezas
