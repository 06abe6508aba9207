#include "mensajes.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QQueue>

namespace Mensajes {
namespace {

struct Guion {
    bool activo = false;
    QQueue<std::optional<QString>> respuestas;
    QList<Mostrado> mostrados;
    std::function<void(const Mostrado &)> observador;
};

Guion &guion()
{
    static Guion g;
    return g;
}

// Records the call while scripted; true when the real widget must not be shown.
bool registrar(Tipo tipo, const QString &titulo, const QString &texto)
{
    Guion &g = guion();
    if (!g.activo)
        return false;
    const Mostrado m{tipo, titulo, texto};
    g.mostrados.append(m);
    if (g.observador)
        g.observador(m);
    return true;
}

std::optional<QString> siguienteRespuesta()
{
    Guion &g = guion();
    return g.respuestas.isEmpty() ? std::nullopt : g.respuestas.dequeue();
}

} // namespace

void informacion(QWidget *padre, const QString &titulo, const QString &texto)
{
    if (!registrar(Tipo::Informacion, titulo, texto))
        QMessageBox::information(padre, titulo, texto, QMessageBox::Ok);
}

void advertencia(QWidget *padre, const QString &titulo, const QString &texto)
{
    if (!registrar(Tipo::Advertencia, titulo, texto))
        QMessageBox::warning(padre, titulo, texto, QMessageBox::Ok);
}

void critico(QWidget *padre, const QString &titulo, const QString &texto)
{
    if (!registrar(Tipo::Critico, titulo, texto))
        QMessageBox::critical(padre, titulo, texto, QMessageBox::Ok, QMessageBox::NoButton);
}

bool confirmar(QWidget *padre, const QString &titulo, const QString &texto)
{
    if (registrar(Tipo::Pregunta, titulo, texto))
        return siguienteRespuesta() == QStringLiteral("Ok");
    return QMessageBox::question(padre, titulo, texto, QMessageBox::Ok | QMessageBox::Cancel)
           == QMessageBox::Ok;
}

std::optional<QString> pedirTexto(QWidget *padre, const QString &titulo, const QString &etiqueta,
                                  QLineEdit::EchoMode eco, const QString &inicial)
{
    if (registrar(Tipo::Texto, titulo, etiqueta))
        return siguienteRespuesta();
    bool aceptado = false;
    const QString texto = QInputDialog::getText(padre, titulo, etiqueta, eco, inicial, &aceptado);
    if (!aceptado)
        return std::nullopt;
    return texto;
}

QString archivoGuardar(QWidget *padre, const QString &titulo, const QString &directorio,
                       const QString &filtro)
{
    if (registrar(Tipo::ArchivoGuardar, titulo, filtro))
        return siguienteRespuesta().value_or(QString());
    return QFileDialog::getSaveFileName(padre, titulo, directorio, filtro);
}

QString archivoAbrir(QWidget *padre, const QString &titulo, const QString &directorio,
                     const QString &filtro)
{
    if (registrar(Tipo::ArchivoAbrir, titulo, filtro))
        return siguienteRespuesta().value_or(QString());
    return QFileDialog::getOpenFileName(padre, titulo, directorio, filtro);
}

void guionizar(bool activo)
{
    guion().activo = activo;
}

void responder(const std::optional<QString> &respuesta)
{
    guion().respuestas.enqueue(respuesta);
}

QList<Mostrado> mostrados()
{
    return guion().mostrados;
}

void olvidar()
{
    Guion &g = guion();
    g.respuestas.clear();
    g.mostrados.clear();
    g.observador = nullptr;
}

void observar(std::function<void(const Mostrado &)> observador)
{
    guion().observador = std::move(observador);
}

} // namespace Mensajes
