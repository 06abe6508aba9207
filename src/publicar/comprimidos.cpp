#include "comprimidos.h"

#include "catalogue/compresion.h"
#include "catalogue/lector.h"
#include "catalogue/piezas.h"
#include "consola.h"

#include <QCryptographicHash>
#include <QSet>

#include <mysqld_error.h>

namespace Comprimidos {

void progreso(const QString &nombre, qint64 hecho, qint64 total)
{
    Consola::barra(nombre, double(hecho) / double(total),
                   QString::asprintf("%.1f/%.1f MB", hecho / 1048576.0, total / 1048576.0),
                   hecho == total);
}

bool enviarLargo(Lector &st, unsigned param, QByteArrayView datos, const QString &etiqueta,
                 bool terminal)
{
    for (qint64 enviado = 0; enviado < datos.size();) {
        const qint64 n = qMin(tamanoEnvio, datos.size() - enviado);
        if (!st.enviar(param, datos.data() + enviado, n))
            return false;
        enviado += n;
        if (terminal)
            progreso(etiqueta, enviado, datos.size());
    }
    return true;
}

qint64 paqueteNecesario(qint64 bytes)
{
    return (bytes + 1024 + 1023) / 1024 * 1024;
}

namespace {

constexpr int pasos = 5;

QByteArray md5(QByteArrayView b)
{
    return QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex();
}

struct Sentencia {
    MYSQL *m;
    QString *error;
    unsigned *codigo;

    bool fallo(const Lector &st, const QString &que)
    {
        *codigo = st.codigo();
        *error = QStringLiteral("%1: %2").arg(que, QString::fromUtf8(st.error()));
        return false;
    }
};

// One stored value: its header row, then its pieces, replacing any of the same key.
// `tabla`: appcopia or appdelta; the key's columns after app_id are `clave`.
bool guardarPiezas(Sentencia &s, const char *tabla, const QList<QByteArray> &columnas,
                   long long appId, const QList<QByteArray> &clave, qint64 largo,
                   QByteArrayView datos, const QString &que, const QString &paso,
                   bool terminal)
{
    const Piezas::Medida medida{largo, datos.size(),
                                int((datos.size() + Piezas::tamanoPieza - 1) / Piezas::tamanoPieza),
                                Piezas::tamanoPieza};
    QByteArray donde = "app_id=?";
    QByteArray nombres = "app_id", marcas = "?";
    for (const QByteArray &c : columnas) {
        donde += " AND " + c + "=?";
        nombres += ", " + c;
        marcas += ", ?";
    }
    const QByteArray piezas = QByteArray(tabla) + "pieza";
    {
        Lector st(s.m);
        const QByteArray sql = "DELETE FROM " + piezas + " WHERE " + donde;
        st.entero(appId);
        for (const QByteArray &v : clave)
            st.texto(v);
        if (!st.preparar(sql.constData()) || !st.ejecutar())
            return s.fallo(st, que);
    }
    {
        Lector st(s.m);
        const QByteArray sql = "INSERT INTO " + QByteArray(tabla) + " (" + nombres
                               + ", largo, bytes, piezas, tamano) VALUES (" + marcas
                               + ", ?, ?, ?, ?) ON DUPLICATE KEY UPDATE largo=VALUES(largo), "
                                 "bytes=VALUES(bytes), piezas=VALUES(piezas), "
                                 "tamano=VALUES(tamano)";
        st.entero(appId);
        for (const QByteArray &v : clave)
            st.texto(v);
        st.entero(medida.largo).entero(medida.bytes).entero(medida.piezas).entero(medida.tamano);
        if (!st.preparar(sql.constData()) || !st.ejecutar())
            return s.fallo(st, que);
    }
    const QByteArray sql = "INSERT INTO " + piezas + " (" + nombres + ", pieza, suma, datos) "
                           "VALUES (" + marcas + ", ?, ?, ?)";
    for (int i = 0; i < medida.piezas; ++i) {
        const qint64 desde = qint64(i) * medida.tamano;
        const QByteArrayView pieza = datos.sliced(desde, Piezas::largoPieza(medida, i));
        Lector st(s.m);
        st.entero(appId);
        for (const QByteArray &v : clave)
            st.texto(v);
        st.entero(i).texto(md5(pieza)).binario(
            QByteArray::fromRawData(pieza.data(), pieza.size()));
        if (!st.preparar(sql.constData()) || !st.ejecutar())
            return s.fallo(st, que);
        if (terminal)
            progreso(paso, desde + pieza.size(), datos.size());
    }
    return true;
}

// A statement whose only value is the program's id; a table the database does not have (one
// made before the previous release's tables) has nothing to drop.
bool borrar(Sentencia &s, const char *sql, long long appId, const QString &que, bool faltaBien)
{
    Lector st(s.m);
    if (st.preparar(sql) && st.entero(appId).ejecutar())
        return true;
    if (faltaBien && st.codigo() == ER_NO_SUCH_TABLE)
        return true;
    return s.fallo(st, que);
}

} // namespace

bool comprimir(QByteArrayView nuevo, QByteArrayView viejo, const QString &nombre, bool terminal,
               Hechos *c, QString *error)
{
    const int nivel = Compresion::nivel(nuevo.size());
    auto avance = [&](const QString &que) -> Compresion::Avance {
        if (!terminal)
            return {};
        return [=](qint64 hecho, qint64 total) { progreso(que, hecho, total); };
    };
    c->md5Nuevo = QCryptographicHash::hash(nuevo, QCryptographicHash::Md5).toHex();
    const std::optional<QByteArray> copia =
        Compresion::comprimir(nuevo, nivel, avance(nombre + QStringLiteral(" (comprimido)")));
    if (!copia) {
        *error = QStringLiteral("no se pudo comprimir el programa (memoria)");
        return false;
    }
    c->copia = *copia;
    const QByteArray md5Viejo =
        viejo.isEmpty() ? QByteArray() : QCryptographicHash::hash(viejo, QCryptographicHash::Md5).toHex();
    if (!viejo.isEmpty() && md5Viejo != c->md5Nuevo) {
        const std::optional<QByteArray> parche = Compresion::parche(
            viejo, nuevo, nivel, avance(nombre + QStringLiteral(" (parche)")));
        if (!parche) {
            *error = QStringLiteral("no se pudo hacer el parche (memoria)");
            return false;
        }
        c->md5Viejo = md5Viejo;
        c->parche = *parche;
    }
    return true;
}

bool guardar(MYSQL *m, long long appId, const QString &nombre, qint64 largo, const Hechos &c,
             bool terminal, QString *error, unsigned int *codigo)
{
    *codigo = 0;
    Sentencia s{m, error, codigo};
    if (!guardarPiezas(s, "appcopia", {"md5"}, appId, {c.md5Nuevo}, largo, c.copia,
                       QStringLiteral("no se pudo guardar la copia comprimida"),
                       nombre + QStringLiteral(" (enviando comprimido)"), terminal))
        return false;
    if (!c.md5Viejo.isEmpty()
        && !guardarPiezas(s, "appdelta", {"desde_md5", "hasta_md5"}, appId,
                          {c.md5Viejo, c.md5Nuevo}, largo, c.parche,
                          QStringLiteral("no se pudo guardar el parche"),
                          nombre + QStringLiteral(" (enviando parche)"), terminal))
        return false;
    const QString viejas = QStringLiteral("no se pudieron quitar las copias de la version anterior");
    return borrar(s, "DELETE FROM appcomprimido WHERE app_id=?", appId, viejas, true)
           && borrar(s, "DELETE FROM appparche WHERE app_id=?", appId, viejas, true);
}

bool almacenar(MYSQL *m, long long appId, const QString &nombre, QByteArrayView nuevo,
               QByteArrayView viejo, bool terminal, QString *error, unsigned int *codigo)
{
    Hechos c;
    *codigo = 0;
    return comprimir(nuevo, viejo, nombre, terminal, &c, error)
           && guardar(m, appId, nombre, nuevo.size(), c, terminal, error, codigo);
}

QSet<QPair<QByteArray, QByteArray>> parchesUtiles(const QList<QPair<QByteArray, QByteArray>> &filas,
                                                  const QSet<QByteArray> &conservar)
{
    QSet<QPair<QByteArray, QByteArray>> utiles;
    for (const auto &fila : filas) {
        // Where the patch and at most four more lead, back to its own start not counted.
        QSet<QByteArray> alcance{fila.second};
        bool sirve = conservar.contains(fila.second) && fila.second != fila.first;
        for (int i = 1; i < pasos && !sirve; ++i) {
            QSet<QByteArray> mas;
            for (const auto &[desde, hasta] : filas)
                if (alcance.contains(desde) && !alcance.contains(hasta))
                    mas.insert(hasta);
            if (mas.isEmpty())
                break;
            for (const QByteArray &d : std::as_const(mas))
                sirve = sirve || (d != fila.first && conservar.contains(d));
            alcance.unite(mas);
        }
        if (sirve)
            utiles.insert(fila);
    }
    return utiles;
}

bool limpiar(MYSQL *m, long long appId, const QSet<QByteArray> &conservar, QString *error,
             unsigned *codigo)
{
    *codigo = 0;
    Sentencia s{m, error, codigo};
    const QString que = QStringLiteral("no se pudieron quitar parches viejos");
    QList<QPair<QByteArray, QByteArray>> filas;
    QList<QByteArray> copias;
    {
        Lector st(m);
        if (!st.preparar("SELECT 'p', desde_md5, hasta_md5 FROM appdelta WHERE app_id=? UNION "
                         "ALL SELECT 'c', md5, '' FROM appcopia WHERE app_id=?")
            || !st.entero(appId).entero(appId).ejecutar())
            return s.fallo(st, que);
        for (int hay; (hay = st.fila()) != 0;) {
            const std::optional<QByteArray> tipo = st.valor(0), a = st.valor(1), b = st.valor(2);
            if (hay < 0 || !tipo || !a || !b)
                return s.fallo(st, que);
            if (*tipo == "p")
                filas.append({*a, *b});
            else
                copias.append(*a);
        }
    }
    const QSet<QPair<QByteArray, QByteArray>> utiles = parchesUtiles(filas, conservar);
    auto quitar = [&](const char *sql, const QList<QByteArray> &clave) {
        Lector st(m);
        st.entero(appId);
        for (const QByteArray &v : clave)
            st.texto(v);
        return st.preparar(sql) && st.ejecutar() ? true : s.fallo(st, que);
    };
    for (const auto &fila : std::as_const(filas))
        if (!utiles.contains(fila)
            && !(quitar("DELETE FROM appdeltapieza WHERE app_id=? AND desde_md5=? AND "
                        "hasta_md5=?", {fila.first, fila.second})
                 && quitar("DELETE FROM appdelta WHERE app_id=? AND desde_md5=? AND hasta_md5=?",
                           {fila.first, fila.second})))
            return false;
    for (const QByteArray &copia : std::as_const(copias))
        if (!conservar.contains(copia)
            && !(quitar("DELETE FROM appcopiapieza WHERE app_id=? AND md5=?", {copia})
                 && quitar("DELETE FROM appcopia WHERE app_id=? AND md5=?", {copia})))
            return false;
    return true;
}

} // namespace Comprimidos
