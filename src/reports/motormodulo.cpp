#include "motormodulo.h"

#include "kolvastermotorreportes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>

namespace {

QStringList &carpetasFijadas()
{
    static QStringList c;
    return c;
}

} // namespace

QString MotorModulo::nombreArchivo()
{
    return QStringLiteral(KOLVASTER_MODULO_REPORTES);
}

QStringList MotorModulo::carpetas()
{
    if (!carpetasFijadas().isEmpty())
        return carpetasFijadas();
    const QString propia = QCoreApplication::applicationDirPath();
    return {QDir::cleanPath(propia + QLatin1Char('/') + QStringLiteral(KOLVASTER_MODULO_CARPETA)),
            propia};
}

void MotorModulo::fijarCarpetas(const QStringList &c)
{
    carpetasFijadas() = c;
}

KolvasterMotorReportes *kolvasterMotorReportes(QString *error)
{
    // Loaded once and kept: the engine cannot be started twice in one process.
    static KolvasterMotorReportes *motor = nullptr;
    if (motor)
        return motor;

    QString ruta;
    for (const QString &carpeta : MotorModulo::carpetas()) {
        const QString candidata = QDir(carpeta).filePath(MotorModulo::nombreArchivo());
        if (QFileInfo(candidata).isFile()) {
            ruta = candidata;
            break;
        }
    }
    QString motivo;
    if (ruta.isEmpty()) {
        motivo = QStringLiteral("no se encuentra el archivo ") + MotorModulo::nombreArchivo()
                 + QStringLiteral(" en ") + MotorModulo::carpetas().join(QStringLiteral(", "));
    } else {
        QPluginLoader cargador(ruta);
        QObject *instancia = cargador.instance();
        motor = qobject_cast<KolvasterMotorReportes *>(instancia);
        if (!instancia)
            motivo = cargador.errorString();
        else if (!motor)
            motivo = ruta + QStringLiteral(": es de otra version del programa");
    }
    if (!motor && error)
        *error = QStringLiteral("No se puede cargar el modulo de reportes (") + motivo
                 + QStringLiteral("). Comunique novedad al Administrador de Sistemas !");
    return motor;
}
