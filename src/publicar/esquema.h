#pragma once

#include <QStringList>

// kolvaster-publicar esquema --sistema BASE [--aplicar] [conexion]
//
// Compares a system's database with the tables the launcher and the tool expect (those of
// sql/schema.sql) and prints what is missing or wrong, one line each; with --aplicar it brings
// the database to that state, keeping every row. Returns the process's exit status: 0 when the
// database is (now) up to date, 1 when something is missing or blocks the change (duplicates),
// 2 on any failure.
int esquema(const QStringList &args);
