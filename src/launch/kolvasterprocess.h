#pragma once

#include <QProcess>
#include <QThread>

// Starts one program of the suite as a child process and tells, through the end of its own
// thread (QThread::finished()), when the child has ended, crashed, been killed or could not be
// started at all. One runner per start; it deletes itself once its thread has ended.
class KolvasterProcess : public QThread
{
    Q_OBJECT

public:
    // Starts directorio/archivo at once, with no arguments; the runner's thread is started by
    // the caller.
    KolvasterProcess(const QString &directorio, const QString &archivo, QObject *parent);
    // A runner still alive here (the launcher is closing) kills its child and joins its thread.
    ~KolvasterProcess() override;

    // The full path started as the program, kept whole even with blanks in it.
    QString programa() const { return proceso.program(); }

protected:
    void run() override;

private slots:
    void terminarProceso();
    void terminoProceso(int, QProcess::ExitStatus);
    void noSeInicio();

private:
    void concluir();

    QProcess proceso;
    bool concluido = false;
};
