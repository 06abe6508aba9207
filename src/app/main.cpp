#include "app/kolvaster.h"
#include "app/senales.h"
#include "base/kolvasterinterfaz.h"
#include "base/salida.h"
#include "launch/entorno.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before anything changes it: the programs the launcher starts get this environment.
    Entorno::guardar();
    QApplication a(argc, argv);
    // Before the first widget: the forms' font and Qt's own texts in Spanish.
    kolvasterPrepararInterfaz();
    // A desktop logout, a closed terminal or Ctrl+C end the session like closing the window.
    atenderSenales();
    Kolvaster w;
    w.show();
    return a.exec();
}
