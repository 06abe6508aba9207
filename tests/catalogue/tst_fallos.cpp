// A launcher that cannot bring a program to the catalogue's version leaves one row for the
// administrator, from real starts of a launcher built with the publisher's key: a program changed
// by hand on the server (its signature refused), a profile directory that takes no new file, a
// failure kept by a session that lost its server and written by the next start; repeated
// attempts update the one row, and a later success clears it from estado.

#include "catalogue/fallos.h"
#include "catalogue/programas.h"
#include "catalogue/versiones.h"
#include "lanzador.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlQuery>

#include <sodium.h>

namespace {

QByteArray programa(const char *marca)
{
    return QByteArray("#!/bin/sh\n# ") + marca + "\nexit 0\n";
}

bool inmutable(const QString &ruta, bool si)
{
    return QProcess::execute("chattr", {si ? "+i" : "-i", ruta}) == 0;
}

} // namespace

class TstFallos : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString opciones, clave;
    qint64 ana = 0, beto = 0, calc = 0;
    const QByteArray v1 = programa("v1"), v2 = programa("v2");

    QStringList tool(QStringList args, int *codigo = nullptr)
    {
        const QString orden = args.takeFirst();
        args.prepend("--defaults-file=" + opciones);
        args.prepend(orden);
        if (orden == "subir")
            args << "--clave" << clave;
        args << "--sistema" << TestDb::base();
        QProcess p;
        p.start(qEnvironmentVariable("KOLVASTER_TEST_BINDIR") + "/kolvaster-publicar", args);
        p.waitForFinished(120000);
        if (codigo)
            *codigo = p.exitCode();
        return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())
            .split('\n', Qt::SkipEmptyParts);
    }

    void subir(const QByteArray &bytes)
    {
        const QString archivo = dir.filePath("calc.bin");
        Lanzador::escribir(archivo, bytes);
        int codigo = -1;
        const QStringList s = tool({"subir", "calc", archivo}, &codigo);
        QVERIFY2(codigo == 0, qPrintable(s.join('\n')));
    }

    QByteArray instalado(Lanzador &l, const char *usuario)
    {
        Mensajes::olvidar();
        Kolvaster *k = l.abrir(usuario, TestDb::clave(usuario));
        if (!k || k->terminado())
            return "<no abrio>";
        return Lanzador::leer(l.perfil(usuario) + "/calc.exe");
    }

    // The user's line of estado.
    QString lineaDe(const QString &usuario)
    {
        for (const QString &l : tool({"estado", "calc"}))
            if (l.startsWith(usuario + ":"))
                return l;
        return QString();
    }

    QString resumen()
    {
        const QStringList s = tool({"estado", "calc"});
        return s.isEmpty() ? QString() : s.last();
    }

    // The one row of the failures, as "causa version md5 conserva conserva_md5 intentos resuelto".
    QStringList filas()
    {
        QStringList r;
        QSqlQuery q(TestDb::admin());
        q.exec("SELECT CONCAT_WS(' ', causa, version, md5, IFNULL(conserva, '-'), "
               "IFNULL(conserva_md5, '-'), intentos, resuelto IS NOT NULL) FROM appfallo "
               "ORDER BY appfallo_id");
        while (q.next())
            r << q.value(0).toString();
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        opciones = TestDb::opcionesAdmin(dir.filePath("cliente.cnf"));
        clave = TestDb::claveDeSemilla(dir.filePath("editor.clave"));
    }

    void init()
    {
        TestDb::limpiar();
        TestDb::ejecutar("DELETE FROM appfallo");
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        subir(v1);
        calc = TestDb::valor("SELECT app_id FROM app WHERE nombre='calc'").toLongLong();
        for (qint64 u : {ana, beto})
            TestDb::otorgar(u, calc, true);
    }

    // The program changed by hand on the server: refused, the old one kept, one row however
    // many starts, shown by estado and the report alike until a good publication arrives.
    void firmaRechazadaHastaUnaPublicacion()
    {
        Lanzador l;
        QCOMPARE(instalado(l, "ana"), v1);
        const QByteArray aMano = programa("cambiado a mano");
        TestDb::ejecutar("UPDATE app SET windowsbinary=? WHERE app_id=?", {aMano, calc});
        QCOMPARE(instalado(l, "ana"), v1);
        QVERIFY(Lanzador::textos("Atencion!").value(0).contains("no tiene una firma valida"));
        auto fila = [&](int intentos, int resuelto) {
            return QString("firma 1 %1 1 %2 %3 %4")
                .arg(Programas::md5(aMano), Programas::md5(v1))
                .arg(intentos)
                .arg(resuelto);
        };
        QCOMPARE(filas(), QStringList{fila(1, 0)});
        QCOMPARE(TestDb::valor("SELECT texto FROM appfallo").toString(),
                 QString("La aplicacion calc no tiene una firma valida del editor y no fue "
                         "actualizada. Comunique novedad al Administrador de Sistemas!"));

        const QRegularExpression fallo("^ana: nunca inicio calc; no pudo actualizar a la "
                                       "version 1: firma del editor no valida \\(\\d{4}-\\d\\d-\\d\\d "
                                       "\\d\\d:\\d\\d:\\d\\d\\)$");
        QVERIFY2(fallo.match(lineaDe("ana")).hasMatch(), qPrintable(lineaDe("ana")));
        QVERIFY2(!lineaDe("beto").contains("no pudo"), qPrintable(lineaDe("beto")));
        QVERIFY2(resumen().endsWith(", no pudieron actualizar: 1 usuario"), qPrintable(resumen()));
        qInfo().noquote() << "estado:\n" + tool({"estado"}).join('\n');
        QList<Versiones::Programa> programas;
        QStringList grupo;
        QString error;
        QVERIFY(l.ventana->leerVersiones(&programas, &grupo, &error));
        QCOMPARE(Versiones::lineas(programas, grupo), tool({"estado"}));

        // Again: the same row, one attempt more.
        QCOMPARE(instalado(l, "ana"), v1);
        QCOMPARE(filas(), QStringList{fila(2, 0)});

        // A good publication reaches her: the failure leaves estado, the row stays, resolved.
        subir(v2);
        QCOMPARE(instalado(l, "ana"), v2);
        QCOMPARE(filas(), QStringList{fila(2, 1)});
        QVERIFY2(!lineaDe("ana").contains("no pudo"), qPrintable(lineaDe("ana")));
        QVERIFY2(!resumen().contains("no pudieron"), qPrintable(resumen()));
    }

    // A profile directory that takes no new file (immutable: the tests run as root): the error
    // dialog ends the start, and the row names the directory as the cause.
    void perfilSinEscritura()
    {
        Lanzador l;
        QCOMPARE(instalado(l, "ana"), v1);
        const QString perfil = l.perfil("ana");
        l.cerrar();
        subir(v2);
        QVERIFY(inmutable(perfil, true));
        QString texto;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"), {DriverModal::cerrarError(&texto)});
        QTRY_VERIFY(k->terminado());
        QVERIFY(inmutable(perfil, false));
        QCOMPARE(TestDb::valor("SELECT texto FROM appfallo").toString(),
                 QString("No se puede escribir archivo en directorio profile (binario)"));
        QCOMPARE(filas(), QStringList{QString("perfil 2 %1 1 %2 1 0")
                                          .arg(Programas::md5(v2), Programas::md5(v1))});
        QCOMPARE(Lanzador::leer(perfil + "/calc.exe"), v1);
        QVERIFY2(lineaDe("ana").endsWith(")") && lineaDe("ana").contains(
                     "; no pudo actualizar a la version 2: no se puede escribir en el directorio profile ("),
                 qPrintable(lineaDe("ana")));
    }

    // A session that lost its server keeps its failure in the profile; the next start writes
    // it, dated when it happened, and the profile forgets it. What the file holds is the user's
    // to write: entries that could not be the launcher's are dropped, and at most 20 are kept.
    void pendienteDeUnaSesionSinServidor()
    {
        Lanzador l;
        QCOMPARE(instalado(l, "ana"), v1);
        const QString perfil = l.perfil("ana");
        l.cerrar();
        QSqlDatabase muerta = QSqlDatabase::addDatabase("QMYSQL", "muerta"); // never opened
        Fallos::Fallo f;
        f.appId = int(calc);
        f.nombre = "calc";
        f.version = 7;
        f.md5 = Programas::md5(v2);
        f.causa = "corte";
        f.texto = "Se perdio conexion con el servidor<br>de base de datos.";
        f.cuando = QDateTime::currentDateTimeUtc().addSecs(-3600);
        Fallos::registrar(muerta, ana, perfil, f);
        const QString archivo = perfil + "/" + Fallos::archivoPendientes;
        QVERIFY(QFile::exists(archivo));
        QCOMPARE(filas(), QStringList());

        // Hostile entries beside it, and more than the bound.
        QJsonArray lista = QJsonDocument::fromJson(Lanzador::leer(archivo)).array();
        QJsonObject malo = lista.at(0).toObject();
        for (const auto &[campo, valor] : {std::pair{"causa", QJsonValue("inventada")},
                                           std::pair{"md5", QJsonValue("'; DROP TABLE app; --")},
                                           std::pair{"nombre", QJsonValue("../../etc/passwd")},
                                           std::pair{"app", QJsonValue(-4)}}) {
            QJsonObject o = malo;
            o[campo] = valor;
            lista.prepend(o);
        }
        for (int i = 0; i < 30; ++i) {
            QJsonObject o = malo;
            o["version"] = QString::number(100 + i);
            lista.append(o);
        }
        Lanzador::escribir(archivo, QJsonDocument(lista).toJson());

        QCOMPARE(instalado(l, "ana"), v1);
        QVERIFY(!QFile::exists(archivo));
        const QStringList r = filas();
        QCOMPARE(r.size(), 20);
        QCOMPARE(r.first(), QString("corte 7 %1 1 %2 1 0").arg(Programas::md5(v2), Programas::md5(v1)));
        QCOMPARE(TestDb::contar("SELECT 1 FROM appfallo WHERE cuando < NOW() - INTERVAL 50 MINUTE "
                                "AND cuando > NOW() - INTERVAL 70 MINUTE AND texto = 'Se perdio "
                                "conexion con el servidor de base de datos.'"),
                 20);
    }
};

QTEST_MAIN(TstFallos)
#include "tst_fallos.moc"
