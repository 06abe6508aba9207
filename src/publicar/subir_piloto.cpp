// kolvaster-publicar subir --piloto: a program's pilot version.

#include "catalogue/firma.h"
#include "catalogue/lector.h"
#include "comprimidos.h"
#include "consola.h"
#include "pasos.h"
#include "registro.h"

#include <sodium.h>

using Consola::decir;
using Consola::fallar;

int subirPiloto(MYSQL *m, const QString &nombre, long long appId, const QByteArray &titulo,
                bool conTitulo, QByteArrayView bytes, const Comprimidos::Hechos &comprimidos,
                const QByteArray &sha256, qint64 version, QByteArray &secreta,
                const QByteArray &publica, const std::function<bool()> &igual, bool terminal)
{
    const QByteArray firma =
        Firma::firmar(secreta, Firma::mensaje(nombre, version, sha256, bytes.size()));
    sodium_memzero(secreta.data(), size_t(secreta.size()));
    auto fallaEn = [&](Lector &st, const QString &que) {
        return fallar(QStringLiteral("%1: %2").arg(que, QString::fromUtf8(st.error())));
    };
    if (appId == 0 || conTitulo) {
        Lector st(m);
        if (!st.preparar(appId == 0 ? "INSERT INTO app (nombre, titulo) VALUES (?, ?)"
                                    : "UPDATE app SET titulo=? WHERE app_id=?"))
            return fallaEn(st, QStringLiteral("no se pudo guardar el programa"));
        if (appId == 0)
            st.texto(nombre.toUtf8()).texto(titulo);
        else
            st.texto(titulo).entero(appId);
        if (!st.ejecutar())
            return fallaEn(st, QStringLiteral("no se pudo guardar el programa"));
        if (appId == 0)
            appId = static_cast<long long>(st.idInsertado());
    }
    QString error;
    const QByteArray &md5 = comprimidos.md5Nuevo;
    if (!Etapas::guardarPiloto(m, appId, bytes, md5, sha256, version, publica, firma,
                               [&](qint64 hecho) {
                                   if (terminal)
                                       Comprimidos::progreso(nombre + QStringLiteral(" (piloto)"), hecho,
                                                             bytes.size());
                               },
                               &error))
        return fallar(error);
    unsigned int codigo = 0;
    if (!Comprimidos::guardar(m, appId, nombre, bytes.size(), comprimidos, terminal, &error,
                              &codigo)
        || !Etapas::limpiarComprimidos(m, appId, &error, &codigo))
        return fallar(error);
    if (!igual())
        return fallar(QStringLiteral("el programa cambio mientras se leia"));
    if (!Registro::anotar(m, QStringLiteral("subir --piloto"), nombre,
                          QStringLiteral("version piloto %1").arg(version), &error))
        return fallar(error);
    if (mysql_commit(m))
        return fallar(QStringLiteral("no se pudo confirmar la publicacion: %1")
                          .arg(QString::fromUtf8(mysql_error(m))));
    decir(QStringLiteral("%1: version piloto %2, %3 bytes, sha256 %4, firmado con %5")
              .arg(nombre)
              .arg(version)
              .arg(bytes.size())
              .arg(QString::fromLatin1(sha256), QString::fromLatin1(publica)));
    return 0;
}

