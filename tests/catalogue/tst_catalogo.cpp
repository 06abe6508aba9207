// The catalogue as the main window runs it: the profile holds exactly the user's programs,
// current by digest, and the list shows them with their change-log state.

#include "lanzador.h"
#include "db/kolvasterdbconnkeepalive.h"
#include "notificador.h"

#include <QAction>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlQuery>

namespace {

const QByteArray binCalc = "#!/bin/sh\necho calc\n";
const QByteArray binNota = QByteArray("nota\0binary\xff", 12);
const QByteArray binAjena = "ajena";

QByteArray digestServidor(qint64 appId)
{
    return TestDb::valor("SELECT MD5(windowsbinary) FROM app WHERE app_id=?", {appId})
        .toString()
        .toLatin1();
}

QByteArray md5(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QImage imagen(const QIcon &icono)
{
    return icono.pixmap(48, 48).toImage();
}

// Statements the session itself has run so far, prepared or sent as text.
int sentenciasDeSesion()
{
    QSqlQuery q;
    q.exec("SHOW SESSION STATUS WHERE Variable_name IN ('Com_select', 'Com_stmt_execute')");
    int n = 0;
    while (q.next())
        n += q.value(1).toInt();
    return n;
}

// The two triggers that keep app.windowsbinary_md5, as the schema makes them.
void crearDisparadores()
{
    for (const char *cuando : {"alta BEFORE INSERT", "cambio BEFORE UPDATE"})
        TestDb::ejecutar(QString("CREATE TRIGGER IF NOT EXISTS app_md5_%1 ON app FOR EACH ROW "
                                 "SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)")
                             .arg(cuando));
}

} // namespace

class TstCatalogo : public QObject
{
    Q_OBJECT

    qint64 ana = 0, beto = 0;
    qint64 calc = 0, nota = 0, sinbin = 0, vacio = 0, ajena = 0;

private slots:
    void init()
    {
        TestDb::limpiar();
        TestDb::crearUsuario("dbadmin", "Administrador", true);
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        calc = TestDb::crearApp("calc", "Calculadora", binCalc);
        nota = TestDb::crearApp("nota", "Bloc de notas", binNota);
        sinbin = TestDb::crearApp("sinbin", "Sin binario", std::nullopt);
        vacio = TestDb::crearApp("vacio", "Vacio", QByteArray(""));
        ajena = TestDb::crearApp("ajena", "Ajena", binAjena);
        TestDb::otorgar(ana, calc, true);
        TestDb::otorgar(ana, nota, false);
        TestDb::otorgar(ana, sinbin, QVariant());
        TestDb::otorgar(beto, ajena, true);
        Kolvaster::fijarFechaIconos(QDate(2024, 3, 15));
    }

    // First start: the tree, the programs with their digests, the boxes and the list.
    void primerInicio()
    {
        Lanzador l;
        Kolvaster::fijarFechaIconos(QDate(2024, 12, 24));
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QVERIFY(!k->terminado());
        const QString p = l.perfil("ana");
        QCOMPARE(QFileInfo(k->dirProfile.path()).canonicalFilePath(),
                 QFileInfo(p).canonicalFilePath());
        QCOMPARE(l.leer(p + "/calc.exe"), binCalc);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), digestServidor(calc));
        QCOMPARE(l.leer(p + "/nota.exe"), binNota);
        QCOMPARE(QFileInfo(p + "/calc.exe").permissions() & 0x0777,
                 QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QCOMPARE(l.leer(p + "/libeay32.dll"), QByteArray("biblioteca libeay32.dll"));
        QCOMPARE(QFileInfo(p + "/lastused").size(), 0);
        QCOMPARE(QDir(p).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({"calc.exe", "calc.exe.md5", "lastused", "libeay32.dll",
                              "nota.exe", "nota.exe.md5", "ssleay32.dll"}));

        QCOMPARE(l.textos("Atencion!"),
                 QStringList("No se pudo obtener version de programa! No existe archivo binario "
                             "disponible!<br>Comunique novedad al Administrador de Sistemas!"));
        QCOMPARE(l.textos("Nuevo programa disponible"),
                 QStringList("No se pudo obtener version actualizada del programa sinbin!<br>"
                             "Comunique novedad al Administrador de Sistemas!"));
        QCOMPARE(l.textos("CHANGELOGs por leer").size(), 1);

        QListWidget *lista = l.lista();
        QCOMPARE(lista->count(), 3);
        QStringList titulos, nombres;
        for (int i = 0; i < lista->count(); ++i) {
            titulos << lista->item(i)->text();
            nombres << lista->item(i)->data(Qt::UserRole).toString();
        }
        QCOMPARE(titulos, QStringList({"Bloc de notas", "Calculadora", "Sin binario"}));
        QCOMPARE(nombres, QStringList({"nota", "calc", "sinbin"}));
        QCOMPARE(k->changelogsPendientes, QStringList({"nota", "sinbin"}));
        const QImage navidad = imagen(QIcon(":/appico_48_navidad.png"));
        const QImage alerta = imagen(QIcon(":/appicoalert_48.png"));
        QVERIFY(!navidad.isNull() && !alerta.isNull() && navidad != alerta);
        QCOMPARE(imagen(lista->item(1)->icon()), navidad);
        QCOMPARE(imagen(lista->item(0)->icon()), alerta);
        QCOMPARE(imagen(lista->item(2)->icon()), alerta);
    }

    // dbadmin sees every program, all read, and runs the statements without user filter.
    void administrador()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("dbadmin", TestDb::claveAdmin);
        QCOMPARE(l.lista()->count(), 5);
        QVERIFY(k->changelogsPendientes.isEmpty());
        QVERIFY(l.textos("CHANGELOGs por leer").isEmpty());
        QVERIFY(QFileInfo::exists(l.perfil("dbadmin") + "/ajena.exe"));
        QCOMPARE(l.textos("Nuevo programa disponible").size(), 2);
        const QImage normal = imagen(QIcon(":/appico_48.png"));
        QVERIFY(!normal.isNull());
        for (int i = 0; i < l.lista()->count(); ++i)
            QCOMPARE(imagen(l.lista()->item(i)->icon()), normal);
    }

    // Pass 1 cleans up, pass 2 restores, in the same synchronisation.
    void decisionesPorArchivo()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        const QString p = l.perfil("ana");

        // Withdrawn right: both files go, without any message.
        TestDb::ejecutar("DELETE FROM sysuserapp WHERE app_id=?", {nota});
        // An executable without digest (interrupted download): deleted and fetched again.
        QFile::remove(p + "/calc.exe.md5");
        l.escribir(p + "/calc.exe", "half");
        // A leftover program the user never had, without digest: removed, no message.
        l.escribir(p + "/viejo.exe", "old");
        Mensajes::olvidar();
        k->sincronizarAplicaciones();
        QVERIFY(!QFileInfo::exists(p + "/nota.exe"));
        QVERIFY(!QFileInfo::exists(p + "/nota.exe.md5"));
        QVERIFY(!QFileInfo::exists(p + "/viejo.exe"));
        QCOMPARE(l.leer(p + "/calc.exe"), binCalc);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), digestServidor(calc));
        QCOMPARE(l.textos("Atencion!").size(), 1); // sinbin's missing binary only
        QCOMPARE(l.lista()->count(), 2);
    }

    // The digest file's line is trimmed but its letter case counts.
    void comparacionDelDigest()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        const QString p = l.perfil("ana");
        l.escribir(p + "/calc.exe", "local calc");
        l.escribir(p + "/calc.exe.md5", digestServidor(calc) + "\r\n");
        l.escribir(p + "/nota.exe", "local nota");
        l.escribir(p + "/nota.exe.md5", digestServidor(nota).toUpper());
        k->sincronizarAplicaciones();
        QCOMPARE(l.leer(p + "/calc.exe"), QByteArray("local calc"));
        QCOMPARE(l.leer(p + "/nota.exe"), binNota);
        QCOMPARE(l.leer(p + "/nota.exe.md5"), digestServidor(nota));
    }

    // The digest a start compares is the one the server keeps with the bytes, whoever wrote
    // them, and the next start fetches what changed: by hand, then with the publishing tool.
    void digestAlmacenadoSigueALosBytes()
    {
        auto digestDeCalc = [&] {
            return TestDb::valor("SELECT windowsbinary_md5 FROM app WHERE app_id=?", {calc});
        };
        Lanzador l;
        l.abrir("ana", TestDb::clave("ana"));
        const QString p = l.perfil("ana");
        QCOMPARE(l.leer(p + "/calc.exe.md5"), md5(binCalc));

        // A hand-made statement cannot leave a wrong digest behind.
        const QByteArray aMano("#!/bin/sh\necho calc 2\n\0\xff", 23);
        TestDb::ejecutar("UPDATE app SET windowsbinary=?, windowsbinary_md5=? WHERE app_id=?",
                         {aMano, md5(binCalc), calc});
        QCOMPARE(digestDeCalc().toByteArray(), md5(aMano));
        l.abrir("ana", TestDb::clave("ana"));
        QCOMPARE(l.leer(p + "/calc.exe"), aMano);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), md5(aMano));

        QTemporaryDir dir;
        const QString opciones = dir.filePath("cliente.cnf"), clave = dir.filePath("editor.clave");
        TestDb::opcionesAdmin(opciones);
        const QByteArray publicado = QByteArray(300000, 'p') + aMano;
        Lanzador::escribir(dir.filePath("calc"), publicado);
        for (const QStringList &args :
             {QStringList{"clave", clave},
              QStringList{"subir", "--defaults-extra-file=" + opciones, "--sistema",
                          TestDb::base(), "--clave", clave, "calc", dir.filePath("calc")}}) {
            QProcess herramienta;
            herramienta.start(KOLVASTER_PUBLICAR, args);
            QVERIFY(herramienta.waitForFinished(60000));
            QVERIFY2(herramienta.exitCode() == 0, herramienta.readAllStandardError());
        }
        QCOMPARE(digestDeCalc().toByteArray(), md5(publicado));
        l.abrir("ana", TestDb::clave("ana"));
        QVERIFY(l.leer(p + "/calc.exe") == publicado);
        QCOMPARE(l.leer(p + "/calc.exe.md5"), md5(publicado));

        // No bytes, no digest, as MD5() of NULL.
        TestDb::ejecutar("UPDATE app SET windowsbinary=NULL WHERE app_id=?", {calc});
        QVERIFY(digestDeCalc().isNull());
    }

    // A database not migrated yet synchronises exactly as before: the same files, boxes and
    // list, no report, and the missing column is looked for once per session only.
    void sinDigestAlmacenado()
    {
        // What a refresh runs on a migrated database: a look per local program, passes 2 and 3
        // (and sinbin's download attempt).
        auto porRefresco = [] {
            Lanzador l;
            Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
            const int antes = sentenciasDeSesion();
            k->sincronizarAplicaciones();
            return k->terminado() ? -1 : sentenciasDeSesion() - antes;
        };
        const int migrada = porRefresco();
        for (const char *sql : {"DROP TRIGGER app_md5_alta", "DROP TRIGGER app_md5_cambio",
                                "ALTER TABLE app DROP COLUMN windowsbinary_md5"})
            TestDb::ejecutar(sql);
        const auto restaurar = qScopeGuard([] {
            TestDb::ejecutar("ALTER TABLE app ADD windowsbinary_md5 CHAR(32) CHARACTER SET ascii "
                             "NULL DEFAULT (MD5(windowsbinary)) AFTER windowsbinary");
            crearDisparadores();
        });
        Notificador::reiniciar();
        for (auto caso : {&TstCatalogo::primerInicio, &TstCatalogo::decisionesPorArchivo,
                          &TstCatalogo::comparacionDelDigest}) {
            init();
            (this->*caso)();
            if (QTest::currentTestFailed())
                return;
        }
        QVERIFY(Notificador::pedidos().isEmpty());
        // The missing column is asked for once per session, not at every refresh.
        QVERIFY(migrada > 0);
        QCOMPARE(porRefresco(), migrada);
    }

    // The stored digest is only as good as its triggers: without them (a migration half done,
    // a dump restored without them), a program replaced by hand still reaches the user, at a
    // refresh of a session that trusted the column so far as at a new start. The stale digest
    // is the very one of the user's copy, so only the triggers' check can send the new bytes.
    void digestSinDisparadoresNoSeCree()
    {
        Notificador::reiniciar();
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        const QString p = l.perfil("ana");
        QCOMPARE(l.leer(p + "/calc.exe"), binCalc);
        const auto restaurar = qScopeGuard([] { crearDisparadores(); });
        QByteArray antes = binCalc;
        // Both triggers gone, then one of them back: neither is enough.
        for (const QString queda : {QString(), QString("app_md5_alta BEFORE INSERT")}) {
            TestDb::ejecutar("DROP TRIGGER IF EXISTS app_md5_alta");
            TestDb::ejecutar("DROP TRIGGER IF EXISTS app_md5_cambio");
            const QByteArray aMano = antes + "# a mano\n";
            TestDb::ejecutar("UPDATE app SET windowsbinary=?, windowsbinary_md5=? WHERE app_id=?",
                             {aMano, md5(antes), calc});
            QCOMPARE(TestDb::valor("SELECT windowsbinary_md5 FROM app WHERE app_id=?", {calc})
                         .toByteArray(),
                     l.leer(p + "/calc.exe.md5"));
            if (!queda.isEmpty())
                TestDb::ejecutar(QString("CREATE TRIGGER %1 ON app FOR EACH ROW SET "
                                         "NEW.windowsbinary_md5 = MD5(NEW.windowsbinary)")
                                     .arg(queda));
            if (queda.isEmpty())
                k->sincronizarAplicaciones();
            else
                k = l.abrir("ana", TestDb::clave("ana"));
            QVERIFY(!k->terminado());
            QCOMPARE(l.leer(p + "/calc.exe"), aMano);
            QCOMPARE(l.leer(p + "/calc.exe.md5"), md5(aMano));
            antes = aMano;
        }
        QVERIFY(Notificador::pedidos().isEmpty());
    }

    // A box of the first pass runs an event loop: the keep-alive's statement, run there, finds
    // every answer of the pass read already, and the refresh goes on.
    void keepAliveDuranteUnaCajaDelPrimerPaso()
    {
        Notificador::reiniciar();
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        auto *keepAlive = k->findChild<KolvasterDBConnKeepAlive *>();
        QVERIFY(keepAlive);
        int rondas = 0;
        connect(keepAlive, &KolvasterDBConnKeepAlive::conexionOK, this, [&] { ++rondas; });
        // Leftovers that cannot be deleted, each worth two boxes.
        QStringList trabados;
        const auto soltar = qScopeGuard([&] {
            for (const QString &f : std::as_const(trabados))
                QProcess::execute("chattr", {"-i", f});
        });
        for (const char *n : {"resto1", "resto2", "resto3"}) {
            const QString f = l.perfil("ana") + "/" + n + ".exe";
            l.escribir(f, "resto");
            QCOMPARE(QProcess::execute("chattr", {"+i", f}), 0);
            trabados << f;
        }
        const int antes = rondas;
        Mensajes::olvidar();
        auto delPrimerPaso = [](const QString &texto) {
            return texto.startsWith("Existen archivos no validos")
                   || texto.startsWith("No se pudo eliminar aplicacion no valida");
        };
        Mensajes::observar([&](const Mensajes::Mostrado &m) {
            if (delPrimerPaso(m.texto))
                keepAlive->keepAlive();
        });
        k->sincronizarAplicaciones();
        Mensajes::observar({});
        QVERIFY(!k->terminado());
        QCOMPARE(l.textos("Atencion!").filter(QRegularExpression("^(Existen|No se pudo eliminar)"))
                     .size(),
                 6);
        QCOMPARE(rondas - antes, 6);
        QCOMPARE(l.lista()->count(), 3);
        QVERIFY(Notificador::pedidos().isEmpty());
    }

    // Names travel inside the statements' text: quotes, accents and a backslash are read back
    // as the very name (a misread one would delete the local copy, or end the session).
    void nombresEnElTexto()
    {
        const QString raro = QString::fromUtf8("año d'Or ü");
        const qint64 id = TestDb::crearApp(raro, "Raro", binCalc);
        const qint64 barra = TestDb::crearApp("dos\\barras", "Barras", std::nullopt);
        TestDb::otorgar(ana, id, false);
        TestDb::otorgar(ana, barra, false);
        Lanzador l;
        l.abrir("ana", TestDb::clave("ana"));
        const QString exe = l.perfil("ana") + "/" + raro + ".exe";
        QCOMPARE(l.leer(exe), binCalc);
        l.escribir(exe, "local");
        // A local file of the backslash name makes the looks go one by one.
        const QString otro = l.perfil("ana") + "/dos\\barras.exe";
        l.escribir(otro, "otro");
        l.escribir(otro + ".md5", md5("otro"));
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QCOMPARE(l.leer(exe), QByteArray("local"));
        QCOMPARE(l.leer(otro), QByteArray("otro"));
        QVERIFY(k->changelogsPendientes.contains(raro));
        QVERIFY(k->changelogsPendientes.contains("dos\\barras"));
        TestDb::ejecutar("UPDATE sysuserapp SET clogleido=TRUE WHERE app_id IN (?,?)", {id, barra});
        k->verificarChangelogs();
        QCOMPARE(k->changelogsPendientes, QStringList({"nota", "sinbin"}));
    }

    // No binary (NULL or empty): the warning, and whatever is local stays as it was.
    void sinBinarioNoTocaNada()
    {
        Lanzador l;
        TestDb::otorgar(ana, vacio, true);
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        const QString p = l.perfil("ana");
        for (const char *n : {"sinbin", "vacio"}) {
            l.escribir(p + "/" + n + ".exe", "previous");
            l.escribir(p + "/" + n + ".exe.md5", "0123456789abcdef0123456789abcdef");
        }
        Mensajes::olvidar();
        k->sincronizarAplicaciones();
        QCOMPARE(l.textos("Nuevo programa disponible").size(), 2);
        QCOMPARE(l.textos("Atencion!").size(), 2);
        for (const char *n : {"sinbin", "vacio"}) {
            QCOMPARE(l.leer(p + "/" + n + ".exe"), QByteArray("previous"));
            QCOMPARE(l.leer(p + "/" + n + ".exe.md5"),
                     QByteArray("0123456789abcdef0123456789abcdef"));
        }
    }

    // A name from the server that is a path never writes or starts anything outside.
    void nombreComoRutaNoSaleDelPerfil()
    {
        Lanzador l;
        const qint64 fuera = TestDb::crearApp("../fuera", "Fuera", QByteArray("evil"));
        const qint64 punto = TestDb::crearApp("..", "Punto", QByteArray("evil"));
        TestDb::otorgar(ana, fuera, true);
        TestDb::otorgar(ana, punto, true);
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QVERIFY(!k->terminado());
        QVERIFY(!QFileInfo::exists(l.perfil("fuera.exe")));
        QVERIFY(!QFileInfo::exists(l.perfil("..exe")));
        QVERIFY(!QFileInfo::exists(l.perfil("ana") + "/...exe"));
        QCOMPARE(l.textos("Nuevo programa disponible").size(), 3);
        QVERIFY(l.textos("Atencion!").filter("no es un nombre de archivo valido").size() == 2);

        // Even a file planted where the path points is never started.
        l.escribir(l.perfil("fuera.exe"), "#!/bin/sh\nexit 0\n");
        Mensajes::olvidar();
        k->ejecutarPrograma("../fuera.exe");
        QCOMPARE(k->programasAbiertos, 0);
        QCOMPARE(l.textos("Atencion!").size(), 1);
        QCOMPARE(TestDb::contar("SELECT 1 FROM appuse"), 0);
    }

    // The refresh waits for every started program; then synchronises and says so.
    void actualizarRechazadoConProgramasAbiertos()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        const QString p = l.perfil("ana");
        QAction *accion = k->findChild<QAction *>("actionActualizar_aplicaciones_disponibles");
        QCOMPARE(accion->shortcut(), QKeySequence("Ctrl+R"));
        TestDb::ejecutar("DELETE FROM sysuserapp WHERE app_id=?", {calc});
        k->programasAbiertos = 1;
        Mensajes::olvidar();
        accion->trigger();
        QCOMPARE(l.textos("Atencion!"),
                 QStringList("Para poder actualizar lista de aplicaciones primero<br>debera "
                             "cerrar todas las aplicaciones abiertas!"));
        QVERIFY(QFileInfo::exists(p + "/calc.exe"));
        QCOMPARE(Mensajes::mostrados().size(), 1);

        k->programasAbiertos = 0;
        Mensajes::olvidar();
        accion->trigger();
        QVERIFY(!QFileInfo::exists(p + "/calc.exe"));
        QCOMPARE(l.textos("Actualizar aplicaciones!"),
                 QStringList("Aplicaciones disponibles actualizadas!"));
    }

    // The re-check turns an icon to normal once read, keeps a withdrawn one pending, and
    // with nothing pending runs no statement.
    void verificarChangelogs()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QCOMPARE(k->changelogsPendientes, QStringList({"nota", "sinbin"}));
        TestDb::ejecutar("UPDATE sysuserapp SET clogleido=TRUE WHERE app_id=?", {nota});
        k->verificarChangelogs();
        QCOMPARE(k->changelogsPendientes, QStringList({"sinbin"}));
        QCOMPARE(l.lista()->item(0)->data(Qt::UserRole).toString(), QString("nota"));
        QCOMPARE(l.lista()->item(0)->icon().cacheKey(), k->iconoApp.cacheKey());
        QCOMPARE(l.lista()->item(2)->icon().cacheKey(), k->iconoAlerta.cacheKey());

        TestDb::ejecutar("DELETE FROM sysuserapp WHERE app_id=?", {sinbin});
        k->responderKeepAlive(3);
        QCOMPARE(k->changelogsPendientes, QStringList({"sinbin"}));

        TestDb::ejecutar("INSERT INTO sysuserapp (sysuser_id,app_id,clogleido) VALUES (?,?,TRUE)", {ana, sinbin});
        k->terminoPrograma();
        QCOMPARE(k->programasAbiertos, -1);
        k->programasAbiertos = 0;
        QVERIFY(k->changelogsPendientes.isEmpty());
        const int antes = sentenciasDeSesion();
        k->verificarChangelogs();
        k->responderKeepAlive(3);
        QCOMPARE(sentenciasDeSesion(), antes);
        QCOMPARE(Lanzador::textos("CHANGELOGs por leer").size(), 1);
    }

    // Without the installation folder start-up stops at the library step, naming the folder.
    void sinCarpetaDeInstalacion()
    {
        Lanzador l;
        QDir(l.home() + "/Kolvaster").removeRecursively();
        Kolvaster *k = l.abrir("dbadmin", TestDb::claveAdmin, {DriverModal::cerrarError()});
        QVERIFY(k->terminado());
        QCOMPARE(l.guion.salidas.size(), 1);
        const QStringList detalle = l.textos("Detalle de Error para DBADMIN");
        QCOMPARE(detalle.size(), 1);
        QVERIFY2(detalle.first().startsWith("Error al copiar librerias SSL (libeay32.dll)"),
                 qPrintable(detalle.first()));
        QVERIFY2(detalle.first().contains(l.home() + "/Kolvaster/"), qPrintable(detalle.first()));
        QVERIFY(!QFileInfo::exists(l.home() + "/Kolvaster"));
        QVERIFY(!QFileInfo::exists(l.home() + "/profiles"));
    }
};

QTEST_MAIN(TstCatalogo)
#include "tst_catalogo.moc"
