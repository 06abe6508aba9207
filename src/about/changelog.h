#pragma once

#include <QString>

// Historial de versiones en HTML, tal como se muestra en "Acerca de".
QString changelogKolvaster();

// Pasaje breve de la pantalla oculta, en ingles y en su traduccion.
QString pasajeIngles();
QString pasajeEspanol();
