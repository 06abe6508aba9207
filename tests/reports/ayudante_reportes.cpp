// A program of the suite in miniature, for tst_biblioteca: it links kolvasterreportes alone
// (never the launcher's code), as the suite's programs do, and writes what it made.
//   ayudante_reportes DIR   writes DIR/tabla.html, DIR/graficos.html, DIR/libro.xlsx and
//                           prints "iconos <n null>" and "exportado <0|1>"
#include <kolvasterexcelgen.h>
#include <kolvasterhtmlviewer.h>

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QTableWidget>

#include <cstdio>

static void escribir(const QString &ruta, const QString &texto)
{
    QFile f(ruta);
    if (f.open(QIODevice::WriteOnly))
        f.write(texto.toUtf8());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);

    QTableWidget t(3, 3);
    t.setHorizontalHeaderLabels({"Id", "Nombre", "Monto"});
    const char *datos[3][3] = {{"1", "O'Hara <i>\"x\"</i>", " 12 "},
                               {"2", "oculta", "3"},
                               {"3", "Ñu", "1,5"}};
    for (int f = 0; f < 3; ++f)
        for (int c = 0; c < 3; ++c)
            t.setItem(f, c, new QTableWidgetItem(QString::fromUtf8(datos[f][c])));
    t.setColumnHidden(0, true);
    t.setRowHidden(1, true);

    KolvasterHTMLViewer tabla(&t, "Prueba", "", true);
    escribir(dir + "/tabla.html", tabla.htmlSource());
    KolvasterHTMLViewer graficos("Graficos");
    const QString g = graficos.addChart("PieChart", "T", {{"a", "b"}, {"F'o", "1"}}, 100, 100);
    graficos.setHtmlBody(g);
    escribir(dir + "/graficos.html", graficos.htmlSource());

    int nulos = 0;
    for (const char *icono : {":/print_16.png", ":/pdf_16.png", ":/bug_16.png", ":/excel_64.png",
                              ":/clock_64.png", ":/ok_16.png", ":/oatmeal_tbrun1.png"})
        nulos += QPixmap(QString::fromLatin1(icono)).isNull();
    std::printf("iconos %d\n", nulos);

    KolvasterExcelGen gen;
    std::printf("exportado %d\n", gen.exportTable("Hoja", dir + "/libro.xlsx", &t) ? 1 : 0);
    return 0;
}
