#pragma once

#include "modal.h"

#include <QTemporaryDir>

#include <memory>

class Kolvaster;

// Makes `home`'s installation folder, Kolvaster/, with the two libraries every profile receives
// a copy of: what a launcher start needs to find under HOME.
void prepararInstalacion(const QString &home);

// For a benchmark that drives whole launcher starts in this process: `raiz`/home with its
// installation folder becomes HOME, `raiz` the working directory, and every box is answered by
// script. Returns the home directory.
QString prepararBanco(const QString &raiz);

// What a launcher start needs around it: a home directory holding the installation folder with
// its two libraries, and a working directory (where "defaults" lives). Both are temporary and
// become HOME and the current directory for as long as the object lives.
class EntornoSesion
{
public:
    // The home directory's own name may be chosen (to give it blanks, say).
    explicit EntornoSesion(const QString &nombreHome = QStringLiteral("home"));
    ~EntornoSesion();

    QString home() const { return casa; }
    QString trabajo() const { return raiz.path() + QStringLiteral("/trabajo"); }

    // Builds the main window, answering its connection dialog with the given short user name
    // and password (server 127.0.0.1, the test database) first; answers for what follows can be
    // queued on driver() before calling.
    std::unique_ptr<Kolvaster> iniciar(const QString &usuario, const QString &clave);
    DriverModal &driver() { return conductor; }

private:
    QTemporaryDir raiz;
    QString casa;
    QByteArray homeAnterior;
    QString dirAnterior;
    DriverModal conductor;
};
