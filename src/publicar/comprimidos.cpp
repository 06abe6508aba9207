#include "comprimidos.h"

#include "catalogue/compresion.h"
#include "catalogue/lector.h"
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
        const qint64 n = qMin(tamanoPieza, datos.size() - enviado);
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

QList<QByteArray> parchesSobrantes(const QList<QPair<QByteArray, QByteArray>> &filas,
                                   const QByteArray &nuevo)
{
    constexpr int pasos = 5;
    QSet<QByteArray> alcanzados{nuevo}, conservar;
    for (int i = 0; i < pasos; ++i) {
        QSet<QByteArray> nuevos;
        for (const auto &[desde, hasta] : filas)
            if (desde != nuevo && alcanzados.contains(hasta) && !conservar.contains(desde)) {
                conservar.insert(desde);
                nuevos.insert(desde);
            }
        alcanzados = nuevos;
    }
    QList<QByteArray> sobran;
    for (const auto &fila : filas)
        if (!conservar.contains(fila.first))
            sobran << fila.first;
    return sobran;
}

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
    // A failed statement: its error, and its code for the caller to recognise a lost race.
    auto fallo = [&](const Lector &st, const QString &que) {
        *codigo = st.codigo();
        *error = QStringLiteral("%1: %2").arg(que, QString::fromUtf8(st.error()));
        return false;
    };
    {
        Lector st(m);
        if (!st.preparar("INSERT INTO appcomprimido (app_id, md5, largo, bytes, datos) VALUES "
                         "(?, ?, ?, ?, ?) ON DUPLICATE KEY UPDATE md5=VALUES(md5), "
                         "largo=VALUES(largo), bytes=VALUES(bytes), datos=VALUES(datos)"))
            return fallo(st, QStringLiteral("no se pudo guardar la copia comprimida"));
        st.entero(appId).texto(c.md5Nuevo).entero(largo).entero(c.copia.size()).largo();
        if (!enviarLargo(st, 4, c.copia, nombre + QStringLiteral(" (enviando comprimido)"),
                         terminal)
            || !st.ejecutar())
            return fallo(st, QStringLiteral("no se pudo guardar la copia comprimida"));
    }
    if (!c.md5Viejo.isEmpty()) {
        Lector st(m);
        if (!st.preparar("INSERT INTO appparche (app_id, desde_md5, hasta_md5, bytes, largo, "
                         "datos) VALUES (?, ?, ?, ?, ?, ?) ON DUPLICATE KEY UPDATE "
                         "hasta_md5=VALUES(hasta_md5), bytes=VALUES(bytes), "
                         "largo=VALUES(largo), datos=VALUES(datos)"))
            return fallo(st, QStringLiteral("no se pudo guardar el parche"));
        st.entero(appId).texto(c.md5Viejo).texto(c.md5Nuevo).entero(c.parche.size())
            .entero(largo).largo();
        if (!enviarLargo(st, 5, c.parche, nombre + QStringLiteral(" (enviando parche)"),
                         terminal)
            || !st.ejecutar())
            return fallo(st, QStringLiteral("no se pudo guardar el parche"));
    }

    // The chain that leads to the new version stays; older patches go.
    QList<QPair<QByteArray, QByteArray>> filas;
    {
        const QByteArray sql = "SELECT desde_md5, hasta_md5 FROM appparche WHERE app_id="
                               + QByteArray::number(appId);
        MYSQL_RES *res = mysql_query(m, sql.constData()) == 0 ? mysql_store_result(m) : nullptr;
        if (!res) {
            *codigo = mysql_errno(m);
            *error = QStringLiteral("no se pudieron leer los parches: %1")
                         .arg(QString::fromUtf8(mysql_error(m)));
            return false;
        }
        while (MYSQL_ROW f = mysql_fetch_row(res))
            filas.append({QByteArray(f[0]), QByteArray(f[1])});
        mysql_free_result(res);
    }
    for (const QByteArray &desde : parchesSobrantes(filas, c.md5Nuevo)) {
        Lector st(m);
        if (!st.preparar("DELETE FROM appparche WHERE app_id=? AND desde_md5=?")
            || !st.entero(appId).texto(desde).ejecutar())
            return fallo(st, QStringLiteral("no se pudieron quitar parches viejos"));
    }
    return true;
}

} // namespace Comprimidos
