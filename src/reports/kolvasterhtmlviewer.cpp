#include "kolvasterhtmlviewer.h"

#include "base/constantes.h"
#include "base/kolvasterprocessdialog.h"
#include "base/mensajes.h"
#include "kolvastermotorreportes.h"
#include "ui_kolvasterhtmlviewer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QMarginsF>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTableWidget>
#include <QTextStream>

namespace {

QString textoDe(const QTableWidgetItem *item)
{
    return item ? item->text() : QString();
}

// A text is a number when QString::toDouble (locale-independent: decimal point, no group
// separators) converts all of it; the empty text is not.
bool esNumero(const QString &texto)
{
    bool ok = false;
    texto.toDouble(&ok);
    return ok;
}

// A chart label as the inside of a JavaScript string literal within an HTML script block, so
// that it reaches the chart as typed: backslashes and line breaks escaped, and every "<" too,
// since "</script>" or "<!--" would end or bend the script block before the script runs.
QString literalDeScript(const QString &texto)
{
    QString r;
    r.reserve(texto.size());
    for (const QChar c : texto) {
        switch (c.unicode()) {
        case '\\':
            r += QLatin1String("\\\\");
            break;
        case '\n':
            r += QLatin1String("\\n");
            break;
        case '\r':
            r += QLatin1String("\\r");
            break;
        case '<':
            r += QLatin1String("\\x3C");
            break;
        case 0x2028:
        case 0x2029:
            r += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16);
            break;
        default:
            if (c.unicode() < 0x20)
                r += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else
                r += c;
        }
    }
    return r;
}

// A chart value goes into the script as it is only when it is a number literal of JavaScript
// (an optional sign, digits with an optional point, an optional exponent): anything else, such
// as "abc", "1);alert(1);(" or "inf", would be code or a reference, so it is written as a string
// and reaches the chart as data, which names it when it cannot draw it.
bool esLiteralNumerico(const QString &texto)
{
    static const QRegularExpression numero(QStringLiteral(
        "^\\s*[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?\\s*$"));
    return numero.match(texto).hasMatch();
}

} // namespace

KolvasterHTMLViewer::KolvasterHTMLViewer(const QString &titulo, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint),
      ui(new Ui::KolvasterHTMLViewer)
{
    iniciar(titulo);
}

KolvasterHTMLViewer::KolvasterHTMLViewer(QTableWidget *tabla, const QString &titulo,
                                         const QString &htmlPrevio, bool contarRegistros,
                                         QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint),
      ui(new Ui::KolvasterHTMLViewer)
{
    iniciar(titulo);

    source.clear();
    source += QStringLiteral("<html><head>");
    source += styleBlock();
    source += QStringLiteral("<title>") + titulo + QStringLiteral("</title></head><body><h2>")
              + titulo + QStringLiteral("</h2>");
    source += QStringLiteral("<p>Momento generacion: ")
              + QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yy hh:mm"))
              + QStringLiteral("</p>");
    source += htmlPrevio;
    source += QStringLiteral(
        "<p><table width=\"100%\" border=\"1\" cellpadding=\"6\" cellspacing=\"0\">");

    // No table at all reads as an empty one.
    QTableWidget vacia;
    if (!tabla)
        tabla = &vacia;
    QList<int> columnas;
    for (int c = 0; c < tabla->columnCount(); ++c)
        if (!tabla->isColumnHidden(c))
            columnas.append(c);

    source += QStringLiteral("<tr>");
    for (int c : columnas)
        source += QStringLiteral("<td>") + textoDe(tabla->horizontalHeaderItem(c))
                  + QStringLiteral("</td>");
    source += QStringLiteral("</tr>");

    int escritas = 0;
    for (int f = 0; f < tabla->rowCount(); ++f) {
        if (tabla->isRowHidden(f))
            continue;
        source += QStringLiteral("<tr>");
        for (int c : columnas) {
            const QString texto = textoDe(tabla->item(f, c)).trimmed();
            source += esNumero(texto) ? QStringLiteral("<td align=\"right\">")
                                      : QStringLiteral("<td>");
            source += texto + QStringLiteral("</td>");
        }
        source += QStringLiteral("</tr>");
        ++escritas;
    }
    source += QStringLiteral("</table></p>");
    if (contarRegistros)
        source += QStringLiteral("Cantidad de registros: ") + QString::number(escritas);
    source += QStringLiteral("</body></html>");
    mostrarFuente();
}

QString KolvasterHTMLViewer::addChart(const QString &chartClass, const QString &title,
                                      const QList<QStringList> &data, int width, int height)
{
    if (!chartPackages.contains(QStringLiteral("corechart"), Qt::CaseSensitive))
        chartPackages.append(QStringLiteral("corechart"));
    const QString n = QString::number(chartScripts.size());

    QString filas;
    for (int i = 0; i < data.size(); ++i) {
        QStringList celdas;
        const QStringList &fila = data.at(i);
        for (int j = 0; j < fila.size(); ++j) {
            QString celda = fila.at(j);
            celda.replace(QLatin1Char('\''), QLatin1Char('_'));
            celda.replace(QLatin1Char('"'), QLatin1Char('_'));
            if (i == 0 || j == 0 || !esLiteralNumerico(celda))
                celda = QLatin1Char('\'') + literalDeScript(celda) + QLatin1Char('\'');
            celdas.append(celda);
        }
        filas += QLatin1Char('[') + celdas.join(QLatin1Char(',')) + QLatin1Char(']');
        filas += i + 1 < data.size() ? QStringLiteral(",\n") : QStringLiteral("\n");
    }

    QString titulo = title;
    titulo.replace(QLatin1Char('"'), QLatin1Char('_'));
    titulo = literalDeScript(titulo);

    QString script;
    script += QStringLiteral("<script type=\"text/javascript\">\nfunction drawVisualization_");
    script += n;
    script += QStringLiteral(" () {\n// Create and populate the data table.\nvar data = "
                             "google.visualization.arrayToDataTable([\n");
    script += filas;
    script += QStringLiteral("]);\n\nnew google.visualization.");
    script += chartClass;
    script += QStringLiteral("(document.getElementById('visualization_");
    script += n;
    script += QStringLiteral("')).\n    draw(data, {title:\"");
    script += titulo;
    script += QStringLiteral("\"});\n}\n\ngoogle.setOnLoadCallback(drawVisualization_");
    script += n;
    script += QStringLiteral(");\n</script>\n\n");
    chartScripts.append(script);

    return QStringLiteral("<div id=\"visualization_") + n + QStringLiteral("\" style=\"width: ")
           + QString::number(width) + QStringLiteral("px; height: ") + QString::number(height)
           + QStringLiteral("px;\"></div>");
}

void KolvasterHTMLViewer::iniciar(const QString &titulo)
{
    ui->setupUi(this);
    ui->pb_saveSource->hide();
    // The button row keeps its height; the page takes the rest.
    ui->splitter->setStretchFactor(0, 0);
    ui->splitter->setStretchFactor(1, 1);
    setWindowTitle(titulo);

    // The form holds a plain widget where the page goes; the engine's view takes its place,
    // name and settings.
    motor = kolvasterMotorReportes(&errorMotor);
    if (!motor)
        return;
    QWidget *lugar = ui->wv_main;
    QWidget *vista = motor->crearVista(this);
    vista->setObjectName(lugar->objectName());
    vista->setMinimumSize(lugar->minimumSize());
    vista->setSizePolicy(lugar->sizePolicy());
    delete ui->splitter->replaceWidget(ui->splitter->indexOf(lugar), vista);
    ui->wv_main = vista;
    setTabOrder(vista, ui->pb_print);
    setTabOrder(ui->pb_print, ui->pb_pdf);
    connect(vista, SIGNAL(loadFinished(bool)), this, SLOT(terminoCarga(bool)));
}

KolvasterHTMLViewer::~KolvasterHTMLViewer()
{
    delete ui;
}

bool KolvasterHTMLViewer::disponible(QString *error)
{
    return kolvasterMotorReportes(error) != nullptr;
}

bool KolvasterHTMLViewer::sinMotor()
{
    if (motor)
        return false;
    Mensajes::advertencia(this, QStringLiteral("Atencion"), errorMotor);
    return true;
}

QMarginsF KolvasterHTMLViewer::margenes() const
{
    return QMarginsF(margenIzquierdo, margenSuperior, margenDerecho, margenInferior);
}

void KolvasterHTMLViewer::addStyleLine(const QString &line)
{
    estilosExtra.append(line.endsWith(QLatin1Char('\n')) ? line : line + QLatin1Char('\n'));
}

QString KolvasterHTMLViewer::styleBlock() const
{
    QString bloque = QStringLiteral("<style type=\"text/css\"> \n"
                                    "body { font-family: sans-serif, times; font-size: 12pt; } \n"
                                    "h1{font-size: 16pt; } \n"
                                    "h2{font-size: 14pt; } \n"
                                    "h3{font-size: 12pt; } \n"
                                    "h4{font-size: 12pt; } \n"
                                    "table{font-size: 12pt; } \n"
                                    "td.numeric{text-align: right; } \n");
    for (const QString &linea : estilosExtra)
        bloque += linea;
    bloque += QStringLiteral("\n</style>\n");
    return bloque;
}

void KolvasterHTMLViewer::setHtmlBody(const QString &body)
{
    source.clear();
    source += QStringLiteral("<html>\n");
    source += QStringLiteral("<head>\n");
    source += styleBlock();
    if (!chartScripts.isEmpty()) {
        source += QStringLiteral("<!--Load the AJAX API-->\n<script type=\"text/javascript\" src=\"")
                  + QLatin1String(KOLVASTER_CARGADOR_GRAFICOS)
                  + QStringLiteral("\"></script>\n<script type=\"text/javascript\">\n");
        for (const QString &paquete : chartPackages)
            source += QStringLiteral("google.load('visualization', '1.0', {'packages':['")
                      + paquete + QStringLiteral("']});\n");
        source += QStringLiteral("</script>\n");
        for (const QString &script : chartScripts)
            source += script;
    }
    source += QStringLiteral("<title>") + windowTitle() + QStringLiteral("</title>");
    source += QStringLiteral("</head>");
    source += QStringLiteral("<body>");
    source += QStringLiteral("<h2>") + windowTitle() + QStringLiteral("</h2>");
    source += body;
    source += QStringLiteral("</body>");
    mostrarFuente();
}

void KolvasterHTMLViewer::mostrarFuente()
{
    if (motor)
        motor->mostrar(ui->wv_main, source.toUtf8());
}

void KolvasterHTMLViewer::setPrintMargins(int left, int right, int top, int bottom)
{
    margenIzquierdo = left;
    margenDerecho = right;
    margenSuperior = top;
    margenInferior = bottom;
    margenesFijados = true;
}

void KolvasterHTMLViewer::showSourceButton()
{
    ui->pb_saveSource->show();
}

void KolvasterHTMLViewer::aplicarMargenes(QPrinter *printer) const
{
    const QMarginsF m = margenes();
    if (motor)
        motor->aplicarMargenes(printer, margenesFijados ? &m : nullptr);
}

void KolvasterHTMLViewer::terminoCarga(bool estado)
{
    Q_UNUSED(estado);
    ui->lab_lo->hide();
}

void KolvasterHTMLViewer::on_pb_pdf_clicked()
{
    if (sinMotor())
        return;
    const QString archivo =
        Mensajes::archivoGuardar(this, QStringLiteral("Guardar Reporte"), QDir::homePath(),
                                 QStringLiteral("Archivo PDF (*.pdf)"));
    if (archivo.isEmpty())
        return;

    KolvasterProcessDialog espera(QStringLiteral("Guardar Reporte"),
                                  QStringLiteral("Creando Archivo PDF"), this);
    espera.show();
    espera.repaint();
    QCoreApplication::processEvents();

    const QMarginsF m = margenes();
    const bool escrito = motor->guardarPdf(ui->wv_main, archivo, margenesFijados ? &m : nullptr);
    espera.hide();
    if (!escrito)
        noSeGuardo(archivo);
}

void KolvasterHTMLViewer::on_pb_print_clicked()
{
    if (sinMotor())
        return;
    const QMarginsF m = margenes();
    if (motor->imprimir(ui->wv_main, this, margenesFijados ? &m : nullptr)
        == KolvasterMotorReportes::Impresion::SinImpresora)
        Mensajes::advertencia(this, QStringLiteral("Impresion !"),
                              QStringLiteral("No se encuentra impresora valida ! No se puede "
                                             "imprimir !"));
}

bool KolvasterHTMLViewer::imprimir(QPrinter *printer)
{
    return motor && motor->imprimirEn(ui->wv_main, printer);
}

void KolvasterHTMLViewer::on_pb_saveSource_clicked()
{
    const QString archivo =
        Mensajes::archivoGuardar(this, QStringLiteral("Guardar source de reporte"), QString(),
                                 QStringLiteral("Archivo HTML (*.html *.htm)"));
    if (archivo.isEmpty())
        return;
    // Written beside the target and put in its place only when complete; where the folder
    // does not allow that, straight into the file.
    QSaveFile f(archivo);
    f.setDirectWriteFallback(true);
    if (f.open(QIODevice::WriteOnly | QIODevice::Text)) {
        QTextStream salida(&f);
        salida << source;
        salida.flush();
        if (salida.status() == QTextStream::Ok && f.commit())
            return;
    }
    noSeGuardo(archivo);
}

void KolvasterHTMLViewer::noSeGuardo(const QString &archivo)
{
    Mensajes::advertencia(this, QStringLiteral("Atencion"),
                          QStringLiteral("No se pudo guardar el archivo\n") + archivo);
}

void KolvasterHTMLViewer::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    if (e->type() == QEvent::LanguageChange)
        ui->retranslateUi(this);
}
