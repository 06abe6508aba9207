#pragma once

#include "comprimidos.h"
#include "etapas.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
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

// The record of steps, newest first: all of them, a program's, or those a user (short name) did
// or that name the user; from `desde` on when it is valid.
int historialEn(MYSQL *m, const QString &sistema, const QString &programa, const QString &usuario,
                const QDate &desde);

// `subir --piloto`, once the bytes are made and measured (with the compressed copy and the patch
// from the general version, stored as any version's), within the transaction `subir`
// began: the pilot version stored with its signature as `version`; the program's row and its
// general bytes untouched, but for a new program (`appId` 0), whose row is made without general
// bytes: only the pilot group sees it until it is promoted. `igual` tells whether the file is
// still the one read.
int subirPiloto(MYSQL *m, const QString &nombre, long long appId, const QByteArray &titulo,
                bool conTitulo, QByteArrayView bytes, const Comprimidos::Hechos &comprimidos,
                const QByteArray &sha256, qint64 version, QByteArray &secreta,
                const QByteArray &publica, const std::function<bool()> &igual, bool terminal);

// The connection's end on every way out: an open transaction then rolls back.
struct Cierre {
    MYSQL *m;
    ~Cierre() { mysql_close(m); }
};

struct Argumentos;

// A step that signs anew (promover, retirar, volver) with the key of --clave: a stored signature
// is trusted for that only when this key or one the launchers were built with made it.
int conFirma(const Argumentos &a, int (*paso)(MYSQL *, const QString &, const Etapas::Firmante &));

// The transaction of one step on the program `nombre`, its row locked: `paso` does the work
// and says what to print; nothing is kept unless it succeeds and the commit does.
int enTransaccion(MYSQL *m, const QString &nombre,
                  const std::function<bool(long long appId, QString *error, QString *dicho)> &paso);

// The kept version `clase` checked, or *error saying there is none (`sinNada`).
std::optional<Etapas::Guardada> exigir(MYSQL *m, long long appId, const QString &nombre,
                                       const char *clase, const Etapas::Firmante &f,
                                       const QString &sinNada, QString *error);
