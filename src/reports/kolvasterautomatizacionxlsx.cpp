// The libxlsxwriter implementation of the automation layer (kolvasterautomatizacion.h): a
// small object tree application > workbooks > workbook > worksheets > sheet > range that keeps
// the cells in memory and writes a real .xlsx file when the workbook is saved, or, for a
// visible application, when its values are set (the temporary file is then opened with the
// desktop's spreadsheet program).
#include "kolvasterautomatizacion.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QPair>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QUrl>

#include <xlsxwriter.h>

#include <cstring>
#include <vector>

namespace {

struct Hoja {
    QString nombre;
    QMap<QPair<int, int>, QVariant> celdas; // (row, column), from 0: a double or a text
};

struct Libro {
    std::vector<Hoja> hojas;
    bool cerrado = false;
    QString mostradoEn; // the temporary file a visible application showed it in
};

// Writes the workbook as .xlsx to ruta; the error text, empty on success.
QString escribirXlsx(const Libro &libro, const QString &ruta)
{
    const QByteArray archivo = QFile::encodeName(ruta);
    QByteArray temporales = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options opciones;
    std::memset(&opciones, 0, sizeof opciones);
    opciones.tmpdir = temporales.data();
    lxw_workbook *wb = workbook_new_opt(archivo.constData(), &opciones);
    if (!wb)
        return QStringLiteral("No se pudo crear el libro en ") + ruta;

    QString error;
    for (const Hoja &hoja : libro.hojas) {
        const QByteArray nombre = hoja.nombre.toUtf8();
        lxw_worksheet *ws = workbook_add_worksheet(wb, nombre.constData());
        if (!ws) {
            error = QStringLiteral("Nombre de hoja invalido: ") + hoja.nombre;
            break;
        }
        for (auto c = hoja.celdas.cbegin(); c != hoja.celdas.cend() && error.isEmpty(); ++c) {
            const auto fila = static_cast<lxw_row_t>(c.key().first);
            const auto columna = static_cast<lxw_col_t>(c.key().second);
            lxw_error e;
            if (c.value().typeId() == QMetaType::Double) {
                e = worksheet_write_number(ws, fila, columna, c.value().toDouble(), nullptr);
            } else {
                const QByteArray texto = c.value().toString().toUtf8();
                e = worksheet_write_string(ws, fila, columna, texto.constData(), nullptr);
            }
            if (e != LXW_NO_ERROR)
                error = QStringLiteral("Celda fila %1, columna %2: %3")
                            .arg(c.key().first + 1)
                            .arg(c.key().second + 1)
                            .arg(QString::fromLatin1(lxw_strerror(e)));
        }
        if (!error.isEmpty())
            break;
    }
    const lxw_error cierre = workbook_close(wb);
    if (error.isEmpty() && cierre != LXW_NO_ERROR)
        error = QStringLiteral("No se pudo escribir ") + ruta + QStringLiteral(": ")
                + QString::fromLatin1(lxw_strerror(cierre));
    return error;
}

// A1-style address to (row, column) from 0; false when it is not one.
bool celda(const QString &direccion, int *fila, int *columna)
{
    static const QRegularExpression patron(QStringLiteral("^\\$?([A-Za-z]{1,3})\\$?([1-9][0-9]{0,6})$"));
    const QRegularExpressionMatch m = patron.match(direccion.trimmed());
    if (!m.hasMatch())
        return false;
    int c = 0;
    for (QChar letra : m.captured(1).toUpper())
        c = c * 26 + (letra.unicode() - 'A' + 1);
    *columna = c - 1;
    *fila = m.captured(2).toInt() - 1;
    return *columna < 16384 && *fila < 1048576;
}

// A value as the sheet keeps it: a number stays a number (a double), anything else is the text
// it converts to, never read as a number or a formula.
QVariant valorDeCelda(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return v.toDouble();
    default:
        return v.toString();
    }
}

bool nombreDeHojaValido(const QString &nombre)
{
    static const QRegularExpression prohibidos(QStringLiteral("[\\[\\]:*?/\\\\]"));
    return !nombre.isEmpty() && nombre.size() <= 31 && !nombre.contains(prohibidos)
           && !nombre.startsWith(QLatin1Char('\'')) && !nombre.endsWith(QLatin1Char('\''));
}

class Objeto : public KolvasterAutomatizacion
{
public:
    QString error() const override { return ultimoError; }

protected:
    KolvasterAutomatizacion *falla(const QString &texto)
    {
        ultimoError = texto;
        return nullptr;
    }
    QVariant fallaLlamada(const QString &texto)
    {
        ultimoError = texto;
        return QVariant();
    }
    template <class T> T *adoptar(std::unique_ptr<T> hijo)
    {
        T *p = hijo.get();
        hijos.push_back(std::move(hijo));
        return p;
    }
    static QString desconocido(const char *nombre)
    {
        return QStringLiteral("Miembro desconocido: ") + QString::fromLatin1(nombre);
    }

private:
    QString ultimoError;
    std::vector<std::unique_ptr<KolvasterAutomatizacion>> hijos;
};

class Aplicacion;

class Rango : public Objeto
{
public:
    Rango(Aplicacion *app, Libro *libro, Hoja *hoja, int f0, int c0, int f1, int c1)
        : app(app), libro(libro), hoja(hoja), f0(f0), c0(c0), f1(f1), c1(c1)
    {
    }
    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &,
                                            const QVariant &) override
    {
        return falla(desconocido(name));
    }
    QVariant dynamicCall(const char *function, const QVariant &var1) override;

private:
    Aplicacion *app;
    Libro *libro;
    Hoja *hoja;
    int f0, c0, f1, c1;
};

class HojaObjeto : public Objeto
{
public:
    HojaObjeto(Aplicacion *app, Libro *libro, Hoja *hoja) : app(app), libro(libro), hoja(hoja) {}
    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &var1,
                                            const QVariant &var2) override
    {
        if (libro->cerrado)
            return falla(QStringLiteral("El libro esta cerrado"));
        if (std::strcmp(name, "Range( const QString&, const QString&)") != 0)
            return falla(desconocido(name));
        int f0, c0, f1, c1;
        if (!celda(var1.toString(), &f0, &c0) || !celda(var2.toString(), &f1, &c1))
            return falla(QStringLiteral("Rango invalido: ") + var1.toString()
                         + QLatin1Char(':') + var2.toString());
        return adoptar(std::make_unique<Rango>(app, libro, hoja, qMin(f0, f1), qMin(c0, c1),
                                               qMax(f0, f1), qMax(c0, c1)));
    }
    QVariant dynamicCall(const char *function, const QVariant &var1) override
    {
        if (libro->cerrado)
            return fallaLlamada(QStringLiteral("El libro esta cerrado"));
        if (std::strcmp(function, "SetName(const QString&)") != 0)
            return fallaLlamada(desconocido(function));
        const QString nombre = var1.toString();
        if (!nombreDeHojaValido(nombre))
            return fallaLlamada(QStringLiteral("Nombre de hoja invalido: \"") + nombre
                                + QStringLiteral("\" (de 1 a 31 caracteres, sin [ ] : * ? / "
                                                 "\\ ni apostrofo al principio o al final)"));
        for (const Hoja &otra : libro->hojas)
            if (&otra != hoja && otra.nombre.compare(nombre, Qt::CaseInsensitive) == 0)
                return fallaLlamada(QStringLiteral("Ya existe una hoja llamada ") + nombre);
        hoja->nombre = nombre;
        return QVariant();
    }

private:
    Aplicacion *app;
    Libro *libro;
    Hoja *hoja;
};

class Hojas : public Objeto
{
public:
    Hojas(Aplicacion *app, Libro *libro) : app(app), libro(libro) {}
    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &var1,
                                            const QVariant &) override
    {
        if (std::strcmp(name, "Item( int )") != 0)
            return falla(desconocido(name));
        bool ok = false;
        const int i = var1.toInt(&ok);
        if (!ok || i < 1 || i > static_cast<int>(libro->hojas.size()))
            return falla(QStringLiteral("No existe la hoja ") + var1.toString());
        return adoptar(std::make_unique<HojaObjeto>(app, libro, &libro->hojas[i - 1]));
    }
    QVariant dynamicCall(const char *function, const QVariant &) override
    {
        return fallaLlamada(desconocido(function));
    }

private:
    Aplicacion *app;
    Libro *libro;
};

class LibroObjeto : public Objeto
{
public:
    explicit LibroObjeto(Aplicacion *app) : app(app)
    {
        libro.hojas.push_back(Hoja{QStringLiteral("Hoja1"), {}});
    }
    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &,
                                            const QVariant &) override
    {
        if (std::strcmp(name, "Worksheets") != 0)
            return falla(desconocido(name));
        return adoptar(std::make_unique<Hojas>(app, &libro));
    }
    QVariant dynamicCall(const char *function, const QVariant &var1) override
    {
        if (std::strcmp(function, "Close()") == 0) {
            libro.cerrado = true;
            return QVariant();
        }
        if (std::strcmp(function, "SaveAs( const QString&)") != 0)
            return fallaLlamada(desconocido(function));
        if (libro.cerrado)
            return fallaLlamada(QStringLiteral("El libro esta cerrado"));
        const QString destino = var1.toString();
        if (destino.isEmpty())
            return fallaLlamada(QStringLiteral("Falta el nombre del archivo"));
        // The workbook is written in full to a temporary file first and only then copied to
        // the target through QSaveFile, which replaces the target at once at commit(): no
        // half-written file under the target's name, even if the process dies meanwhile.
        QTemporaryFile temporal(QDir::tempPath() + QStringLiteral("/kolvaster-XXXXXX.xlsx"));
        if (!temporal.open())
            return fallaLlamada(QStringLiteral("No se pudo crear un archivo temporal: ")
                                + temporal.errorString());
        temporal.close();
        const QString error = escribirXlsx(libro, temporal.fileName());
        if (!error.isEmpty())
            return fallaLlamada(error);
        QFile hecho(temporal.fileName());
        QSaveFile salida(QFileInfo(destino).absoluteFilePath());
        if (!hecho.open(QIODevice::ReadOnly) || !salida.open(QIODevice::WriteOnly)
            || salida.write(hecho.readAll()) != hecho.size() || !salida.commit())
            return fallaLlamada(QStringLiteral("No se pudo escribir ") + destino
                                + QStringLiteral(": ") + salida.errorString());
        return QVariant();
    }

private:
    Aplicacion *app;
    Libro libro;
};

class Libros : public Objeto
{
public:
    explicit Libros(Aplicacion *app) : app(app) {}
    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &,
                                            const QVariant &) override
    {
        if (std::strcmp(name, "Add()") != 0)
            return falla(desconocido(name));
        return adoptar(std::make_unique<LibroObjeto>(app));
    }
    QVariant dynamicCall(const char *function, const QVariant &) override
    {
        return fallaLlamada(desconocido(function));
    }

private:
    Aplicacion *app;
};

class Aplicacion : public Objeto
{
public:
    KolvasterAutomatizacion *querySubObject(const char *name, const QVariant &,
                                            const QVariant &) override
    {
        if (terminada)
            return falla(QStringLiteral("La aplicacion termino"));
        if (std::strcmp(name, "Workbooks") != 0)
            return falla(desconocido(name));
        if (!libros)
            libros = adoptar(std::make_unique<Libros>(this));
        return libros;
    }
    QVariant dynamicCall(const char *function, const QVariant &var1) override
    {
        if (std::strcmp(function, "SetVisible(bool)") == 0) {
            visible = var1.toBool();
            return QVariant();
        }
        if (std::strcmp(function, "Quit()") == 0) {
            terminada = true;
            return QVariant();
        }
        return fallaLlamada(desconocido(function));
    }

    bool esVisible() const { return visible && !terminada; }

    // A visible application shows the workbook: written to a temporary .xlsx file that the
    // desktop's spreadsheet program opens (once; later changes rewrite the same file).
    QString mostrar(Libro *libro)
    {
        if (libro->mostradoEn.isEmpty()) {
            QTemporaryFile temporal(QDir::tempPath() + QStringLiteral("/kolvaster-XXXXXX.xlsx"));
            temporal.setAutoRemove(false);
            if (!temporal.open())
                return QStringLiteral("No se pudo crear un archivo temporal: ")
                       + temporal.errorString();
            libro->mostradoEn = temporal.fileName();
        }
        const QString error = escribirXlsx(*libro, libro->mostradoEn);
        if (!error.isEmpty())
            return error;
        if (!abierto.contains(libro->mostradoEn)) {
            // No program for it: the workbook stays in its file, for the user to find.
            if (!QDesktopServices::openUrl(QUrl::fromLocalFile(libro->mostradoEn)))
                sinMostrar = libro->mostradoEn;
            abierto.append(libro->mostradoEn);
        }
        return QString();
    }

    QString libroSinMostrar() const override { return sinMostrar; }

private:
    bool visible = false;
    bool terminada = false;
    Libros *libros = nullptr;
    QStringList abierto;
    QString sinMostrar;
};

QVariant Rango::dynamicCall(const char *function, const QVariant &var1)
{
    if (libro->cerrado)
        return fallaLlamada(QStringLiteral("El libro esta cerrado"));
    if (std::strcmp(function, "SetValue(const QVariant&)") != 0)
        return fallaLlamada(desconocido(function));
    // As the spreadsheet program does: a matrix fills the range from its top-left cell (what
    // falls outside the range is dropped), a single value fills every cell of it.
    if (var1.typeId() == QMetaType::QVariantList || var1.typeId() == QMetaType::QStringList) {
        const QVariantList filas = var1.toList();
        for (int i = 0; i < filas.size() && f0 + i <= f1; ++i) {
            const QVariantList fila = filas.at(i).toList();
            for (int j = 0; j < fila.size() && c0 + j <= c1; ++j)
                hoja->celdas.insert({f0 + i, c0 + j}, valorDeCelda(fila.at(j)));
        }
    } else {
        for (int f = f0; f <= f1; ++f)
            for (int c = c0; c <= c1; ++c)
                hoja->celdas.insert({f, c}, valorDeCelda(var1));
    }
    if (app->esVisible()) {
        const QString error = app->mostrar(libro);
        if (!error.isEmpty())
            return fallaLlamada(error);
    }
    return QVariant();
}

} // namespace

std::unique_ptr<KolvasterAutomatizacion> kolvasterCrearAutomatizacionXlsx(const QString &progId)
{
    if (progId.compare(QLatin1String("Excel.Application"), Qt::CaseInsensitive) != 0)
        return nullptr;
    return std::make_unique<Aplicacion>();
}
