#include "sesioncifrada.h"
#include "apertura.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

#include <mysql.h>

// The session's OpenSSL object, reached through the client library's installed headers (its
// own peer-certificate query only arrives in later versions). The build checks that they give
// it (KOLVASTER_NOMBRE_VERIFICABLE) and refuses an authority otherwise; without them, no
// certificate is ever taken as naming the server.
#ifdef KOLVASTER_NOMBRE_VERIFICABLE
// Declares the TLS member of the connection's transport (as the library itself is built); its
// header needs the library's byte type before ma_pvio.h would declare it.
#define HAVE_TLS 1
typedef unsigned char uchar;
#include <ma_pvio.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#endif

namespace SesionCifrada {

bool pideCifrado(const QString &opciones)
{
    // Split as the driver splits them: ";" between options, "=" before a value, blanks ignored.
    for (const QString &opcion : opciones.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype igual = opcion.indexOf(QLatin1Char('='));
        if (igual > 0 && opcion.left(igual).simplified().startsWith(QLatin1String("SSL_"))
            && !opcion.mid(igual + 1).simplified().isEmpty())
            return true;
    }
    return false;
}

st_mysql *manejador(const QSqlDatabase &db)
{
    if (!db.isOpen() || !db.driver())
        return nullptr;
    const QVariant h = db.driver()->handle();
    // Qt names the type after the structure behind the MYSQL typedef.
    if (!h.isValid()
        || (qstrcmp(h.typeName(), "MYSQL*") != 0 && qstrcmp(h.typeName(), "st_mysql*") != 0))
        return nullptr;
    return *static_cast<MYSQL *const *>(h.constData());
}

bool nombraAlServidor(MYSQL *mysql, const QString &host)
{
#ifdef KOLVASTER_NOMBRE_VERIFICABLE
    if (!mysql || !mysql_get_ssl_cipher(mysql) || !mysql->net.pvio || !mysql->net.pvio->ctls
        || !mysql->net.pvio->ctls->ssl)
        return false;
    const QByteArray nombre = host.trimmed().toUtf8();
    // An empty name, or one with a NUL inside, names nothing.
    if (nombre.isEmpty() || nombre.contains('\0'))
        return false;
    X509 *certificado = SSL_get1_peer_certificate(static_cast<SSL *>(mysql->net.pvio->ctls->ssl));
    if (!certificado)
        return false;
    // An address is matched against the certificate's IP entries only, a name against its DNS
    // entries (or its common name when it has none), wildcards in the leftmost label only.
    int r = X509_check_ip_asc(certificado, nombre.constData(), 0);
    if (r < 0)
        r = X509_check_host(certificado, nombre.constData(), size_t(nombre.size()),
                            X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr);
    X509_free(certificado);
    return r == 1;
#else
    Q_UNUSED(mysql);
    Q_UNUSED(host);
    return false;
#endif
}

bool verificar(QSqlDatabase &db, QString *error)
{
    if (!db.isOpen())
        return false;
    if (!pideCifrado(db.connectOptions()))
        return true;
    MYSQL *mysql = manejador(db);
    QString motivo;
    if (!mysql || !mysql_get_ssl_cipher(mysql))
        motivo = QStringLiteral("La conexion con el servidor no esta cifrada (el servidor no "
                                "ofrece TLS); fue cerrada sin usarla.");
    else if (!nombraAlServidor(mysql, Apertura::servidor(db.hostName())))
        motivo = QStringLiteral("El certificado del servidor no corresponde a %1; la conexion "
                                "fue cerrada sin usarla.")
                     .arg(Apertura::servidor(db.hostName()).trimmed());
    else
        return true;
    db.close();
    // Nothing left to open again: no password kept, and no registration under its name (every
    // copy of it stops working, and a later open() fails instead of going back unchecked).
    db.setPassword(QString());
    const QString nombre = db.connectionName();
    if (QSqlDatabase::contains(nombre))
        QSqlDatabase::removeDatabase(nombre);
    if (error)
        *error = motivo;
    return false;
}

bool abrir(QSqlDatabase &db, QString *error)
{
    if (!Apertura::registrar()) {
        if (error)
            *error = QStringLiteral("No se pudo preparar la conexion con el servidor (el "
                                    "cliente de la base no acepto el manejador de conexiones).");
        return false;
    }
    // Through the handler: the limits go on this connection's handle before its handshake.
    db.setHostName(Apertura::anteponer(db.hostName()));
    if (!db.open()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    return verificar(db, error);
}

} // namespace SesionCifrada
