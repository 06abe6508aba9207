#include "registro.h"

#include "base/pasosregistro.h"
#include "catalogue/lector.h"

namespace Registro {

bool anotar(MYSQL *m, const QString &paso, const QString &objeto, const QString &resultado,
            QString *error)
{
    Lector st(m);
    // The trigger sets cuando, cuenta and direccion; NOW() only satisfies the column.
    using namespace PasosRegistro;
    if (!st.preparar(sqlAnotar)
        || !st.texto(paso.left(largoPaso).toUtf8())
                .texto(objeto.left(largoObjeto).toUtf8())
                .texto(resultado.left(largoResultado).toUtf8())
                .ejecutar()) {
        *error = QStringLiteral("no se pudo anotar el paso en el registro: %1")
                     .arg(QString::fromUtf8(st.error()));
        return false;
    }
    return true;
}

} // namespace Registro
