#pragma once

#include "about/pasaje.h"

#include <QString>

// Historial de versiones en HTML, tal como se muestra en "Acerca de".
QString changelogKolvaster();
