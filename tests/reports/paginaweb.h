#pragma once
// What the chart tests look at in a report page shown by the real web engine.
#include "reports/kolvasterhtmlviewer.h"
#include "reports/kolvastermotorreportes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

// Keeps every console message of error level (uncaught exceptions land here too).
class PaginaPrueba : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;
    QStringList errores;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel nivel, const QString &mensaje,
                                  int linea, const QString &origen) override
    {
        if (nivel == ErrorMessageLevel)
            errores << QString("%1 (%2:%3)").arg(mensaje, origen).arg(linea);
    }
};

inline QJsonValue evaluar(QWebEnginePage *p, const QString &js)
{
    QVariant r;
    bool hecho = false;
    p->runJavaScript(js, [&](const QVariant &v) {
        r = v;
        hecho = true;
    });
    for (int i = 0; i < 1000 && !hecho; ++i)
        QTest::qWait(10);
    return hecho ? QJsonValue::fromVariant(r) : QJsonValue("<sin respuesta>");
}

// The object a script of the page gives as JSON text (JSON.stringify(...)).
inline QJsonObject objeto(QWebEnginePage *p, const QString &js)
{
    return QJsonDocument::fromJson(evaluar(p, js).toString().toUtf8()).object();
}

// A viewer whose web view keeps the page's errors.
struct VisorPrueba {
    KolvasterHTMLViewer v;
    QWebEngineView *vista;
    PaginaPrueba *pagina;
    explicit VisorPrueba(const QString &titulo = "Graficos") : v(titulo)
    {
        vista = v.findChild<QWebEngineView *>("wv_main");
        pagina = new PaginaPrueba(vista);
        vista->setPage(pagina);
    }
    // The page assembled around the body, as the viewer shows it.
    bool cargar(const QString &cuerpo)
    {
        QSignalSpy carga(vista, &QWebEngineView::loadFinished);
        v.setHtmlBody(cuerpo);
        return carga.wait(30000) && carga.last().at(0).toBool();
    }
    // The same page with its loader's address changed: what a build naming that loader shows.
    bool cargarCon(const QString &cuerpo, const QString &cargador)
    {
        if (!cargar(cuerpo))
            return false;
        QString fuente = v.htmlSource();
        fuente.replace(QLatin1String(KOLVASTER_CARGADOR_GRAFICOS), cargador);
        QSignalSpy carga(vista, &QWebEngineView::loadFinished);
        kolvasterMotorReportes(nullptr)->mostrar(vista, fuente.toUtf8());
        return carga.wait(30000) && carga.last().at(0).toBool();
    }
};
