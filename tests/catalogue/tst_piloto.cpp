// A pilot group, pilot publications, promotion, withdrawal and one step back, run with the
// publishing tool against the real launcher: after each step each kind of user installs
// exactly the version expected. Built twice: without publisher keys, and (tst_piloto_firmado)
// with the key the tool signs with, where a replayed older publication must also be refused.

#include "catalogue/firma.h"
#include "catalogue/programas.h"
#include "catalogue/versiones.h"
#include "lanzador.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>

#include <sodium.h>

namespace {

QByteArray programa(const char *marca)
{
    return QByteArray("#!/bin/sh\n# ") + marca + "\nexit 0\n";
}

struct Salida {
    int codigo = -1;
    QStringList lineas; // standard output
    QString error;      // standard error
};

#ifdef KOLVASTER_PILOTO_FIRMADO
constexpr bool firmado = true;
#else
constexpr bool firmado = false;
#endif

} // namespace

class TstPiloto : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString opciones, clave, claveAjena;
    qint64 ana = 0, beto = 0, carla = 0, calc = 0;
    const QByteArray v1 = programa("v1"), v2 = programa("v2"), v3 = programa("v3"),
                     v4 = programa("v4");

    Salida tool(QStringList args)
    {
        const QString orden = args.takeFirst();
        args.prepend(QStringLiteral("--defaults-file=") + opciones);
        args.prepend(orden);
        if (orden != QLatin1String("piloto") && orden != QLatin1String("estado")
            && !args.contains(QStringLiteral("--sin-clave")) && !args.contains(QStringLiteral("--clave")))
            args << QStringLiteral("--clave") << clave;
        args.removeAll(QStringLiteral("--sin-clave"));
        args << QStringLiteral("--sistema") << TestDb::base();
        QProcess p;
        p.start(qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/kolvaster-publicar", args);
        Salida s;
        if (!p.waitForFinished(120000))
            return s;
        s.codigo = p.exitCode();
        s.lineas = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        s.error = QString::fromUtf8(p.readAllStandardError());
        return s;
    }

    // Publishes `bytes` as calc (for everyone, or for the pilot group), signed with the tests'
    // key or with the one nobody trusts.
    void subir(const QByteArray &bytes, bool piloto = false, bool ajena = false)
    {
        const QString archivo = dir.filePath("calc.bin");
        Lanzador::escribir(archivo, bytes);
        QStringList args{"subir", "--titulo", "Calculadora"};
        if (piloto)
            args << "--piloto";
        if (ajena)
            args << "--clave" << claveAjena;
        const Salida s = tool(args << "calc" << archivo);
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
    }

    void paso(const QString &orden)
    {
        const Salida s = tool({orden, "calc"});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
    }

    // A start of the launcher as `usuario`: the program it leaves in the profile.
    QByteArray instalado(Lanzador &l, const char *usuario)
    {
        Mensajes::olvidar();
        Kolvaster *k = l.abrir(usuario, TestDb::clave(usuario));
        if (!k || k->terminado())
            return "<no abrio>";
        return Lanzador::leer(l.perfil(usuario) + "/calc.exe");
    }

    // Both kinds of user start, and each gets exactly its version; the general version is the
    // one the old statement (and a launcher of an earlier release) sees.
    void esperar(Lanzador &l, const QByteArray &piloto, const QByteArray &resto,
                 const QByteArray &general)
    {
        QCOMPARE(instalado(l, "ana"), piloto);
        QCOMPARE(instalado(l, "beto"), resto);
        QCOMPARE(TestDb::valor("SELECT MD5(windowsbinary) FROM app WHERE nombre='calc'").toString(),
                 Programas::md5(general));
        QCOMPARE(Lanzador::textos("Atencion!"), QStringList());
    }

    // Every row a bad command could touch.
    static QString huella()
    {
        QString r;
        QSqlQuery q(TestDb::admin());
        q.exec("CHECKSUM TABLE app, appfirma, appversion, sysuser, appcomprimido, appparche");
        while (q.next())
            r += q.value(1).toString() + ";";
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        opciones = TestDb::opcionesAdmin(dir.filePath("cliente.cnf"));
        clave = TestDb::claveDeSemilla(dir.filePath("editor.clave"), 'A');
        claveAjena = TestDb::claveDeSemilla(dir.filePath("ajena.clave"), 'B');
    }

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        carla = TestDb::crearUsuario(TestDb::cuenta("carla"), "Carla");
        TestDb::crearUsuario("otro_dora", "Dora de otro sistema");
        subir(v1);
        calc = TestDb::valor("SELECT app_id FROM app WHERE nombre='calc'").toLongLong();
        for (qint64 u : {ana, beto, carla})
            TestDb::otorgar(u, calc, true);
        const Salida s = tool({"piloto", "--agregar", "ana"});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
        QCOMPARE(s.lineas, QStringList{"grupo piloto de " + TestDb::base() + ": ana"});
    }

    // pilot, promote, a new version for everyone, one step back, a withdrawn pilot.
    void ciclo()
    {
        Lanzador l;
        esperar(l, v1, v1, v1);

        subir(v2, true);
        // Stored as any version: its compressed copy, and the patch from the general version.
        QCOMPARE(TestDb::contar("SELECT 1 FROM appcopia WHERE md5=?", {Programas::md5(v2)}), 1);
        QCOMPARE(TestDb::contar("SELECT 1 FROM appdelta WHERE desde_md5=? AND hasta_md5=?",
                                {Programas::md5(v1), Programas::md5(v2)}),
                 1);
        const QString beto = l.perfil("beto") + "/calc.exe";
        QCOMPARE(instalado(l, "beto"), v1);
        const QDateTime antes = QFileInfo(beto).lastModified();
        esperar(l, v2, v1, v1);
        // Everyone else downloads nothing new.
        QCOMPARE(QFileInfo(beto).lastModified(), antes);

        paso("promover");
        esperar(l, v2, v2, v2);

        subir(v3);
        esperar(l, v3, v3, v3);

        paso("volver");
        esperar(l, v2, v2, v2);

        subir(v4, true);
        esperar(l, v4, v2, v2);
        paso("retirar");
        // Back to the general version, though the pilot installed a higher number.
        esperar(l, v2, v2, v2);
        if (firmado)
            QCOMPARE(Lanzador::leer(l.perfil("ana") + "/calc.exe.version"),
                     TestDb::valor("SELECT version FROM appfirma WHERE app_id=?", {calc})
                         .toByteArray());
    }

    // A first publication with --piloto: the pilot group has it; for the others, who may
    // already have been granted it, it is not there yet (not listed, no box, nothing in the
    // profile) until it is promoted.
    void primeraPublicacionPiloto()
    {
        const QString archivo = dir.filePath("nota.bin");
        Lanzador::escribir(archivo, v2);
        Salida s = tool({"subir", "--piloto", "nota", archivo});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
        const qint64 nota = TestDb::valor("SELECT app_id FROM app WHERE nombre='nota'").toLongLong();
        TestDb::otorgar(ana, nota, true);
        TestDb::otorgar(beto, nota, true);
        Lanzador l;
        instalado(l, "ana");
        QCOMPARE(Lanzador::leer(l.perfil("ana") + "/nota.exe"), v2);
        instalado(l, "beto");
        QVERIFY(!QFile::exists(l.perfil("beto") + "/nota.exe"));
        QCOMPARE(l.lista()->count(), 1);
        QCOMPARE(Mensajes::mostrados().size(), 0);
        s = tool({"promover", "nota"});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
        instalado(l, "beto");
        QCOMPARE(Lanzador::leer(l.perfil("beto") + "/nota.exe"), v2);
    }

    // The account that sees every program is given what its pilot flag says, as any user: the
    // pilot version while it is of the group, the general one otherwise, and a program only out
    // to the pilots is not there for it (no list item, no box) until it joins the group.
    void administradorDelGrupo()
    {
        const qint64 admin = TestDb::crearUsuario("dbadmin", "Administrador");
        subir(v2, true);
        const QString archivo = dir.filePath("nota.bin");
        Lanzador::escribir(archivo, v3);
        const Salida s = tool({"subir", "--piloto", "nota", archivo});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
        Lanzador l;
        auto inicio = [&] {
            Mensajes::olvidar();
            Kolvaster *k = l.abrir("dbadmin", TestDb::claveAdmin);
            QVERIFY(k && !k->terminado());
            QCOMPARE(Mensajes::mostrados().size(), 0);
        };
        inicio();
        QCOMPARE(Lanzador::leer(l.perfil("dbadmin") + "/calc.exe"), v1);
        QVERIFY(!QFile::exists(l.perfil("dbadmin") + "/nota.exe"));
        QCOMPARE(l.lista()->count(), 1);
        TestDb::ejecutar("UPDATE sysuser SET piloto=TRUE WHERE sysuser_id=?", {admin});
        inicio();
        QCOMPARE(Lanzador::leer(l.perfil("dbadmin") + "/calc.exe"), v2);
        QCOMPARE(Lanzador::leer(l.perfil("dbadmin") + "/nota.exe"), v3);
        QCOMPARE(l.lista()->count(), 2);
        // Promoted: the general version for everyone, the administrator included.
        paso("promover");
        TestDb::ejecutar("UPDATE sysuser SET piloto=FALSE WHERE sysuser_id=?", {admin});
        inicio();
        QCOMPARE(Lanzador::leer(l.perfil("dbadmin") + "/calc.exe"), v2);
        QCOMPARE(l.lista()->count(), 1);
    }

    // An older signed publication put back by hand (the bytes and the row of v1, saved when it
    // was out) is refused by a user who installed a later one, even one whose bytes came back
    // by a step back.
    void publicacionAntiguaRepuesta()
    {
        if (!firmado)
            QSKIP("a launcher without keys takes whatever the server holds");
        Lanzador l;
        QSqlQuery q(TestDb::admin());
        QVERIFY(q.exec("CREATE TEMPORARY TABLE viejo AS SELECT f.*, a.windowsbinary FROM "
                       "appfirma f JOIN app a ON a.app_id=f.app_id"));
        subir(v2);
        subir(v3);
        paso("volver");
        esperar(l, v2, v2, v2);
        QVERIFY(q.exec("UPDATE app a JOIN viejo v ON v.app_id=a.app_id SET a.windowsbinary="
                       "v.windowsbinary"));
        QVERIFY(q.exec("REPLACE INTO appfirma SELECT app_id, version, sha256, largo, clave, "
                       "firma, firmado FROM viejo"));
        QCOMPARE(instalado(l, "ana"), v2);
        QCOMPARE(Lanzador::textos("Atencion!").size(), 1);
        QVERIFY(Lanzador::textos("Atencion!").first().contains("no tiene una firma valida"));
    }

    void ordenMala_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("usuario desconocido") << QStringList{"piloto", "--agregar", "beto,zoe"}
                                             << "no existe el usuario zoe";
        QTest::newRow("usuario de otro sistema") << QStringList{"piloto", "--agregar", "dora"}
                                                 << "dora es un usuario de otro sistema (otro_dora)";
        QTest::newRow("nombre malo") << QStringList{"piloto", "--quitar", "ana,B'x"}
                                     << "\"B'x\" no es un nombre de usuario";
        QTest::newRow("promover sin piloto") << QStringList{"promover", "calc"}
                                             << "calc no tiene version piloto: nada que promover";
        QTest::newRow("retirar sin piloto") << QStringList{"retirar", "calc"}
                                            << "calc no tiene version piloto: nada que retirar";
        QTest::newRow("volver sin anterior") << QStringList{"volver", "calc"}
                                             << "calc no tiene version anterior: nada a que volver";
        QTest::newRow("programa desconocido") << QStringList{"promover", "nada"}
                                              << "no hay un programa llamado \"nada\"";
        QTest::newRow("sin clave") << QStringList{"volver", "--sin-clave", "calc"}
                                   << "falta --clave ARCHIVO";
        QTest::newRow("estado de un programa desconocido") << QStringList{"estado", "nada"}
                                                           << "no hay un programa llamado \"nada\"";
    }

    // One line on standard error, a non-zero status, nothing written.
    void ordenMala()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const QString antes = huella();
        const Salida s = tool(args);
        QVERIFY(s.codigo != 0);
        QCOMPARE(s.error.count('\n'), 1);
        QVERIFY2(s.error.contains(error), qPrintable(s.error));
        QCOMPARE(huella(), antes);
    }

    void noSeFirmaDeNuevo_data()
    {
        QTest::addColumn<int>("caso");
        QTest::addColumn<QString>("orden");
        QTest::newRow("piloto cambiada a mano") << 0 << "promover";
        QTest::newRow("piloto de una clave ajena") << 1 << "promover";
        QTest::newRow("general de una clave ajena") << 2 << "retirar";
        QTest::newRow("anterior de una clave ajena") << 3 << "volver";
    }
    // A step that signs stored bytes again never gives a trusted signature with a higher number
    // to bytes changed by hand, nor to bytes whose signature verifies but by a key that neither
    // the launchers nor this publisher trust: the user would install them as ours.
    void noSeFirmaDeNuevo()
    {
        QFETCH(int, caso);
        QFETCH(QString, orden);
        switch (caso) {
        case 0:
            subir(v2, true);
            TestDb::ejecutar("UPDATE appversion SET datos=?, md5=MD5(?) WHERE clase='piloto'", {v4, v4});
            break;
        case 1:
            subir(v2, true, true);
            break;
        case 2: // the general version by the other key, a pilot of ours to withdraw
            subir(v2, false, true);
            subir(v3, true);
            break;
        case 3: // the other key's general version kept for going back
            subir(v2, false, true);
            subir(v3);
            break;
        }
        const QString antes = huella();
        const Salida s = tool({orden, "calc"});
        QVERIFY2(s.codigo != 0, qPrintable(s.lineas.join('\n')));
        QVERIFY2(s.error.contains("no tiene una firma valida de una clave de confianza"), qPrintable(s.error));
        QCOMPARE(huella(), antes);
    }

    // Names written by hand into the tables reach a terminal and a page: no control character
    // gets to the terminal, no markup out of its place in the page.
    void nombresHostiles()
    {
        const QString malo = QStringLiteral("calc</script><script>x()\x07");
        TestDb::otorgar(TestDb::crearUsuario(TestDb::base() + "_e\x1b[2J", "E"), calc, true);
        TestDb::ejecutar("UPDATE app SET nombre=? WHERE app_id=?", {malo, calc});
        const Salida s = tool({"estado"});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
        for (const QString &l : s.lineas)
            QVERIFY2(!l.contains(QChar(0x1b)) && !l.contains(QChar(7)), qPrintable(l));
        QVERIFY(s.lineas.contains("e?[2J: nunca inicio calc</script><script>x()?"));

        Versiones::Programa p;
        p.nombre = malo;
        p.general = 1;
        p.usuarios = {{TestDb::cuenta("ana"), false, 1, QDateTime::currentDateTime()}};
        QString titulo;
        const QString cuerpo = Versiones::html({p}, {}, [&](const QString &t, const QList<QStringList> &) {
            titulo = t;
            return QString();
        });
        QCOMPARE(titulo, QString("calc_/script__script_x()?"));
        QVERIFY2(!cuerpo.contains("<script") && !cuerpo.contains(QChar(7)), qPrintable(cuerpo));
    }

    // estado after starts of two versions, and the report's rows are the same.
    void estadoTrasDosVersiones()
    {
        subir(v2, true);
        // Recorded by a launcher of an earlier release, before this publication; and a user
        // who never started it.
        TestDb::ejecutar("INSERT INTO appuse (sysuser_id, app_id, cuando) VALUES "
                         "(?, ?, '2020-01-02 03:04:05')", {carla, calc});
        TestDb::otorgar(TestDb::crearUsuario(TestDb::cuenta("dario"), "Dario"), calc, true);
        Lanzador l;
        for (const char *u : {"ana", "beto"}) {
            instalado(l, u);
            l.ventana->ejecutarPrograma("calc.exe");
            QTRY_COMPARE(l.ventana->programasAbiertos, 0);
        }
        const Salida s = tool({"estado", "calc"});
        QVERIFY2(s.codigo == 0, qPrintable(s.error));
        QCOMPARE(s.lineas.size(), 6);
        QVERIFY2(s.lineas.at(0).startsWith("calc: version general 1 ("), qPrintable(s.lineas.at(0)));
        QVERIFY2(s.lineas.at(0).contains("; version piloto 2 (") && s.lineas.at(0).contains(") para ana; nada para volver"),
                 qPrintable(s.lineas.at(0)));
        const QRegularExpression hora("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$");
        QVERIFY2(s.lineas.at(1).startsWith("ana (piloto): version 2, iniciado el ")
                     && hora.match(s.lineas.at(1)).hasMatch(),
                 qPrintable(s.lineas.at(1)));
        QVERIFY2(s.lineas.at(2).startsWith("beto: version 1, iniciado el ")
                     && hora.match(s.lineas.at(2)).hasMatch(),
                 qPrintable(s.lineas.at(2)));
        QCOMPARE(s.lineas.at(3),
                 QString("carla: version desconocida, iniciado el 2020-01-02 03:04:05 (no lo "
                         "inicio desde la publicacion de la version 1)"));
        QCOMPARE(s.lineas.at(4), QString("dario: nunca inicio calc"));
        QCOMPARE(s.lineas.at(5),
                 QString("resumen de calc: version 2: 1 usuario, version 1: 1 usuario, "
                         "version desconocida: 1 usuario, sin iniciar: 1 usuario"));

        // beto's start, recorded before the promotion, is not one of the version he must run.
        paso("promover");
        const Salida t = tool({"estado"});
        QVERIFY2(t.lineas.at(2).endsWith("(no lo inicio desde la publicacion de la version 3)"),
                 qPrintable(t.lineas.at(2)));

        QList<Versiones::Programa> programas;
        QStringList grupo;
        QString error;
        QVERIFY(l.ventana->leerVersiones(&programas, &grupo, &error));
        QCOMPARE(Versiones::lineas(programas, grupo), t.lineas);
    }
};

QTEST_MAIN(TstPiloto)
#include "tst_piloto.moc"
