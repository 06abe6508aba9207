// What report pages ask of their chart loader, read in the real web engine: the pages are
// pointed at the loader stand-in (tests/support/cargador-graficos.js, served by the notifier
// stand-in), which records the calls; the page otherwise is the one the viewer built.
#include "base/constantes.h"
#include "paginaweb.h"

#include <QJsonArray>

namespace {

// The stand-in's record once `dibujos` holds n draws (or after 15 s).
QJsonObject registro(QWebEnginePage *p, int n)
{
    QJsonObject r;
    for (int i = 0; i < 150; ++i) {
        r = objeto(p, "window.__cargador ? JSON.stringify(window.__cargador) : ''");
        if (r["dibujos"].toArray().size() >= n)
            break;
        QTest::qWait(100);
    }
    return r;
}

// A viewer whose pages name the stand-in, so that what they ask for is recorded.
struct Visor : VisorPrueba {
    bool cargar(const QString &cuerpo)
    {
        return cargarCon(cuerpo,
                         "http://" + qEnvironmentVariable("KOLVASTER_TEST_HTTP") + "/charts/jsapi");
    }
};

} // namespace

class TstGraficos : public QObject
{
    Q_OBJECT

private slots:
    void dosGraficos()
    {
        Visor s;
        const QString torta = s.v.addChart(
            "PieChart", "Ventas del \"primer\" trimestre",
            {{"Mes", "Ventas"}, {"Enero", "10"}, {"Feb'o", "7.5"}}, 600, 400);
        const QString columnas = s.v.addChart(
            "ColumnChart", "D'Artagnan",
            {{"Pais", "Cantidad", "Otra"}, {"Ar\"g", "3", "-1.5"}, {"Uy", "0", "2e1"}}, 320, 200);
        QVERIFY(s.cargar("<p>Antes</p>" + torta + "<p>Entre</p>" + columnas));

        const QJsonObject r = registro(s.pagina, 2);
        QVERIFY2(!r.isEmpty(), "the loader stand-in did not run");
        QCOMPARE(r["paquetes"].toArray(),
                 (QJsonArray{QJsonObject{{"api", "visualization"},
                                         {"version", "1.0"},
                                         {"packages", QJsonArray{"corechart"}}}}));
        QCOMPARE(r["callbacks"].toInt(), 2);
        const QJsonArray dibujos = r["dibujos"].toArray();
        QCOMPARE(dibujos.size(), 2);
        QCOMPARE(dibujos[0].toObject(),
                 (QJsonObject{{"clase", "PieChart"},
                              {"elemento", "visualization_0"},
                              {"ancho", "600px"},
                              {"alto", "400px"},
                              {"filas", QJsonArray{QJsonArray{"Mes", "Ventas"},
                                                   QJsonArray{"Enero", 10},
                                                   QJsonArray{"Feb_o", 7.5}}},
                              {"opciones",
                               QJsonObject{{"title", "Ventas del _primer_ trimestre"}}}}));
        QCOMPARE(dibujos[1].toObject(),
                 (QJsonObject{{"clase", "ColumnChart"},
                              {"elemento", "visualization_1"},
                              {"ancho", "320px"},
                              {"alto", "200px"},
                              {"filas", QJsonArray{QJsonArray{"Pais", "Cantidad", "Otra"},
                                                   QJsonArray{"Ar_g", 3, -1.5},
                                                   QJsonArray{"Uy", 0, 20}}},
                              {"opciones", QJsonObject{{"title", "D'Artagnan"}}}}));
        // Drawn into the placeholders of the page's body.
        QCOMPARE(evaluar(s.pagina, "document.getElementById('visualization_0').textContent")
                     .toString(),
                 QString("PieChart dibujado"));
        QCOMPARE(evaluar(s.pagina, "document.getElementById('visualization_1').textContent")
                     .toString(),
                 QString("ColumnChart dibujado"));
        QCOMPARE(r["errores"].toArray(), QJsonArray());
        QCOMPARE(s.pagina->errores, QStringList());
    }

    void etiquetasRaras()
    {
        // Labels that would end the script's string or the script block itself reach the
        // chart as typed (apostrophes and double quotes still become "_"); the page is one the
        // chart loader may come to over plain http.
        Visor s;
        const QStringList raras{"C:\\", "una\nlinea", "</script><b>x</b>", "<!-- <script>",
                                QString::fromUtf8("tab\tfin\r\u2028\u2029ñ"), "a\\'b\\\"c"};
        QList<QStringList> datos{{"</script>", "C:\\"}};
        for (const QString &r : raras)
            datos << QStringList{r, "1"};
        const QString g = s.v.addChart("BarChart", "Ruta C:\\ \"x\" </script>", datos, 300, 200);
        QVERIFY(s.cargar(g));

        const QJsonObject r = registro(s.pagina, 1);
        QCOMPARE(r["dibujos"].toArray().size(), 1);
        const QJsonObject dibujo = r["dibujos"][0].toObject();
        QJsonArray filas{QJsonArray{"</script>", "C:\\"}};
        for (QString rara : raras)
            filas.append(QJsonArray{rara.replace('\'', '_').replace('"', '_'), 1});
        QCOMPARE(dibujo["filas"].toArray(), filas);
        QCOMPARE(dibujo["opciones"].toObject()["title"].toString(),
                 QString("Ruta C:\\ _x_ </script>"));
        QCOMPARE(r["errores"].toArray(), QJsonArray());
        QCOMPARE(s.pagina->errores, QStringList());
        // Not a secure context: a secure one may not load plain-http scripts.
        QCOMPARE(evaluar(s.pagina, "window.isSecureContext"), QJsonValue(false));
    }

    void unErrorSeNota()
    {
        // The same checks see a page whose chart script fails: an unknown chart class.
        Visor s;
        const QString g = s.v.addChart("NoExiste", "t", {{"a", "b"}, {"x", "1"}}, 10, 10);
        QVERIFY(s.cargar(g));
        QTRY_VERIFY_WITH_TIMEOUT(!s.pagina->errores.isEmpty(), 15000);
        QVERIFY2(s.pagina->errores.join('\n').contains("NoExiste"),
                 qPrintable(s.pagina->errores.join('\n')));
        QCOMPARE(registro(s.pagina, 0)["dibujos"].toArray(), QJsonArray());
    }
};

QTEST_MAIN(TstGraficos)
#include "tst_graficos.moc"
