// The publisher keys built into the launcher, alone in this unit: a test build compiles it
// again with keys of its own (KOLVASTER_CLAVES_EDITOR) without rebuilding anything else.

#include "base/constantes.h"
#include "catalogue/firma.h"

namespace Firma {

const std::optional<QList<QByteArray>> &clavesEditor()
{
#ifdef KOLVASTER_CLAVES_EDITOR
    static const QByteArray lista = QByteArrayLiteral(KOLVASTER_CLAVES_EDITOR).trimmed();
#else
    static const QByteArray lista = QByteArray(KOLVASTER_PUBLISHER_KEYS).trimmed();
#endif
    static const std::optional<QList<QByteArray>> r =
        lista.isEmpty() ? std::nullopt : std::optional<QList<QByteArray>>(claves(lista));
    return r;
}

} // namespace Firma
