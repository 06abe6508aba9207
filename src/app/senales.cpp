// Ends of the session asked from outside the program: SIGTERM (a desktop logout, kill), SIGHUP
// and SIGINT close the session from the GUI thread's event loop.
#include "app/kolvaster.h"
#include "base/salida.h"
#include "launch/kolvasterprocess.h"

#include <QApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

void Kolvaster::terminarPorSenal()
{
    // Past the login and with no exit path under way there is a session to close; before the
    // login (the connection dialog, say) or while an error dialog is ending the process there
    // is none, as on every other exit of the start-up.
    const bool sesion = !finalizado && uid != 0 && db.isOpen();
    finalizado = true;
    // Each runner kills its child and joins its thread, as when the last window closes.
    qDeleteAll(findChildren<KolvasterProcess *>());
    if (sesion)
        registrarSalida(); // a failure shows the error dialog, which ends the process itself
    finalizarProceso(0);
}

#ifdef Q_OS_UNIX
namespace {

int tuberia[2] = {-1, -1};

extern "C" void anotarSenal(int)
{
    const int guardado = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(tuberia[1], &byte, 1);
    errno = guardado;
}

void atender()
{
    char basura[64];
    while (::read(tuberia[0], basura, sizeof basura) > 0) {
    }
    // A second signal while the first is being handled (an error dialog waiting for its
    // user, say) ends the process without further ado.
    static bool enCurso = false;
    if (enCurso) {
        finalizarProceso(0);
        return;
    }
    enCurso = true;
    const QWidgetList ventanas = QApplication::topLevelWidgets();
    for (QWidget *w : ventanas) {
        if (auto *k = qobject_cast<Kolvaster *>(w)) {
            k->terminarPorSenal();
            return;
        }
    }
    finalizarProceso(0);
}

} // namespace

void atenderSenales()
{
    if (tuberia[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, tuberia) != 0)
        return;
    auto *notificador = new QSocketNotifier(tuberia[0], QSocketNotifier::Read, qApp);
    QObject::connect(notificador, &QSocketNotifier::activated, notificador, [] { atender(); });

    struct sigaction accion = {};
    accion.sa_handler = anotarSenal;
    sigemptyset(&accion.sa_mask);
    accion.sa_flags = SA_RESTART;
    for (int senal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(senal, &accion, nullptr);
}
#else
void atenderSenales() {}
#endif
