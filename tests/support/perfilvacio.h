#pragma once

// The frame of the tests that download into a profile: ana's session on a clean database, and
// for each case an empty profile folder and no "calc" left by the case before (each case
// publishes its own, and names are unique in the catalogue). A test class derives from it; one
// that prepares more per case declares its own init() and calls vaciar() first.

#include <QObject>
#include <QString>
#include <QTemporaryDir>

class PerfilVacio : public QObject
{
    Q_OBJECT

protected:
    QTemporaryDir raiz;
    QString dir; // the profile folder

    void vaciar();

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { vaciar(); }
};
