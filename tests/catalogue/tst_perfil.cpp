// The profile tree under the installation folder: preparation and the monthly clean-up.

#include "archivos.h"
#include "catalogue/perfil.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <utime.h>

namespace {

void fijarModificacion(const QString &ruta, const QDateTime &cuando)
{
    utimbuf t;
    t.actime = t.modtime = cuando.toSecsSinceEpoch();
    QCOMPARE(::utime(QFile::encodeName(ruta).constData(), &t), 0);
}

// Dates a symbolic link itself, not what it points at.
void fijarModificacionDelEnlace(const QString &ruta, const QDateTime &cuando)
{
    timespec t[2];
    t[0].tv_sec = t[1].tv_sec = cuando.toSecsSinceEpoch();
    t[0].tv_nsec = t[1].tv_nsec = 0;
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(ruta).constData(), t, AT_SYMLINK_NOFOLLOW),
             0);
}

// A user profile last used at `cuando`.
void perfilUsadoEl(const QString &dir, const QDateTime &cuando)
{
    escribirArchivo(dir + "/calc.exe", "x");
    escribirArchivo(dir + "/lastused", "");
    fijarModificacion(dir + "/lastused", cuando);
}

} // namespace

class TstPerfil : public QObject
{
    Q_OBJECT

    QTemporaryDir home;
    QString instalacion;
    QString profiles;
    const QDateTime ahora{QDate(2024, 3, 15), QTime(12, 0)};

private slots:
    void init()
    {
        QVERIFY(home.isValid());
        QDir(home.path()).removeRecursively();
        QDir().mkpath(home.path());
        instalacion = home.path() + "/Kolvaster";
        profiles = instalacion + "/profiles";
        escribirArchivo(instalacion + "/libeay32.dll", "crypto-1");
        escribirArchivo(instalacion + "/ssleay32.dll", "ssl-1");
    }

    void parteUsuario_data()
    {
        QTest::addColumn<QString>("cuenta");
        QTest::addColumn<QString>("parte");
        QTest::newRow("prefixed") << "sales_ana" << "ana";
        QTest::newRow("two underscores") << "sales_ana_b" << "ana_b";
        QTest::newRow("administrator") << "dbadmin" << "dbadmin";
    }
    void parteUsuario()
    {
        QFETCH(QString, cuenta);
        QFETCH(QString, parte);
        QCOMPARE(Perfil::parteUsuario(cuenta), parte);
    }

    void primerInicioCreaElArbol()
    {
        QDir perfil;
        QCOMPARE(Perfil::preparar(home.path(), "sales", "sales_ana_b", &perfil), QString());
        const QString esperado = profiles + "/sales/ana_b";
        QCOMPARE(QFileInfo(perfil.path()).canonicalFilePath(),
                 QFileInfo(esperado).canonicalFilePath());
        QCOMPARE(leer(esperado + "/libeay32.dll"), QByteArray("crypto-1"));
        QCOMPARE(leer(esperado + "/ssleay32.dll"), QByteArray("ssl-1"));
        const QFileInfo marca(esperado + "/lastused");
        QVERIFY(marca.isFile());
        QCOMPARE(marca.size(), 0);
        QVERIFY(qAbs(marca.lastModified().secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(QDir(esperado).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 3);
    }

    // A second start only renews the mark: existing libraries are never replaced, a stale mark
    // with content is emptied.
    void segundoInicioSoloRenuevaLaMarca()
    {
        QDir perfil;
        QCOMPARE(Perfil::preparar(home.path(), "sales", "dbadmin", &perfil), QString());
        const QString dir = profiles + "/sales/dbadmin";
        escribirArchivo(instalacion + "/libeay32.dll", "crypto-2");
        escribirArchivo(dir + "/lastused", "old");
        fijarModificacion(dir + "/lastused", ahora.addDays(-3));
        QCOMPARE(Perfil::preparar(home.path(), "sales", "dbadmin", &perfil), QString());
        QCOMPARE(leer(dir + "/libeay32.dll"), QByteArray("crypto-1"));
        QCOMPARE(QFileInfo(dir + "/lastused").size(), 0);
        QVERIFY(QFileInfo(dir + "/lastused").lastModified() > ahora);
    }

    void faltaLaCarpetaDeInstalacion()
    {
        QDir(instalacion).removeRecursively();
        QDir perfil;
        const QString error = Perfil::preparar(home.path(), "sales", "sales_ana", &perfil);
        QVERIFY(error.startsWith("Error al copiar librerias SSL (libeay32.dll)"));
        QVERIFY2(error.contains(home.path() + "/Kolvaster/"), qPrintable(error));
        // Nothing is made up under the home directory.
        QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void faltaUnaLibreria()
    {
        QFile::remove(instalacion + "/ssleay32.dll");
        QDir perfil;
        QCOMPARE(Perfil::preparar(home.path(), "sales", "sales_ana", &perfil),
                 QString("Error al copiar librerias SSL (ssleay32.dll)"));
    }

    void profilesNoCreable()
    {
        escribirArchivo(profiles, "a file where the directory should be");
        QDir perfil;
        QCOMPARE(Perfil::preparar(home.path(), "sales", "sales_ana", &perfil),
                 QString("Error al crear dir de profiles"));
    }

    // 30 days by date are kept, 31 go, also when fewer than 31 x 24 hours passed; the
    // database directory goes with its last user, others stay.
    void limpiezaPorAntiguedad()
    {
        perfilUsadoEl(profiles + "/sales/ana", ahora.addDays(-30));
        perfilUsadoEl(profiles + "/sales/beto", ahora.addDays(-31));
        perfilUsadoEl(profiles + "/old/carla", QDateTime(ahora.date().addDays(-31), QTime(23, 59)));
        QDateTime madrugada(ahora.date(), QTime(0, 1));

        QStringList eliminados;
        Perfil::limpiar(profiles, madrugada, [&](const QString &p) {
            eliminados << p;
            QVERIFY(Perfil::eliminarArbol(p));
        });
        QVERIFY(QFileInfo::exists(profiles + "/sales/ana/calc.exe"));
        QVERIFY(!QFileInfo::exists(profiles + "/sales/beto"));
        QVERIFY(!QFileInfo::exists(profiles + "/old"));
        QVERIFY(QFileInfo::exists(profiles));
        QCOMPARE(eliminados.size(), 2);
    }

    void baseSinUsuariosSeElimina()
    {
        perfilUsadoEl(profiles + "/sales/ana", ahora);
        escribirArchivo(profiles + "/vacia/.hidden", "x");
        escribirArchivo(profiles + "/vacia/restos.exe", "x");
        Perfil::limpiar(profiles, ahora, [](const QString &p) { Perfil::eliminarArbol(p); });
        QVERIFY(!QFileInfo::exists(profiles + "/vacia"));
        QVERIFY(QFileInfo::exists(profiles + "/sales/ana/lastused"));
    }

    // Without a mark the directory's own age decides: a fresh one (perhaps being prepared
    // right now) stays, a forgotten one goes.
    void usuarioSinMarca()
    {
        escribirArchivo(profiles + "/sales/nuevo/calc.exe", "x");
        escribirArchivo(profiles + "/sales/viejo/calc.exe", "x");
        fijarModificacion(profiles + "/sales/nuevo", ahora.addDays(-1));
        fijarModificacion(profiles + "/sales/viejo", ahora.addDays(-45));
        Perfil::limpiar(profiles, ahora, [](const QString &p) { Perfil::eliminarArbol(p); });
        QVERIFY(QFileInfo::exists(profiles + "/sales/nuevo"));
        QVERIFY(!QFileInfo::exists(profiles + "/sales/viejo"));
    }

    // A link in the tree is an entry of its own, judged by its own age and removed as a link,
    // at the database level as at the user level, dangling or not: what it points at (here
    // profiles whose marks are old, reached through the links) is never looked into.
    void limpiezaNoEntraEnEnlaces()
    {
        const QString ajeno = home.path() + "/ajeno";
        perfilUsadoEl(ajeno + "/usuario", ahora.addDays(-90));
        perfilUsadoEl(ajeno + "/base/usuario", ahora.addDays(-90));
        perfilUsadoEl(profiles + "/sales/ana", ahora);
        const QString viejo = profiles + "/sales/viejo", reciente = profiles + "/sales/reciente",
                      roto = profiles + "/sales/roto", base = profiles + "/otra";
        QVERIFY(QFile::link(ajeno + "/usuario", viejo));
        QVERIFY(QFile::link(ajeno + "/usuario", reciente));
        QVERIFY(QFile::link(home.path() + "/no-existe", roto));
        QVERIFY(QFile::link(ajeno + "/base", base));
        for (const QString &enlace : {viejo, roto, base})
            fijarModificacionDelEnlace(enlace, ahora.addDays(-31));
        fijarModificacionDelEnlace(reciente, ahora.addDays(-30));

        QStringList eliminados;
        Perfil::limpiar(profiles, ahora, [&](const QString &p) {
            eliminados << p;
            QVERIFY(Perfil::eliminarArbol(p));
        });
        eliminados.sort();
        QCOMPARE(eliminados, (QStringList{base, roto, viejo}));
        for (const QString &enlace : {viejo, roto, base})
            QVERIFY2(!QFileInfo(enlace).isSymLink(), qPrintable(enlace));
        QVERIFY(QFileInfo(reciente).isSymLink());
        QCOMPARE(leer(ajeno + "/usuario/calc.exe"), QByteArray("x"));
        QCOMPARE(leer(ajeno + "/base/usuario/calc.exe"), QByteArray("x"));
        QVERIFY(QFileInfo::exists(profiles + "/sales/ana/lastused"));
    }

    // The session's own profile (or its database directory) kept on another disk through a
    // link: the link's own date is old, as marking the profile through it does not renew it,
    // and the session's entries stay.
    void perfilPropioEnlazadoSeConserva()
    {
        perfilUsadoEl(home.path() + "/disco/ana", ahora);
        perfilUsadoEl(home.path() + "/disco/base/beto", ahora);
        QDir().mkpath(profiles + "/sales");
        QVERIFY(QFile::link(home.path() + "/disco/ana", profiles + "/sales/ana"));
        QVERIFY(QFile::link(home.path() + "/disco/base", profiles + "/compras"));
        fijarModificacionDelEnlace(profiles + "/sales/ana", ahora.addDays(-90));
        fijarModificacionDelEnlace(profiles + "/compras", ahora.addDays(-90));
        Perfil::limpiar(
            profiles, ahora, [](const QString &p) { Perfil::eliminarArbol(p); }, "sales/ana");
        QVERIFY(QFileInfo(profiles + "/sales/ana").isSymLink());
        QVERIFY(!QFileInfo(profiles + "/compras").isSymLink());
        Perfil::limpiar(
            profiles, ahora, [](const QString &p) { Perfil::eliminarArbol(p); }, "sales/ana");
        QVERIFY(QFileInfo(profiles + "/sales/ana").isSymLink());

        QVERIFY(QFile::link(home.path() + "/disco/base", profiles + "/compras"));
        fijarModificacionDelEnlace(profiles + "/compras", ahora.addDays(-90));
        Perfil::limpiar(
            profiles, ahora, [](const QString &p) { Perfil::eliminarArbol(p); }, "compras/beto");
        QVERIFY(QFileInfo(profiles + "/compras").isSymLink());
        QVERIFY(QFileInfo::exists(home.path() + "/disco/base/beto/calc.exe"));
    }

    // A link inside a stale profile is removed as a link: what it points at survives.
    void eliminarNoSigueEnlaces()
    {
        escribirArchivo(home.path() + "/ajeno/valioso.txt", "keep");
        perfilUsadoEl(profiles + "/sales/beto", ahora.addDays(-60));
        QVERIFY(QFile::link(home.path() + "/ajeno", profiles + "/sales/beto/enlace"));
        QVERIFY(Perfil::eliminarArbol(profiles + "/sales/beto"));
        QCOMPARE(leer(home.path() + "/ajeno/valioso.txt"), QByteArray("keep"));
    }
};

QTEST_GUILESS_MAIN(TstPerfil)
#include "tst_perfil.moc"
