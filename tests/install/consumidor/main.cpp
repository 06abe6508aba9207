// Uses both installed libraries: a report page and a workbook of a table, the icons the
// library's dialogs use, and the access check of the session library (no database open here:
// no user); the start-up of the suite's programs and the About dialog with its pictures; a chart
// drawn by the chart loader the library carries. Prints "pagina 1", "iconos 0", "exportado 1",
// "usuario 0", "acerca consumidor v1.0", "cerrar Cerrar", "graficos 1".
#include <kolvasteracercade.h>
#include <kolvasterclient.h>
#include <kolvasterexcelgen.h>
#include <kolvasterhtmlviewer.h>
#include <kolvasterinterfaz.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QPushButton>
#include <QPixmap>
#include <QTableWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kolvasterPrepararInterfaz();
    QTableWidget t(1, 2);
    t.setHorizontalHeaderLabels({"Nombre", "Monto"});
    t.setItem(0, 0, new QTableWidgetItem("Ana"));
    t.setItem(0, 1, new QTableWidgetItem("12"));

    KolvasterHTMLViewer pagina(&t, "Consumidor", "", true);
    std::printf("pagina %d\n", pagina.htmlSource().contains("<td>Ana</td>") ? 1 : 0);
    int nulos = 0;
    for (const char *icono : {":/print_16.png", ":/pdf_16.png", ":/bug_16.png", ":/excel_64.png",
                              ":/logo.png", ":/fondoEasternEgg.png"})
        nulos += QPixmap(QString::fromLatin1(icono)).isNull();
    std::printf("iconos %d\n", nulos);
    KolvasterExcelGen gen;
    std::printf("exportado %d\n", gen.exportTable("Hoja", QString::fromLocal8Bit(argv[1]), &t));
    std::printf("usuario %d\n", KolvasterAcceso().idUsuario("nadie"));
    KolvasterAcercaDe acerca(0, "consumidor", "v1.0", "<br>01/2026 v1.0:<br />+ Primera<br />");
    std::printf("acerca %s\n", qPrintable(acerca.lab_nombreprograma->text()));
    QDialogButtonBox botones(QDialogButtonBox::Close);
    std::printf("cerrar %s\n", qPrintable(botones.button(QDialogButtonBox::Close)->text()));

    KolvasterHTMLViewer graficos("Graficos");
    graficos.setHtmlBody(graficos.addChart("PieChart", "T", {{"a", "b"}, {"x", "1"}, {"y", "2"}},
                                           200, 100));
    auto *vista = graficos.findChild<QWebEngineView *>("wv_main");
    int dibujados = -1;
    for (QDeadlineTimer limite(30000); dibujados < 1 && !limite.hasExpired();) {
        vista->page()->runJavaScript(
            "window.kolvasterGraficos ? window.kolvasterGraficos.dibujados : -1",
            [&dibujados](const QVariant &v) { dibujados = v.toInt(); });
        QDeadlineTimer paso(100);
        while (!paso.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    std::printf("graficos %d\n", dibujados);
    return 0;
}
