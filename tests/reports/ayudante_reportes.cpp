// A program of the suite in miniature, for tst_biblioteca: it links kolvasterreportes alone
// (never the launcher's code), as the suite's programs do, and writes what it made.
//   ayudante_reportes DIR   writes DIR/tabla.html, DIR/graficos.html, DIR/libro.xlsx and
//                           prints "iconos <n null>" and "exportado <0|1>"
//   ayudante_reportes acerca UID SISTEMA CUENTA CLAVE PROGRAMA
//                           connects to SISTEMA on 127.0.0.1 as CUENTA and opens the library's
//                           About dialog for PROGRAMA, as the suite's programs do; prints
//                           "acerca <name and version>"
#include <kolvasteracercade.h>
#include <kolvasterexcelgen.h>
#include <kolvasterhtmlviewer.h>
#include <kolvasterinterfaz.h>

#include <QApplication>
#include <QFile>
#include <QPixmap>
#include <QSqlDatabase>
#include <QTimer>
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
    kolvasterPrepararInterfaz();
    if (argc == 7 && qstrcmp(argv[1], "acerca") == 0) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"));
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setDatabaseName(QString::fromLocal8Bit(argv[3]));
        db.setUserName(QString::fromLocal8Bit(argv[4]));
        db.setPassword(QString::fromLocal8Bit(argv[5]));
        if (!db.open())
            return 2;
        KolvasterAcercaDe acerca(QByteArray(argv[2]).toLongLong(), argv[6], "v1.0",
                                 "<br>01/2026 v1.0:<br />+ Primera version<br />");
        QTimer::singleShot(0, &acerca, &QDialog::accept);
        acerca.exec();
        std::printf("acerca %s\n", qPrintable(acerca.lab_nombreprograma->text()));
        return 0;
    }
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
