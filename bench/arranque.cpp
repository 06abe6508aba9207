// One launcher start, as a user's workstation makes it: the real main window through its
// connection dialog, on the server the environment's MYSQL_TCP_PORT points at. Prints
// "T <seconds>" (from "Conectar" to the end of the window's construction: the connection and
// every statement of the start) and ends the way the program does, releasing its session
// record. Run many at once by bench_tormenta, and through a slow link by bench_catalogo.
//   bench_arranque USER PASSWORD
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "modal.h"
#include "testdb.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        return 64;
    Mensajes::guionizar(true);
    DriverModal driver;
    QElapsedTimer t;
    // From "Conectar", as the user waits: the dialog's answer comes on a polling timer whose
    // delay is no part of the start.
    const DriverModal::Respuesta conectar = DriverModal::conectar(
        "127.0.0.1", TestDb::base(), QString::fromLatin1(argv[1]), QString::fromLatin1(argv[2]));
    driver.luego([&](QWidget *w) {
        t.start();
        return conectar(w);
    });
    Kolvaster w;
    const double s = t.nsecsElapsed() / 1e9;
    if (w.terminado())
        return 1;
    std::printf("T %.4f\n", s);
    finalizarProceso(0);
    return 0;
}
