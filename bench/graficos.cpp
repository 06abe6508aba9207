// A report viewer with N charts, as a program of the suite opens it (kolvasterreportes, engine
// built in), timed from the viewer's exec():
//   bench_graficos N propio            the page as built: the local loader and Chart.js
//   bench_graficos N publico URL       the same page naming URL as its loader (an unreachable
//                                      public loader: the page can only wait for it to fail)
// Prints one line: first_s (first chart drawn; with the public loader, the page's load finished,
// which is when its failed loader gives up), all_s (every chart drawn), and the resident memory
// of the viewer's process and of the web engine's processes under it, 2 s after that.
#include "kolvasterhtmlviewer.h"
#include "kolvastermotorreportes.h"
#include "base/constantes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdio>

namespace {

long rssKb(const QString &pid)
{
    QFile f("/proc/" + pid + "/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// The engine's processes are children of this one.
long rssHijosKb()
{
    long total = 0;
    const QString propio = QString::number(QCoreApplication::applicationPid());
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile f("/proc/" + pid + "/stat");
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const QList<QByteArray> campos = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (campos.size() > 1 && campos[1] == propio.toLatin1())
            total += rssKb(pid);
    }
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int n = argc > 1 ? atoi(argv[1]) : 1;
    const bool publico = argc > 3 && QByteArray(argv[2]) == "publico";

    KolvasterHTMLViewer v("Graficos");
    QString cuerpo;
    for (int i = 0; i < n; ++i)
        cuerpo += v.addChart(i % 2 ? "ColumnChart" : "PieChart", QString("Grafico %1").arg(i),
                             {{"Programa", "Usuarios"}, {"v1.0", "3"}, {"v1.1", "5"},
                              {"v2.0", QString::number(i + 1)}},
                             500, 300);
    auto *vista = v.findChild<QWebEngineView *>("wv_main");
    v.setHtmlBody(cuerpo);
    if (publico) {
        QString fuente = v.htmlSource();
        fuente.replace(QLatin1String(KOLVASTER_CARGADOR_GRAFICOS), QString::fromLocal8Bit(argv[3]));
        kolvasterMotorReportes(nullptr)->mostrar(vista, fuente.toUtf8());
    }

    QElapsedTimer reloj;
    double primero = -1, todos = -1;
    bool cargada = false;
    QObject::connect(vista->page(), &QWebEnginePage::loadFinished, [&](bool) {
        cargada = true;
        if (publico && primero < 0)
            primero = todos = reloj.nsecsElapsed() / 1e9;
    });
    QTimer fin;
    fin.setSingleShot(true);
    QTimer sondeo;
    sondeo.setInterval(5);
    QObject::connect(&sondeo, &QTimer::timeout, [&] {
        if (publico) {
            if (primero >= 0)
                sondeo.stop();
            return;
        }
        vista->page()->runJavaScript(
            "window.kolvasterGraficos ? window.kolvasterGraficos.dibujados : 0",
            [&, n](const QVariant &r) {
                const double t = reloj.nsecsElapsed() / 1e9;
                if (r.toInt() > 0 && primero < 0)
                    primero = t;
                if (r.toInt() >= n && todos < 0) {
                    todos = t;
                    sondeo.stop();
                    fin.start(2000);
                }
            });
    });
    QTimer limite;
    limite.setSingleShot(true);
    limite.start(60000);
    auto terminar = [&] {
        std::printf("charts=%d loader=%s first_s=%.3f all_s=%.3f loaded=%d viewer_kb=%ld "
                    "engine_kb=%ld\n",
                    n, publico ? "public-unreachable" : "local", primero, todos, cargada ? 1 : 0,
                    rssKb(QString::number(QCoreApplication::applicationPid())), rssHijosKb());
        std::fflush(stdout);
        v.done(0);
    };
    QObject::connect(&fin, &QTimer::timeout, terminar);
    QObject::connect(&limite, &QTimer::timeout, terminar);
    // A public loader that fails: nothing more to wait for once the page gave up on it.
    QTimer mirarPublico;
    QObject::connect(&mirarPublico, &QTimer::timeout, [&] {
        if (primero >= 0 && !fin.isActive()) {
            mirarPublico.stop();
            fin.start(2000);
        }
    });
    if (publico)
        mirarPublico.start(20);

    QTimer::singleShot(0, &sondeo, [&] { sondeo.start(); });
    reloj.start();
    v.exec();
    return 0;
}
