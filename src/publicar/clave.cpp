// kolvaster-publicar clave ARCHIVO: a new publisher's key pair.

#include "consola.h"
#include "orden.h"
#include "secreta.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sodium.h>
#include <unistd.h>

namespace {

using Consola::decir;
using Consola::fallar;

int clave(const Argumentos &a)
{
    const QString secreta = a.libres.at(0), publica = secreta + QStringLiteral(".pub");
    for (const QString &f : {secreta, publica})
        if (QFileInfo::exists(f) || QFileInfo(f).isSymLink())
            return fallar(QStringLiteral("%1 ya existe: no se reemplaza una clave").arg(f));

    unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    const QByteArray pub = QByteArray(reinterpret_cast<char *>(pk), sizeof pk).toBase64();
    QByteArray texto = Secreta::marca
                       + QByteArray(reinterpret_cast<char *>(sk), sizeof sk).toBase64() + '\n';
    sodium_memzero(sk, sizeof sk);

    // Created with mode 0600 and never over an existing file.
    const int fd = ::open(QFile::encodeName(secreta).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fallar(QStringLiteral("no se puede crear %1: %2")
                          .arg(secreta, QString::fromLocal8Bit(std::strerror(errno))));
    const bool escrita = ::write(fd, texto.constData(), size_t(texto.size())) == texto.size()
                         && ::fsync(fd) == 0;
    ::close(fd);
    sodium_memzero(texto.data(), size_t(texto.size()));
    QFile pf(publica);
    if (!escrita || !pf.open(QIODevice::NewOnly | QIODevice::WriteOnly)
        || pf.write(pub + '\n') != pub.size() + 1 || !pf.flush()) {
        QFile::remove(secreta);
        pf.remove();
        return fallar(QStringLiteral("no se pudo escribir el par de claves en %1").arg(secreta));
    }
    std::fprintf(stderr,
                 "clave secreta en %s (guardela lejos del servidor); clave publica en %s.\n"
                 "Para KOLVASTER_PUBLISHER_KEYS:\n",
                 secreta.toLocal8Bit().constData(), publica.toLocal8Bit().constData());
    decir(QString::fromLatin1(pub));
    return 0;
}

} // namespace

const Orden ordenClave{
    "clave", "clave ARCHIVO",
    "Crea un par de claves de editor: la secreta en ARCHIVO (modo 0600) y la publica en\n"
    "ARCHIVO.pub, para KOLVASTER_PUBLISHER_KEYS. Nunca reemplaza un archivo existente.\n",
    {}, {}, false, 1, 1, "clave necesita un ARCHIVO", clave};

QByteArray Secreta::leer(const QString &archivo, QString *error)
{
    QFile f(archivo);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no se puede leer la clave %1: %2").arg(archivo, f.errorString());
        return QByteArray();
    }
    const QByteArray linea = f.read(4096).trimmed();
    const auto r = QByteArray::fromBase64Encoding(linea.mid(int(std::strlen(marca))),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (linea.startsWith(QByteArray(marca).trimmed()) && r
        && r.decoded.size() == crypto_sign_SECRETKEYBYTES) {
        // The second half must be the public key of the first: a damaged file is no key.
        unsigned char pk[crypto_sign_PUBLICKEYBYTES], sk[crypto_sign_SECRETKEYBYTES];
        crypto_sign_seed_keypair(pk, sk,
                                 reinterpret_cast<const unsigned char *>(r.decoded.constData()));
        const bool igual = sodium_memcmp(sk, r.decoded.constData(), sizeof sk) == 0;
        sodium_memzero(sk, sizeof sk);
        if (igual)
            return r.decoded;
    }
    *error = QStringLiteral("%1 no es una clave secreta de kolvaster-publicar").arg(archivo);
    return QByteArray();
}
