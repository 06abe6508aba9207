#pragma once

#include <QString>

#include <mysql.h>

// The record of administrative steps (table `registro`): one row per step, written inside the
// step's own transaction just before its commit, so that a step refused or rolled back leaves
// no row and a committed one always has its row. The account, the time and the client's address
// are set by the server (the table's trigger), never by the tool.
namespace Registro {

// The step as typed ("subir --piloto"), what it acted on (a program, or users' names) and what
// it made ("version 7"); each cut to its column. False with *error when the row cannot be
// written: the caller then fails the step, and its transaction rolls back.
bool anotar(MYSQL *m, const QString &paso, const QString &objeto, const QString &resultado,
            QString *error);

} // namespace Registro
