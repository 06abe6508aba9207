// The report engine as a module that the launcher loads on its first report.
#include "motorweb.h"

#include <QOpenGLContext>
#include <QQuickWindow>
#include <QSurfaceFormat>

// Qt's own (QtGui, exported, without a public header): the context every GL context shares with.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace {

// A program that links the web engine gets, before its application object exists, the shared
// OpenGL context the engine renders through. Without a GPU that context is what loads Mesa's
// software renderer and LLVM, which is why the launcher does not link the engine. Loaded
// later, the engine finds no such context and crashes on the first view, so the module makes
// the context itself, as the application object would have, before any view exists.
void prepararContextoCompartido()
{
    if (QOpenGLContext::globalShareContext())
        return;
    QQuickWindow::setGraphicsApi(QSGRendererInterface::OpenGL);
    // Kept for the rest of the process, as the engine's shut-down still renders through it.
    auto *contexto = new QOpenGLContext;
    contexto->setFormat(QSurfaceFormat::defaultFormat());
    contexto->create();
    qt_gl_set_global_share_context(contexto);
}

} // namespace

class ModuloVisor : public MotorWeb
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID KolvasterMotorReportes_iid)
    Q_INTERFACES(KolvasterMotorReportes)

public:
    ModuloVisor() { prepararContextoCompartido(); }
};

#include "modulo.moc"
