#pragma once

#include <QString>

// Pasaje breve de la pantalla oculta de "Acerca de", en ingles y en su traduccion.
QString pasajeIngles();
QString pasajeEspanol();
