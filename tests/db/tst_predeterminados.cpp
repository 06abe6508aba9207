// Account names and the defaults file kept between starts.
#include "db/predeterminados.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TstPredeterminados : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString ruta() const { return dir.filePath(QStringLiteral("defaults")); }

    void escribir(const QByteArray &contenido)
    {
        QFile f(ruta());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contenido);
    }

private slots:
    void nombreCuenta()
    {
        QCOMPARE(Predeterminados::nombreCuenta("ventas", "ana"), QString("ventas_ana"));
        QCOMPARE(Predeterminados::nombreCuenta("ventas", "dbadmin"), QString("dbadmin"));
        QCOMPARE(Predeterminados::nombreCuenta("", "dbadmin"), QString("dbadmin"));
        // Only the exact reserved name is spared the prefix.
        QCOMPARE(Predeterminados::nombreCuenta("ventas", "DBADMIN"), QString("ventas_DBADMIN"));
    }

    void leerTresLineasRecortadas()
    {
        escribir("  10.0.0.5 \r\n\tventas\n ana  \n");
        QString h = "x", s = "y", u = "z";
        Predeterminados::leer(ruta(), &h, &s, &u);
        QCOMPARE(h, QString("10.0.0.5"));
        QCOMPARE(s, QString("ventas"));
        QCOMPARE(u, QString("ana"));
    }

    void unaLineaSoloServidor()
    {
        escribir("servidor\n");
        QString h, s = "y", u = "z";
        Predeterminados::leer(ruta(), &h, &s, &u);
        QCOMPARE(h, QString("servidor"));
        QVERIFY(s.isEmpty());
        QVERIFY(u.isEmpty());
    }

    void archivoAusenteNoTocaNada()
    {
        QString h = "h", s = "s", u = "u";
        Predeterminados::leer(dir.filePath("no-existe"), &h, &s, &u);
        QCOMPARE(h + s + u, QString("hsu"));
    }

    void guardarTresLineasSinClave()
    {
        QVERIFY(Predeterminados::guardar(ruta(), " host ", "ventas ", " ana"));
        QFile f(ruta());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("host\nventas\nana\n"));
    }

    void guardarEnDirectorioInexistenteFalla()
    {
        QVERIFY(!Predeterminados::guardar(dir.filePath("falta/defaults"), "h", "s", "u"));
    }
};

QTEST_GUILESS_MAIN(TstPredeterminados)
#include "tst_predeterminados.moc"
