#include "kolvasterclient.h"
#include "registroprivado.h"
#include "sesioncifrada.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QMessageBox>
#include <QSharedMemory>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

namespace {

const char claveDefecto[] = "KOLVASTER_DEFSYSNAME";

[[noreturn]] void abandonar(QWidget *padre, const QString &clave)
{
    QMessageBox::critical(padre, QStringLiteral("Error !"),
                          QStringLiteral("Error al acceder a recurso compartido !<br>Comunique "
                                         "novedad al Administrador de Sistemas !<br><br>Nombre "
                                         "de recurso: ")
                              + clave,
                          QMessageBox::Ok);
    std::fflush(nullptr);
    std::exit(0);
}

} // namespace

KolvasterClient::KolvasterClient(const QString &sistema, QWidget *widgetPadre, QObject *parent)
    : QObject(parent), widgetPadre(widgetPadre), sistema(sistema)
{
    // The launcher keeps the record where only its own user reaches it; a program started by
    // hand, outside the launcher's environment, looks there too.
    RegistroPrivado::adoptar();
    if (this->sistema.isEmpty())
        this->sistema = valor(QString::fromLatin1(claveDefecto));
}

KolvasterClient::~KolvasterClient() = default;

QString KolvasterClient::valor(const QString &nombre)
{
    const QString clave = nombre == QLatin1String(claveDefecto)
                              ? nombre
                              : QStringLiteral("KOLVASTER_") + sistema + QLatin1Char('_') + nombre;

    QSharedMemory segmento(clave, this);
    if (!segmento.attach(QSharedMemory::ReadWrite))
        abandonar(widgetPadre, clave);

    segmento.lock();
    // The platform may round the segment up; the record starts at offset 0 and says its length.
    const QByteArray bytes(static_cast<const char *>(segmento.constData()), segmento.size());
    segmento.unlock();
    segmento.detach();

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream entrada(&buffer);
    QString texto;
    entrada >> texto;
    return texto;
}

bool KolvasterClient::conectar(QSqlDatabase &db, QString *error)
{
    db.setHostName(valor(QStringLiteral("HOST")));
    db.setDatabaseName(sistema);
    db.setUserName(valor(QStringLiteral("USER")));
    db.setPassword(valor(QStringLiteral("PASS")));
    db.setConnectOptions(valor(QStringLiteral("OPTIONS")));
    return SesionCifrada::abrir(db, error);
}

KolvasterAcceso::KolvasterAcceso() = default;
KolvasterAcceso::~KolvasterAcceso() = default;

int KolvasterAcceso::idUsuario(const char *usuario)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT sysuser_id FROM sysuser WHERE sysuser=:usuario;"));
    q.bindValue(QStringLiteral(":usuario"), QString::fromUtf8(usuario));
    q.exec();
    if (!q.next())
        return 0;
    return static_cast<int>(q.value(0).toLongLong());
}

bool KolvasterAcceso::accesoAplicacion(int idUsuario, const char *nombre)
{
    int idAdministrador = -1;
    {
        QSqlQuery q;
        q.exec(QStringLiteral("SELECT sysuser_id FROM sysuser WHERE sysuser='dbadmin';"));
        if (q.next())
            idAdministrador = static_cast<int>(q.value(0).toLongLong());
    }
    if (idUsuario == idAdministrador)
        return true;

    QSqlQuery q;
    q.prepare(QStringLiteral(
        "SELECT 1 FROM sysuser u, sysuserapp ua, app a WHERE u.sysuser_id=ua.sysuser_id AND "
        "a.app_id=ua.app_id AND ua.sysuser_id=:uid AND a.nombre=:appname;"));
    q.bindValue(QStringLiteral(":uid"), static_cast<qint64>(idUsuario));
    q.bindValue(QStringLiteral(":appname"), QString::fromUtf8(nombre));
    q.exec();
    return q.next();
}
