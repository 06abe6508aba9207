// Charts drawn by the local loader in the real web engine, as the default build shows them: every
// chart class draws into its placeholder, an unknown class leaves its line, hostile texts stay
// texts, printing and PDF carry the drawings, and the loader's scheme answers nothing else.
#include "base/constantes.h"
#include "paginaweb.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// Draws, notices and errors the loader reported, once at least n charts are done (or 15 s).
QJsonObject esperarDibujos(QWebEnginePage *p, int n)
{
    QJsonObject r;
    for (int i = 0; i < 150; ++i) {
        r = objeto(p, "JSON.stringify(window.kolvasterGraficos || {})");
        if (r["dibujados"].toInt() + r["avisos"].toInt() >= n)
            break;
        QTest::qWait(100);
    }
    return r;
}

// What the placeholder holds: its canvas' size on the page and its coloured pixels (clearly
// not grey: the chart's own colours, not text, grid or background), the chart's data as the
// library took it, and the placeholder's text.
QJsonObject contenido(QWebEnginePage *p, const QString &id)
{
    return objeto(p, QString(R"JS((function () {
        var el = document.getElementById('%1');
        var c = el.querySelector('canvas');
        var r = {texto: el.textContent, alto_texto: el.offsetHeight, lienzo: !!c};
        if (!c) return JSON.stringify(r);
        var caja = c.getBoundingClientRect(), lugar = el.getBoundingClientRect();
        r.ancho = caja.width; r.alto = caja.height;
        r.dentro = caja.left >= lugar.left && caja.top >= lugar.top
                   && caja.right <= lugar.right + 0.5 && caja.bottom <= lugar.bottom + 0.5;
        var d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data, n = 0;
        for (var i = 0; i < d.length; i += 4) {
            var mx = Math.max(d[i], d[i + 1], d[i + 2]), mn = Math.min(d[i], d[i + 1], d[i + 2]);
            if (d[i + 3] > 128 && mx - mn > 60) n++;
        }
        r.color = n; r.pixeles = d.length / 4;
        var g = Chart.getChart(c);
        r.tipo = g.config.type;
        r.etiquetas = g.data.labels || [];
        r.series = g.data.datasets.map(function (s) { return s.label; });
        r.valores = g.data.datasets.map(function (s) { return s.data; });
        r.titulo = g.options.plugins.title.text;
        r.leyenda = g.options.plugins.legend.display;
        r.colores = g.data.datasets.map(function (s) { return s.backgroundColor; });
        r.ejeX = g.options.scales && g.options.scales.x ? g.options.scales.x.title.text : null;
        r.ejeY = g.options.scales && g.options.scales.y ? g.options.scales.y.title.text : null;
        r.eje = g.options.indexAxis || 'x';
        return JSON.stringify(r);
    })())JS").arg(id));
}

// Pixels of clear colour in a picture (as contenido counts them) and the box they fill.
int pixelesDeColor(const QImage &imagen, QRect *caja)
{
    int n = 0;
    QRect r;
    for (int y = 0; y < imagen.height(); ++y)
        for (int x = 0; x < imagen.width(); ++x) {
            const QColor c = imagen.pixelColor(x, y);
            const int mx = std::max({c.red(), c.green(), c.blue()});
            const int mn = std::min({c.red(), c.green(), c.blue()});
            if (mx - mn > 60) {
                ++n;
                r = r.united(QRect(x, y, 1, 1));
            }
        }
    *caja = r;
    return n;
}

} // namespace

class TstDibujos : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QLatin1String(KOLVASTER_CHARTS_LOADER).isEmpty(),
                 "these tests check the local chart loader: configure with an empty "
                 "KOLVASTER_CHARTS_LOADER (scripts/test.sh does)");
    }

    void cadaClase_data()
    {
        QTest::addColumn<QString>("clase");
        QTest::addColumn<QString>("tipo");
        QTest::addColumn<QString>("eje");
        QTest::newRow("torta") << "PieChart" << "pie" << "";
        QTest::newRow("columnas") << "ColumnChart" << "bar" << "x";
        QTest::newRow("barras") << "BarChart" << "bar" << "y";
        QTest::newRow("lineas") << "LineChart" << "line" << "x";
        QTest::newRow("area") << "AreaChart" << "line" << "x";
        QTest::newRow("combinado") << "ComboChart" << "bar" << "x";
        QTest::newRow("dispersion") << "ScatterChart" << "scatter" << "x";
        QTest::newRow("escalones") << "SteppedAreaChart" << "line" << "x";
    }

    void cadaClase()
    {
        QFETCH(QString, clase);
        QFETCH(QString, tipo);
        QFETCH(QString, eje);
        VisorPrueba s;
        const QString antes = s.v.addChart("ColumnChart", "Primero", {{"a", "b"}, {"x", "1"}}, 50, 40);
        const QString g = s.v.addChart(clase, "Ventas",
                                       {{"Mes", "Norte", "Sur"}, {"1", "10", "4"},
                                        {"2", "7.5", "9"}, {"3", "3", "12"}},
                                       420, 260);
        QVERIFY(s.cargar("<p>Antes</p>" + antes + "<p>Entre</p>" + g));
        QCOMPARE(esperarDibujos(s.pagina, 2)["dibujados"].toInt(), 2);

        const QJsonObject c = contenido(s.pagina, "visualization_1");
        QVERIFY2(c["lienzo"].toBool(), qPrintable(c["texto"].toString()));
        QCOMPARE(c["ancho"].toDouble(), 420.0);
        QCOMPARE(c["alto"].toDouble(), 260.0);
        QVERIFY(c["dentro"].toBool());
        // A drawing, not a blank: a part of the canvas is coloured (a scatter's points less).
        QVERIFY2(c["color"].toInt() > c["pixeles"].toInt() / 200,
                 qPrintable(QString::number(c["color"].toInt())));
        QCOMPARE(c["tipo"].toString(), tipo);
        if (!eje.isEmpty())
            QCOMPARE(c["eje"].toString(), eje);
        QCOMPARE(c["titulo"].toString(), QString("Ventas"));
        if (clase == "PieChart") {
            QCOMPARE(c["etiquetas"].toArray(), (QJsonArray{"1", "2", "3"}));
            QCOMPARE(c["valores"].toArray(), (QJsonArray{QJsonArray{10, 7.5, 3}}));
        } else if (clase != "ScatterChart") {
            QCOMPARE(c["etiquetas"].toArray(), (QJsonArray{"1", "2", "3"}));
            QCOMPARE(c["series"].toArray(), (QJsonArray{"Norte", "Sur"}));
            QCOMPARE(c["valores"].toArray(),
                     (QJsonArray{QJsonArray{10, 7.5, 3}, QJsonArray{4, 9, 12}}));
        } else {
            QCOMPARE(c["series"].toArray(), (QJsonArray{"Norte", "Sur"}));
            QCOMPARE(c["valores"][0].toArray()[1].toObject(), (QJsonObject{{"x", 2}, {"y", 7.5}}));
        }
        // The first chart of the page is drawn in its own place.
        QCOMPARE(contenido(s.pagina, "visualization_0")["ancho"].toDouble(), 50.0);
        QCOMPARE(s.pagina->errores, QStringList());
    }

    void opciones_data()
    {
        QTest::addColumn<QString>("opciones");
        QTest::addColumn<QJsonObject>("esperado");
        QTest::newRow("colores y ejes")
            << "{title: 'T', colors: ['#00ff00', '#0000ff'], hAxis: {title: 'Meses'},"
               " vAxis: {title: 'Pesos'}}"
            << QJsonObject{{"colores", QJsonArray{"#00ff00", "#0000ff"}}, {"ejeX", "Meses"},
                           {"ejeY", "Pesos"}, {"leyenda", true}, {"ancho", 300}};
        QTest::newRow("sin leyenda, tamano propio")
            << "{legend: 'none', width: 250, height: 150}"
            << QJsonObject{{"leyenda", false}, {"ancho", 250}, {"alto", 150}};
        QTest::newRow("leyenda como objeto")
            << "{legend: {position: 'none'}}" << QJsonObject{{"leyenda", false}};
        QTest::newRow("torta 3D, plana")
            << "{is3D: true}" << QJsonObject{{"tipo", "bar"}, {"leyenda", true}};
    }

    void opciones()
    {
        // A report's own script may pass more options than the viewer's title.
        QFETCH(QString, opciones);
        QFETCH(QJsonObject, esperado);
        VisorPrueba s;
        const QString g = s.v.addChart("PieChart", "t", {{"a", "b"}, {"x", "1"}}, 100, 100);
        QVERIFY(s.cargar(g + "<div id=\"propio\" style=\"width: 300px; height: 200px;\"></div>"
                         "<script>google.setOnLoadCallback(function () {"
                         " new google.visualization.ColumnChart(document.getElementById('propio'))"
                         ".draw(google.visualization.arrayToDataTable([['k', 'A', 'B'], ['x', 1, 2],"
                         " ['y', 3, 4]]), " + opciones + "); });</script>"));
        QCOMPARE(esperarDibujos(s.pagina, 2)["dibujados"].toInt(), 2);
        const QJsonObject c = contenido(s.pagina, "propio");
        for (auto it = esperado.begin(); it != esperado.end(); ++it)
            QCOMPARE(c[it.key()], it.value());
        QVERIFY(c["color"].toInt() > 0);
        // A 3D pie is drawn flat: still a pie.
        QCOMPARE(contenido(s.pagina, "visualization_0")["tipo"].toString(), QString("pie"));
    }

    void claseDesconocida()
    {
        VisorPrueba s;
        const QString g = s.v.addChart("Gauge", "t", {{"a", "b"}, {"x", "1"}}, 200, 100);
        const QString bien = s.v.addChart("PieChart", "t", {{"a", "b"}, {"x", "1"}}, 200, 100);
        QVERIFY(s.cargar(g + bien));
        const QJsonObject r = esperarDibujos(s.pagina, 2);
        QCOMPARE(r["avisos"].toInt(), 1);
        QCOMPARE(r["dibujados"].toInt(), 1);
        const QJsonObject c = contenido(s.pagina, "visualization_0");
        QCOMPARE(c["texto"].toString(), QString("Tipo de grafico desconocido: Gauge"));
        QVERIFY(c["alto_texto"].toInt() > 5); // a line one sees, not a blank
        QVERIFY(!c["lienzo"].toBool());
        QVERIFY(contenido(s.pagina, "visualization_1")["lienzo"].toBool());
    }

    void datosQueNoSonNumeros()
    {
        // Values that are not numbers reach the chart as texts, which names them in its place;
        // one of them would have been a statement of the page.
        VisorPrueba s;
        const QString g = s.v.addChart("ColumnChart", "t",
                                       {{"a", "b"}, {"x", "1);window.__atacado=1;("}, {"y", "abc"}},
                                       200, 100);
        const QString vacio = s.v.addChart("PieChart", "t", {}, 200, 100);
        QVERIFY(s.cargar(g + vacio));
        QCOMPARE(esperarDibujos(s.pagina, 2)["avisos"].toInt(), 1);
        QCOMPARE(evaluar(s.pagina, "typeof window.__atacado").toString(), QString("undefined"));
        // Not numbers: the library skips them (gaps), the rest of the chart is drawn.
        QCOMPARE(contenido(s.pagina, "visualization_0")["valores"].toArray(),
                 (QJsonArray{QJsonArray{QJsonValue::Null, QJsonValue::Null}}));
        // No rows at all: a line that says so.
        QVERIFY(contenido(s.pagina, "visualization_1")["texto"].toString().startsWith(
            "No se puede dibujar el grafico PieChart"));
    }

    void etiquetasHostiles()
    {
        VisorPrueba s;
        const QStringList hostiles{"</script><img src=x onerror=window.__atacado=1>",
                                   "<img src=x onerror=\"window.__atacado=2\">",
                                   "comilla ' y \" doble", "una\nlinea", "<!-- <script>",
                                   "C:\\dir\\", "<b>negrita</b>"};
        QList<QStringList> datos{{"</script><img src=x onerror=window.__atacado=3>", "Valor"}};
        for (const QString &h : hostiles)
            datos << QStringList{h, "2"};
        const QString g = s.v.addChart(
            "PieChart", "<img src=x onerror=window.__atacado=4> \"t\" </script>", datos, 500, 300);
        QVERIFY(s.cargar(g));
        QCOMPARE(esperarDibujos(s.pagina, 1)["dibujados"].toInt(), 1);

        const QJsonObject c = contenido(s.pagina, "visualization_0");
        QJsonArray esperadas;
        for (QString h : hostiles)
            esperadas.append(h.replace('\'', '_').replace('"', '_'));
        QCOMPARE(c["etiquetas"].toArray(), esperadas);
        QCOMPARE(c["titulo"].toString(), QString("<img src=x onerror=window.__atacado=4> _t_ </script>"));
        QVERIFY(c["color"].toInt() > 1000);
        QTest::qWait(300);
        QCOMPARE(evaluar(s.pagina, "typeof window.__atacado").toString(), QString("undefined"));
        QCOMPARE(evaluar(s.pagina, "document.querySelectorAll('img, b').length").toInt(), 0);
        QCOMPARE(s.pagina->errores, QStringList());
    }

    void impresoYPdf_data()
    {
        QTest::addColumn<bool>("impresora");
        QTest::newRow("boton PDF") << false;
        QTest::newRow("impresora a archivo") << true;
    }

    void impresoYPdf()
    {
        QFETCH(bool, impresora);
        QTemporaryDir dir;
        VisorPrueba s;
        s.v.setPrintMargins(10, 10, 10, 10);
        const QString g = s.v.addChart("ColumnChart", "Ventas",
                                       {{"Mes", "Norte", "Sur"}, {"Ene", "10", "4"},
                                        {"Feb", "7", "9"}, {"Mar", "3", "12"}},
                                       480, 300);
        QVERIFY(s.cargar("<p>Antes del grafico</p>" + g));
        QCOMPARE(esperarDibujos(s.pagina, 1)["dibujados"].toInt(), 1);
        const QJsonObject lugar = objeto(s.pagina, "JSON.stringify(document.getElementById("
                                                   "'visualization_0').getBoundingClientRect())");

        const QString pdf = dir.filePath("reporte.pdf");
        if (impresora) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setResolution(96);
            s.v.aplicarMargenes(&printer);
            QVERIFY(s.v.imprimir(&printer));
        } else {
            const QMarginsF m(10, 10, 10, 10);
            QVERIFY(kolvasterMotorReportes(nullptr)->guardarPdf(s.vista, pdf, &m));
        }
        // At 96 dots per inch a pixel of the picture is a pixel of the page.
        QProcess p;
        p.start("pdftoppm", {"-r", "96", "-f", "1", "-l", "1", "-png", pdf, dir.filePath("p")});
        QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
        const QStringList pngs = QDir(dir.path()).entryList({"p*.png"});
        QCOMPARE(pngs.size(), 1);
        const QImage imagen(dir.filePath(pngs.first()));
        QVERIFY(!imagen.isNull());
        QRect caja;
        const int n = pixelesDeColor(imagen, &caja);
        QVERIFY2(n > 5000, qPrintable(QString::number(n)));
        // In the chart's place (10 mm of margin, about 38 pixels), at the page's size.
        const double margen = 10 / 25.4 * 96;
        const QRectF esperado(lugar["x"].toDouble() + margen, lugar["y"].toDouble() + margen,
                              480, 300);
        QVERIFY2(esperado.adjusted(-3, -3, 3, 3).contains(caja),
                 qPrintable(QString("%1,%2 %3x%4").arg(caja.x()).arg(caja.y()).arg(caja.width())
                                .arg(caja.height())));
        QVERIFY(caja.width() > 480 / 2 && caja.height() > 300 / 2);
    }

    void esquemaNoDaOtrosArchivos()
    {
        // A page that knows the scheme tries every way into other files; only the two files of
        // the loader answer (the first two rows prove the probe sees a file that is there).
        VisorPrueba s;
        const QStringList intentos{
            "kolvaster-graficos:cargador.js",
            "kolvaster-graficos:chart.min.js",
            "kolvaster-graficos:../../../../../../etc/passwd",
            "kolvaster-graficos:/etc/passwd",
            "kolvaster-graficos:%2e%2e/%2e%2e/%2e%2e/etc/passwd",
            "kolvaster-graficos:..%2f..%2f..%2fetc%2fpasswd",
            "kolvaster-graficos:chart.min.js/../../../../etc/passwd",
            "kolvaster-graficos:/usr/share/javascript/chart.js/chart.min.js",
            "kolvaster-graficos:chart.js",
            "kolvaster-graficos:./chart.min.js",
            "kolvaster-graficos:cargador.js%00.png",
            "kolvaster-graficos::/kolvaster/graficos/cargador-graficos.js",
            "kolvaster-graficos://localhost/etc/passwd",
            "kolvaster-graficos:",
            "kolvaster-reporte:/etc/passwd",
            "file:///etc/passwd",
            "file:///usr/share/javascript/chart.js/chart.min.js"};
        QJsonArray lista;
        for (const QString &i : intentos)
            lista.append(i);
        QVERIFY(s.cargar(
            "<script>window.__sondeo = {}; window.__lectura = 'sin respuesta';"
            "var lista = " + QString::fromUtf8(QJsonDocument(lista).toJson(QJsonDocument::Compact))
            + "; lista.forEach(function (u) { var e = document.createElement('script');"
              " e.onload = function () { window.__sondeo[u] = 'cargado'; };"
              " e.onerror = function () { window.__sondeo[u] = 'error'; };"
              " e.src = u; document.head.appendChild(e); });"
              "fetch('kolvaster-graficos:../../../../etc/passwd').then(function (r) {"
              " return r.text(); }).then(function (t) { window.__lectura = t; },"
              " function () { window.__lectura = 'rechazado'; });"
              "</script>"));
        QJsonObject r;
        for (int i = 0; i < 100; ++i) {
            r = objeto(s.pagina, "JSON.stringify(window.__sondeo)");
            if (r.size() == intentos.size())
                break;
            QTest::qWait(100);
        }
        QCOMPARE(r.size(), intentos.size());
        for (int i = 0; i < intentos.size(); ++i)
            QCOMPARE(qPrintable(intentos[i] + " " + r[intentos[i]].toString()),
                     qPrintable(intentos[i] + (i < 2 ? " cargado" : " error")));
        QTRY_COMPARE_WITH_TIMEOUT(evaluar(s.pagina, "window.__lectura").toString(),
                                  QString("rechazado"), 10000);
    }
};

QTEST_MAIN(TstDibujos)
#include "tst_dibujos.moc"
