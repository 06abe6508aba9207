// One launcher start, as a user's workstation makes it: the real main window through its
// connection dialog, on the server the environment's MYSQL_TCP_PORT points at. Prints
// "T <seconds>" (construction of the window: every statement of the start) and ends the way
// the program does, releasing its session record. Run many at once by bench_tormenta.
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
    driver.luego(DriverModal::conectar("127.0.0.1", TestDb::base(), QString::fromLatin1(argv[1]),
                                       QString::fromLatin1(argv[2])));
    QElapsedTimer t;
    t.start();
    Kolvaster w;
    const double s = t.nsecsElapsed() / 1e9;
    if (w.terminado())
        return 1;
    std::printf("T %.4f\n", s);
    finalizarProceso(0);
    return 0;
}
