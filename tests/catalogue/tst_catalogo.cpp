// The catalogue as the main window runs it: the profile holds exactly the user's programs,
// current by digest, and the list shows them with their change-log state.

#include "lanzador.h"

#include <QAction>
#include <QCryptographicHash>
#include <QFileInfo>
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

QImage imagen(const QIcon &icono)
{
    return icono.pixmap(48, 48).toImage();
}

// Statements the session itself has executed so far.
int sentenciasDeSesion()
{
    QSqlQuery q;
    q.exec("SHOW SESSION STATUS LIKE 'Com_stmt_execute'");
    return q.next() ? q.value(1).toInt() : -1;
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
