#include "perfilvacio.h"

#include "testdb.h"

#include <QDir>
#include <QTest>

void PerfilVacio::initTestCase()
{
    TestDb::limpiar();
    TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
}

void PerfilVacio::cleanupTestCase() { TestDb::cerrarSesion(); }

void PerfilVacio::vaciar()
{
    TestDb::ejecutar("DELETE FROM app WHERE nombre='calc'");
    dir = raiz.path() + "/perfil";
    QDir(dir).removeRecursively();
    QVERIFY(QDir().mkpath(dir));
}
