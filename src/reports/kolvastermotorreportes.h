#pragma once

#include <QtPlugin>

class QByteArray;
class QMarginsF;
class QPrinter;
class QString;
class QWidget;

// What the report viewer needs from the web engine: a view that shows a page, prints it and
// writes it as a PDF. The launcher loads it as a module of its own on the first report, so
// that an idle launcher maps neither the engine nor the OpenGL stack it drags in; the library
// for the suite's programs has it built in.
class KolvasterMotorReportes
{
public:
    enum class Impresion { Impresa, Fallida, Cancelada, SinImpresora };

    virtual ~KolvasterMotorReportes() = default;

    // A web view showing about:blank, child of padre; it emits loadFinished(bool).
    virtual QWidget *crearVista(QWidget *padre) = 0;
    // Shows the page in a view of crearVista, whatever its size.
    virtual void mostrar(QWidget *vista, const QByteArray &html) = 0;
    // The margins (millimetres) onto the printer; without them the printer keeps its own.
    virtual void aplicarMargenes(QPrinter *printer, const QMarginsF *margenes) = 0;
    // Prints the page shown onto the printer as it is set up; true when it was printed.
    virtual bool imprimirEn(QWidget *vista, QPrinter *printer) = 0;
    // Asks for a printer with the print dialog (parent: padre) and prints onto it.
    virtual Impresion imprimir(QWidget *vista, QWidget *padre, const QMarginsF *margenes) = 0;
    // Writes the page as a PDF with real text; true when the file was written.
    virtual bool guardarPdf(QWidget *vista, const QString &archivo, const QMarginsF *margenes) = 0;
};

// The version is part of the name: a module left behind by another release is refused at
// loading instead of being called through a different table of functions.
#define KolvasterMotorReportes_iid "org.kolvaster.MotorReportes/1"
Q_DECLARE_INTERFACE(KolvasterMotorReportes, KolvasterMotorReportes_iid)

// The engine, ready on first use; null, with the reason in *error, when it cannot be had.
KolvasterMotorReportes *kolvasterMotorReportes(QString *error);
