// The authority built into the launcher, alone in this unit: a test build compiles it again
// with an authority of its own (KOLVASTER_AUTORIDAD) without rebuilding anything else.

#include "db/autoridad.h"

#include "base/constantes.h"

namespace Autoridad {

QString ruta()
{
#ifdef KOLVASTER_AUTORIDAD
    return QStringLiteral(KOLVASTER_AUTORIDAD);
#else
    return QString::fromUtf8(KOLVASTER_SERVER_CA);
#endif
}

QString opcionesConexion()
{
    const QString ca = ruta();
    return ca.isEmpty() ? QStringLiteral("CLIENT_COMPRESS")
                        : QStringLiteral("CLIENT_COMPRESS;SSL_CA=") + ca;
}

} // namespace Autoridad
