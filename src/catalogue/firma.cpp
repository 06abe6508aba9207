#include "firma.h"

#include <QFile>

#include <openssl/evp.h>
#include <sodium.h>

namespace Firma {

namespace {

bool sodio()
{
    static const bool listo = sodium_init() >= 0;
    return listo;
}

} // namespace

QByteArray mensaje(const QString &nombre, qint64 version, const QByteArray &sha256Hex,
                   qint64 largo)
{
    return QByteArrayLiteral("kolvaster-programa-1\n") + nombre.toUtf8() + '\n'
           + QByteArray::number(version) + '\n' + sha256Hex.toLower() + '\n'
           + QByteArray::number(largo) + '\n';
}

std::optional<QByteArray> clavePublica(const QByteArray &base64)
{
    const auto r = QByteArray::fromBase64Encoding(base64.trimmed(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!r || r.decoded.size() != largoClave)
        return std::nullopt;
    return r.decoded;
}

QByteArray base64(const QByteArray &bytes)
{
    return bytes.toBase64();
}

QList<QByteArray> claves(const QByteArray &lista)
{
    QList<QByteArray> r;
    for (const QByteArray &parte : lista.split(';'))
        if (const auto c = clavePublica(parte))
            r.append(*c);
    return r;
}

bool verifica(const QByteArray &clave, const QByteArray &firma, const QByteArray &mensaje)
{
    if (!sodio() || clave.size() != largoClave || firma.size() != largoFirma)
        return false;
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char *>(firma.constData()),
               reinterpret_cast<const unsigned char *>(mensaje.constData()),
               quint64(mensaje.size()), reinterpret_cast<const unsigned char *>(clave.constData()))
           == 0;
}

QByteArray firmar(const QByteArray &secreta, const QByteArray &mensaje)
{
    if (!sodio() || secreta.size() != largoSecreta)
        return QByteArray();
    QByteArray firma(largoFirma, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(firma.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(mensaje.constData()),
                         quint64(mensaje.size()),
                         reinterpret_cast<const unsigned char *>(secreta.constData()));
    return firma;
}

struct Sha256::Estado {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
};

Sha256::Sha256() : e(new Estado)
{
    EVP_DigestInit_ex(e->ctx, EVP_sha256(), nullptr);
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(e->ctx);
    delete e;
}

void Sha256::agregar(const char *datos, qint64 n)
{
    EVP_DigestUpdate(e->ctx, datos, size_t(n));
}

QByteArray Sha256::hex()
{
    unsigned char r[EVP_MAX_MD_SIZE];
    unsigned int largo = 0;
    EVP_DigestFinal_ex(e->ctx, r, &largo);
    return QByteArray(reinterpret_cast<char *>(r), int(largo)).toHex();
}

std::optional<qint64> versionInstalada(const QString &archivoVersion)
{
    QFile f(archivoVersion);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 v = f.read(32).trimmed().toLongLong(&ok);
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

} // namespace Firma
