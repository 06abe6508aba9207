#pragma once

// What the sample program reads, without widgets: whose program starts it shows and the
// statement that reads them, and the export's file name. Kept apart from muestra.cpp so that a
// program copied from the sample can keep its window and change only this.

#include <QFileInfo>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace Inicios {

// Administrators of the suite (and the database administrator) see every user's starts; any
// other user, their own.
inline bool todosLosUsuarios(qint64 uid, const QString &cuenta)
{
    if (cuenta == QLatin1String("dbadmin"))
        return true;
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT useradmin FROM sysuser WHERE sysuser_id=:uid;"));
    q.bindValue(QStringLiteral(":uid"), uid);
    return q.exec() && q.next() && q.value(0).toBool();
}

// The program starts of the last month, one row per program: app_id, name, title, count and
// last start (dd/mm/yyyy hh:mm), most started first. Only the user's own unless `todos`.
inline bool leer(QSqlQuery &q, qint64 uid, bool todos)
{
    q.prepare(QStringLiteral(
                  "SELECT u.app_id, COALESCE(a.nombre, '(sin programa)'), COALESCE(a.titulo, ''), "
                  "COUNT(*), DATE_FORMAT(MAX(u.cuando), '%d/%m/%Y %H:%i') FROM appuse u "
                  "LEFT JOIN app a ON a.app_id=u.app_id WHERE u.cuando >= NOW() - INTERVAL 1 MONTH ")
              + (todos ? QString() : QStringLiteral("AND u.sysuser_id=:uid "))
              + QStringLiteral("GROUP BY u.app_id, a.nombre, a.titulo "
                               "ORDER BY COUNT(*) DESC, a.nombre;"));
    if (!todos)
        q.bindValue(QStringLiteral(":uid"), uid);
    return q.exec();
}

// As the platform's own save dialog does: a name without an extension gets the filter's.
inline QString conExtension(const QString &archivo, const QString &extension)
{
    if (archivo.isEmpty() || !QFileInfo(archivo).suffix().isEmpty())
        return archivo;
    return archivo + QLatin1Char('.') + extension;
}

} // namespace Inicios
