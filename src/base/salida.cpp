#include "salida.h"

#include <QList>
#include <QPointer>
#include <QSharedMemory>

#include <cstdio>
#include <cstdlib>
#include <utility>


namespace {
std::function<void(int)> &interceptor()
{
    static std::function<void(int)> f;
    return f;
}

QList<QPointer<QSharedMemory>> &segmentos()
{
    static QList<QPointer<QSharedMemory>> lista;
    return lista;
}
} // namespace

void liberarAlFinalizar(QSharedMemory *segmento)
{
    segmentos().append(segmento);
}

void finalizarProceso(int estado)
{
    // Deleting (not just detaching) also removes the lock that belongs to each segment.
    for (const QPointer<QSharedMemory> &s : std::exchange(segmentos(), {}))
        delete s.data();

    if (interceptor()) {
        interceptor()(estado);
        return;
    }
    // Leave at once, as a crash-free exit: running the static destructors of a process whose
    // application object, dialogs and network threads are still alive can itself crash, which
    // would turn a deliberate end into an abnormal one.
    std::fflush(nullptr);
    std::_Exit(estado);
}

void interceptarSalida(std::function<void(int)> f)
{
    interceptor() = std::move(f);
}
