// the report page built from a table widget and the chart scripts, byte for byte.
#include "paginas.h"
#include "base/constantes.h"
#include "reports/kolvasterhtmlviewer.h"

#include <QDateTime>
#include <QHeaderView>
#include <QTableWidget>
#include <QTest>

namespace {

const QString estilo = estiloReporteCerrado;

const QString abreTabla = QStringLiteral(
    "<p><table width=\"100%\" border=\"1\" cellpadding=\"6\" cellspacing=\"0\">");

void poner(QTableWidget &t, int f, int c, const QString &texto)
{
    t.setItem(f, c, new QTableWidgetItem(texto));
}

// The page's head up to and with the generation time, for each of the minutes the page may
// have been built in.
QStringList cabeceras(const QString &titulo, const QDateTime &antes, const QDateTime &despues)
{
    QStringList r;
    for (const QDateTime &m : {antes, despues})
        r << "<html><head>" + estilo + "<title>" + titulo + "</title></head><body><h2>" + titulo
                 + "</h2><p>Momento generacion: " + m.toString("dd/MM/yy hh:mm") + "</p>";
    return r;
}

// Removes whichever expected head the page starts with; fails when none.
QString sinCabecera(const QString &pagina, const QStringList &posibles)
{
    for (const QString &c : posibles)
        if (pagina.startsWith(c))
            return pagina.mid(c.size());
    qWarning().noquote() << "unexpected page head:" << pagina.left(600);
    return QStringLiteral("<cabecera inesperada>");
}

const QString scriptFebo = QStringLiteral(
    "<script type=\"text/javascript\">\nfunction drawVisualization_0 () {\n"
    "// Create and populate the data table.\n"
    "var data = google.visualization.arrayToDataTable([\n"
    "['Mes','Ventas'],\n"
    "['Enero',10],\n"
    "['Feb_o',7.5]\n"
    "]);\n\n"
    "new google.visualization.PieChart(document.getElementById('visualization_0')).\n"
    "    draw(data, {title:\"Ventas del _primer_ trimestre\"});\n"
    "}\n\n"
    "google.setOnLoadCallback(drawVisualization_0);\n"
    "</script>\n\n");

} // namespace

class TstInforme : public QObject
{
    Q_OBJECT

private slots:
    void paginaDeTabla()
    {
        QTableWidget t(5, 5);
        const QStringList encabezados{"Id", "Nombre", "Oculta", "Importe", "Nota"};
        for (int c = 0; c < 4; ++c)
            t.setHorizontalHeaderItem(c, new QTableWidgetItem(encabezados.at(c)));
        // Column 4 has no header item: an empty header cell.
        const QList<QStringList> filas{
            {"1", " Ana <b>G</b> ", "x", " 12 ", "1,5"},
            {"2", "oculta", "x", "99", "no"},
            {"3", "O'Hara & \"Cia\"", "x", "-3.25", "abc"},
            {"4", "", "x", "1e3", "12abc"},
            {"5", "   ", "x", "", "0x10"},
        };
        for (int f = 0; f < filas.size(); ++f)
            for (int c = 0; c < 5; ++c)
                poner(t, f, c, filas.at(f).at(c));
        delete t.takeItem(4, 1); // a cell without an item
        t.setColumnHidden(0, true);
        t.setColumnHidden(2, true);
        t.setRowHidden(1, true);

        const QDateTime antes = QDateTime::currentDateTime();
        KolvasterHTMLViewer v(&t, "Listado de \"prueba\"", "<p>Previo & sin escapar</p>", true);
        const QDateTime despues = QDateTime::currentDateTime();
        QCOMPARE(v.windowTitle(), QString("Listado de \"prueba\""));

        const QString esperado =
            "<p>Previo & sin escapar</p>" + abreTabla
            + "<tr><td>Nombre</td><td>Importe</td><td></td></tr>"
              "<tr><td>Ana <b>G</b></td><td align=\"right\">12</td><td>1,5</td></tr>"
              "<tr><td>O'Hara & \"Cia\"</td><td align=\"right\">-3.25</td><td>abc</td></tr>"
              "<tr><td></td><td align=\"right\">1e3</td><td>12abc</td></tr>"
              "<tr><td></td><td></td><td>0x10</td></tr>"
              "</table></p>Cantidad de registros: 4</body></html>";
        QCOMPARE(sinCabecera(v.htmlSource(), cabeceras("Listado de \"prueba\"", antes, despues)),
                 esperado);
        QVERIFY(!v.htmlSource().contains("oculta"));
        QVERIFY(!v.htmlSource().contains("<script"));
        QVERIFY(!v.htmlSource().contains(QLatin1String(KOLVASTER_CARGADOR_GRAFICOS)));
    }

    void paginaSinCuenta()
    {
        QTableWidget t(2, 1);
        t.setHorizontalHeaderItem(0, new QTableWidgetItem("A"));
        poner(t, 0, 0, "1");
        poner(t, 1, 0, "2");
        const QDateTime antes = QDateTime::currentDateTime();
        KolvasterHTMLViewer v(&t, "T", QString(), false);
        const QDateTime despues = QDateTime::currentDateTime();
        QCOMPARE(sinCabecera(v.htmlSource(), cabeceras("T", antes, despues)),
                 abreTabla
                     + "<tr><td>A</td></tr><tr><td align=\"right\">1</td></tr>"
                       "<tr><td align=\"right\">2</td></tr></table></p></body></html>");
    }

    void todoOculto()
    {
        // Every row hidden: the header alone, and a count of 0.
        QTableWidget t(2, 2);
        t.setHorizontalHeaderItem(0, new QTableWidgetItem("A"));
        t.setHorizontalHeaderItem(1, new QTableWidgetItem("B"));
        t.setRowHidden(0, true);
        t.setRowHidden(1, true);
        KolvasterHTMLViewer v(&t, "T", QString(), true);
        QVERIFY(v.htmlSource().endsWith(abreTabla
                                        + "<tr><td>A</td><td>B</td></tr></table></p>"
                                          "Cantidad de registros: 0</body></html>"));
    }

    void numerico_data()
    {
        QTest::addColumn<QString>("celda");
        QTest::addColumn<QString>("html");
        QTest::newRow("blancos") << " 12 " << "<td align=\"right\">12</td>";
        QTest::newRow("coma") << "1,5" << "<td>1,5</td>";
        QTest::newRow("texto") << "abc" << "<td>abc</td>";
        QTest::newRow("vacio") << "" << "<td></td>";
        QTest::newRow("punto") << "0.5" << "<td align=\"right\">0.5</td>";
        QTest::newRow("grupos") << "1,234.5" << "<td>1,234.5</td>";
        QTest::newRow("tab") << "\t7\n" << "<td align=\"right\">7</td>";
        QTest::newRow("signo") << "+4" << "<td align=\"right\">+4</td>";
    }

    void numerico()
    {
        QFETCH(QString, celda);
        QFETCH(QString, html);
        QTableWidget t(1, 1);
        t.setHorizontalHeaderItem(0, new QTableWidgetItem("H"));
        poner(t, 0, 0, celda);
        KolvasterHTMLViewer v(&t, "T", QString(), false);
        QVERIFY2(v.htmlSource().contains("<tr><td>H</td></tr><tr>" + html + "</tr></table>"),
                 qPrintable(v.htmlSource()));
    }

    void graficoDelEjemplo()
    {
        KolvasterHTMLViewer v("Graficos");
        const QString lugar = v.addChart("PieChart", "Ventas del \"primer\" trimestre",
                                         {{"Mes", "Ventas"}, {"Enero", "10"}, {"Feb'o", "7.5"}},
                                         600, 400);
        QCOMPARE(lugar, QString("<div id=\"visualization_0\" style=\"width: 600px; height: "
                                "400px;\"></div>"));
        QCOMPARE(v.chartScripts, QStringList{scriptFebo});
        QCOMPARE(v.chartPackages, QStringList{"corechart"});
    }

    void numeracionYLimpieza()
    {
        KolvasterHTMLViewer v("Graficos");
        v.addChart("PieChart", "a", {{"x"}}, 1, 1);
        const QString segundo =
            v.addChart("ColumnChart", "D'Artagnan \"y\" los 3",
                       {{"Pa'is", "Cant\"idad", "Otro"}, {"Ar\"g'", "1'0", "x\"y"}, {}}, 320, 200);
        QCOMPARE(segundo, QString("<div id=\"visualization_1\" style=\"width: 320px; height: "
                                  "200px;\"></div>"));
        QCOMPARE(v.chartScripts.size(), 2);
        QCOMPARE(v.chartScripts.at(1),
                 QString("<script type=\"text/javascript\">\nfunction drawVisualization_1 () {\n"
                         "// Create and populate the data table.\n"
                         "var data = google.visualization.arrayToDataTable([\n"
                         "['Pa_is','Cant_idad','Otro'],\n"
                         "['Ar_g_','1_0','x_y'],\n"
                         "[]\n"
                         "]);\n\n"
                         "new google.visualization.ColumnChart(document.getElementById("
                         "'visualization_1')).\n"
                         "    draw(data, {title:\"D'Artagnan _y_ los 3\"});\n"
                         "}\n\n"
                         "google.setOnLoadCallback(drawVisualization_1);\n"
                         "</script>\n\n"));
        v.addChart("BarChart", "c", {{"x"}}, 1, 1);
        QCOMPARE(v.chartPackages, QStringList{"corechart"});
        QVERIFY(v.chartScripts.at(2).contains("function drawVisualization_2 ()"));
    }

    void sinFilas()
    {
        KolvasterHTMLViewer v("G");
        v.addChart("PieChart", "t", {}, 10, 20);
        QVERIFY(v.chartScripts.at(0).contains("arrayToDataTable([\n]);\n\nnew google"));
    }

    void paginaConDosGraficos()
    {
        KolvasterHTMLViewer v("Dos");
        const QString a = v.addChart("PieChart", "Ventas del \"primer\" trimestre",
                                     {{"Mes", "Ventas"}, {"Enero", "10"}, {"Feb'o", "7.5"}},
                                     600, 400);
        const QString b = v.addChart("ColumnChart", "B", {{"k", "v"}, {"x", "1"}}, 300, 200);
        v.setHtmlBody("<p>uno</p>" + a + b);
        const QString &s = v.htmlSource();
        QCOMPARE(s.count("google.load("), 1);
        QCOMPARE(s.count("'corechart'"), 1);
        QCOMPARE(s,
                 "<html>\n<head>\n" + estilo + "<!--Load the AJAX API-->\n<script type=\"text/"
                     "javascript\" src=\"" + QLatin1String(KOLVASTER_CARGADOR_GRAFICOS)
                     + "\"></script>\n<script type=\"text/javascript\">\n"
                       "google.load('visualization', '1.0', {'packages':['corechart']});\n"
                       "</script>\n"
                     + scriptFebo + v.chartScripts.at(1)
                     + "<title>Dos</title></head><body><h2>Dos</h2><p>uno</p>" + a + b
                     + "</body>");
        // Charts stay for later assemblies.
        v.setHtmlBody(QString());
        QCOMPARE(v.htmlSource().count("function drawVisualization_"), 2);
    }
};

QTEST_MAIN(TstInforme)
#include "tst_informe.moc"
