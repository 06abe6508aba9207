#include "app/kolvaster.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    Kolvaster w;
    w.show();
    return a.exec();
}
