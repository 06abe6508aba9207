#include "archivos.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

QByteArray leer(const QString &ruta)
{
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<ausente>");
}

void escribirArchivo(const QString &ruta, const QByteArray &contenido)
{
    QDir().mkpath(QFileInfo(ruta).path());
    QFile f(ruta);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(ruta));
    QCOMPARE(f.write(contenido), qint64(contenido.size()));
}

QString md5(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QJsonObject leerLibro(const QString &ruta)
{
    // Debian's python3-openpyxl belongs to the system's interpreter, which another python3
    // earlier on PATH may not see.
    QProcess py;
    py.start(QFile::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3", {"-c", R"(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.active
rows = [[[c.value, c.data_type] for c in r] for r in ws.iter_rows()]
print(json.dumps({"sheets": wb.sheetnames, "active": ws.title, "rows": rows,
                  "dims": ws.dimensions}))
)", ruta});
    if (!py.waitForFinished(30000) || py.exitCode() != 0) {
        qWarning() << "openpyxl:" << py.readAllStandardError();
        return {};
    }
    return QJsonDocument::fromJson(py.readAllStandardOutput()).object();
}

qint64 residenteKb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith("VmRSS:"))
            return l.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}
