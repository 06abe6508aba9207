#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QWidget;

// Answers the modal dialogs that the code under test opens with exec(): every few milliseconds
// the active modal widget is offered to the first pending answer; an answer that acts on it
// returns true and is dropped.
class DriverModal : public QObject
{
public:
    using Respuesta = std::function<bool(QWidget *)>;

    DriverModal();
    ~DriverModal() override;

    void luego(Respuesta r);
    // Queued ahead of every other pending answer.
    void antes(Respuesta r);
    int pendientes() const { return respuestas.size(); }

    // Fills the connection dialog and presses "Conectar".
    static Respuesta conectar(const QString &host, const QString &sistema, const QString &usuario,
                              const QString &clave, bool recordar = false);
    // Rejects the connection dialog (Escape).
    static Respuesta cancelarConexion();
    // Keeps the error dialog's text in *texto and leaves it (Escape).
    static Respuesta cerrarError(QString *texto = nullptr);
    // Closes whatever modal dialog is shown, by its class name.
    static Respuesta cerrar(const char *clase);

    // Started with every test program's application (see testdb.cpp): an error dialog that
    // nothing answers while a test function runs ends the test at once with the dialog's
    // text, instead of leaving it to wait for ctest's time-out with no word of why.
    static void vigilarErrores();

private:
    void revisar();

    QTimer timer;
    QList<Respuesta> respuestas;
};
