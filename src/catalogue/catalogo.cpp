#include "catalogo.h"

#include "catalogue/programas.h"

namespace Catalogo {

QString sentencia(const Forma &forma)
{
    const QString digest = forma.digestAlmacenado
                               ? QStringLiteral("a.windowsbinary_md5")
                               // In the digests' own character set, beside the pilot version's.
                               : QStringLiteral("CONVERT(MD5(a.windowsbinary) USING ascii)");
    const QString disparadores =
        forma.digestAlmacenado ? QStringLiteral("(%1)").arg(QLatin1String(Programas::disparadoresPresentes))
                               : QStringLiteral("2");
    const QString derechos =
        forma.todos ? QString()
                    : QStringLiteral(" JOIN sysuserapp ua ON ua.app_id=a.app_id AND ua.sysuser_id=:uid");
    if (!forma.versiones)
        return QStringLiteral("SELECT a.app_id, a.nombre, %1, a.titulo, %2, NULL, 0, 0 FROM app a%3")
            .arg(digest, disparadores, derechos);
    // A null digest is a null binary, without reading the binary when the digest is stored.
    const QString sinBytes =
        forma.digestAlmacenado ? QStringLiteral("a.windowsbinary_md5") : QStringLiteral("a.windowsbinary");
    // The pilot version is the user's when the user is of the pilot group, whether the account
    // sees every program or only those granted to it.
    return QStringLiteral(
               "SELECT a.app_id, a.nombre, COALESCE(p.md5, %1), a.titulo, %2, "
               "COALESCE(p.version, f.version), p.md5 IS NULL AND %3 IS NULL AND EXISTS "
               "(SELECT 1 FROM appversion s WHERE s.app_id=a.app_id AND s.clase='piloto'), "
               "p.md5 IS NOT NULL FROM app a%4 LEFT JOIN sysuser u ON u.sysuser_id=:uid "
               "LEFT JOIN appfirma f ON f.app_id=a.app_id "
               "LEFT JOIN appversion p ON p.app_id=a.app_id AND p.clase='piloto' AND u.piloto")
        .arg(digest, disparadores, sinBytes, derechos);
}

} // namespace Catalogo
