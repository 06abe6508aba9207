// The library kolvasterreportes used alone, as a program of the suite uses it: a program that
// links only it builds a table page, a chart page and a workbook, and finds its icons.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TstBiblioteca : public QObject
{
    Q_OBJECT

private slots:
    void programaDeLaSuite()
    {
        QTemporaryDir dir;
        QProcess p;
        p.start(QStringLiteral(AYUDANTE_REPORTES), {dir.path()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const QString salida = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(salida.contains("iconos 0\n"), qPrintable(salida));
        QVERIFY2(salida.contains("exportado 1\n"), qPrintable(salida));

        QFile tabla(dir.filePath("tabla.html"));
        QVERIFY(tabla.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(tabla.readAll())
                    .endsWith(QString::fromUtf8(
                        "<tr><td>Nombre</td><td>Monto</td></tr>"
                        "<tr><td>O'Hara <i>\"x\"</i></td><td align=\"right\">12</td></tr>"
                        "<tr><td>Ñu</td><td>1,5</td></tr></table></p>"
                        "Cantidad de registros: 2</body></html>")));
        QFile graficos(dir.filePath("graficos.html"));
        QVERIFY(graficos.open(QIODevice::ReadOnly));
        const QString g = QString::fromUtf8(graficos.readAll());
        QVERIFY(g.contains("['a','b'],\n['F_o',1]\n]);"));
        QVERIFY(g.endsWith("<div id=\"visualization_0\" style=\"width: 100px; height: 100px;\">"
                           "</div></body>"));

        QProcess py;
        py.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3",
                 {"-c",
                  "import sys, openpyxl\n"
                  "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                  "print(ws.title, [[c.value for c in r] for r in ws.iter_rows()])",
                  dir.filePath("libro.xlsx")});
        QVERIFY(py.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(py.readAllStandardOutput()).trimmed(),
                 QString::fromUtf8("Hoja [['Nombre', 'Monto'], ['O\\'Hara <i>\"x\"</i>', 12], "
                                   "['Ñu', '1,5']]"));
    }
};

QTEST_MAIN(TstBiblioteca)
#include "tst_biblioteca.moc"
