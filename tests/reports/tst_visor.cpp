// The report viewer: page assembly, style lines, margins, the loading label, PDF export,
// printing without printers and saving the source.
#include "archivos.h"
#include "paginas.h"
#include "base/constantes.h"
#include "base/mensajes.h"
#include "reports/kolvasterhtmlviewer.h"
#include "reports/motormodulo.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QLabel>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

const QString estilo = estiloReporte;

// Waits until the web view has finished loading whatever it was given last.
bool esperarCarga(KolvasterHTMLViewer &v)
{
    QSignalSpy carga(v.findChild<QWebEngineView *>("wv_main"), &QWebEngineView::loadFinished);
    return carga.wait(60000);
}

// What a script gives back in the page the viewer shows.
QVariant evaluar(KolvasterHTMLViewer &v, const QString &js)
{
    QVariant r = QStringLiteral("<sin respuesta>");
    bool hecho = false;
    v.findChild<QWebEngineView *>("wv_main")->page()->runJavaScript(js, [&](const QVariant &x) {
        r = x;
        hecho = true;
    });
    for (int i = 0; i < 3000 && !hecho; ++i)
        QTest::qWait(10);
    return r;
}

} // namespace

class TstVisor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Mensajes::guionizar(true); }
    void init() { Mensajes::olvidar(); }

    // Without its engine (run first: once loaded it stays) the viewer still assembles its
    // page, and printing or a PDF only tell why nothing can be done.
    void sinMotor()
    {
        QTemporaryDir vacia;
        MotorModulo::fijarCarpetas({vacia.path()});
        QString motivo;
        QVERIFY(!KolvasterHTMLViewer::disponible(&motivo));
        KolvasterHTMLViewer v("Sin motor");
        v.setHtmlBody("<p>x</p>");
        QVERIFY(v.htmlSource().endsWith("<h2>Sin motor</h2><p>x</p></body>"));
        v.findChild<QPushButton *>("pb_print")->click();
        v.findChild<QPushButton *>("pb_pdf")->click();
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 2);
        for (const auto &caja : m) {
            QCOMPARE(caja.tipo, Mensajes::Tipo::Advertencia);
            QCOMPARE(caja.texto, motivo);
        }
        QVERIFY(motivo.contains(vacia.path()));
        MotorModulo::fijarCarpetas({QStringLiteral(KOLVASTER_MODULO_PRUEBA)});
        QVERIFY(KolvasterHTMLViewer::disponible());
    }

    // The launcher's own search, as it runs outside the tests: the module beside the program or
    // in its installed folder is loaded; one planted in the working directory, or in a folder
    // that an environment variable names, never is.
    void moduloSoloDeSusCarpetas_data()
    {
        QTest::addColumn<QString>("donde");
        QTest::addColumn<bool>("cargado");
        QTest::newRow("beside the program") << "bin" << true;
        QTest::newRow("the installed folder") << "bin/" KOLVASTER_MODULO_CARPETA << true;
        QTest::newRow("the working directory") << "trabajo" << false;
        QTest::newRow("a folder in QT_PLUGIN_PATH") << "complementos" << false;
        QTest::newRow("a folder in LD_LIBRARY_PATH") << "bibliotecas" << false;
    }
    void moduloSoloDeSusCarpetas()
    {
        QFETCH(QString, donde);
        QFETCH(bool, cargado);
        QTemporaryDir raiz;
        const QString bin = raiz.filePath("bin"), carpeta = QDir::cleanPath(raiz.filePath(donde));
        for (const QString &d : {bin, raiz.filePath("trabajo"), carpeta})
            QVERIFY(QDir().mkpath(d));
        const QString programa = bin + "/ayudante_modulo";
        QVERIFY(QFile::copy(AYUDANTE_MODULO, programa));
        QVERIFY(QFile::copy(QStringLiteral(KOLVASTER_MODULO_PRUEBA "/") + MotorModulo::nombreArchivo(),
                            carpeta + "/" + MotorModulo::nombreArchivo()));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_PLUGIN_PATH", raiz.filePath("complementos"));
        env.insert("LD_LIBRARY_PATH", raiz.filePath("bibliotecas"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(raiz.filePath("trabajo"));
        p.start(programa);
        QVERIFY(p.waitForFinished(60000));
        const QString salida = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        QVERIFY2(salida.startsWith(cargado ? "motor 1" : "motor 0 "), qPrintable(salida));
        // The reason names the folders of the default search, beside the program.
        if (!cargado)
            QVERIFY2(salida.contains("(no se encuentra el archivo " + MotorModulo::nombreArchivo()
                                     + " en " + QDir::cleanPath(bin + "/" KOLVASTER_MODULO_CARPETA)
                                     + ", " + bin + ")"),
                     qPrintable(salida));
    }

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
        QVERIFY(!v.htmlSource().contains(QLatin1String(KOLVASTER_CARGADOR_GRAFICOS)));
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
                     + QLatin1String(KOLVASTER_CARGADOR_GRAFICOS)
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

        // A name typed without an extension gets the filter's.
        Mensajes::responder(dir.filePath("informe"));
        v.findChild<QPushButton *>("pb_pdf")->click();
        QVERIFY(leer(dir.filePath("informe.pdf")).startsWith("%PDF"));
        QVERIFY(!QFile::exists(dir.filePath("informe")));

        // A file that cannot be written is said, with its name.
        Mensajes::olvidar();
        const QString imposible = dir.filePath("no/existe/reporte.pdf");
        Mensajes::responder(imposible);
        v.findChild<QPushButton *>("pb_pdf")->click();
        const auto fallo = Mensajes::mostrados();
        QCOMPARE(fallo.size(), 2);
        QCOMPARE(fallo.at(1).tipo, Mensajes::Tipo::Advertencia);
        QCOMPARE(fallo.at(1).titulo, QString("Atencion"));
        QCOMPARE(fallo.at(1).texto, "No se pudo guardar el archivo\n" + imposible);
    }

    void paginaGrande()
    {
        // 20,000 rows of 5 columns: a page of over 2 MB, shown, counted in the page itself and
        // exported to PDF.
        QTableWidget t(20000, 5);
        for (int f = 0; f < t.rowCount(); ++f)
            for (int c = 0; c < 5; ++c)
                t.setItem(f, c, new QTableWidgetItem(c == 1 ? QString::fromUtf8("Ñandú %1").arg(f)
                                                            : QString::number(f * 5 + c)));
        KolvasterHTMLViewer v(&t, "Grande", "", true);
        QVERIFY(v.htmlSource().toUtf8().size() > 2 * 1024 * 1024);
        QTRY_COMPARE_WITH_TIMEOUT(evaluar(v, "document.querySelectorAll('tr').length").toInt(),
                                  20001, 60000);
        QCOMPARE(evaluar(v, "document.querySelectorAll('tr')[20000].cells[1].textContent")
                     .toString(),
                 QString::fromUtf8("Ñandú 19999"));
        QVERIFY(evaluar(v, "document.body.textContent").toString().endsWith(
            "Cantidad de registros: 20000"));

        QTemporaryDir dir;
        const QString ruta = dir.filePath("grande.pdf");
        Mensajes::responder(ruta);
        v.findChild<QPushButton *>("pb_pdf")->click();
        const QByteArray pdf = leer(ruta);
        QVERIFY(pdf.startsWith("%PDF"));
        // Some 600 pages, not the one empty page of a blank view.
        QVERIFY2(pdf.count("/Type /Page\n") > 500, qPrintable(QString::number(pdf.size())));
        QCOMPARE(Mensajes::mostrados().size(), 1); // the file prompt, no warning
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

        // Without an extension: ".html"; and a file that cannot be written is said.
        Mensajes::responder(dir.filePath("sin"));
        boton->click();
        QCOMPARE(QString::fromUtf8(leer(dir.filePath("sin.html"))), v.htmlSource());
        Mensajes::olvidar();
        const QString imposible = dir.filePath("no/existe/fuente.html");
        Mensajes::responder(imposible);
        boton->click();
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 2);
        QCOMPARE(m.at(1).tipo, Mensajes::Tipo::Advertencia);
        QCOMPARE(m.at(1).titulo, QString("Atencion"));
        QCOMPARE(m.at(1).texto, "No se pudo guardar el archivo\n" + imposible);
    }
};

QTEST_MAIN(TstVisor)
#include "tst_visor.moc"
