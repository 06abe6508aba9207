// The report viewer: page assembly, style lines, margins, the loading label, PDF export,
// printing without printers and saving the source.
#include "archivos.h"
#include "paginas.h"
#include "base/constantes.h"
#include "base/mensajes.h"
#include "reports/kolvasterhtmlviewer.h"

#include <QFile>
#include <QLabel>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

namespace {

const QString estilo = estiloReporte;

// Waits until the web view has finished loading whatever it was given last.
bool esperarCarga(KolvasterHTMLViewer &v)
{
    QSignalSpy carga(v.findChild<QWebEngineView *>("wv_main"), &QWebEngineView::loadFinished);
    return carga.wait(30000);
}

} // namespace

class TstVisor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Mensajes::guionizar(true); }
    void init() { Mensajes::olvidar(); }

    void paginaSinGraficos()
    {
        KolvasterHTMLViewer v("Mi reporte");
        QCOMPARE(v.windowTitle(), QString("Mi reporte"));
        QVERIFY(v.htmlSource().isEmpty());
        v.setHtmlBody("<p>hola</p>");
        QCOMPARE(v.htmlSource(),
                 "<html>\n<head>\n" + estilo
                     + "\n</style>\n<title>Mi reporte</title></head><body><h2>Mi reporte</h2>"
                       "<p>hola</p></body>");
        QVERIFY(!v.htmlSource().contains("<script"));
        QVERIFY(!v.htmlSource().contains(QLatin1String(KOLVASTER_CHARTS_LOADER)));
    }

    void paginaConGraficos()
    {
        KolvasterHTMLViewer v("Ventas");
        v.chartPackages << "corechart" << "table";
        v.chartScripts << "<script>uno</script>\n" << "<script>dos</script>\n";
        v.setHtmlBody("<div id=\"g\"></div>");
        QCOMPARE(v.htmlSource(),
                 "<html>\n<head>\n" + estilo
                     + "\n</style>\n<!--Load the AJAX API-->\n<script type=\"text/javascript\" "
                       "src=\""
                     + QLatin1String(KOLVASTER_CHARTS_LOADER)
                     + "\"></script>\n<script type=\"text/javascript\">\n"
                       "google.load('visualization', '1.0', {'packages':['corechart']});\n"
                       "google.load('visualization', '1.0', {'packages':['table']});\n"
                       "</script>\n<script>uno</script>\n<script>dos</script>\n"
                       "<title>Ventas</title></head><body><h2>Ventas</h2><div id=\"g\"></div>"
                       "</body>");

        // The title of a later assembly is the window's title at that time.
        v.setWindowTitle("Otro");
        v.setHtmlBody("");
        QVERIFY(v.htmlSource().endsWith("<title>Otro</title></head><body><h2>Otro</h2></body>"));
    }

    void lineasDeEstilo()
    {
        KolvasterHTMLViewer v("t");
        QCOMPARE(v.styleBlock(), estilo + "\n</style>\n");
        v.addStyleLine("p{color: red; }");
        v.addStyleLine("td{color: blue; }\n");
        QCOMPARE(v.styleBlock(), estilo + "p{color: red; }\ntd{color: blue; }\n\n</style>\n");
    }

    void margenes()
    {
        KolvasterHTMLViewer v("t");
        QPrinter propia(QPrinter::ScreenResolution);
        propia.setOutputFormat(QPrinter::PdfFormat);
        const QMarginsF deLaImpresora = propia.pageLayout().margins(QPageLayout::Millimeter);
        v.aplicarMargenes(&propia);
        QCOMPARE(propia.pageLayout().margins(QPageLayout::Millimeter), deLaImpresora);

        v.setPrintMargins(10, 20, 30, 40);
        QPrinter p(QPrinter::ScreenResolution);
        p.setOutputFormat(QPrinter::PdfFormat);
        v.aplicarMargenes(&p);
        const QMarginsF m = p.pageLayout().margins(QPageLayout::Millimeter);
        QCOMPARE(m.left(), 10.0);
        QCOMPARE(m.right(), 20.0);
        QCOMPARE(m.top(), 30.0);
        QCOMPARE(m.bottom(), 40.0);
    }

    void etiquetaCargando()
    {
        KolvasterHTMLViewer v("t");
        auto *cargando = v.findChild<QLabel *>("lab_lo");
        QCOMPARE(cargando->text(), QString("Cargando..."));
        QVERIFY(!cargando->isHidden());
        QVERIFY(v.findChild<QPushButton *>("pb_saveSource")->isHidden());
        QVERIFY(esperarCarga(v)); // the initial blank page
        QVERIFY(cargando->isHidden());
        v.setHtmlBody("<p>x</p>");
        QVERIFY(esperarCarga(v));
        QVERIFY(cargando->isHidden());
    }

    void exportarPdf()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("reporte.pdf");
        KolvasterHTMLViewer v("Reporte de prueba");
        v.setPrintMargins(10, 20, 30, 40);
        v.setHtmlBody("<p>Contenido del reporte</p>");
        QVERIFY(esperarCarga(v));

        Mensajes::responder(std::nullopt); // cancelled: nothing written
        v.findChild<QPushButton *>("pb_pdf")->click();
        QVERIFY(QDir(dir.path()).isEmpty());

        Mensajes::responder(ruta);
        v.findChild<QPushButton *>("pb_pdf")->click();
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 2);
        QCOMPARE(m.at(1).tipo, Mensajes::Tipo::ArchivoGuardar);
        QCOMPARE(m.at(1).titulo, QString("Guardar Reporte"));
        QCOMPARE(m.at(1).texto, QString("Archivo PDF (*.pdf)"));
        // Written by the time the slot returns, as a PDF with real text (fonts), not an image.
        const QByteArray pdf = leer(ruta);
        QVERIFY(pdf.startsWith("%PDF"));
        QVERIFY(pdf.contains("/Font"));
    }

    void imprimirSinImpresora()
    {
        KolvasterHTMLViewer v("t");
        v.findChild<QPushButton *>("pb_print")->click();
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.at(0).tipo, Mensajes::Tipo::Advertencia);
        QCOMPARE(m.at(0).titulo, QString("Impresion !"));
        QCOMPARE(m.at(0).texto, QString("No se encuentra impresora valida ! No se puede imprimir !"));
    }

    void guardarFuente()
    {
        QTemporaryDir dir;
        KolvasterHTMLViewer v("Fuente");
        v.showSourceButton();
        auto *boton = v.findChild<QPushButton *>("pb_saveSource");
        QVERIFY(!boton->isHidden());

        // Before any page: an empty file, even over an existing one.
        const QString vacio = dir.filePath("vacio.html");
        QFile f(vacio);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("viejo");
        f.close();
        Mensajes::responder(vacio);
        boton->click();
        QCOMPARE(leer(vacio), QByteArray());

        v.setHtmlBody(QString::fromUtf8("<p>año</p>"));
        const QString ruta = dir.filePath("fuente.html");
        Mensajes::responder(ruta);
        boton->click();
        QCOMPARE(QString::fromUtf8(leer(ruta)), v.htmlSource());
        QCOMPARE(Mensajes::mostrados().last().titulo, QString("Guardar source de reporte"));
    }
};

QTEST_MAIN(TstVisor)
#include "tst_visor.moc"
