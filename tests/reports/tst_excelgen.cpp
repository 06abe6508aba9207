// the spreadsheet export, through a recording automation object (the calls and their
// order) and through the libxlsxwriter one (the workbook read back by openpyxl).
#include "archivos.h"
#include "base/mensajes.h"
#include "reports/kolvasterexcelgen.h"

#include "guion.h"
#include "modal.h"
#include "notificador.h"
#include "testdb.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Stands in for the spreadsheet program: keeps every call as "object call args".
struct Bitacora {
    QStringList llamadas;
    QVariant valores;
    QString fallarEn; // a call whose error() is then set
};

class Grabador : public KolvasterAutomatizacion
{
public:
    Grabador(const QString &nombre, Bitacora *b) : nombre(nombre), b(b) {}

    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &v1,
                                            const QVariant &v2) override
    {
        anotar(name, v1, v2);
        if (b->fallarEn == QLatin1String(name)) {
            err = "sin " + QString::fromLatin1(name);
            return nullptr;
        }
        static const QMap<QString, QString> hijos{{"Workbooks", "workbooks"},
                                                  {"Add()", "workbook"},
                                                  {"Worksheets", "worksheets"},
                                                  {"Item( int )", "sheet"},
                                                  {"Range( const QString&, const QString&)",
                                                   "range"}};
        hijosPropios.push_back(std::make_unique<Grabador>(hijos.value(name, "?"), b));
        return hijosPropios.back().get();
    }

    QVariant dynamicCall(const char *function, const QVariant &v1) override
    {
        if (QLatin1String(function) == QLatin1String("SetValue(const QVariant&)")) {
            b->valores = v1;
            anotar(function, QVariant(), QVariant());
        } else {
            anotar(function, v1, QVariant());
        }
        if (b->fallarEn == QLatin1String(function))
            err = "fallo " + QString::fromLatin1(function);
        return QVariant();
    }

    QString error() const override { return err; }

private:
    void anotar(const char *f, const QVariant &v1, const QVariant &v2)
    {
        QString linea = nombre + ' ' + QString::fromLatin1(f);
        for (const QVariant &v : {v1, v2})
            if (v.isValid())
                linea += ' ' + v.toString();
        b->llamadas << linea;
    }

    QString nombre;
    Bitacora *b;
    QString err;
    std::vector<std::unique_ptr<Grabador>> hijosPropios;
};

// Takes the place of the desktop's program for local files: keeps what it was asked to open.
class Escritorio : public QObject
{
    Q_OBJECT

public:
    Escritorio() { QDesktopServices::setUrlHandler("file", this, "abrir"); }
    ~Escritorio() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> abiertas;

public slots:
    void abrir(const QUrl &url) { abiertas.append(url); }
};

// A table of `columnas` columns and `filas` rows, cell texts "f<r>c<c>", headers "H<c>".
void llenar(QTableWidget &t, int filas, int columnas)
{
    t.setRowCount(filas);
    t.setColumnCount(columnas);
    for (int c = 0; c < columnas; ++c) {
        t.setHorizontalHeaderItem(c, new QTableWidgetItem(QString("H%1").arg(c + 1)));
        for (int f = 0; f < filas; ++f)
            t.setItem(f, c, new QTableWidgetItem(QString("f%1c%2").arg(f + 1).arg(c + 1)));
    }
}

QJsonArray celda(const QString &valor)
{
    return QJsonArray{valor, "s"};
}

QJsonArray numero(double valor)
{
    return QJsonArray{valor, "n"};
}

// A small file system of its own (as root), filled up: what is written there runs out of room.
// Unmounted when it goes.
struct DiscoLleno {
    QTemporaryDir base;
    QString dir = base.filePath("lleno");
    bool montado = false;

    DiscoLleno()
    {
        QDir().mkpath(dir);
        montado = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=2m", "tmpfs", dir}) == 0;
    }
    ~DiscoLleno()
    {
        if (montado)
            QProcess::execute("umount", {dir});
    }
    // Takes every free byte, so that any further write fails.
    void llenar()
    {
        QFile relleno(dir + "/relleno");
        relleno.open(QIODevice::WriteOnly);
        const QByteArray bloque(64 * 1024, 'x');
        while (relleno.write(bloque) == bloque.size() && relleno.flush()) {
        }
    }
};

} // namespace

class TstExcelGen : public QObject
{
    Q_OBJECT

    Guion guion;
    Bitacora bitacora;

    void grabar()
    {
        bitacora = Bitacora();
        KolvasterExcelGen::setFabricaAutomatizacion([this](const QString &progId) {
            bitacora.llamadas << "create " + progId;
            return std::make_unique<Grabador>("application", &bitacora);
        });
    }

    QList<Mensajes::Mostrado> advertencias()
    {
        QList<Mensajes::Mostrado> r;
        for (const auto &m : Mensajes::mostrados())
            if (m.tipo == Mensajes::Tipo::Advertencia)
                r << m;
        return r;
    }

private slots:
    void init()
    {
        guion.olvidar();
        KolvasterExcelGen::setFabricaAutomatizacion(nullptr);
    }
    void cleanup() { KolvasterExcelGen::setFabricaAutomatizacion(nullptr); }

    void ventana()
    {
        KolvasterExcelGen g;
        QVERIFY(g.isVisible());
        QVERIFY(g.isModal());
        QCOMPARE(g.windowTitle(), QString("KolvasterExcelGen"));
        QCOMPARE(g.size(), QSize(336, 177));
        QCOMPARE(g.minimumSize(), g.maximumSize());
        QCOMPARE(g.findChild<QLabel *>("lab_aguarde")->text(),
                 QString("Generando informacion en Excel. Por favor aguarde..."));
        QVERIFY(!g.findChild<QLabel *>("lab_reloj")->pixmap().isNull());
    }

    void letras()
    {
        KolvasterExcelGen g;
        QStringList todas;
        for (int n = 1; n <= 30; ++n)
            todas << g.columnLetter(n);
        QCOMPARE(todas, (QStringList{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J",
                                     "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T",
                                     "U", "V", "W", "X", "Y", "Z", "AA", "AB", "AC", "AD"}));
        QVERIFY(guion.salidas.isEmpty());
    }

    void llamadasConArchivo()
    {
        grabar();
        QTemporaryDir dir;
        const QString ruta = dir.filePath("salida.xlsx");
        QTableWidget t;
        llenar(t, 12, 5);
        t.setColumnHidden(1, true);
        t.setColumnHidden(3, true);
        t.setRowHidden(0, true);
        t.setRowHidden(7, true);
        KolvasterExcelGen g;
        QVERIFY(g.exportTable("Datos", ruta, &t));
        QCOMPARE(bitacora.llamadas,
                 (QStringList{"create Excel.Application",
                              "application Workbooks",
                              "workbooks Add()",
                              "workbook Worksheets",
                              "worksheets Item( int ) 1",
                              "sheet SetName(const QString&) Datos",
                              // 3 visible columns, header and 10 visible rows: C11
                              "sheet Range( const QString&, const QString&) A1 C11",
                              "range SetValue(const QVariant&)",
                              "workbook SaveAs( const QString&) " + ruta,
                              "workbook Close()",
                              "application Quit()"}));
        const QVariantList filas = bitacora.valores.toList();
        QCOMPARE(filas.size(), 11);
        QCOMPARE(filas.at(0).toList(), (QVariantList{"H1", "H3", "H5"}));
        QCOMPARE(filas.at(1).toList(), (QVariantList{"f2c1", "f2c3", "f2c5"}));
        QCOMPARE(filas.at(6).toList(), (QVariantList{"f7c1", "f7c3", "f7c5"}));
        QCOMPARE(filas.at(7).toList(), (QVariantList{"f9c1", "f9c3", "f9c5"}));
        QVERIFY(g.isVisible()); // the caller closes the wait window
        QVERIFY(Mensajes::mostrados().isEmpty());
    }

    void llamadasVisible()
    {
        grabar();
        QTableWidget t;
        llenar(t, 2, 2);
        KolvasterExcelGen g;
        QVERIFY(g.exportTable("Hoja", QString(), &t));
        QCOMPARE(bitacora.llamadas,
                 (QStringList{"create Excel.Application",
                              "application SetVisible(bool) true",
                              "application Workbooks",
                              "workbooks Add()",
                              "workbook Worksheets",
                              "worksheets Item( int ) 1",
                              "sheet SetName(const QString&) Hoja",
                              "sheet Range( const QString&, const QString&) A1 B3",
                              "range SetValue(const QVariant&)"}));
    }

    void treintaColumnas()
    {
        grabar();
        QTableWidget t;
        llenar(t, 1, 32);
        t.setColumnHidden(5, true);
        t.setColumnHidden(20, true);
        KolvasterExcelGen g;
        QVERIFY(g.exportTable("Ancha", QString(), &t));
        QVERIFY(bitacora.llamadas.contains(
            "sheet Range( const QString&, const QString&) A1 AD2"));
        QVERIFY(guion.salidas.isEmpty());

        // The real workbook reaches column AD too.
        KolvasterExcelGen::setFabricaAutomatizacion(nullptr);
        QTemporaryDir dir;
        QVERIFY(g.exportTable("Ancha", dir.filePath("ancha.xlsx"), &t));
        const QJsonObject libro = leerLibro(dir.filePath("ancha.xlsx"));
        QCOMPARE(libro["dims"].toString(), QString("A1:AD2"));
        QCOMPARE(libro["rows"][1][29], QJsonValue(celda("f1c32")));
    }

    void masDeTreintaColumnas()
    {
        // A generator with the session's data reports the column limit with them.
        TestDb::limpiar();
        const qint64 uid = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        QSqlDatabase sesion = TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
        Notificador::reiniciar();
        grabar();
        QTemporaryDir dir;
        QTableWidget t;
        llenar(t, 1, 31);
        DriverModal driver;
        QString texto;
        driver.luego(DriverModal::cerrarError(&texto));
        {
            KolvasterExcelGen g(&sesion, uid, "Planillas", nullptr);
            QVERIFY(!g.exportTable("Hoja", dir.filePath("no.xlsx"), &t));
        }
        QCOMPARE(guion.salidas, QList<int>{0});
        QCOMPARE(driver.pendientes(), 0);
        QVERIFY(!bitacora.llamadas.join('\n').contains("Range("));
        QVERIFY(!QFile::exists(dir.filePath("no.xlsx")));
        QTRY_COMPARE(Notificador::pedidos().size(), 1);
        const QString error = "KolvasterExcelGen: cantidad de columnas demasiado extensa! "
                              "Programar mapeo para mas columnas!";
        QCOMPARE(Notificador::pedidos()[0]["query"].toObject()["mensaje"].toString(),
                 "Usuario: " + TestDb::cuenta("ana") + "\nPrograma: Planillas\nDetalle error: "
                     + error + "\nEstado error DB:\nEsquema: " + TestDb::base() + "\n");

        // The parent-only generator has no user and an empty database handle.
        guion.olvidar();
        Notificador::reiniciar();
        driver.luego(DriverModal::cerrarError(&texto));
        {
            KolvasterExcelGen g;
            QVERIFY(g.columnLetter(31).isEmpty());
        }
        QCOMPARE(guion.salidas, QList<int>{0});
        QTRY_COMPARE(Notificador::pedidos().size(), 1);
        // The empty handle's own last error ("Driver not loaded") and no schema.
        const QString mensaje =
            Notificador::pedidos()[0]["query"].toObject()["mensaje"].toString();
        QVERIFY2(mensaje.startsWith("Usuario: (USUARIO DESCONOCIDO)\nPrograma: "
                                    + QCoreApplication::applicationName() + "\nDetalle error: "
                                    + error + "\nEstado error DB:"),
                 qPrintable(mensaje));
        QVERIFY(mensaje.endsWith("\nEsquema: \n"));
        sesion = QSqlDatabase();
        TestDb::cerrarSesion();
    }

    void libroReal()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("informe.xlsx");
        QTableWidget t(5, 5);
        const QStringList encabezados{"Id", "Nombre", "Oculta", "Importe", ""};
        for (int c = 0; c < 4; ++c)
            t.setHorizontalHeaderItem(c, new QTableWidgetItem(encabezados.at(c)));
        const QList<QStringList> filas{
            {"1", QString::fromUtf8(" Ñandú <b>&</b> "), "x", " 12 ", "=1+1"},
            {"2", "oculta", "x", "99", "no"},
            {"3", "O'Hara \"Cia\"", "x", "1,5", "007"},
            {"4", "", "x", "1e3", "TRUE"},
            {"5", "ultima", "x", "-3.25", "2024-01-02"},
        };
        for (int f = 0; f < 5; ++f)
            for (int c = 0; c < 5; ++c)
                t.setItem(f, c, new QTableWidgetItem(filas.at(f).at(c)));
        delete t.takeItem(4, 4);
        t.setColumnHidden(0, true);
        t.setColumnHidden(2, true);
        t.setRowHidden(1, true);

        KolvasterExcelGen g;
        QVERIFY(g.exportTable(QString::fromUtf8("Año 2024"), ruta, &t));
        QVERIFY(Mensajes::mostrados().isEmpty());
        const QJsonObject libro = leerLibro(ruta);
        QCOMPARE(libro["sheets"].toArray(), QJsonArray{QString::fromUtf8("Año 2024")});
        QCOMPARE(libro["dims"].toString(), QString("A1:C5"));
        const QJsonArray vacia{QJsonValue(), "n"};
        QCOMPARE(libro["rows"].toArray(),
                 (QJsonArray{
                     QJsonArray{celda("Nombre"), celda("Importe"), vacia},
                     QJsonArray{celda(QString::fromUtf8(" Ñandú <b>&</b> ")), numero(12),
                                celda("=1+1")},
                     QJsonArray{celda("O'Hara \"Cia\""), celda("1,5"), celda("007")},
                     QJsonArray{vacia, celda("1e3"), celda("TRUE")},
                     QJsonArray{celda("ultima"), numero(-3.25), vacia},
                 }));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"informe.xlsx"});
    }

    void existenteCancelado()
    {
        grabar();
        QTemporaryDir dir;
        const QString ruta = dir.filePath("ya.xlsx");
        escribirArchivo(ruta, "contenido viejo");
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        Mensajes::responder(QString("Cancel"));
        QVERIFY(!g.exportTable("Hoja", ruta, &t));
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.at(0).tipo, Mensajes::Tipo::Pregunta);
        QCOMPARE(m.at(0).titulo, QString("Atencion"));
        QCOMPARE(m.at(0).texto, "El archivo\n" + ruta + "\nya existe. Desea sobreescribirlo?");
        QCOMPARE(leer(ruta), QByteArray("contenido viejo"));
        QVERIFY(bitacora.llamadas.isEmpty());
    }

    void existenteSobreescrito()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath("ya.xlsx");
        escribirArchivo(ruta, "contenido viejo");
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        Mensajes::responder(QString("Ok"));
        QVERIFY(g.exportTable("Nueva", ruta, &t));
        QCOMPARE(Mensajes::mostrados().size(), 1);
        QCOMPARE(leerLibro(ruta)["active"].toString(), QString("Nueva"));
    }

    void noSePuedeBorrar()
    {
        grabar();
        QTemporaryDir dir;
        // A directory of that name exists and cannot be removed as a file.
        const QString ruta = dir.filePath("carpeta.xlsx");
        QVERIFY(QDir().mkpath(ruta + "/dentro"));
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        Mensajes::responder(QString("Ok"));
        QVERIFY(!g.exportTable("Hoja", ruta, &t));
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 2);
        QCOMPARE(m.at(1).tipo, Mensajes::Tipo::Advertencia);
        QCOMPARE(m.at(1).titulo, QString("Atencion"));
        QCOMPARE(m.at(1).texto,
                 "No tiene permisos para escribir en archivo de destino. La operacion no puede "
                 "ejecutarse.\n\n" + ruta);
        QVERIFY(bitacora.llamadas.isEmpty());
    }

    void visibleAbreElArchivo()
    {
        Escritorio escritorio;
        QTemporaryDir trabajo;
        const QString dirAnterior = QDir::currentPath();
        QDir::setCurrent(trabajo.path());
        QTableWidget t;
        llenar(t, 3, 2);
        t.setRowHidden(1, true);
        KolvasterExcelGen g;
        const bool ok = g.exportTable("Vista", QString(), &t);
        QDir::setCurrent(dirAnterior);
        QVERIFY(ok);
        QVERIFY(Mensajes::mostrados().isEmpty()); // no existence question either
        QCOMPARE(escritorio.abiertas.size(), 1);
        const QString abierto = escritorio.abiertas.at(0).toLocalFile();
        QVERIFY(abierto.endsWith(".xlsx"));
        QVERIFY(abierto.startsWith(QDir::tempPath()));
        const QJsonObject libro = leerLibro(abierto);
        QFile::remove(abierto);
        QCOMPARE(libro["active"].toString(), QString("Vista"));
        QCOMPARE(libro["rows"].toArray(),
                 (QJsonArray{QJsonArray{celda("H1"), celda("H2")},
                             QJsonArray{celda("f1c1"), celda("f1c2")},
                             QJsonArray{celda("f3c1"), celda("f3c2")}}));
        // Nothing saved under a name.
        QVERIFY(QDir(trabajo.path()).isEmpty());
    }

    void sinColumnasVisibles()
    {
        grabar();
        QTemporaryDir dir;
        const QString ruta = dir.filePath("ya.xlsx");
        QFile f(ruta);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QTableWidget t;
        llenar(t, 2, 2);
        t.setColumnHidden(0, true);
        t.setColumnHidden(1, true);
        KolvasterExcelGen g;
        QVERIFY(!g.exportTable("Hoja", ruta, &t));
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 1);
        QCOMPARE(m.at(0).tipo, Mensajes::Tipo::Advertencia);
        QCOMPARE(m.at(0).titulo, QString("Atencion"));
        QVERIFY(QFile::exists(ruta));
        QVERIFY(bitacora.llamadas.isEmpty());
    }

    void sinPrograma()
    {
        KolvasterExcelGen::setFabricaAutomatizacion([](const QString &) { return nullptr; });
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        QVERIFY(!g.exportTable("Hoja", QString(), &t));
        QCOMPARE(advertencias().size(), 1);
        QVERIFY(advertencias().at(0).texto.contains("Excel.Application"));
    }

    void fallaUnaLlamada()
    {
        grabar();
        bitacora.fallarEn = "Worksheets";
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        QVERIFY(!g.exportTable("Hoja", QString(), &t));
        QCOMPARE(bitacora.llamadas.last(), QString("workbook Worksheets"));
        QCOMPARE(advertencias().size(), 1);
        QVERIFY(advertencias().at(0).texto.endsWith("sin Worksheets"));
    }

    void archivoQueNoSePuedeEscribir()
    {
        QTemporaryDir dir;
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        const QString ruta = dir.filePath("no/existe/x.xlsx");
        QVERIFY(!g.exportTable("Hoja", ruta, &t));
        QCOMPARE(advertencias().size(), 1);
        QCOMPARE(advertencias().at(0).titulo, QString("Atencion"));
        QVERIFY(advertencias().at(0).texto.contains(ruta));
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void nadaAMedioEscribir()
    {
        // A cell the workbook cannot hold (over 32767 characters) fails the save: the target
        // is not created, not even in part, and nothing is left beside it.
        QTemporaryDir dir;
        const QString ruta = dir.filePath("largo.xlsx");
        QTableWidget t;
        llenar(t, 2, 2);
        t.item(1, 1)->setText(QString(40000, 'x'));
        KolvasterExcelGen g;
        QVERIFY(!g.exportTable("Hoja", ruta, &t));
        QCOMPARE(advertencias().size(), 1);
        QVERIFY(QDir(dir.path()).isEmpty());

        // A sheet name the file format refuses no longer fails the export: it is mended.
        guion.olvidar();
        t.item(1, 1)->setText("x");
        QVERIFY(g.exportTable("a/b", ruta, &t));
        QVERIFY(advertencias().isEmpty());
        QCOMPARE(leerLibro(ruta)["active"].toString(), QString("a_b"));
    }

    void tiposDeCelda()
    {
        // What a spreadsheet program makes of a typed value: plain decimal numbers of up to 15
        // significant digits are numbers, everything else keeps its text; the header row is
        // text even when it looks like a number.
        const QStringList textos{
            "0",     " 42 ",  "-7",    "3.5",   "-0.25", "0.0001", "123456789012345",
            "0.000123456789012345", "-0",
            "00123", "1,5",   "+5",    "1e5",   "=SUM(A1:A3)", "12345678901234567890",
            "1234567890123456", "1.",  ".5",    "-",     "", "1 000", "0x1F", "- 3"};
        QTableWidget t(textos.size(), 1);
        t.setHorizontalHeaderItem(0, new QTableWidgetItem("2024"));
        for (int f = 0; f < textos.size(); ++f)
            t.setItem(f, 0, new QTableWidgetItem(textos.at(f)));
        QTemporaryDir dir;
        const QString ruta = dir.filePath("tipos.xlsx");
        KolvasterExcelGen g;
        QVERIFY(g.exportTable("Tipos", ruta, &t));
        const QJsonArray filas = leerLibro(ruta)["rows"].toArray();
        QCOMPARE(filas.size(), textos.size() + 1);
        QCOMPARE(filas[0][0], QJsonValue(celda("2024")));
        const QList<QJsonArray> esperado{
            numero(0), numero(42), numero(-7), numero(3.5), numero(-0.25), numero(0.0001),
            numero(123456789012345.0), numero(0.000123456789012345), numero(0),
            celda("00123"), celda("1,5"), celda("+5"), celda("1e5"), celda("=SUM(A1:A3)"),
            celda("12345678901234567890"), celda("1234567890123456"), celda("1."), celda(".5"),
            celda("-"), QJsonArray{QJsonValue(), "n"}, celda("1 000"), celda("0x1F"),
            celda("- 3")};
        for (int f = 0; f < textos.size(); ++f)
            QVERIFY2(filas[f + 1][0] == QJsonValue(esperado.at(f)),
                     qPrintable(textos.at(f) + " -> "
                                + QJsonDocument(filas[f + 1].toArray()).toJson(
                                    QJsonDocument::Compact)));
    }

    void nombresDeHoja()
    {
        grabar();
        QTableWidget t;
        llenar(t, 1, 1);
        KolvasterExcelGen g;
        const QList<QPair<QString, QString>> casos{
            {"Ventas 11/2012", "Ventas 11_2012"},
            {"a[b]c:d*e?f/g\\h", "a_b_c_d_e_f_g_h"},
            {"Un nombre de hoja de mas de treinta y un caracteres", "Un nombre de hoja de mas de tre"},
            {"", "Hoja1"},
            {"'Citado'", "_Citado_"},
        };
        for (const auto &caso : casos)
            QVERIFY(g.exportTable(caso.first, QString(), &t));
        QStringList nombres;
        for (const QString &l : bitacora.llamadas)
            if (l.startsWith("sheet SetName(const QString&)"))
                nombres << l.mid(QString("sheet SetName(const QString&) ").size());
        QStringList esperados;
        for (const auto &caso : casos)
            esperados << caso.second;
        QCOMPARE(nombres, esperados);
        QVERIFY(advertencias().isEmpty());

        // The real workbook takes them.
        KolvasterExcelGen::setFabricaAutomatizacion(nullptr);
        QTemporaryDir dir;
        QVERIFY(g.exportTable("Ventas 11/2012", dir.filePath("v.xlsx"), &t));
        QCOMPARE(leerLibro(dir.filePath("v.xlsx"))["active"].toString(),
                 QString("Ventas 11_2012"));
    }

    void discoLlenoConservaElAnterior()
    {
        // The old file is replaced only by a complete new workbook: with no room for it, the
        // old bytes stay.
        DiscoLleno disco;
        if (!disco.montado)
            QSKIP("mounting a small file system needs root");
        const QString ruta = disco.dir + "/informe.xlsx";
        const QByteArray viejo = "el libro de ayer";
        escribirArchivo(ruta, viejo);
        disco.llenar();
        QTableWidget t;
        llenar(t, 2000, 10);
        KolvasterExcelGen g;
        Mensajes::responder(QString("Ok"));
        QVERIFY(!g.exportTable("Hoja", ruta, &t));
        QCOMPARE(leer(ruta), viejo);
        QCOMPARE(advertencias().size(), 1);
        QVERIFY(advertencias().at(0).texto.contains(ruta));
        // Nothing half-written left beside it.
        QCOMPARE(QDir(disco.dir).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"informe.xlsx", "relleno"}));
    }

    void sinProgramaDePlanillas()
    {
        // "Abrir en planilla" on a machine without any program to open the workbook: it is
        // written all the same, and the user is told so and where it is.
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir vacio;
        qputenv("PATH", vacio.path().toLocal8Bit());
        QTableWidget t;
        llenar(t, 2, 2);
        KolvasterExcelGen g;
        const bool ok = g.exportTable("Hoja", QString(), &t);
        qputenv("PATH", path);
        QVERIFY(ok);
        QCOMPARE(advertencias().size(), 1);
        const QString texto = advertencias().at(0).texto;
        QVERIFY2(texto.startsWith("No hay un programa de planillas para abrir el libro.\n\n"
                                  "El libro quedo en\n"),
                 qPrintable(texto));
        const QString dejado = texto.section('\n', -1);
        QCOMPARE(leerLibro(dejado)["rows"].toArray().size(), 3);
        QFile::remove(dejado);
    }
};

QTEST_MAIN(TstExcelGen)
#include "tst_excelgen.moc"
