#include "mensajes.h"

#include <QFileDialog>
#include <QFileInfo>
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

// The extension of the filter's first pattern ("Archivo PDF (*.pdf)" gives "pdf"), if any.
QString extensionDelFiltro(const QString &filtro)
{
    const int abre = filtro.indexOf(QLatin1String("(*."));
    if (abre < 0)
        return QString();
    const QString resto = filtro.mid(abre + 3);
    int fin = 0;
    while (fin < resto.size() && (resto.at(fin).isLetterOrNumber() || resto.at(fin) == '_'))
        ++fin;
    return resto.left(fin);
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
    // A name typed without an extension gets the filter's, as the file dialog of Windows
    // does; the dialog adds it before it asks about overwriting, so it asks about that file.
    const QString extension = extensionDelFiltro(filtro);
    if (registrar(Tipo::ArchivoGuardar, titulo, filtro)) {
        QString nombre = siguienteRespuesta().value_or(QString());
        if (!nombre.isEmpty() && !extension.isEmpty() && QFileInfo(nombre).suffix().isEmpty())
            nombre += QLatin1Char('.') + extension;
        return nombre;
    }
    QFileDialog dialogo(padre, titulo, directorio, filtro);
    dialogo.setAcceptMode(QFileDialog::AcceptSave);
    dialogo.setDefaultSuffix(extension);
    if (dialogo.exec() != QDialog::Accepted || dialogo.selectedFiles().isEmpty())
        return QString();
    return dialogo.selectedFiles().constFirst();
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
