// The record of administrative steps as the tool writes and reads it: each step of a release
// once, in order, with the account and the address the server saw; none for a refused step;
// historial's filters; rows the suite's accounts can add but never change or remove; a database
// not upgraded named as such; and every line of the tool in Spanish.

#include "testdb.h"

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Corrida {
    int estado = -1;
    QString salida, error;
    QStringList lineas() const { return salida.split('\n', Qt::SkipEmptyParts); }
};

} // namespace

class TstHistorial : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString opciones, clave;
    QStringList todo; // every line the tool printed in this test, for the language's check

    Corrida correr(QStringList args, bool conexion = true)
    {
        if (conexion) {
            const QString orden = args.takeFirst();
            args.prepend("--defaults-file=" + opciones);
            args.prepend(orden);
            args << "--sistema" << TestDb::base();
        }
        QProcess p;
        p.start(KOLVASTER_PUBLICAR, args);
        p.waitForFinished(120000);
        Corrida r;
        r.estado = p.exitCode();
        r.salida = QString::fromUtf8(p.readAllStandardOutput());
        r.error = QString::fromUtf8(p.readAllStandardError());
        todo << r.salida.split('\n') << r.error.split('\n');
        return r;
    }

    void subir(const QByteArray &bytes, bool piloto = false)
    {
        const QString archivo = dir.filePath("calc.bin");
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        QStringList args{"subir", "--clave", clave};
        if (piloto)
            args << "--piloto";
        const Corrida r = correr(args << "calc" << archivo);
        QVERIFY2(r.estado == 0, qPrintable(r.error));
    }

    void bien(const QStringList &args)
    {
        const Corrida r = correr(args);
        QVERIFY2(r.estado == 0, qPrintable(r.error));
    }

    // Each line of historial without its time: "cuenta desde direccion: paso objeto (resultado)".
    QStringList historial(const QStringList &filtro = {})
    {
        const Corrida r = correr(QStringList{"historial"} + filtro);
        if (r.estado != 0)
            return {"<fallo> " + r.error};
        QStringList s;
        static const QRegularExpression hora("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d ");
        for (const QString &l : r.lineas())
            s << (hora.match(l).hasMatch() ? l.mid(20) : "<sin hora> " + l);
        return s;
    }

private slots:
    void initTestCase()
    {
        opciones = TestDb::opcionesAdmin(dir.filePath("cliente.cnf"));
        clave = dir.filePath("editor.clave");
        QCOMPARE(correr({"clave", clave}, false).estado, 0);
    }

    void init()
    {
        TestDb::limpiar();
        TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
    }

    // A release: each step once, newest first, naming the account; a refused step adds nothing.
    void cicloDeUnaVersion()
    {
        const QStringList norte{"sede", "--agregar", "norte", "--red", "127.0.0.0/8", "--servidor",
                                "127.0.0.1:23316"};
        bien(norte);
        QCOMPARE(correr(norte).estado, 2); // a duplicate
        bien({"sede", "--quitar", "norte"});
        subir("v1");
        bien({"piloto", "--agregar", "ana"});
        bien({"piloto"}); // only shows the group
        subir("v2", true);
        bien({"promover", "--clave", clave, "calc"});
        const Corrida rechazado = correr({"promover", "--clave", clave, "calc"});
        QCOMPARE(rechazado.estado, 2);
        QCOMPARE(correr({"retirar", "--clave", clave, "calc"}).estado, 2);
        subir("v3", true);
        bien({"retirar", "--clave", clave, "calc"});
        bien({"volver", "--clave", clave, "calc"});
        bien({"piloto", "--quitar", "ana", "--agregar", "beto"});
        bien({"esquema", "--aplicar"});

        const QString quien = "dbadmin desde 127.0.0.1: ";
        const QString ana = TestDb::cuenta("ana"), beto = TestDb::cuenta("beto"), base = TestDb::base();
        const QStringList todos{
            quien + "esquema --aplicar " + base + " (sin cambios)",
            quien + "piloto --quitar " + ana + " (fuera del grupo piloto)",
            quien + "piloto --agregar " + beto + " (en el grupo piloto)",
            quien + "volver calc (version 1 como version general 6)",
            quien + "retirar calc (version piloto 4 retirada; version general 5)",
            quien + "subir --piloto calc (version piloto 4)",
            quien + "promover calc (version piloto 2 como version general 3)",
            quien + "subir --piloto calc (version piloto 2)",
            quien + "piloto --agregar " + ana + " (en el grupo piloto)",
            quien + "subir calc (version general 1)",
            quien + "sede --quitar norte (quitada)",
            quien + "sede --agregar norte (redes 127.0.0.0/8, servidor 127.0.0.1:23316)",
        };
        QCOMPARE(historial(), todos);

        // The filters.
        QStringList deCalc;
        for (const QString &l : todos)
            if (l.contains(" calc "))
                deCalc << l;
        QCOMPARE(historial({"calc"}), deCalc);
        QCOMPARE(historial({"--usuario", "ana"}), QStringList({todos.at(1), todos.at(8)}));
        QCOMPARE(historial({"--usuario", "beto"}), QStringList{todos.at(2)});
        QCOMPARE(historial({"--desde", QDate::currentDate().toString(Qt::ISODate)}), todos);
        QCOMPARE(historial({"--desde", QDate::currentDate().addDays(1).toString(Qt::ISODate)}),
                 QStringList{"<sin hora> no hay pasos registrados"});
        QCOMPARE(historial({"--desde", "2026-02-30"}),
                 QStringList{"<fallo> kolvaster-publicar: fecha no valida: 2026-02-30 (se espera "
                             "AAAA-MM-DD)\n"});
        QCOMPARE(historial({"calc", "--usuario", "ana"}),
                 QStringList{"<fallo> kolvaster-publicar: historial toma un PROGRAMA o --usuario "
                             "NOMBRE, no ambos\n"});
        // The account's own steps are found by --usuario too.
        TestDb::ejecutar("INSERT INTO registro (cuando, paso, objeto, resultado) VALUES "
                         "(NOW(), 'Adm Accesos: administrador', ?, 'si')", {beto});
        QCOMPARE(historial({"--usuario", "beto"}).size(), 2);
    }

    // The suite's accounts hold every right on the database (their provisioning): the rows
    // they add say who, when and from where as the server saw it, and no account changes or
    // removes one.
    void soloSeAgreganFilas()
    {
        subir("v1");
        QSqlDatabase ana = QSqlDatabase::addDatabase("QMYSQL", "ana");
        ana.setHostName("127.0.0.1");
        ana.setPort(qEnvironmentVariableIntValue("MYSQL_TCP_PORT"));
        ana.setDatabaseName(TestDb::base());
        ana.setUserName(TestDb::cuenta("ana"));
        ana.setPassword(TestDb::clave("ana"));
        QVERIFY(ana.open());
        {
            QSqlQuery q(ana);
            QVERIFY(q.exec("INSERT INTO registro (cuando, cuenta, direccion, paso, objeto, "
                           "resultado) VALUES ('2000-01-01', 'dbadmin', '10.9.9.9', 'subir', "
                           "'calc', 'version general 99')"));
            for (const char *sql : {"UPDATE registro SET resultado='nada'",
                                    "UPDATE registro SET cuenta='dbadmin' WHERE cuenta!='dbadmin'",
                                    "DELETE FROM registro", "DELETE FROM registro WHERE paso='subir'"}) {
                QVERIFY2(!q.exec(sql), sql);
                QVERIFY2(q.lastError().databaseText().contains("solo admite filas nuevas"),
                         qPrintable(q.lastError().text()));
            }
        }
        ana.close();
        QCOMPARE(historial({"calc"}),
                 QStringList({TestDb::cuenta("ana") + " desde 127.0.0.1: subir calc (version general 99)",
                              "dbadmin desde 127.0.0.1: subir calc (version general 1)"}));
        QCOMPARE(TestDb::contar("SELECT 1 FROM registro WHERE cuando > NOW() - INTERVAL 1 HOUR"), 2);
    }

    // A database without the new tables: the tool says it is not upgraded and how to upgrade
    // it, and the step that could not be recorded did not happen.
    void baseSinActualizar()
    {
        subir("v1");
        TestDb::ejecutar("RENAME TABLE appfallo TO appfallo_guardada");
        Corrida r = correr({"estado"});
        TestDb::ejecutar("RENAME TABLE appfallo_guardada TO appfallo");
        QCOMPARE(r.estado, 2);
        const QString aviso = "kolvaster-publicar: la base del sistema no esta actualizada (le falta "
                              "la tabla %1): actualicela con kolvaster-publicar esquema --sistema "
                              "BASE --aplicar\n";
        QCOMPARE(r.error, aviso.arg("appfallo"));

        const QString antes = TestDb::valor("SELECT MD5(windowsbinary) FROM app").toString();
        TestDb::ejecutar("RENAME TABLE registro TO registro_guardado");
        const QString archivo = dir.filePath("v2.bin");
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("v2");
        f.close();
        r = correr({"subir", "--clave", clave, "calc", archivo});
        const Corrida p = correr({"piloto", "--agregar", "ana"});
        TestDb::ejecutar("RENAME TABLE registro_guardado TO registro");
        QCOMPARE(r.estado, 2);
        QCOMPARE(r.error, aviso.arg("registro"));
        QCOMPARE(p.error, aviso.arg("registro"));
        QCOMPARE(TestDb::valor("SELECT MD5(windowsbinary) FROM app").toString(), antes);
        QCOMPARE(TestDb::contar("SELECT 1 FROM sysuser WHERE piloto"), 0);
        QCOMPARE(TestDb::contar("SELECT 1 FROM registro"), 1);
    }

    // Everything a person reads from the tool: the help of each subcommand, results and
    // failures, and the tool's own message texts in its sources.
    void unSoloIdioma()
    {
        subir("v1");
        correr({"--help"}, false);
        correr({}, false);
        for (const char *o : {"clave", "subir", "piloto", "promover", "retirar", "volver", "estado",
                              "historial", "verificar", "esquema", "sede"})
            QCOMPARE(correr({o, "--help"}, false).estado, 0);
        correr({"estado"});
        correr({"estado", "noexiste"});
        correr({"historial"});
        correr({"historial", "--usuario", "Ana"});
        correr({"piloto", "--agregar", "zoe"});
        correr({"promover", "--clave", clave, "calc"});
        correr({"promover", "calc"});
        correr({"volver", "--clave", clave, "calc"});
        correr({"orden-rara"}, false);
        correr({"estado", "--opcion-rara"});
        correr({"estado", "--password=otra"});
        correr({"estado", "--port=1"});
        correr({"verificar"});
        correr({"esquema"});

        // The messages in the sources: every literal given to a failure, a result or an error.
        const QString fuentes = KOLVASTER_FUENTES_PUBLICAR;
        static const QRegularExpression mensaje(
            "(?:fallar|decir|\\*error =|sinNada|ayuda)\\s*\\(?\\s*(?:QStringLiteral\\()?\"([^\"]*)\"");
        int leidos = 0;
        for (QDirIterator it(fuentes, {"*.cpp"}); it.hasNext();) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString texto = QString::fromUtf8(f.readAll());
            for (auto m = mensaje.globalMatch(texto); m.hasNext(); ++leidos)
                todo << m.next().captured(1);
        }
        QVERIFY2(leidos > 60, qPrintable(QString::number(leidos)));

        static const QRegularExpression ingles(
            "\\b(the|and|with|without|for|from|of|to|is|are|not|cannot|can't|could|failed|"
            "unknown|column|table|missing|pilot|user|users|file|key|signature|program|nothing|"
            "never|started|summary|update|denied|access|server|connect|usage|options?|general "
            "version|doesn't|exist)\\b",
            QRegularExpression::CaseInsensitiveOption);
        // Keys and digests are not words, nor the options' names (the stock client's).
        static const QRegularExpression datos("[A-Za-z0-9+/=]{32,}|--?[A-Za-z][A-Za-z-]*");
        for (QString l : std::as_const(todo)) {
            l.remove(datos);
            const QRegularExpressionMatch m = ingles.match(l);
            QVERIFY2(!m.hasMatch(), qPrintable(m.captured(0) + " en: " + l));
        }
    }
};

QTEST_MAIN(TstHistorial)
#include "tst_historial.moc"
