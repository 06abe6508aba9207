#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QPrinter;

namespace Ui {
class KolvasterHTMLViewer;
}

// The dialog in which every report is shown: an HTML page assembled from the title, a fixed
// style sheet (plus extra lines), optional chart scripts and the caller's body, with printing,
// PDF export and, when allowed, saving of the page source.
class KolvasterHTMLViewer : public QDialog
{
    Q_OBJECT

public:
    KolvasterHTMLViewer(const QString &titulo, QWidget *parent = nullptr);
    ~KolvasterHTMLViewer() override;

    void setHtmlBody(const QString &body);
    void addStyleLine(const QString &line);
    QString styleBlock() const;
    void setPrintMargins(int left, int right, int top, int bottom);
    void showSourceButton();

    // The complete page last handed to the web view (empty before the first assembly).
    const QString &htmlSource() const { return source; }

    // Puts the margins on the printer when they were set; otherwise the printer keeps its own.
    void aplicarMargenes(QPrinter *printer) const;

public slots:
    void terminoCarga(bool estado);
    void on_pb_pdf_clicked();
    void on_pb_print_clicked();
    void on_pb_saveSource_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    Ui::KolvasterHTMLViewer *ui;
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
