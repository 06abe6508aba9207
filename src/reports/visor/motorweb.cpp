#include "motorweb.h"

#include "graficos.h"

#include <QBuffer>
#include <QEventLoop>
#include <QHash>
#include <QMarginsF>
#include <QMutex>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
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
// local nor secure), so that a page built with a public chart loader may still load it over plain
// http: that is blocked from secure origins (mixed content) and, without extra settings, from
// local ones. The default loader is ours, served through a scheme of its own (graficos.h).
const char esquemaDePaginas[] = "kolvaster-reporte";

// The engine takes schemes registered before it starts: built into a program this runs while
// the program starts, loaded as a module it runs when the module loads, before the first view.
const bool esquemaRegistrado = [] {
    QWebEngineUrlScheme esquema(esquemaDePaginas);
    esquema.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(esquema);
    Graficos::registrarEsquema();
    return true;
}();

// The pages being shown, by the path of their URL; each view removes its own.
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

// A view that serves its own page (see esquemaDePaginas) and takes it away when it goes.
class VistaReporte : public QWebEngineView
{
public:
    using QWebEngineView::QWebEngineView;

    ~VistaReporte() override { olvidar(); }

    void mostrar(const QByteArray &html)
    {
        Q_UNUSED(esquemaRegistrado);
        static std::atomic<quint64> siguiente{0};
        QWebEngineProfile *perfil = page()->profile();
        if (!perfil->urlSchemeHandler(esquemaDePaginas))
            perfil->installUrlSchemeHandler(esquemaDePaginas, new ServidorDePaginas(perfil));
        Graficos::instalar(perfil);
        const QString nueva = QString::number(++siguiente);
        olvidar();
        {
            QMutexLocker l(&paginas().cerrojo);
            paginas().porRuta.insert(nueva, html);
        }
        ruta = nueva;
        setUrl(QUrl(QLatin1String(esquemaDePaginas) + QLatin1Char(':') + nueva));
    }

private:
    void olvidar()
    {
        if (ruta.isEmpty())
            return;
        QMutexLocker l(&paginas().cerrojo);
        paginas().porRuta.remove(ruta);
    }

    QString ruta; // of the page shown (empty before the first)
};

} // namespace

QWidget *MotorWeb::crearVista(QWidget *padre)
{
    auto *vista = new VistaReporte(padre);
    vista->setUrl(QUrl(QStringLiteral("about:blank")));
    return vista;
}

void MotorWeb::mostrar(QWidget *vista, const QByteArray &html)
{
    static_cast<VistaReporte *>(vista)->mostrar(html);
}

void MotorWeb::aplicarMargenes(QPrinter *printer, const QMarginsF *margenes)
{
    if (margenes)
        printer->setPageMargins(*margenes, QPageLayout::Millimeter);
}

bool MotorWeb::imprimirEn(QWidget *vista, QPrinter *printer)
{
    auto *v = static_cast<QWebEngineView *>(vista);
    QEventLoop espera;
    bool impreso = false;
    connect(v, &QWebEngineView::printFinished, &espera, [&espera, &impreso](bool ok) {
        impreso = ok;
        espera.quit();
    });
    v->print(printer);
    espera.exec();
    return impreso;
}

KolvasterMotorReportes::Impresion MotorWeb::imprimir(QWidget *vista, QWidget *padre,
                                                     const QMarginsF *margenes)
{
    // The web view hands a printer a picture of each page, drawn at the printer's resolution:
    // at its own resolution the print is as sharp as the printer allows, where the screen's
    // would give a picture of about 96 dots per inch.
    QPrinter printer(QPrinter::HighResolution);
    // Qt 6 calls a native printer valid even on a machine without any printer (it would fall
    // back to a file), so the list of installed printers decides.
    if (!printer.isValid() || QPrinterInfo::availablePrinters().isEmpty())
        return Impresion::SinImpresora;
    QPrintDialog dialogo(&printer, padre);
    if (dialogo.exec() != QDialog::Accepted)
        return Impresion::Cancelada;
    // Printed to a file from the dialog, the "printer" claims 1200 dpi: a picture of close to
    // 1 GB per page. 300 dpi is sharp on paper; a PDF with real text is the PDF button's.
    if (printer.outputFormat() == QPrinter::PdfFormat && printer.resolution() > 300)
        printer.setResolution(300);
    aplicarMargenes(&printer, margenes);
    return imprimirEn(vista, &printer) ? Impresion::Impresa : Impresion::Fallida;
}

bool MotorWeb::guardarPdf(QWidget *vista, const QString &archivo, const QMarginsF *margenes)
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(archivo);
    aplicarMargenes(&printer, margenes);

    // The page's own PDF writer keeps the text as text; it works asynchronously, so wait here
    // until the file is written, as the caller expects when this returns.
    QWebEnginePage *pagina = static_cast<QWebEngineView *>(vista)->page();
    QEventLoop espera;
    bool escrito = false;
    connect(pagina, &QWebEnginePage::pdfPrintingFinished, &espera,
            [&espera, &escrito](const QString &, bool ok) {
                escrito = ok;
                espera.quit();
            });
    pagina->printToPdf(archivo, printer.pageLayout(), printer.pageRanges());
    espera.exec();
    return escrito;
}
