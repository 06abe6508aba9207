// Starting programs from the list: runners, the running-programs counter, appuse, and the
// children's end (normal, crashed, never started, killed at close).

#include "../catalogue/lanzador.h"
#include "launch/kolvasterprocess.h"

#include <QApplication>
#include <QFileInfo>

#include <csignal>
#include <cerrno>

namespace {

// Each started copy appends its pid to $KV_MARCAS/<name>.pids and waits for $KV_MARCAS/fin.
QByteArray guion(const QByteArray &nombre, const QByteArray &final = "")
{
    return "#!/bin/sh\necho $$ >> \"$KV_MARCAS/" + nombre + ".pids\"\n" + final
           + "while [ ! -f \"$KV_MARCAS/fin\" ]; do sleep 0.05; done\n";
}

bool vivo(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

} // namespace

class TstLanzamiento : public QObject
{
    Q_OBJECT

    QTemporaryDir marcas;
    qint64 ana = 0, calc = 0;

    QList<qint64> pids(const QString &nombre)
    {
        QList<qint64> r;
        const QList<QByteArray> lineas =
            Lanzador::leer(marcas.path() + "/" + nombre + ".pids").split('\n');
        for (const QByteArray &l : lineas)
            if (l.toLongLong() > 0)
                r << l.toLongLong();
        return r;
    }

    // Selects the item of `nombre` and activates it from the keyboard.
    static void activar(Lanzador &l, const QString &nombre)
    {
        QListWidget *lista = l.lista();
        for (int i = 0; i < lista->count(); ++i)
            if (lista->item(i)->data(Qt::UserRole).toString() == nombre)
                lista->setCurrentRow(i);
        QTest::keyClick(lista, Qt::Key_Return);
    }

private slots:
    void initTestCase()
    {
        qputenv("KV_MARCAS", QFile::encodeName(marcas.path()));
    }

    void init()
    {
        QDir(marcas.path()).removeRecursively();
        QDir().mkpath(marcas.path());
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        calc = TestDb::crearApp("calc", "Calculadora", guion("calc"));
        TestDb::otorgar(ana, calc, true);
    }

    // Two starts of one program: two runners, two rows, refresh refused until both end.
    void dosInstancias()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        activar(l, "calc");
        activar(l, "calc");
        QCOMPARE(k->programasAbiertos, 2);
        QCOMPARE(TestDb::contar("SELECT 1 FROM appuse WHERE sysuser_id=? AND app_id=? AND "
                                "cuando > NOW() - INTERVAL 1 MINUTE",
                                {ana, calc}),
                 2);
        QTRY_COMPARE(pids("calc").size(), 2);

        Mensajes::olvidar();
        k->on_actionActualizar_aplicaciones_disponibles_triggered();
        QCOMPARE(Lanzador::textos("Atencion!").size(), 1);

        Lanzador::escribir(marcas.path() + "/fin", "");
        QTRY_COMPARE(k->programasAbiertos, 0);
        QTRY_VERIFY(k->findChildren<KolvasterProcess *>().isEmpty());
        Mensajes::olvidar();
        k->on_actionActualizar_aplicaciones_disponibles_triggered();
        QCOMPARE(Lanzador::textos("Actualizar aplicaciones!").size(), 1);
    }

    // Blanks in the profile's path and in the program's name do not split the program.
    void rutaConBlancos()
    {
        const qint64 app = TestDb::crearApp("mi programa", "Mi programa",
                                            guion("mi programa", "touch \"$KV_MARCAS/fin\"\n"));
        TestDb::otorgar(ana, app, true);
        Lanzador l("home con blancos");
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QVERIFY(k->dirProfile.path().contains(' '));
        activar(l, "mi programa");
        QCOMPARE(k->programasAbiertos, 1);
        QTRY_COMPARE(k->programasAbiertos, 0);
        QCOMPARE(pids("mi programa").size(), 1);
        QVERIFY(Lanzador::textos("Atencion!").isEmpty());
    }

    // A crash ends the runner like a normal exit; a program that cannot be started is told
    // and its runner ends too, so the counter always comes back down.
    void finesAnormales()
    {
        const qint64 roto = TestDb::crearApp("roto", "Roto", QByteArray("not a program"));
        const qint64 cae = TestDb::crearApp("cae", "Cae", "#!/bin/sh\nkill -SEGV $$\n");
        TestDb::otorgar(ana, roto, true);
        TestDb::otorgar(ana, cae, true);
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        Mensajes::olvidar();
        activar(l, "cae");
        QCOMPARE(k->programasAbiertos, 1);
        QTRY_COMPARE(k->programasAbiertos, 0);

        activar(l, "roto");
        QTRY_COMPARE(k->programasAbiertos, 0);
        const QStringList avisos = Lanzador::textos("Atencion!");
        QCOMPARE(avisos.size(), 1);
        QVERIFY2(avisos.first().startsWith("No se pudo iniciar aplicacion !"),
                 qPrintable(avisos.first()));
        QTRY_VERIFY(k->findChildren<KolvasterProcess *>().isEmpty());
    }

    // A program the last synchronisation could not fetch: only the warning.
    void programaNoDescargado()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        QFile::remove(k->dirProfile.path() + "/calc.exe");
        Mensajes::olvidar();
        activar(l, "calc");
        QCOMPARE(k->programasAbiertos, 0);
        QCOMPARE(Lanzador::textos("Atencion!"),
                 QStringList("No se pudo iniciar aplicacion ! La misma no ha sido<br>"
                             "correctamente descargada!<br><br>Comunique novedad al "
                             "Administrador de Sistemas!"));
        QCOMPARE(TestDb::contar("SELECT 1 FROM appuse"), 0);
    }

    // The last window closing kills the children; the window's destruction kills and joins
    // whatever is still there.
    void cierreMataHijos()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        activar(l, "calc");
        QTRY_COMPARE(pids("calc").size(), 1);
        const qint64 primero = pids("calc").first();
        emit qApp->lastWindowClosed();
        QTRY_COMPARE(k->programasAbiertos, 0);
        QVERIFY(!vivo(primero));

        activar(l, "calc");
        activar(l, "calc");
        QTRY_COMPARE(pids("calc").size(), 3);
        l.cerrar();
        for (const qint64 pid : pids("calc"))
            QVERIFY2(!vivo(pid), qPrintable(QString::number(pid)));
    }

    // A failed appuse record leads into the reconnection; the program runs all the same.
    void registroFallidoReconecta()
    {
        Lanzador l;
        Kolvaster *k = l.abrir("ana", TestDb::clave("ana"));
        TestDb::ejecutar("RENAME TABLE appuse TO appuse_fuera");
        l.driver().luego(DriverModal::conectar("127.0.0.1", TestDb::base(), "ana",
                                             TestDb::clave("ana")));
        activar(l, "calc");
        TestDb::ejecutar("RENAME TABLE appuse_fuera TO appuse");
        QCOMPARE(l.driver().pendientes(), 0);
        QCOMPARE(k->programasAbiertos, 1);
        QVERIFY(!k->terminado());
        QTRY_COMPARE(pids("calc").size(), 1);
        Lanzador::escribir(marcas.path() + "/fin", "");
        QTRY_COMPARE(k->programasAbiertos, 0);
    }
};

QTEST_MAIN(TstLanzamiento)
#include "tst_lanzamiento.moc"
