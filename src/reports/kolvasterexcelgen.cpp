#include "kolvasterexcelgen.h"

#include "base/mensajes.h"
#include "errors/kolvastererrorhandler.h"
#include "ui_kolvasterexcelgen.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTableWidget>

namespace {

KolvasterFabricaAutomatizacion &fabrica()
{
    static KolvasterFabricaAutomatizacion f;
    return f;
}

QString textoDe(const QTableWidgetItem *item)
{
    return item ? item->text() : QString();
}

// A cell as a spreadsheet program reads what is typed into it, without ever losing a digit or
// evaluating anything: a plain decimal number (an optional "-", digits without a superfluous
// leading zero, optionally "." and digits; blanks around it ignored) of at most 15 significant
// digits, which a double holds exactly, is a number; anything else ("00123", "1,5", "+5",
// "1e5", a formula, a long code) is the text as it stands in the table.
QVariant valorDeCelda(const QString &texto)
{
    static const QRegularExpression decimal(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?$"));
    const QString limpio = texto.trimmed();
    if (!decimal.match(limpio).hasMatch())
        return texto;
    // Significant digits: all of them but the zeros before the first other digit.
    QString digitos = limpio;
    digitos.remove(QLatin1Char('-')).remove(QLatin1Char('.'));
    int cifras = digitos.size();
    for (int i = 0; i < digitos.size() && digitos.at(i) == QLatin1Char('0'); ++i)
        --cifras;
    if (cifras > 15)
        return texto;
    return limpio.toDouble() + 0.0; // "-0" is 0
}

// The sheet name the file format accepts: each of [ ] : * ? / \ (and an apostrophe at either
// end) becomes "_", cut to 31 characters; nothing left gives the name a new sheet has.
QString nombreDeHoja(const QString &pedido)
{
    static const QRegularExpression prohibidos(QStringLiteral("[\\[\\]:*?/\\\\]"));
    QString nombre = pedido;
    nombre.replace(prohibidos, QStringLiteral("_"));
    if (nombre.size() > 31)
        nombre.truncate(nombre.at(30).isHighSurrogate() ? 30 : 31);
    if (nombre.startsWith(QLatin1Char('\'')))
        nombre[0] = QLatin1Char('_');
    if (nombre.endsWith(QLatin1Char('\'')))
        nombre[nombre.size() - 1] = QLatin1Char('_');
    return nombre.isEmpty() ? QStringLiteral("Hoja1") : nombre;
}

// An existing target that the finished workbook can take the place of: a file (not a
// folder) in a folder where a new file can be created and renamed over it.
bool sePuedeReemplazar(const QString &archivo)
{
    const QFileInfo destino(archivo);
    return destino.isFile() && QFileInfo(destino.absolutePath()).isWritable();
}

} // namespace

KolvasterExcelGen::KolvasterExcelGen(QWidget *parent) : QDialog(parent), ui(new Ui::KolvasterExcelGen)
{
    iniciar();
}

KolvasterExcelGen::KolvasterExcelGen(QSqlDatabase *db, qint64 uid, const QString &programa,
                                     QWidget *parent)
    : QDialog(parent), ui(new Ui::KolvasterExcelGen), database(db), uid(uid), programa(programa)
{
    iniciar();
}

KolvasterExcelGen::~KolvasterExcelGen()
{
    delete ui;
}

void KolvasterExcelGen::iniciar()
{
    ui->setupUi(this);
    setMinimumSize(size());
    setMaximumSize(size());
    setModal(true);
    show();
    for (char c = 'A'; c <= 'Z'; ++c)
        letras << QString(QLatin1Char(c));
    letras << QStringLiteral("AA") << QStringLiteral("AB") << QStringLiteral("AC")
           << QStringLiteral("AD");
}

void KolvasterExcelGen::setFabricaAutomatizacion(KolvasterFabricaAutomatizacion f)
{
    fabrica() = std::move(f);
}

QString KolvasterExcelGen::columnLetter(int n)
{
    if (n >= 1 && n <= letras.size())
        return letras.at(n - 1);
    // A generator built with the parent-only constructor has no database, user or program
    // name: it reports with an empty database handle, user 0 ("(USUARIO DESCONOCIDO)") and the
    // application's own name.
    QSqlDatabase *db = database ? database : &sinBase;
    const QString nombre = database ? programa : QCoreApplication::applicationName();
    KolvasterErrorHandler::mostrar(
        db, uid, nombre,
        QStringLiteral("KolvasterExcelGen: cantidad de columnas demasiado extensa! Programar "
                       "mapeo para mas columnas!"),
        nullptr);
    // Only reached when a test intercepts the end of the process.
    return QString();
}

void KolvasterExcelGen::permisos(const QString &archivo)
{
    Mensajes::advertencia(this, QStringLiteral("Atencion"),
                          QStringLiteral("No tiene permisos para escribir en archivo de destino. "
                                         "La operacion no puede ejecutarse.\n\n")
                              + archivo);
}

bool KolvasterExcelGen::fallo(const QString &detalle)
{
    Mensajes::advertencia(this, QStringLiteral("Atencion"),
                          QStringLiteral("La planilla no pudo completarse.\n\n")
                              + detalle);
    return false;
}

bool KolvasterExcelGen::exportTable(const QString &sheetName, const QString &fileName,
                                    QTableWidget *table)
{
    QTableWidget vacia; // no table at all reads as an empty one
    if (!table)
        table = &vacia;
    QList<int> columnas;
    for (int c = 0; c < table->columnCount(); ++c)
        if (!table->isColumnHidden(c))
            columnas.append(c);
    // Left open by the design: without a visible column there is no bottom-right address.
    if (columnas.isEmpty()) {
        Mensajes::advertencia(this, QStringLiteral("Atencion"),
                              QStringLiteral("La tabla no tiene columnas visibles. No hay nada "
                                             "que exportar."));
        return false;
    }

    // 1. The existing target.
    if (!fileName.isEmpty() && QFile::exists(fileName)) {
        if (!Mensajes::confirmar(this, QStringLiteral("Atencion"),
                                 QStringLiteral("El archivo\n") + fileName
                                     + QStringLiteral("\nya existe. Desea sobreescribirlo?")))
            return false;
        // The old file stays where it is until the new workbook, written in full beside it,
        // takes its place at once (SaveAs): a failed export leaves it untouched.
        if (!sePuedeReemplazar(fileName)) {
            permisos(fileName);
            return false;
        }
    }

    // 2. The wait window, painted once.
    show();
    QCoreApplication::processEvents();

    // 3. The application.
    const QString progId = QStringLiteral("Excel.Application");
    std::unique_ptr<KolvasterAutomatizacion> excel =
        fabrica() ? fabrica()(progId) : kolvasterCrearAutomatizacionXlsx(progId);
    if (!excel)
        return fallo(QStringLiteral("No se encuentra el programa de planillas (") + progId
                     + QStringLiteral(")."));
    auto llamada = [](KolvasterAutomatizacion *o, const char *f, const QVariant &v = QVariant()) {
        o->dynamicCall(f, v);
        return o->error();
    };
    auto subobjeto = [](KolvasterAutomatizacion *o, const char *f, QString *error,
                        const QVariant &v1 = QVariant(), const QVariant &v2 = QVariant()) {
        KolvasterAutomatizacion *hijo = o->querySubObject(f, v1, v2);
        *error = hijo ? QString() : o->error();
        if (!hijo && error->isEmpty())
            *error = QStringLiteral("No se obtuvo ") + QString::fromLatin1(f);
        return hijo;
    };
    QString error;
    if (fileName.isEmpty() && !(error = llamada(excel.get(), "SetVisible(bool)", true)).isEmpty())
        return fallo(error);

    // 4. Workbook, first sheet, its name.
    KolvasterAutomatizacion *libros = subobjeto(excel.get(), "Workbooks", &error);
    if (!libros)
        return fallo(error);
    KolvasterAutomatizacion *libro = subobjeto(libros, "Add()", &error);
    if (!libro)
        return fallo(error);
    KolvasterAutomatizacion *hojas = subobjeto(libro, "Worksheets", &error);
    if (!hojas)
        return fallo(error);
    KolvasterAutomatizacion *hoja = subobjeto(hojas, "Item( int )", &error, 1);
    if (!hoja)
        return fallo(error);
    if (!(error = llamada(hoja, "SetName(const QString&)", nombreDeHoja(sheetName))).isEmpty())
        return fallo(error);

    // 5. The value matrix: the header row (texts), then the visible rows (numbers and texts).
    QVariantList matriz;
    QVariantList encabezado;
    for (int c : columnas)
        encabezado.append(textoDe(table->horizontalHeaderItem(c)));
    matriz.append(QVariant(encabezado));
    for (int f = 0; f < table->rowCount(); ++f) {
        if (table->isRowHidden(f))
            continue;
        QVariantList fila;
        for (int c : columnas)
            fila.append(valorDeCelda(textoDe(table->item(f, c))));
        matriz.append(QVariant(fila));
    }

    // 6. The bottom-right address.
    const QString letra = columnLetter(columnas.size());
    if (letra.isEmpty())
        return false; // the column-limit error (only returns when a test intercepts the exit)
    const QString esquina = letra + QString::number(matriz.size());

    // 7. The values, in one call.
    KolvasterAutomatizacion *rango =
        subobjeto(hoja, "Range( const QString&, const QString&)", &error,
                  QStringLiteral("A1"), esquina);
    if (!rango)
        return fallo(error);
    if (!(error = llamada(rango, "SetValue(const QVariant&)", QVariant(matriz))).isEmpty())
        return fallo(error);
    // Filled, but with nothing to show it in: the user is told where to find it.
    if (fileName.isEmpty()) {
        const QString dejado = excel->libroSinMostrar();
        if (!dejado.isEmpty())
            Mensajes::advertencia(this, QStringLiteral("Atencion"),
                                  QStringLiteral("No hay un programa de planillas para abrir el "
                                                 "libro.\n\nEl libro quedo en\n")
                                      + dejado);
    }

    // 8. Saved, closed and quit, only with a file name.
    if (!fileName.isEmpty()) {
        if (!(error = llamada(libro, "SaveAs( const QString&)", fileName)).isEmpty()) {
            llamada(libro, "Close()");
            llamada(excel.get(), "Quit()");
            return fallo(QStringLiteral("No se pudo guardar el archivo\n") + fileName
                         + QStringLiteral("\n\n") + error);
        }
        if (!(error = llamada(libro, "Close()")).isEmpty())
            return fallo(error);
        if (!(error = llamada(excel.get(), "Quit()")).isEmpty())
            return fallo(error);
    }
    return true;
}
