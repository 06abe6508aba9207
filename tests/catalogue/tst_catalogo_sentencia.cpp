// The catalogue statement in every form the launcher may send, run on the real server for each
// kind of account: who gets which version's digest, which programs are left out, and the
// columns the synchronisation reads.

#include "catalogue/catalogo.h"
#include "catalogue/programas.h"
#include "testdb.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

class TstCatalogoSentencia : public QObject
{
    Q_OBJECT

    qint64 ana = 0, beto = 0, admin = 0;

    // A program with its general bytes (none: only a pilot version) at `version`, and a pilot
    // version when `piloto` is given.
    static void programa(const QString &nombre, const std::optional<QByteArray> &general,
                         qint64 version, const std::optional<QByteArray> &piloto = {})
    {
        const qint64 id = TestDb::crearApp(nombre, nombre.toUpper(), general);
        if (general)
            TestDb::ejecutar("INSERT INTO appfirma VALUES (?, ?, REPEAT('0', 64), ?, 'k', "
                             "REPEAT('x', 64), NOW())",
                             {id, version, general->size()});
        if (piloto)
            TestDb::ejecutar("INSERT INTO appversion VALUES (?, 'piloto', ?, ?, ?, ?, "
                             "REPEAT('0', 64), 'k', REPEAT('x', 64), NOW())",
                             {id, Programas::md5(*piloto), piloto->size(), *piloto, version + 1});
    }

    // One row as "nombre digest version oculto piloto", digests named by their bytes.
    static QString fila(const QSqlQuery &q)
    {
        static const QHash<QString, QString> nombres{
            {Programas::md5("g"), "g"}, {Programas::md5("d1"), "d1"},
            {Programas::md5("d2"), "d2"}, {Programas::md5("s"), "s"}, {Programas::md5("x"), "x"}};
        const QString digest = q.value(2).toString();
        return QStringList{q.value(1).toString(),
                           q.isNull(2) ? "-" : nombres.value(digest, digest),
                           q.isNull(5) ? "-" : q.value(5).toString(), q.value(6).toString(),
                           q.value(7).toString()}
            .join(' ');
    }

private slots:
    void initTestCase()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        admin = TestDb::crearUsuario("dbadmin", "Administrador");
        TestDb::ejecutar("UPDATE sysuser SET piloto=TRUE WHERE sysuser_id=?", {ana});
        programa("gen", QByteArray("g"), 1);
        programa("dos", QByteArray("d1"), 4, QByteArray("d2"));
        programa("solo", std::nullopt, 7, QByteArray("s"));
        programa("ajena", QByteArray("x"), 2);
        for (qint64 u : {ana, beto})
            for (const char *p : {"gen", "dos", "solo"})
                TestDb::otorgar(u, TestDb::valor("SELECT app_id FROM app WHERE nombre=?", {p})
                                       .toLongLong());
    }

    void sentencia_data()
    {
        QTest::addColumn<QString>("cuenta");
        QTest::addColumn<bool>("piloto");
        QTest::addColumn<bool>("versiones");
        QTest::addColumn<QStringList>("filas");
        const QStringList pilotoUsuario{"dos d2 5 0 1", "gen g 1 0 0", "solo s 8 0 1"};
        const QStringList resto{"dos d1 4 0 0", "gen g 1 0 0", "solo - - 1 0"};
        const QStringList sinVersiones{"dos d1 - 0 0", "gen g - 0 0", "solo - - 0 0"};
        QTest::newRow("piloto") << "ana" << true << true << pilotoUsuario;
        QTest::newRow("fuera del grupo") << "beto" << false << true << resto;
        // Every program, rights or not, and the pilot versions when of the group.
        QTest::newRow("todos, piloto") << "dbadmin" << true << true
                                       << (QStringList{"ajena x 2 0 0"} + pilotoUsuario);
        QTest::newRow("todos, fuera del grupo") << "dbadmin" << false << true
                                                << (QStringList{"ajena x 2 0 0"} + resto);
        // A database without the versions' tables: the general bytes, no version known.
        QTest::newRow("sin versiones") << "ana" << true << false << sinVersiones;
        QTest::newRow("todos, sin versiones") << "dbadmin" << true << false
                                              << (QStringList{"ajena x - 0 0"} + sinVersiones);
    }

    // The same rows whether the digest is the stored one or computed by the server.
    void sentencia()
    {
        QFETCH(QString, cuenta);
        QFETCH(bool, piloto);
        QFETCH(bool, versiones);
        QFETCH(QStringList, filas);
        const qint64 uid = cuenta == "ana" ? ana : cuenta == "beto" ? beto : admin;
        TestDb::ejecutar("UPDATE sysuser SET piloto=? WHERE sysuser_id=?", {piloto, uid});
        for (bool almacenado : {true, false}) {
            const QString sql = Catalogo::sentencia({cuenta == "dbadmin", versiones, almacenado});
            QSqlQuery q(TestDb::admin());
            QVERIFY(q.prepare(sql));
            q.bindValue(":uid", uid);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
            QStringList r;
            while (q.next()) {
                // Both triggers that keep the stored digest are there (2 when computed).
                QCOMPARE(q.value(4).toInt(), 2);
                QCOMPARE(q.value(3).toString(), q.value(1).toString().toUpper());
                r << fila(q);
            }
            r.sort();
            QCOMPARE(r, filas);
        }
    }

    // The stored form reads the column and counts its triggers; the computed form reads the
    // bytes: a column left wrong with a trigger gone (a restore by hand) is seen by both.
    void digestDeLaColumna()
    {
        TestDb::ejecutar("DROP TRIGGER app_md5_cambio");
        TestDb::ejecutar("UPDATE app SET windowsbinary_md5=REPEAT('f', 32) WHERE nombre='gen'");
        auto digest = [&](bool almacenado) {
            QSqlQuery c(TestDb::admin());
            c.prepare(Catalogo::sentencia({true, true, almacenado}));
            c.bindValue(":uid", admin);
            c.exec();
            while (c.next())
                if (c.value(1).toString() == "gen")
                    return std::pair{c.value(2).toString(), c.value(4).toInt()};
            return std::pair{QString(), -1};
        };
        const auto almacenado = digest(true), calculado = digest(false);
        cleanupTestCase();
        QCOMPARE(almacenado, std::pair(QString(32, 'f'), 1));
        QCOMPARE(calculado, std::pair(Programas::md5("g"), 2));
    }

    // The trigger back, and the column it keeps right again, for the tests that follow.
    void cleanupTestCase()
    {
        if (TestDb::contar("SELECT 1 FROM information_schema.TRIGGERS WHERE "
                           "EVENT_OBJECT_SCHEMA=DATABASE() AND TRIGGER_NAME='app_md5_cambio'")
            == 0)
            TestDb::ejecutar("CREATE TRIGGER app_md5_cambio BEFORE UPDATE ON app FOR EACH ROW "
                             "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)");
        TestDb::ejecutar("UPDATE app SET windowsbinary=windowsbinary");
    }
};

QTEST_GUILESS_MAIN(TstCatalogoSentencia)
#include "tst_catalogo_sentencia.moc"
