// A launcher driven through one scenario, run as a child process by tst_salidas so that the
// real exit paths (status, what reached the database) can be observed from outside.
//   kolvaster_escenario <normal|cancelar|dos-fallos|sin-usuario|escape-error|error-sesion|
//                        senal-sesion|senal-conexion>
// It starts as the launcher's main() does (font and Qt's texts first). "dos-fallos" prints the
// title, text and buttons of each message box it closes ("CAJA title|text|button,button");
// "dos-fallos <user> <password> [<server>]" tries those instead of a wrong password (and that
// server name instead of 127.0.0.1).
// The "senal-" scenarios print "LISTO" once their modal dialog is open and then wait for the
// test to send a signal; "senal-sesion" first starts the program "dormir" of the list.
//   kolvaster_escenario lector <user>
// logs in as <user>, starts the program "lector" of the list, prints "LISTO" once it has ended
// and keeps the session open until a signal ends it. A message box is printed as
// "CAJA|title|text" and closed.
#include "app/kolvaster.h"
#include "app/senales.h"
#include "base/kolvasterinterfaz.h"
#include "base/salida.h"
#include "launch/entorno.h"
#include "modal.h"
#include "testdb.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSet>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

// The libraries of the process that only a report needs, by file name, sorted.
static QByteArray bibliotecasDeReportes()
{
    static const QRegularExpression propias(
        QStringLiteral("WebEngine|Qt6Quick|Qt6Qml|LLVM|_dri\\.so|libGLX_mesa|Qt6PrintSupport|"
                       "kolvastervisor"));
    QFile mapas(QStringLiteral("/proc/self/maps"));
    if (!mapas.open(QIODevice::ReadOnly))
        return "?";
    QSet<QString> vistas;
    for (const QByteArray &linea : mapas.readAll().split('\n')) {
        const QString ruta = QString::fromUtf8(linea.mid(linea.indexOf('/')));
        if (linea.contains('/') && propias.match(ruta).hasMatch())
            vistas.insert(ruta.section(QLatin1Char('/'), -1));
    }
    QStringList lista(vistas.cbegin(), vistas.cend());
    lista.sort();
    return lista.join(QLatin1Char(' ')).toUtf8();
}

int main(int argc, char *argv[])
{
    Entorno::guardar();
    QApplication app(argc, argv);
    kolvasterPrepararInterfaz();
    atenderSenales();
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
        // What the user reads in the box: the seam's own title and text, Qt's button words.
        auto leerYCerrar = [](QWidget *w) {
            auto *caja = qobject_cast<QMessageBox *>(w);
            if (caja == nullptr)
                return false;
            QStringList botones;
            for (QAbstractButton *b : caja->buttons())
                botones << b->text();
            std::printf("CAJA %s|%s|%s\n", qPrintable(caja->windowTitle()),
                        qPrintable(caja->text()), qPrintable(botones.join(QLatin1Char(','))));
            std::fflush(stdout);
            return DriverModal::cerrar("QMessageBox")(w);
        };
        const QString usuario = app.arguments().value(2, QStringLiteral("ana"));
        const QString clave = app.arguments().value(3, QStringLiteral("mala"));
        const QString servidor = app.arguments().value(4, QStringLiteral("127.0.0.1"));
        driver.luego(DriverModal::conectar(servidor, base, usuario, clave));
        driver.luego(leerYCerrar);
        driver.luego(DriverModal::conectar(servidor, base, usuario, clave));
        driver.luego(leerYCerrar);
    } else if (escenario == QLatin1String("sin-usuario")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "beto", TestDb::clave("beto")));
        driver.luego(pulsarOkDelError);
    } else if (escenario == QLatin1String("escape-error")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "beto", TestDb::clave("beto")));
        driver.luego(DriverModal::cerrarError());
    } else if (escenario == QLatin1String("error-sesion")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "ana", TestDb::clave("ana")));
        driver.luego(pulsarOkDelError);
    } else if (escenario == QLatin1String("senal-sesion")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "ana", TestDb::clave("ana")));
    } else if (escenario == QLatin1String("lector")) {
        const QString usuario = app.arguments().value(2);
        driver.luego(DriverModal::conectar("127.0.0.1", base, usuario, TestDb::clave(usuario)));
    } else if (escenario == QLatin1String("reporte")) {
        driver.luego(DriverModal::conectar("127.0.0.1", base, "ana", TestDb::clave("ana")));
        driver.luego([](QWidget *d) {
            if (qstrcmp(d->metaObject()->className(), "KolvasterHTMLViewer") != 0
                || !d->findChild<QLabel *>(QStringLiteral("lab_lo"))->isHidden())
                return false;
            std::printf("REPORTE %s\n", bibliotecasDeReportes().constData());
            std::fflush(stdout);
            static_cast<QDialog *>(d)->reject();
            return true;
        });
    } else if (escenario != QLatin1String("senal-conexion")) {
        return 64;
    }

    // Tells the test, once, that the dialog of the given class is up and waiting.
    QTimer vigia;
    auto avisarCuando = [&vigia](const char *clase) {
        QObject::connect(&vigia, &QTimer::timeout, [&vigia, clase] {
            const QWidget *m = QApplication::activeModalWidget();
            if (m && qstrcmp(m->metaObject()->className(), clase) == 0) {
                vigia.stop();
                std::puts("LISTO");
                std::fflush(stdout);
            }
        });
        vigia.start(20);
    };
    if (escenario == QLatin1String("senal-conexion"))
        avisarCuando("KolvasterConnDialog");
    if (escenario == QLatin1String("dos-fallos")) {
        // A connection that should have failed and did not: the start-up goes on to dialogs
        // of its own. Said at once (status 3), instead of waiting for boxes that never come.
        QObject::connect(&vigia, &QTimer::timeout, [] {
            const QWidget *m = QApplication::activeModalWidget();
            if (m && !qobject_cast<const QMessageBox *>(m)
                && qstrcmp(m->metaObject()->className(), "KolvasterConnDialog") != 0
                && qstrcmp(m->metaObject()->className(), "KolvasterProcessDialog") != 0) {
                std::printf("SESION ABIERTA %s\n", m->metaObject()->className());
                std::fflush(stdout);
                std::_Exit(3);
            }
        });
        vigia.start(20);
    }
    if (escenario == QLatin1String("lector")) {
        QObject::connect(&vigia, &QTimer::timeout, [] {
            if (auto *caja = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                std::printf("CAJA|%s|%s\n", qPrintable(caja->windowTitle()),
                            qPrintable(caja->text()));
                std::fflush(stdout);
                caja->accept();
            }
        });
        vigia.start(20);
    }

    Kolvaster w;
    w.show();
    if (escenario == QLatin1String("error-sesion")) {
        // A failure in the middle of a session, after the record was published.
        QTimer::singleShot(0, &w, [&w] { w.reportarError(QStringLiteral("Fallo de prueba")); });
    } else if (escenario == QLatin1String("senal-sesion")) {
        w.ejecutarPrograma(QStringLiteral("dormir.exe"));
        avisarCuando("KolvasterAcercaDe");
        QTimer::singleShot(0, &w, [&w] {
            w.findChild<QAction *>(QStringLiteral("actionAcerca_de"))->trigger();
        });
    } else if (escenario == QLatin1String("lector")) {
        w.ejecutarPrograma(QStringLiteral("lector.exe"));
        QTimer *espera = new QTimer(&w);
        QObject::connect(espera, &QTimer::timeout, [&w, espera] {
            if (w.programasAbiertos == 0) {
                espera->stop();
                std::puts("LISTO");
                std::fflush(stdout);
            }
        });
        espera->start(20);
    } else if (escenario == QLatin1String("reporte")) {
        QTimer::singleShot(0, &w, [&w] {
            std::printf("INACTIVO %s\n", bibliotecasDeReportes().constData());
            std::fflush(stdout);
            w.findChild<QAction *>(QStringLiteral("actionMis_ultimos_accesos"))->trigger();
            w.close();
        });
    } else {
        // A session that got this far is ended by the user closing its window.
        QTimer::singleShot(0, &w, &QWidget::close);
    }
    return app.exec();
}
