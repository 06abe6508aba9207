#include "pasaje.h"

QString pasajeIngles()
{
    return QString::fromLatin1(
        "\"What are you afraid of?\" he asked.\n\n"
        "\"Empty rooms,\" she said. \"Clocks at night.\"\n\n"
        "\"And?\"\n\n"
        "\"Two cups on the table, and only one of them warm.\"");
}

QString pasajeEspanol()
{
    return QString::fromLatin1(
        "-\xbf" "De que tienes miedo? -pregunto el.\n\n"
        "-De los cuartos vacios -dijo ella-. De los relojes de noche.\n\n"
        "-\xbfY que mas?\n\n"
        "-De dos tazas en la mesa, y solo una caliente.");
}
