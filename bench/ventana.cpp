// The yardstick of bench/visor.sh: a bare Qt window with a list and a menu, built with the
// same toolkit as the launcher, whose resident memory the idle launcher is measured against.
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow ventana;
    ventana.setWindowTitle(QStringLiteral("Ventana de referencia"));
    ventana.menuBar()->addMenu(QStringLiteral("&Archivo"))->addAction(QStringLiteral("Salir"),
                                                                        &app, &QApplication::quit);
    auto *lista = new QListWidget;
    for (const char *nombre : {"calculadora", "agenda", "inventario", "facturacion", "sueldos"})
        lista->addItem(QString::fromLatin1(nombre));
    ventana.setCentralWidget(lista);
    ventana.showMaximized();
    return app.exec();
}
