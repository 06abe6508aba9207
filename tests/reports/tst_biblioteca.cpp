// The library kolvasterreportes used alone, as a program of the suite uses it: a program that
// links only it builds a table page, a chart page and a workbook, and finds its icons.
#include "../catalogue/lanzador.h"

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

    // A program's own About, from the library, clears the program's alert in the launcher at
    // its next keep-alive.
    void acercaDeDelPrograma()
    {
        TestDb::limpiar();
        const qint64 ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        const qint64 muestra = TestDb::crearApp("muestra", "Muestra", QByteArray("#!/bin/sh\n"));
        TestDb::otorgar(ana, muestra, false);
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QCOMPARE(k->changelogsPendientes, QStringList("muestra"));
        QCOMPARE(l.lista()->item(0)->icon().cacheKey(), k->iconoAlerta.cacheKey());

        QProcess p;
        p.start(QStringLiteral(AYUDANTE_REPORTES),
                {"acerca", QString::number(ana), TestDb::base(), TestDb::cuenta("ana"),
                 TestDb::clave("ana"), "muestra"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString("acerca muestra v1.0\n"));
        QCOMPARE(TestDb::valor("SELECT clogleido FROM sysuserapp WHERE sysuser_id=? AND app_id=?",
                               {ana, muestra}).toInt(), 1);

        k->responderKeepAlive(3);
        QVERIFY(k->changelogsPendientes.isEmpty());
        QCOMPARE(l.lista()->item(0)->icon().cacheKey(), k->iconoApp.cacheKey());
    }
};

QTEST_MAIN(TstBiblioteca)
#include "tst_biblioteca.moc"
