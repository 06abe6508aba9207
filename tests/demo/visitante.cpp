// The newcomer at the demo's launcher, for tst_demo: the real main window and the real
// administration, answered as a person would answer them. scripts/demo.sh runs it in place of
// the launcher, in the launcher's environment (home, working directory, server port).
//   visitante_demo crear    logs in as ana and, in "Administracion de accesos...", creates the
//                           user "carla" with system and remote access and the password
//                           "carla_pw"; prints "CREADO" when the password was taken
//   visitante_demo entrar   logs in as carla/carla_pw; prints "ENTRO <title>" or "NO ENTRO"
// Every box the launcher showed is printed first, one line each ("CAJA title|text").
#include "app/kolvaster.h"
#include "base/kolvasterinterfaz.h"
#include "base/mensajes.h"
#include "guion.h"
#include "modal.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QPushButton>
#include <QSqlQuery>
#include <QTimer>

#include <cstdio>

namespace {

const QString sistema = QStringLiteral("demo");

void mostrarCajas()
{
    for (const Mensajes::Mostrado &m : Mensajes::mostrados())
        std::printf("CAJA %s|%s\n", qPrintable(m.titulo), qPrintable(m.texto));
}

bool mostrada(const QString &texto)
{
    for (const Mensajes::Mostrado &m : Mensajes::mostrados())
        if (m.texto == texto)
            return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kolvasterPrepararInterfaz();
    const QString modo = app.arguments().value(1);
    Guion guion;
    DriverModal driver;
    int estado = 0;

    if (modo == QLatin1String("crear")) {
        driver.luego(DriverModal::conectar(QStringLiteral("127.0.0.1"), sistema,
                                           QStringLiteral("ana"), QStringLiteral("ana_pw")));
        driver.luego([](QWidget *w) {
            if (qstrcmp(w->metaObject()->className(), "KolvasterUser") != 0)
                return false;
            Mensajes::responder(QStringLiteral("carla"));
            w->findChild<QPushButton *>(QStringLiteral("pb_newuser"))->click();
            w->findChild<QCheckBox *>(QStringLiteral("check_sistema"))->click();
            w->findChild<QCheckBox *>(QStringLiteral("check_accesoremoto"))->click();
            Mensajes::responder(QStringLiteral("carla_pw"));
            Mensajes::responder(QStringLiteral("carla_pw"));
            w->findChild<QPushButton *>(QStringLiteral("pb_pass"))->click();
            static_cast<QDialog *>(w)->reject();
            return true;
        });
        Kolvaster w;
        if (!w.terminado()) {
            w.show();
            QTimer::singleShot(0, &w, [&w] {
                w.findChild<QAction *>(QStringLiteral("actionAdministracion_de_accesos"))
                    ->trigger();
                w.close();
            });
            app.exec();
        }
        mostrarCajas();
        const bool creado = mostrada(QStringLiteral("Usuario creado y seleccionado!"))
                            && mostrada(QString::fromUtf8("Contraseña modificada con exito!"));
        std::puts(creado ? "CREADO" : "NO CREADO");
        estado = creado ? 0 : 1;
    } else if (modo == QLatin1String("entrar")) {
        // Two attempts, as the connection procedure allows.
        for (int i = 0; i < 2; ++i)
            driver.luego(DriverModal::conectar(QStringLiteral("127.0.0.1"), sistema,
                                               QStringLiteral("carla"),
                                               QStringLiteral("carla_pw")));
        QString titulo;
        {
            Kolvaster w;
            if (!w.terminado() && w.uid != 0) {
                QSqlQuery q;
                q.prepare(QStringLiteral("SELECT titulo FROM sysuser WHERE sysuser_id=:id;"));
                q.bindValue(QStringLiteral(":id"), w.uid);
                if (q.exec() && q.next())
                    titulo = q.value(0).toString();
            }
            w.close();
        }
        mostrarCajas();
        if (titulo.isEmpty()) {
            std::puts("NO ENTRO");
            estado = 1;
        } else {
            std::printf("ENTRO %s\n", qPrintable(titulo));
        }
    } else {
        return 64;
    }
    std::fflush(stdout);
    return estado;
}
