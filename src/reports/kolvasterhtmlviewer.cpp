#include "kolvasterhtmlviewer.h"

#include "base/constantes.h"
#include "base/kolvasterprocessdialog.h"
#include "base/mensajes.h"
#include "ui_kolvasterhtmlviewer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMarginsF>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTableWidget>
#include <QTextStream>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

QString textoDe(const QTableWidgetItem *item)
{
    return item ? item->text() : QString();
}

// A text is a number when QString::toDouble (locale-independent: decimal point, no group
// separators) converts all of it; the empty text is not.
bool esNumero(const QString &texto)
{
    bool ok = false;
    texto.toDouble(&ok);
    return ok;
}

} // namespace

KolvasterHTMLViewer::KolvasterHTMLViewer(const QString &titulo, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint),
      ui(new Ui::KolvasterHTMLViewer)
{
    iniciar(titulo);
}

KolvasterHTMLViewer::KolvasterHTMLViewer(QTableWidget *tabla, const QString &titulo,
                                         const QString &htmlPrevio, bool contarRegistros,
                                         QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint),
      ui(new Ui::KolvasterHTMLViewer)
{
    iniciar(titulo);

    source.clear();
    source += QStringLiteral("<html><head>");
    source += styleBlock();
    source += QStringLiteral("<title>") + titulo + QStringLiteral("</title></head><body><h2>")
              + titulo + QStringLiteral("</h2>");
    source += QStringLiteral("<p>Momento generacion: ")
              + QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yy hh:mm"))
              + QStringLiteral("</p>");
    source += htmlPrevio;
    source += QStringLiteral(
        "<p><table width=\"100%\" border=\"1\" cellpadding=\"6\" cellspacing=\"0\">");

    // No table at all reads as an empty one.
    QTableWidget vacia;
    if (!tabla)
        tabla = &vacia;
    QList<int> columnas;
    for (int c = 0; c < tabla->columnCount(); ++c)
        if (!tabla->isColumnHidden(c))
            columnas.append(c);

    source += QStringLiteral("<tr>");
    for (int c : columnas)
        source += QStringLiteral("<td>") + textoDe(tabla->horizontalHeaderItem(c))
                  + QStringLiteral("</td>");
    source += QStringLiteral("</tr>");

    int escritas = 0;
    for (int f = 0; f < tabla->rowCount(); ++f) {
        if (tabla->isRowHidden(f))
            continue;
        source += QStringLiteral("<tr>");
        for (int c : columnas) {
            const QString texto = textoDe(tabla->item(f, c)).trimmed();
            source += esNumero(texto) ? QStringLiteral("<td align=\"right\">")
                                      : QStringLiteral("<td>");
            source += texto + QStringLiteral("</td>");
        }
        source += QStringLiteral("</tr>");
        ++escritas;
    }
    source += QStringLiteral("</table></p>");
    if (contarRegistros)
        source += QStringLiteral("Cantidad de registros: ") + QString::number(escritas);
    source += QStringLiteral("</body></html>");
    ui->wv_main->setHtml(source, QUrl());
}

QString KolvasterHTMLViewer::addChart(const QString &chartClass, const QString &title,
                                      const QList<QStringList> &data, int width, int height)
{
    if (!chartPackages.contains(QStringLiteral("corechart"), Qt::CaseSensitive))
        chartPackages.append(QStringLiteral("corechart"));
    const QString n = QString::number(chartScripts.size());

    QString filas;
    for (int i = 0; i < data.size(); ++i) {
        QStringList celdas;
        const QStringList &fila = data.at(i);
        for (int j = 0; j < fila.size(); ++j) {
            QString celda = fila.at(j);
            celda.replace(QLatin1Char('\''), QLatin1Char('_'));
            celda.replace(QLatin1Char('"'), QLatin1Char('_'));
            if (i == 0 || j == 0)
                celda = QLatin1Char('\'') + celda + QLatin1Char('\'');
            celdas.append(celda);
        }
        filas += QLatin1Char('[') + celdas.join(QLatin1Char(',')) + QLatin1Char(']');
        filas += i + 1 < data.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }

    QString titulo = title;
    titulo.replace(QLatin1Char('"'), QLatin1Char('_'));

    QString script;
    script += QStringLiteral("<script type=\"text/javascript\">\nfunction drawVisualization_");
    script += n;
    script += QStringLiteral(" () {\n// Create and populate the data table.\nvar data = "
                             "google.visualization.arrayToDataTable([\n");
    script += filas;
    script += QStringLiteral("]);\n\nnew google.visualization.");
    script += chartClass;
    script += QStringLiteral("(document.getElementById('visualization_");
    script += n;
    script += QStringLiteral("')).\n    draw(data, {title:\"");
    script += titulo;
    script += QStringLiteral("\"});\n}\n\ngoogle.setOnLoadCallback(drawVisualization_");
    script += n;
    script += QStringLiteral(");\n</script>\n\n");
    chartScripts.append(script);

    return QStringLiteral("<div id=\"visualization_") + n + QStringLiteral("\" style=\"width: ")
           + QString::number(width) + QStringLiteral("px; height: ") + QString::number(height)
           + QStringLiteral("px;\"></div>");
}

void KolvasterHTMLViewer::iniciar(const QString &titulo)
{
    ui->setupUi(this);
    ui->pb_saveSource->hide();
    // The button row keeps its height; the page takes the rest.
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    setWindowTitle(titulo);
    connect(ui->wv_main, &QWebEngineView::loadFinished, this,
            &KolvasterHTMLViewer::terminoCarga);
    ui->wv_main->setUrl(QUrl(QStringLiteral("about:blank")));
}

KolvasterHTMLViewer::~KolvasterHTMLViewer()
{
    delete ui;
}

void KolvasterHTMLViewer::addStyleLine(const QString &line)
{
    estilosExtra.append(line.endsWith(QLatin1Char('\n')) ? line : line + QLatin1Char('\n'));
}

QString KolvasterHTMLViewer::styleBlock() const
{
    QString bloque = QStringLiteral("<style type=\"text/css\"> \n"
                                    "body { font-family: sans-serif, times; font-size: 12pt; } \n"
                                    "h1{font-size: 16pt; } \n"
                                    "h2{font-size: 14pt; } \n"
                                    "h3{font-size: 12pt; } \n"
                                    "h4{font-size: 12pt; } \n"
                                    "table{font-size: 12pt; } \n"
                                    "td.numeric{text-align: right; } \n");
    for (const QString &linea : estilosExtra)
        bloque += linea;
    bloque += QStringLiteral("\n</style>\n");
    return bloque;
}

void KolvasterHTMLViewer::setHtmlBody(const QString &body)
{
    source.clear();
    source += QStringLiteral("<html>\n");
    source += QStringLiteral("<head>\n");
    source += styleBlock();
    if (!chartScripts.isEmpty()) {
        source += QStringLiteral("<!--Load the AJAX API-->\n<script type=\"text/javascript\" src=\"")
                  + QLatin1String(KOLVASTER_CHARTS_LOADER)
                  + QStringLiteral("\"></script>\n<script type=\"text/javascript\">\n");
        for (const QString &paquete : chartPackages)
            source += QStringLiteral("google.load('visualization', '1.0', {'packages':['")
                      + paquete + QStringLiteral("']});\n");
        source += QStringLiteral("</script>\n");
        for (const QString &script : chartScripts)
            source += script;
    }
    source += QStringLiteral("<title>") + windowTitle() + QStringLiteral("</title>");
    source += QStringLiteral("</head>");
    source += QStringLiteral("<body>");
    source += QStringLiteral("<h2>") + windowTitle() + QStringLiteral("</h2>");
    source += body;
    source += QStringLiteral("</body>");
    ui->wv_main->setHtml(source, QUrl());
}

void KolvasterHTMLViewer::setPrintMargins(int left, int right, int top, int bottom)
{
    margenIzquierdo = left;
    margenDerecho = right;
    margenSuperior = top;
    margenInferior = bottom;
    margenesFijados = true;
}

void KolvasterHTMLViewer::showSourceButton()
{
    ui->pb_saveSource->show();
}

void KolvasterHTMLViewer::aplicarMargenes(QPrinter *printer) const
{
    if (!margenesFijados)
        return;
    printer->setPageMargins(QMarginsF(margenIzquierdo, margenSuperior, margenDerecho,
                                      margenInferior),
                            QPageLayout::Millimeter);
}

void KolvasterHTMLViewer::terminoCarga(bool estado)
{
    Q_UNUSED(estado);
    ui->lab_lo->hide();
}

void KolvasterHTMLViewer::on_pb_pdf_clicked()
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString archivo =
        Mensajes::archivoGuardar(this, QStringLiteral("Guardar Reporte"), QDir::homePath(),
                                 QStringLiteral("Archivo PDF (*.pdf)"));
    if (archivo.isEmpty())
        return;

    KolvasterProcessDialog espera(QStringLiteral("Guardar Reporte"),
                                  QStringLiteral("Creando Archivo PDF"), this);
    espera.show();
    espera.repaint();
    QCoreApplication::processEvents();

    printer.setOutputFileName(archivo);
    aplicarMargenes(&printer);

    // The page's own PDF writer keeps the text as text; it works asynchronously, so wait here
    // until the file is written, as the rest of the program expects when the slot returns.
    QEventLoop espera_pdf;
    connect(ui->wv_main->page(), &QWebEnginePage::pdfPrintingFinished, &espera_pdf,
            [&espera_pdf](const QString &, bool) { espera_pdf.quit(); });
    ui->wv_main->page()->printToPdf(archivo, printer.pageLayout(), printer.pageRanges());
    espera_pdf.exec();
    espera.hide();
}

void KolvasterHTMLViewer::on_pb_print_clicked()
{
    QPrinter printer(QPrinter::ScreenResolution);
    // Qt 6 calls a native printer valid even on a machine without any printer (it would fall
    // back to a file), so the list of installed printers decides.
    if (!printer.isValid() || QPrinterInfo::availablePrinters().isEmpty()) {
        Mensajes::advertencia(this, QStringLiteral("Impresion !"),
                              QStringLiteral("No se encuentra impresora valida ! No se puede "
                                             "imprimir !"));
        return;
    }
    QPrintDialog dialogo(&printer, this);
    if (dialogo.exec() != QDialog::Accepted)
        return;
    aplicarMargenes(&printer);

    QEventLoop espera;
    connect(ui->wv_main, &QWebEngineView::printFinished, &espera, [&espera](bool) { espera.quit(); });
    ui->wv_main->print(&printer);
    espera.exec();
}

void KolvasterHTMLViewer::on_pb_saveSource_clicked()
{
    const QString archivo = Mensajes::archivoGuardar(
        this, QStringLiteral("Guardar source de reporte"), QString(), QString());
    QFile f(archivo);
    if (archivo.isEmpty() || !f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return;
    QTextStream salida(&f);
    salida << source;
}

void KolvasterHTMLViewer::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
