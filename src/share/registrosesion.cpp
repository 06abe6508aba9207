#include "registrosesion.h"

#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "db/apertura.h"
#include "registroprivado.h"

#include <QBuffer>
#include <QDataStream>
#include <QSharedMemory>
#include <QSqlDatabase>

#include <cstring>

namespace RegistroSesion {

QMap<QString, QString> entradas(const QSqlDatabase &db)
{
    const QString prefijo = QStringLiteral("KOLVASTER_") + db.databaseName() + QLatin1Char('_');
    QMap<QString, QString> valores;
    valores.insert(QString::fromLatin1(claveDefecto), db.databaseName());
    valores.insert(prefijo + QStringLiteral("HOST"), Apertura::servidor(db.hostName()));
    valores.insert(prefijo + QStringLiteral("USER"), db.userName());
    valores.insert(prefijo + QStringLiteral("PASS"), db.password());
    valores.insert(prefijo + QStringLiteral("OPTIONS"), db.connectOptions());
    return valores;
}

QByteArray codificar(const QString &valor)
{
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    QDataStream salida(&buffer);
    salida << valor;
    return buffer.data();
}

bool crear(QSharedMemory *segmento, int tamano)
{
    if (segmento->create(tamano, QSharedMemory::ReadWrite))
        return true;
    if (segmento->error() != QSharedMemory::AlreadyExists)
        return false;

    // Detaching removes a System V segment once no process is attached to it any more, so
    // attaching to an orphan and letting go of it is what removes it. A segment held by a
    // running launcher keeps its attachment and survives this.
    {
        QSharedMemory sonda(segmento->key());
        if (sonda.attach(QSharedMemory::ReadOnly))
            sonda.detach();
    }
    return segmento->create(tamano, QSharedMemory::ReadWrite);
}

QString publicar(const QMap<QString, QString> &valores, QObject *padre)
{
    for (auto it = valores.cbegin(); it != valores.cend(); ++it) {
        auto *segmento = new QSharedMemory(it.key(), padre);
        const QByteArray bytes = codificar(it.value());
        if (!crear(segmento, bytes.size())) {
            delete segmento;
            if (it.key() == QLatin1String(claveDefecto))
                continue;
            return it.key();
        }
        liberarAlFinalizar(segmento);
        segmento->lock();
        memcpy(segmento->data(), bytes.constData(), bytes.size());
        segmento->unlock();
    }
    return QString();
}

} // namespace RegistroSesion

void Kolvaster::publicarSesion()
{
    // The record is private to the operating-system user, as it is to the logon session where
    // shared memory is per session; the programs started from here on inherit the place.
    if (RegistroPrivado::preparar()
        && RegistroSesion::publicar(RegistroSesion::entradas(db), this).isEmpty())
        return;
    Mensajes::critico(
        this, QStringLiteral("Error!"),
        QStringLiteral("No se pueden crear recursos compartidos ! Verifique no exista otra "
                       "instancia del programa abierta y conectada a la misma base de datos! "
                       "Reinicie su ordenador y vuelva a intentar operacion!"));
    terminar(0);
}
