#include "app/kolvaster.h"
#include "app/senales.h"
#include "base/kolvasterinterfaz.h"
#include "base/salida.h"
#include "db/complementos.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before the client library starts: no authentication plugin that would hand the password
    // over as it is, for this process and the programs it starts.
    Complementos::limitar();
    QApplication a(argc, argv);
    // Before the first widget: the forms' font and Qt's own texts in Spanish.
    kolvasterPrepararInterfaz();
    // A desktop logout, a closed terminal or Ctrl+C end the session like closing the window.
    atenderSenales();
    Kolvaster w;
    w.show();
    return a.exec();
}
