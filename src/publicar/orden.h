#pragma once

#include "conexion.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// The tool's subcommands: each one names the options it takes besides the connection's, its
// usage line and its help, and is run with what one common parser read from the command line.

// What the parser read for a subcommand.
struct Argumentos {
    Conexion conexion;
    QHash<QString, QString> valores; // "--clave" -> its value (the last one given)
    QSet<QString> banderas;          // "--aplicar"
    QStringList libres;              // the words that are not options, in order

    bool tiene(const QString &opcion) const
    {
        return valores.contains(opcion) || banderas.contains(opcion);
    }
    QString valor(const QString &opcion) const { return valores.value(opcion); }
};

struct Orden {
    const char *nombre;
    const char *uso;   // the line after "kolvaster-publicar "
    const char *ayuda; // what it does, a few lines
    QStringList conValor; // options followed by a value ("--clave ARCHIVO" or "--clave=ARCHIVO")
    QStringList banderas; // options without one
    bool conexion;        // takes the connection options (and --sistema)
    int libresMinimo, libresMaximo;
    const char *faltanLibres; // the failure when the free words are not as many as that
    int (*correr)(const Argumentos &);
};

// Reads `args` (what follows the subcommand's name) as `orden` takes them. False, with *error
// set to the one line to print, when an option is unknown, lacks its value, has a bad value,
// or the free words are too few or too many.
bool leerArgumentos(const Orden &orden, const QStringList &args, Argumentos *r, QString *error);

// Every subcommand, in the order the help lists them.
extern const Orden ordenClave, ordenSubir, ordenVerificar, ordenEsquema, ordenPiloto,
    ordenPromover, ordenRetirar, ordenVolver, ordenEstado, ordenHistorial, ordenSede;
