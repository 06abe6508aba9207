#include "kolvasterhtmlviewer.h"

#include "base/constantes.h"
#include "base/kolvasterprocessdialog.h"
#include "base/mensajes.h"
#include "ui_kolvasterhtmlviewer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMarginsF>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSaveFile>
#include <QTableWidget>
#include <QTextStream>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <atomic>

namespace {

// Report pages reach the web view through a URL scheme of our own, served from memory: the
// view's setHtml goes through a data: URL, which the engine refuses silently above 2 MB, and a
// report of a few thousand rows is larger than that. From memory nothing of the report is left
// on disk and nothing has to be cleaned up. The scheme is an ordinary network-like one (neither
// local nor secure), so that a page may still load the chart loader over plain http: that is
// blocked from secure origins (mixed content) and, without extra settings, from local ones.
const char esquemaDePaginas[] = "kolvaster-reporte";

// The engine only accepts schemes registered before the application object exists, so this
// runs while the program starts: in the launcher and in every program that uses the viewer.
const bool esquemaRegistrado = [] {
    QWebEngineUrlScheme esquema(esquemaDePaginas);
    esquema.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(esquema);
    return true;
}();

// The pages being shown, by the path of their URL; each viewer removes its own.
struct Paginas {
    QMutex cerrojo;
    QHash<QString, QByteArray> porRuta;
};

Paginas &paginas()
{
    static Paginas p;
    return p;
}

class ServidorDePaginas : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob *pedido) override
    {
        QByteArray pagina;
        {
            QMutexLocker l(&paginas().cerrojo);
            const auto it = paginas().porRuta.constFind(pedido->requestUrl().path());
            if (it == paginas().porRuta.cend()) {
                pedido->fail(QWebEngineUrlRequestJob::UrlNotFound);
                return;
            }
            pagina = *it;
        }
        auto *datos = new QBuffer(pedido);
        datos->setData(pagina);
        datos->open(QIODevice::ReadOnly);
        pedido->reply(QByteArrayLiteral("text/html;charset=utf-8"), datos);
    }
};

// Shows the page in the view from memory (see esquemaDePaginas); ruta is the viewer's
// previous page, replaced by this one.
void mostrarPagina(QWebEngineView *vista, const QString &html, QString *ruta)
{
    Q_UNUSED(esquemaRegistrado);
    static std::atomic<quint64> siguiente{0};
    QWebEngineProfile *perfil = vista->page()->profile();
    if (!perfil->urlSchemeHandler(esquemaDePaginas))
        perfil->installUrlSchemeHandler(esquemaDePaginas, new ServidorDePaginas(perfil));
    const QString nueva = QString::number(++siguiente);
    {
        QMutexLocker l(&paginas().cerrojo);
        if (!ruta->isEmpty())
            paginas().porRuta.remove(*ruta);
        paginas().porRuta.insert(nueva, html.toUtf8());
    }
    *ruta = nueva;
    vista->setUrl(QUrl(QLatin1String(esquemaDePaginas) + QLatin1Char(':') + nueva));
}

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

// A chart label as the inside of a JavaScript string literal within an HTML script block, so
// that it reaches the chart as typed: backslashes and line breaks escaped, and every "<" too,
// since "</script>" or "<!--" would end or bend the script block before the script runs.
QString literalDeScript(const QString &texto)
{
    QString r;
    r.reserve(texto.size());
    for (const QChar c : texto) {
        switch (c.unicode()) {
        case '\\':
            r += QLatin1String("\\\\");
            break;
        case '\n':
            r += QLatin1String("\\n");
            break;
        case '\r':
            r += QLatin1String("\\r");
            break;
        case '<':
            r += QLatin1String("\\x3C");
            break;
        case 0x2028:
        case 0x2029:
            r += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16);
            break;
        default:
            if (c.unicode() < 0x20)
                r += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                r += c;
        }
    }
    return r;
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
    mostrarPagina(ui->wv_main, source, &rutaPagina);
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
                celda = QLatin1Char('\'') + literalDeScript(celda) + QLatin1Char('\'');
            celdas.append(celda);
        }
        filas += QLatin1Char('[') + celdas.join(QLatin1Char(',')) + QLatin1Char(']');
        filas += i + 1 < data.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }

    QString titulo = title;
    titulo.replace(QLatin1Char('"'), QLatin1Char('_'));
    titulo = literalDeScript(titulo);

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
    if (!rutaPagina.isEmpty()) {
        QMutexLocker l(&paginas().cerrojo);
        paginas().porRuta.remove(rutaPagina);
    }
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
    mostrarPagina(ui->wv_main, source, &rutaPagina);
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
    bool escrito = false;
    connect(ui->wv_main->page(), &QWebEnginePage::pdfPrintingFinished, &espera_pdf,
            [&espera_pdf, &escrito](const QString &, bool ok) {
                escrito = ok;
                espera_pdf.quit();
            });
    ui->wv_main->page()->printToPdf(archivo, printer.pageLayout(), printer.pageRanges());
    espera_pdf.exec();
    espera.hide();
    if (!escrito)
        noSeGuardo(archivo);
}

void KolvasterHTMLViewer::on_pb_print_clicked()
{
    // The web view hands a printer a picture of each page, drawn at the printer's resolution:
    // at its own resolution the print is as sharp as the printer allows, where the screen's
    // would give a picture of about 96 dots per inch.
    QPrinter printer(QPrinter::HighResolution);
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
    // Printed to a file from the dialog, the "printer" claims 1200 dpi: a picture of close to
    // 1 GB per page. 300 dpi is sharp on paper; a PDF with real text is the PDF button's.
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.resolution() > 300)
        printer.setResolution(300);
    aplicarMargenes(&printer);
    imprimir(&printer);
}

bool KolvasterHTMLViewer::imprimir(QPrinter *printer)
{
    QEventLoop espera;
    bool impreso = false;
    connect(ui->wv_main, &QWebEngineView::printFinished, &espera, [&espera, &impreso](bool ok) {
        impreso = ok;
        espera.quit();
    });
    ui->wv_main->print(printer);
    espera.exec();
    return impreso;
}

void KolvasterHTMLViewer::on_pb_saveSource_clicked()
{
    const QString archivo =
        Mensajes::archivoGuardar(this, QStringLiteral("Guardar source de reporte"), QString(),
                                 QStringLiteral("Archivo HTML (*.html *.htm)"));
    if (archivo.isEmpty())
        return;
    // Written beside the target and put in its place only when complete; where the folder
    // does not allow that, straight into the file.
    QSaveFile f(archivo);
    f.setDirectWriteFallback(true);
    if (f.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream salida(&f);
        salida << source;
        salida.flush();
        if (salida.status() == QTextStream::Ok && f.commit())
            return;
    }
    noSeGuardo(archivo);
}

void KolvasterHTMLViewer::noSeGuardo(const QString &archivo)
{
    Mensajes::advertencia(this, QStringLiteral("Atencion"),
                          QStringLiteral("No se pudo guardar el archivo\n") + archivo);
}

void KolvasterHTMLViewer::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
