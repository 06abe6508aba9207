// Child process of the session-record tests.
//
//   ayudante_sesion leer SISTEMA|- NOMBRE...  builds a KolvasterClient (- = default system) and
//                                             prints "NOMBRE=<value as UTF-8 hex>" per name, or
//                                             "NOMBRE=NULL" for a null string
//   ayudante_sesion tener CLAVE...            creates the segments (holding "x"), prints
//                                             "LISTO" and waits to be killed
//
//   ayudante_sesion conectar SISTEMA|-        connects with the record (KolvasterClient::
//                                             conectar) and prints "CONECTADA <TLS cipher>"
//                                             or "FALLO <error>" (with " REABIERTA" when the
//                                             default connection could then be opened again)
//
//   ayudante_sesion                           as a program of the suite started by a launcher:
//                                             reads the default system's USER and HOST and
//                                             writes "sistema|usuario|host" to "lectura.txt"
//                                             beside itself, then connects with the record and
//                                             writes what "conectar" prints to "conexion.txt"
//                                             and its environment ("NAME=value" lines, sorted)
//                                             to "entorno.txt"
//
// Any message box the client opens is printed as "CAJA|title|text" and closed, so the test
// sees what the user would have seen and the client's own exit status.

#include <kolvasterclient.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QDataStream>
#include <QMessageBox>
#include <QProcessEnvironment>
#include <QSharedMemory>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
void imprimir(const QByteArray &linea)
{
    std::fwrite(linea.constData(), 1, linea.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Connects as the launcher's session and says how: the server's own word on the cipher.
QByteArray conectar(KolvasterClient &cliente)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"));
    QString error;
    QSqlQuery q;
    if (!cliente.conectar(db, &error)) {
        // A program that went on regardless: the refused session must not come back.
        const bool reabierta = QSqlDatabase::database().isOpen();
        return "FALLO " + error.toUtf8() + (reabierta ? " REABIERTA" : "");
    }
    if (!q.exec("SHOW SESSION STATUS LIKE 'Ssl_cipher'"))
        return "FALLO " + error.toUtf8();
    return "CONECTADA " + (q.next() ? q.value(1).toByteArray() : QByteArray());
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QTimer vigia;
    QObject::connect(&vigia, &QTimer::timeout, [] {
        if (auto *caja = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            imprimir("CAJA|" + caja->windowTitle().toUtf8() + '|' + caja->text().toUtf8());
            caja->accept();
        }
    });
    vigia.start(20);

    if (args.isEmpty()) {
        // As it was started, before the reader library adjusts anything.
        QStringList variables = QProcessEnvironment::systemEnvironment().toStringList();
        variables.sort();
        KolvasterClient cliente(QString(), nullptr);
        const QString linea = cliente.valor(QStringLiteral("KOLVASTER_DEFSYSNAME"))
                              + QLatin1Char('|') + cliente.valor(QStringLiteral("USER"))
                              + QLatin1Char('|') + cliente.valor(QStringLiteral("HOST"));
        QFile salida(QCoreApplication::applicationDirPath() + QStringLiteral("/lectura.txt"));
        if (!salida.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 3;
        salida.write(linea.toUtf8());
        salida.close();
        QFile entorno(QCoreApplication::applicationDirPath() + QStringLiteral("/entorno.txt"));
        if (!entorno.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || entorno.write(variables.join(QLatin1Char('\n')).toUtf8()) < 0)
            return 3;
        entorno.close();
        QFile conexion(QCoreApplication::applicationDirPath() + QStringLiteral("/conexion.txt"));
        return conexion.open(QIODevice::WriteOnly) && conexion.write(conectar(cliente)) ? 0 : 3;
    }
    if (args.size() < 2)
        return 2;

    if (args.at(0) == QLatin1String("tener")) {
        QList<QSharedMemory *> segmentos;
        for (const QString &clave : args.mid(1)) {
            QByteArray bytes;
            QDataStream flujo(&bytes, QIODevice::WriteOnly);
            flujo << QStringLiteral("x");
            auto *s = new QSharedMemory(clave, &app);
            if (!s->create(bytes.size())) {
                imprimir("FALLO " + clave.toUtf8());
                return 1;
            }
            memcpy(s->data(), bytes.constData(), bytes.size());
            segmentos.append(s);
        }
        imprimir("LISTO");
        return app.exec();
    }

    const QString sistema = args.at(1) == QLatin1String("-") ? QString() : args.at(1);
    KolvasterClient cliente(sistema, nullptr);
    if (args.at(0) == QLatin1String("conectar")) {
        imprimir(conectar(cliente));
        return 0;
    }
    for (const QString &nombre : args.mid(2)) {
        const QString v = cliente.valor(nombre);
        imprimir(nombre.toUtf8() + '=' + (v.isNull() ? QByteArray("NULL") : v.toUtf8().toHex()));
    }
    return 0;
}
