#pragma once

#include "etapas.h"

#include <QString>
#include <QStringList>

#include <optional>

#include <mysql.h>

// The subcommands that decide which publication each user installs, each on an open
// connection to the system's database: the pilot group (`piloto`), the pilot version's
// promotion and withdrawal (`promover`, `retirar`), the step back (`volver`), and who runs
// what (`estado`). Each prints its result on standard output and returns the tool's status;
// a failure is one line on standard error with nothing written (each change is one
// transaction, its rows locked from the first read, so that of two administrators at once the
// second sees the first's result and is told why it has nothing to do).

// The names of a --agregar/--quitar list; nothing and *error when one is not a short name.
std::optional<QStringList> nombresPiloto(const QString &lista, QString *error);
int pilotoEn(MYSQL *m, const QString &sistema, const QStringList &agregar,
             const QStringList &quitar);

int promoverEn(MYSQL *m, const QString &nombre, const Etapas::Firmante &f);
int retirarEn(MYSQL *m, const QString &nombre, const Etapas::Firmante &f);
int volverEn(MYSQL *m, const QString &nombre, const Etapas::Firmante &f);

// Every program, or only `nombre` when it is not empty.
int estadoEn(MYSQL *m, const QString &nombre);

// The command lines (connection options, --sistema, and each one's own).
int piloto(const QStringList &args);
int promover(const QStringList &args);
int retirar(const QStringList &args);
int volver(const QStringList &args);
int estado(const QStringList &args);

// The secret key of a file written by `clave`; empty and *error when it is not one.
QByteArray leerSecreta(const QString &archivo, QString *error);
