#pragma once

#include <QByteArray>
#include <QString>

class QWebEngineProfile;

// The chart loader of the report pages and the chart library it draws with, served to the pages
// through a URL scheme of the engine's own (esquemaGraficos): a report needs no network and runs
// no script from anyone else's server. The scheme answers these two files and nothing else.
namespace Graficos {

inline constexpr char esquema[] = "kolvaster-graficos";

// Registers the scheme with the engine; to be called before the engine starts.
void registrarEsquema();
// Makes the profile's pages reach the two files (once per profile).
void instalar(QWebEngineProfile *perfil);

// What the scheme answers for the path of a request: the file's bytes and type; false for any
// other path, or when the file cannot be read.
bool contenido(const QString &ruta, QByteArray *datos, QByteArray *tipo);

} // namespace Graficos
