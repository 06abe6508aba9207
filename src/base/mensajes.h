#pragma once

// Part of the floor below every subsystem (src/base): the message seam. Every subsystem and
// the suite's libraries show their boxes through it; nothing here knows the main window.

#include <QLineEdit>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Every message box, input prompt and file prompt of the program goes through here, so that a
// test can answer them and read back what the user would have seen.
namespace Mensajes {

enum class Tipo { Informacion, Advertencia, Critico, Pregunta, Texto, ArchivoGuardar, ArchivoAbrir };

struct Mostrado {
    Tipo tipo;
    QString titulo;
    QString texto;
};

// Message boxes with the single button Ok.
void informacion(QWidget *padre, const QString &titulo, const QString &texto);
void advertencia(QWidget *padre, const QString &titulo, const QString &texto);
// Critical box with Ok and no default button.
void critico(QWidget *padre, const QString &titulo, const QString &texto);

// Question box with Ok and Cancel; true only when the user answers Ok. Scripted, the next
// preset answer "Ok" counts as Ok and anything else (or none) as Cancel.
bool confirmar(QWidget *padre, const QString &titulo, const QString &texto);

// QInputDialog::getText; nothing when the user cancels.
std::optional<QString> pedirTexto(QWidget *padre, const QString &titulo, const QString &etiqueta,
                                  QLineEdit::EchoMode eco, const QString &inicial = QString());

// QFileDialog::getSaveFileName; the empty text when the user cancels. A name without an
// extension gets the one of the filter's first pattern (also when scripted).
QString archivoGuardar(QWidget *padre, const QString &titulo, const QString &directorio,
                       const QString &filtro);
// QFileDialog::getOpenFileName; the empty text when the user cancels.
QString archivoAbrir(QWidget *padre, const QString &titulo, const QString &directorio,
                     const QString &filtro);

// --- for tests -------------------------------------------------------------------------------
// While scripted, nothing is shown: every call is recorded, text and file prompts take the next
// preset answer (a missing answer counts as cancelled), and the observer, if set, runs first.
void guionizar(bool activo);
void responder(const std::optional<QString> &respuesta);
QList<Mostrado> mostrados();
void olvidar();
void observar(std::function<void(const Mostrado &)> observador);

} // namespace Mensajes
