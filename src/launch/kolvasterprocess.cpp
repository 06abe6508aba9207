#include "kolvasterprocess.h"

#include "base/mensajes.h"
#include "launch/entorno.h"

#include <QDir>
#include <QWidget>

KolvasterProcess::KolvasterProcess(const QString &directorio, const QString &archivo,
                                   QObject *parent)
    : QThread(parent)
{
    // The whole path is the program and nothing is parsed out of it, so blanks in the
    // profile's path or in the program's name need no quoting.
    proceso.setProgram(QDir::toNativeSeparators(directorio + QLatin1Char('/') + archivo));
    connect(&proceso, &QProcess::finished, this, &KolvasterProcess::terminoProceso);
    // A child that never starts never finishes either: its runner must still end, or the
    // launcher would count the program as running for ever. Deferred, so that the caller has
    // connected finished() and started the thread before the runner ends.
    connect(&proceso, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            QMetaObject::invokeMethod(this, &KolvasterProcess::noSeInicio, Qt::QueuedConnection);
    });
    connect(this, &QThread::finished, this, &QObject::deleteLater);
    // What the launcher was given, not what it has made of its own environment since.
    proceso.setProcessEnvironment(Entorno::delLanzador());
    proceso.start(QIODevice::ReadWrite);
}

KolvasterProcess::~KolvasterProcess()
{
    disconnect(&proceso, nullptr, this, nullptr);
    if (proceso.state() != QProcess::NotRunning) {
        proceso.kill();
        proceso.waitForFinished();
    }
    quit();
    wait();
}

void KolvasterProcess::run()
{
    exec();
}

void KolvasterProcess::terminarProceso()
{
    proceso.kill();
}

void KolvasterProcess::terminoProceso(int, QProcess::ExitStatus)
{
    concluir();
}

void KolvasterProcess::noSeInicio()
{
    Mensajes::advertencia(qobject_cast<QWidget *>(parent()), QStringLiteral("Atencion!"),
                          QStringLiteral("No se pudo iniciar aplicacion ! El programa<br>%1<br>no "
                                         "pudo ser ejecutado.<br><br>Comunique novedad al "
                                         "Administrador de Sistemas!")
                              .arg(proceso.program().toHtmlEscaped()));
    concluir();
}

// Quits and joins the idle thread; its finished() reaches the main window queued and deletes
// the runner on the next pass of the event loop (never inside the child's own notification).
void KolvasterProcess::concluir()
{
    if (concluido)
        return;
    concluido = true;
    exit(0);
    wait();
}
