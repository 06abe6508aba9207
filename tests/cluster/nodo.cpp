// A launcher, or an administrator's dialog, in a process of its own, connected wherever the
// environment's MYSQL_TCP_PORT points (one node of the cluster, or its balancer). Run by
// tst_cluster, which reads its lines on standard output and sends it commands, one per line, on
// standard input.
//   kolvaster_nodo lanzador [PID]   logs in as ana and prints "LISTO <port of the node>";
//                                   "refrescar" refreshes the catalogue, killing process PID
//                                   (a node) once the first 16 MB of a program have arrived;
//                                   "salir" closes the window
//   kolvaster_nodo otorgar UID APP  dbadmin's administration dialog with user UID and program
//                                   APP selected, prints "LISTO <port>"; "ya" grants it
//   kolvaster_nodo foto UID IMAGEN  the same dialog with user UID selected; "ya" gives the user
//                                   the picture in file IMAGEN
// Every message box is printed as "CAJA|title|text", the error dialog as "ERROR|its text"
// before it is left with OK; "HECHO" follows a grant or a refresh that returned.
#include "accounts/kolvasteruser.h"
#include "archivos.h"
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "modal.h"
#include "testdb.h"
#include "ui_kolvaster.h"
#include "ui_kolvasteruser.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSqlQuery>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

void decir(const QString &linea)
{
    std::puts(qPrintable(linea));
    std::fflush(stdout);
}

QString puertoDeLaSesion()
{
    QSqlQuery q;
    return q.exec("SELECT @@port") && q.next() ? q.value(0).toString() : QString("?");
}

// Prints the error dialog's text once its outcome is known, then presses OK.
bool informarError(QWidget *w)
{
    if (qstrcmp(w->metaObject()->className(), "KolvasterErrorHandler") != 0)
        return false;
    auto *ok = w->findChild<QPushButton *>(QStringLiteral("pb_ok"));
    if (!ok->isEnabled())
        return false;
    decir("ERROR|" + w->findChild<QPlainTextEdit *>(QStringLiteral("pte_dete"))->toPlainText()
                         .replace('\n', ' '));
    ok->click();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString modo = args.value(1);
    Mensajes::guionizar(true);
    Mensajes::observar([](const Mensajes::Mostrado &m) {
        decir("CAJA|" + m.titulo + "|" + QString(m.texto).replace('\n', ' '));
    });
    DriverModal driver;
    QSocketNotifier entrada(STDIN_FILENO, QSocketNotifier::Read);
    std::function<void(const QString &)> orden;
    QObject::connect(&entrada, &QSocketNotifier::activated, [&] {
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            entrada.setEnabled(false);
            return;
        }
        for (const QByteArray &l : QByteArray(buf, int(n)).split('\n'))
            if (!l.trimmed().isEmpty())
                QTimer::singleShot(0, [&orden, l] { orden(QString::fromLatin1(l.trimmed())); });
    });

    if (modo == QLatin1String("lanzador")) {
        const pid_t victima = pid_t(args.value(2).toLongLong());
        driver.luego(DriverModal::conectar("127.0.0.1", TestDb::base(), "ana",
                                           TestDb::clave("ana")));
        Kolvaster w;
        if (w.terminado())
            return 3;
        w.show();
        decir("LISTO " + puertoDeLaSesion());
        std::atomic<bool> fin{false};
        std::thread verdugo;
        orden = [&](const QString &o) {
            if (o == QLatin1String("salir")) {
                w.close();
                return;
            }
            if (o != QLatin1String("refrescar"))
                return;
            if (victima > 0) {
                const qint64 base = residenteKb();
                verdugo = std::thread([&fin, base, victima] {
                    while (!fin) {
                        if (residenteKb() > base + 16 * 1024) {
                            ::kill(victima, SIGKILL);
                            decir("MATADO");
                            return;
                        }
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                });
            }
            driver.luego(informarError);
            w.ui->actionActualizar_aplicaciones_disponibles->trigger();
            decir("HECHO");
        };
        const int r = app.exec();
        fin = true;
        if (verdugo.joinable())
            verdugo.join();
        return r;
    }

    if (modo == QLatin1String("otorgar") || modo == QLatin1String("foto")) {
        const bool foto = modo == QLatin1String("foto");
        const QString usuario = args.value(2), cual = args.value(3); // program id or image file
        QSqlDatabase db = TestDb::abrirSesion("dbadmin", TestDb::claveAdmin);
        bool propia = false;
        const qint64 admin = TestDb::valor("SELECT sysuser_id FROM sysuser WHERE sysuser='dbadmin'")
                                 .toLongLong();
        KolvasterUser d(&propia, admin, &db, QStringLiteral("Kolvaster"));
        auto fila = [](QTableWidget *t, const QString &id) {
            for (int i = 0; i < t->rowCount(); ++i)
                if (t->item(i, 0)->text() == id) {
                    t->selectRow(i);
                    return true;
                }
            return false;
        };
        if (!fila(d.ui->tw_user, usuario) || (!foto && !fila(d.ui->tw_appsin, cual)))
            return 4;
        d.show();
        decir("LISTO " + puertoDeLaSesion());
        orden = [&](const QString &o) {
            if (o != QLatin1String("ya"))
                return;
            driver.luego(informarError);
            if (foto) {
                Mensajes::responder(cual);
                d.ui->pb_selimg->click();
            } else {
                d.ui->bagregar->click();
            }
            decir("HECHO");
            app.quit();
        };
        return app.exec();
    }
    return 64;
}
