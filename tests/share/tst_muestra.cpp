// What the sample program reads, on a real server as each user: a user's own program starts
// of the last month, everyone's for an administrator and for dbadmin; and the export's name.
#include "share/muestra/inicios.h"
#include "testdb.h"

#include <QTest>

namespace {
// "name count" per row, as the sample's table shows them.
QStringList filas(qint64 uid, bool todos)
{
    QSqlQuery q;
    if (!Inicios::leer(q, uid, todos))
        return {QStringLiteral("error")};
    QStringList r;
    while (q.next())
        r << q.value(1).toString() + QLatin1Char(' ') + q.value(3).toString();
    return r;
}
} // namespace

class TstMuestra : public QObject
{
    Q_OBJECT

    qint64 ana = 0, beto = 0;

private slots:
    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana", true);
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        const qint64 agenda = TestDb::crearApp("agenda", "Agenda", QByteArray("x"));
        const qint64 stock = TestDb::crearApp("stock", "Stock", QByteArray("x"));
        auto uso = [](qint64 u, qint64 a, int dias) {
            TestDb::ejecutar("INSERT INTO appuse (sysuser_id, app_id, cuando) "
                             "VALUES (?, ?, NOW() - INTERVAL ? DAY)", {u, a, dias});
        };
        uso(ana, agenda, 1);
        uso(ana, agenda, 2);
        uso(ana, stock, 3);
        uso(beto, agenda, 1);
        uso(beto, stock, 40); // older than a month
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void cadaUnoLosSuyos()
    {
        TestDb::abrirSesion(TestDb::cuenta("beto"), TestDb::clave("beto"));
        QVERIFY(!Inicios::todosLosUsuarios(beto, TestDb::cuenta("beto")));
        QCOMPARE(filas(beto, false), QStringList({"agenda 1"}));
    }

    void elAdministradorLosDeTodos()
    {
        TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
        QVERIFY(Inicios::todosLosUsuarios(ana, TestDb::cuenta("ana")));
        QCOMPARE(filas(ana, true), QStringList({"agenda 3", "stock 1"}));
        QCOMPARE(filas(ana, false), QStringList({"agenda 2", "stock 1"}));
        // dbadmin has no administrator mark of its own to read.
        QVERIFY(Inicios::todosLosUsuarios(0, "dbadmin"));
    }

    void nombreDeLaPlanilla()
    {
        QCOMPARE(Inicios::conExtension("/tmp/inicios", "xlsx"), QString("/tmp/inicios.xlsx"));
        QCOMPARE(Inicios::conExtension("/tmp/inicios.xlsx", "xlsx"), QString("/tmp/inicios.xlsx"));
        QCOMPARE(Inicios::conExtension("/tmp/datos.v2/inicios", "xlsx"),
                 QString("/tmp/datos.v2/inicios.xlsx"));
        QCOMPARE(Inicios::conExtension("/tmp/inicios.csv", "xlsx"), QString("/tmp/inicios.csv"));
        QCOMPARE(Inicios::conExtension("", "xlsx"), QString());
    }
};

QTEST_MAIN(TstMuestra)
#include "tst_muestra.moc"
