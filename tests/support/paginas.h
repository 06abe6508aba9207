#pragma once

#include <QString>

// The style block every report page starts with, up to (not including) the extra style lines
// and the closing "\n</style>\n": byte for byte what the pages must hold.
inline const QString estiloReporte = QStringLiteral(
    "<style type=\"text/css\"> \n"
    "body { font-family: sans-serif, times; font-size: 12pt; } \n"
    "h1{font-size: 16pt; } \n"
    "h2{font-size: 14pt; } \n"
    "h3{font-size: 12pt; } \n"
    "h4{font-size: 12pt; } \n"
    "table{font-size: 12pt; } \n"
    "td.numeric{text-align: right; } \n");

// The same block with no extra style lines, closed.
inline const QString estiloReporteCerrado = estiloReporte + "\n</style>\n";
