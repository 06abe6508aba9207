#include "guion.h"

#include "base/mensajes.h"
#include "base/salida.h"

#include <QDesktopServices>

Guion::Guion()
{
    Mensajes::guionizar(true);
    interceptarSalida([this](int estado) { salidas.append(estado); });
}

Guion::~Guion()
{
    interceptarSalida(nullptr);
    Mensajes::olvidar();
    Mensajes::guionizar(false);
}

void Guion::olvidar()
{
    Mensajes::olvidar();
    salidas.clear();
}

Navegador::Navegador()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "abrir");
}

Navegador::~Navegador()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
}
