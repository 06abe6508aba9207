#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Files as the tests see them: read back whole, written in one go, hashed as the launcher
// hashes programs, and workbooks as an independent reader (openpyxl) finds them.

// The whole file, or "<ausente>" when it cannot be read (never equal to real contents).
QByteArray leer(const QString &ruta);

// Writes the file (creating its folders); a failure fails the running test.
void escribirArchivo(const QString &ruta, const QByteArray &contenido);

// Lower-case hex MD5, as stored beside a program.
QString md5(const QByteArray &bytes);

// The workbook as openpyxl reads it: {"sheets": [...], "active": title, "dims": "A1:C5",
// "rows": [[[value, type], ...], ...]} of the active sheet (empty cells as null). Empty when
// the file cannot be read as a workbook.
QJsonObject leerLibro(const QString &ruta);

// This process's resident memory in kB (VmRSS of /proc/self/status), -1 when unknown.
qint64 residenteKb();
