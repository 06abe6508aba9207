#pragma once

// The row of an administrative step in `registro`, as the publishing tool and the launcher's
// user administration write it: the step, its object and its result, each cut to its column.
// Who, when and from where are set by the table's trigger from the session itself.
namespace PasosRegistro {

inline constexpr char sqlAnotar[] =
    "INSERT INTO registro (cuando, paso, objeto, resultado) VALUES (NOW(), ?, ?, ?)";
inline constexpr int largoPaso = 60, largoObjeto = 120, largoResultado = 255;

} // namespace PasosRegistro
