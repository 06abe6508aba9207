// Who runs what, for administrators: the report "Versiones en uso...", one chart per program.

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "catalogue/versiones.h"
#include "reports/kolvasterhtmlviewer.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

std::optional<qint64> numero(const QSqlQuery &q, int columna)
{
    return q.isNull(columna) ? std::nullopt : std::optional<qint64>(q.value(columna).toLongLong());
}

} // namespace

bool Kolvaster::leerVersiones(QList<Versiones::Programa> *programas, QStringList *grupo,
                              QString *error)
{
    QSqlQuery q;
    q.setForwardOnly(true);
    auto correr = [&](const char *sql, bool conNombre) {
        q.prepare(QString::fromLatin1(sql));
        if (conNombre) {
            q.addBindValue(QString(QLatin1String("")));
            q.addBindValue(QString(QLatin1String("")));
        }
        if (q.exec())
            return true;
        *error = q.lastError().text();
        return false;
    };
    if (!correr(Versiones::sqlProgramas, true))
        return false;
    QHash<qint64, qsizetype> indice;
    while (q.next()) {
        Versiones::Programa p;
        p.appId = q.value(0).toLongLong();
        p.nombre = q.value(1).toString();
        p.general = numero(q, 2);
        p.generalFirmado = Versiones::hora(q.value(3).toString());
        p.piloto = numero(q, 4);
        p.pilotoFirmado = Versiones::hora(q.value(5).toString());
        p.anterior = numero(q, 6);
        indice.insert(p.appId, programas->size());
        programas->append(p);
    }
    if (!correr(Versiones::sqlUsuarios, true))
        return false;
    while (q.next()) {
        const auto i = indice.constFind(q.value(0).toLongLong());
        if (i == indice.cend())
            continue; // a program published since the first statement
        Versiones::Usuario u;
        u.cuenta = q.value(1).toString();
        u.piloto = q.value(2).toBool();
        u.version = numero(q, 3);
        u.cuando = Versiones::hora(q.value(4).toString());
        (*programas)[*i].usuarios.append(u);
    }
    // A database not upgraded yet has no record of failed updates: the report goes without it.
    if (correr(Versiones::sqlFallos, true)) {
        QList<Versiones::FalloDe> fallos;
        while (q.next()) {
            Versiones::FalloDe f;
            f.appId = q.value(0).toLongLong();
            f.cuenta = q.value(1).toString();
            f.fallo.version = q.value(2).toLongLong();
            f.fallo.causa = q.value(3).toString();
            f.fallo.cuando = Versiones::hora(q.value(4).toString());
            fallos.append(f);
        }
        Versiones::agregarFallos(*programas, indice, fallos);
    } else if (q.lastError().nativeErrorCode() != QLatin1String("1146")) {
        return false;
    }
    if (!correr(Versiones::sqlGrupo, false))
        return false;
    while (q.next())
        grupo->append(q.value(0).toString());
    return true;
}

void Kolvaster::on_actionVersiones_en_uso_triggered()
{
    if (!administradorConfirmado())
        return;
    QList<Versiones::Programa> programas;
    QStringList grupo;
    QString error;
    if (!leerVersiones(&programas, &grupo, &error)) {
        reportarError(error);
        return;
    }
    QString sinVisor;
    if (!KolvasterHTMLViewer::disponible(&sinVisor)) {
        reportarError(sinVisor);
        return;
    }
    KolvasterHTMLViewer visor(QStringLiteral("Kolvaster - Versiones en uso"), this);
    visor.setHtmlBody(Versiones::html(
        programas, grupo, [&](const QString &titulo, const QList<QStringList> &datos) {
            return visor.addChart(QStringLiteral("PieChart"), titulo, datos, 500, 300);
        }));
    visor.exec();
}
