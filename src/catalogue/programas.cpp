#include "programas.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

namespace Programas {

bool nombreSeguro(const QString &nombre)
{
    if (nombre.isEmpty() || nombre == QLatin1String(".") || nombre == QLatin1String(".."))
        return false;
    static const QString prohibidos = QStringLiteral("/\\<>:\"|?*");
    for (const QChar c : nombre) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || prohibidos.contains(c))
            return false;
    }
    return true;
}

bool esPrograma(const QString &archivo)
{
    return archivo.endsWith(QLatin1String(sufijoPrograma));
}

std::optional<bool> digestCoincide(const QString &archivoDigest, const QString &digestServidor)
{
    QFile f(archivoDigest);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    const QString linea = QString::fromLatin1(f.readLine()).trimmed();
    return linea == digestServidor;
}

QString md5(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

Escritura escribir(const QString &dir, const QString &nombre, const QByteArray &binario,
                   const QString &digest)
{
    if (!nombreSeguro(nombre))
        return Escritura::NombreInvalido;
    if (md5(binario).compare(digest, Qt::CaseInsensitive) != 0)
        return Escritura::DigestDistinto;

    QSaveFile programa(dir + QLatin1Char('/') + nombre + QLatin1String(sufijoPrograma));
    if (!programa.open(QIODevice::WriteOnly))
        return Escritura::FalloPrograma;
    // Set on the temporary file, so the program appears already with its final mode.
    programa.setPermissions(QFileDevice::ReadUser | QFileDevice::WriteUser
                            | QFileDevice::ExeUser);
    if (programa.write(binario) != binario.size() || !programa.commit())
        return Escritura::FalloPrograma;

    QSaveFile suma(programa.fileName() + QLatin1String(sufijoDigest));
    if (!suma.open(QIODevice::WriteOnly))
        return Escritura::FalloDigest;
    const QByteArray texto = digest.toLatin1();
    if (suma.write(texto) != texto.size() || !suma.commit())
        return Escritura::FalloDigest;
    return Escritura::Hecha;
}

} // namespace Programas
