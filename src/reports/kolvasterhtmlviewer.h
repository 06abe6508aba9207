#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

class KolvasterMotorReportes;
class QMarginsF;
class QPrinter;
class QTableWidget;

namespace Ui {
class KolvasterHTMLViewer;
}

// The dialog in which every report is shown: an HTML page assembled from the title, a fixed
// style sheet (plus extra lines), optional chart scripts and the caller's body, with printing,
// PDF export and, when allowed, saving of the page source.
//
// Reports from a table widget:
//   KolvasterHTMLViewer v(tabla, "Titulo", "<p>texto previo</p>", true, this);
//   v.exec();
// builds at once a page with the visible rows and columns of the table (numbers right-aligned,
// texts inserted without HTML escaping) and, with the flag, the count of rows written.
//
// Charts (Google Charts):
//   KolvasterHTMLViewer v("Titulo", this);
//   const QString grafico = v.addChart("PieChart", "Ventas", datos, 600, 400);
//   v.setHtmlBody("<p>...</p>" + grafico);
//   v.exec();
// datos holds the header row first, then one row per category: first cell the label, the
// others numbers written as they are.
//
// The page is shown by the web engine, which the launcher loads only with its first report
// (see kolvastermotorreportes.h); a program that cannot have it learns why from disponible().
class KolvasterHTMLViewer : public QDialog
{
    Q_OBJECT

public:
    KolvasterHTMLViewer(const QString &titulo, QWidget *parent = nullptr);
    // The report page of the table's visible contents, built and shown at once.
    KolvasterHTMLViewer(QTableWidget *tabla, const QString &titulo, const QString &htmlPrevio,
                        bool contarRegistros, QWidget *parent = nullptr);
    ~KolvasterHTMLViewer() override;

    // Whether reports can be shown; when not, the reason is in *error (for the error dialog).
    static bool disponible(QString *error = nullptr);

    // Adds one chart of the google.visualization class chartClass (for example "PieChart" or
    // "ColumnChart") and returns its placeholder element, to be put into the body given to a
    // later setHtmlBody.
    QString addChart(const QString &chartClass, const QString &title,
                     const QList<QStringList> &data, int width, int height);

    void setHtmlBody(const QString &body);
    void addStyleLine(const QString &line);
    QString styleBlock() const;
    void setPrintMargins(int left, int right, int top, int bottom);
    void showSourceButton();

    // The complete page last handed to the web view (empty before the first assembly).
    const QString &htmlSource() const { return source; }

    // Puts the margins on the printer when they were set; otherwise the printer keeps its own.
    void aplicarMargenes(QPrinter *printer) const;
    // Prints the page shown onto the printer as it is set up; true when it was printed.
    bool imprimir(QPrinter *printer);

public slots:
    void terminoCarga(bool estado);
    void on_pb_pdf_clicked();
    void on_pb_print_clicked();
    void on_pb_saveSource_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    void iniciar(const QString &titulo);
    void mostrarFuente();
    void noSeGuardo(const QString &archivo);
    bool sinMotor();
    QMarginsF margenes() const;

    Ui::KolvasterHTMLViewer *ui;
    KolvasterMotorReportes *motor = nullptr; // null when the engine could not be had
    QString errorMotor;                      // why, then
    QString source;
    QStringList estilosExtra;
    int margenIzquierdo = 0;
    int margenDerecho = 0;
    int margenSuperior = 0;
    int margenInferior = 0;
    bool margenesFijados = false;

public:
    // Filled by the chart generator: one script per chart in the order added, and the chart
    // packages to load, each once. Every later assembly emits them in the page head.
    QStringList chartScripts;
    QStringList chartPackages;
};
