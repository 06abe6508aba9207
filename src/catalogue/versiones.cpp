#include "versiones.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <map>

namespace Versiones {

namespace {

QString fecha(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString nombreVersion(qint64 v)
{
    return QStringLiteral("version %1").arg(v);
}

// A name read from the database, as it may be shown: control characters (a terminal's escape
// sequences among them) become "?".
QString visible(QString texto)
{
    for (QChar &c : texto)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    return texto;
}

const QString sinIniciar = QStringLiteral("sin iniciar");

// A failed update's end of the user's line; empty without one.
QString fallo(const Usuario &u)
{
    if (!u.fallo)
        return QString();
    return QStringLiteral("; no pudo actualizar a la version %1: %2 (%3)")
        .arg(u.fallo->version)
        .arg(causa(u.fallo->causa), fecha(u.fallo->cuando));
}
const QString desconocida = QStringLiteral("version desconocida");

} // namespace

QString causa(const QString &codigo)
{
    static const QHash<QString, QString> textos = {
        {QStringLiteral("firma"), QStringLiteral("firma del editor no valida")},
        {QStringLiteral("md5"), QStringLiteral("el archivo recibido no coincide con su MD5")},
        {QStringLiteral("piezas"), QStringLiteral("piezas danadas, sin otro camino")},
        {QStringLiteral("corte"), QStringLiteral("se corto la conexion durante la descarga")},
        {QStringLiteral("perfil"), QStringLiteral("no se puede escribir en el directorio profile")},
        {QStringLiteral("disco"), QStringLiteral("disco lleno")},
    };
    // A code of a later release, or written by hand: shown as it is, harmless.
    return textos.value(codigo, QStringLiteral("causa ") + visible(codigo.left(10)));
}

void agregarFallos(QList<Programa> &programas, const QHash<qint64, qsizetype> &indice,
                   const QList<FalloDe> &fallos)
{
    QHash<std::pair<qsizetype, QString>, Usuario *> usuarios;
    for (qsizetype i = 0; i < programas.size(); ++i)
        for (Usuario &u : programas[i].usuarios)
            usuarios.insert({i, u.cuenta}, &u);
    for (const FalloDe &f : fallos) {
        const auto i = indice.constFind(f.appId);
        if (i == indice.cend())
            continue;
        if (Usuario *u = usuarios.value({*i, f.cuenta}))
            u->fallo = f.fallo;
    }
}

QDateTime hora(const QString &texto)
{
    return QDateTime::fromString(texto, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString corto(const QString &cuenta)
{
    const qsizetype i = cuenta.indexOf(QLatin1Char('_'));
    return i < 0 ? cuenta : cuenta.mid(i + 1);
}

std::optional<qint64> debida(const Programa &p, const Usuario &u, QDateTime *desde)
{
    const bool piloto = u.piloto && p.piloto;
    if (desde)
        *desde = piloto ? p.pilotoFirmado : p.generalFirmado;
    return piloto ? p.piloto : p.general;
}

QString cabecera(const Programa &p, const QStringList &grupo)
{
    QStringList partes;
    partes << (p.general ? QStringLiteral("version general %1 (%2)")
                               .arg(*p.general)
                               .arg(fecha(p.generalFirmado))
                         : QStringLiteral("sin version general"));
    if (p.piloto) {
        QStringList cortos;
        for (const QString &c : grupo)
            cortos << visible(corto(c));
        partes << QStringLiteral("version piloto %1 (%2) para %3")
                      .arg(QString::number(*p.piloto), fecha(p.pilotoFirmado),
                           cortos.isEmpty() ? QStringLiteral("nadie (grupo vacio)")
                                            : cortos.join(QStringLiteral(", ")));
    } else {
        partes << QStringLiteral("sin piloto");
    }
    partes << (p.anterior ? QStringLiteral("%1 para volver").arg(nombreVersion(*p.anterior))
                          : QStringLiteral("nada para volver"));
    return QStringLiteral("%1: %2").arg(visible(p.nombre), partes.join(QStringLiteral("; ")));
}

QString linea(const Programa &p, const Usuario &u)
{
    QDateTime desde;
    const std::optional<qint64> v = debida(p, u, &desde);
    const QString quien = visible(corto(u.cuenta)) + (u.piloto && p.piloto ? QStringLiteral(" (piloto)")
                                                                   : QString());
    if (!u.cuando.isValid())
        return QStringLiteral("%1: nunca inicio %2").arg(quien, visible(p.nombre)) + fallo(u);
    QString texto = QStringLiteral("%1: %2, iniciado el %3")
                        .arg(quien, u.version ? nombreVersion(*u.version) : desconocida,
                             fecha(u.cuando));
    // A start before the version it must run was published, or of another version, is not
    // a start of that version.
    if (v && (u.cuando < desde || (u.version && *u.version != *v)))
        texto += QStringLiteral(" (no lo inicio desde la publicacion de la %1)")
                     .arg(nombreVersion(*v));
    return texto + fallo(u);
}

QList<std::pair<QString, int>> cuentas(const Programa &p)
{
    std::map<qint64, int, std::greater<>> porVersion;
    int nunca = 0, sinVersion = 0;
    for (const Usuario &u : p.usuarios) {
        if (!u.cuando.isValid())
            ++nunca;
        else if (!u.version)
            ++sinVersion;
        else
            ++porVersion[*u.version];
    }
    QList<std::pair<QString, int>> r;
    for (const auto &[v, n] : porVersion)
        r.append({nombreVersion(v), n});
    if (sinVersion)
        r.append({desconocida, sinVersion});
    if (nunca)
        r.append({sinIniciar, nunca});
    return r;
}

QString resumen(const Programa &p)
{
    QStringList partes;
    for (const auto &[que, n] : cuentas(p))
        partes << QStringLiteral("%1: %2 %3")
                      .arg(que)
                      .arg(n)
                      .arg(n == 1 ? QStringLiteral("usuario") : QStringLiteral("usuarios"));
    int fallidos = 0;
    for (const Usuario &u : p.usuarios)
        fallidos += u.fallo ? 1 : 0;
    if (fallidos)
        partes << QStringLiteral("no pudieron actualizar: %1 %2")
                      .arg(fallidos)
                      .arg(fallidos == 1 ? QStringLiteral("usuario") : QStringLiteral("usuarios"));
    return QStringLiteral("resumen de %1: %2")
        .arg(visible(p.nombre), partes.isEmpty() ? QStringLiteral("ningun usuario con acceso")
                                        : partes.join(QStringLiteral(", ")));
}

QStringList lineas(const QList<Programa> &programas, const QStringList &grupo)
{
    QStringList r;
    for (const Programa &p : programas) {
        r << cabecera(p, grupo);
        for (const Usuario &u : p.usuarios)
            r << linea(p, u);
        r << resumen(p);
    }
    return r;
}

QString html(const QList<Programa> &programas, const QStringList &grupo,
             const std::function<QString(const QString &, const QList<QStringList> &)> &grafico)
{
    QString cuerpo;
    for (const Programa &p : programas) {
        cuerpo += QStringLiteral("<h3>%1</h3><p>%2</p>")
                      .arg(visible(p.nombre).toHtmlEscaped(), cabecera(p, grupo).toHtmlEscaped());
        QList<QStringList> datos{{QStringLiteral("Version"), QStringLiteral("Usuarios")}};
        for (const auto &[que, n] : cuentas(p))
            datos.append({que, QString::number(n)});
        // The chart's title goes into a script of the page, which only quotes are kept out of.
        QString titulo = visible(p.nombre);
        for (QChar &c : titulo)
            if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('&')
                || c == QLatin1Char('\\'))
                c = QLatin1Char('_');
        if (datos.size() > 1)
            cuerpo += grafico(titulo, datos);
        cuerpo += QStringLiteral("<p><table width=\"100%\" border=\"1\" cellpadding=\"6\" "
                                 "cellspacing=\"0\">");
        for (const Usuario &u : p.usuarios)
            cuerpo += QStringLiteral("<tr><td>%1</td></tr>").arg(linea(p, u).toHtmlEscaped());
        cuerpo += QStringLiteral("</table></p><p>%1</p>").arg(resumen(p).toHtmlEscaped());
    }
    if (programas.isEmpty())
        cuerpo = QStringLiteral("<p>No hay programas.</p>");
    return cuerpo;
}

} // namespace Versiones
