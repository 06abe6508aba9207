#pragma once

#include <QStringList>

// Frases que se muestran al pie de la ventana principal, una por dia.
QStringList frasesDelDia();
