// A launcher driven through one scenario, run as a child process by tst_salidas so that the
// real exit paths (status, what reached the database) can be observed from outside.
//   kolvaster_escenario <normal|cancelar|dos-fallos|sin-usuario|escape-error>
#include "app/kolvaster.h"
#include "modal.h"
#include "testdb.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString escenario = app.arguments().value(1);
    const QString base = TestDb::base();
    DriverModal driver;

    auto pulsarOkDelError = [](QWidget *w) {
        if (qstrcmp(w->metaObject()->className(), "KolvasterErrorHandler") != 0)
            return false;
        auto *ok = w->findChild<QPushButton *>(QStringLiteral("pb_ok"));
        if (!ok->isEnabled())
            return false;
        ok->click();
        return true;
    };

    if (escenario == QLatin1String("normal")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "ana", TestDb::clave("ana")));
    } else if (escenario == QLatin1String("cancelar")) {
        driver.luego(DriverModal::cancelarConexion());
    } else if (escenario == QLatin1String("dos-fallos")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "ana", "mala"));
        driver.luego(DriverModal::cerrar("QMessageBox"));
        driver.luego(DriverModal::conectar("127.0.0.1", base, "ana", "mala"));
        driver.luego(DriverModal::cerrar("QMessageBox"));
    } else if (escenario == QLatin1String("sin-usuario")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "beto", TestDb::clave("beto")));
        driver.luego(pulsarOkDelError);
    } else if (escenario == QLatin1String("escape-error")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "beto", TestDb::clave("beto")));
        driver.luego(DriverModal::cerrarError());
    } else {
        return 64;
    }

    Kolvaster w;
    w.show();
    // A session that got this far is ended by the user closing its window.
    QTimer::singleShot(0, &w, &QWidget::close);
    return app.exec();
}
