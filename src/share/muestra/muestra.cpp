// Sample program of the suite. Started by the launcher with no arguments, it takes the
// session's connection data from the shared record, connects on its own, checks that the user
// may run it and shows the result, then a table read from the database as its user (the
// user's own program starts of the last month, per program; an administrator sees everyone's)
// with the reports and the export of the library kolvasterreportes:
//   "Reporte"            the table as a report page, then a page with a pie and a column chart
//   "Exportar"           the table as a workbook file (.xlsx) under a name the user chooses
//   "Abrir en planilla"  the same workbook opened with the desktop's spreadsheet program
// "Ayuda" > "Acerca de..." shows the program's change log and marks it read, so the launcher
// drops the alert on the program's icon at its next check.
// An optional argument names the system to read instead of the workstation's default one.

#include "inicios.h"

#include <kolvasteracercade.h>
#include <kolvasterclient.h>
#include <kolvastererrorhandler.h>
#include <kolvasterexcelgen.h>
#include <kolvasterhtmlviewer.h>
#include <kolvasterinterfaz.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QString tituloInicios = QStringLiteral("Inicios de programas del ultimo mes");

// The program's version and change log (HTML, newest entry first), shown by its About dialog.
const char *const versionMuestra = "v1.1";
const char *const changelogMuestra =
    "<br>12/2026 v1.1:<br />"
    "+ Ayuda / Acerca de... con este registro de cambios<br />"
    "+ Cada usuario ve sus propios inicios de programas; un administrador ve los de todos<br />"
    "+ Exportar agrega \".xlsx\" al nombre que no tiene extension<br />"
    "<br>11/2026 v1.0:<br />"
    "+ Datos de la sesion del lanzador y acceso a este programa<br />"
    "+ Inicios de programas del ultimo mes, con reporte, graficos y planilla<br />";

// Fills the table with the program starts of the last month, one row per program: the user's
// own, or everyone's. The record identifier (app_id) sits in a hidden first column, as in every
// table of the suite. A failed statement is answered with the error dialog, which ends the
// process.
void leerInicios(QTableWidget *tabla, QSqlDatabase *db, qint64 uid, const QString &programa,
                 bool todos)
{
    QSqlQuery q;
    if (!Inicios::leer(q, uid, todos)) {
        KolvasterErrorHandler::mostrar(db, uid, programa, q.lastError().text(),
                                       tabla->window());
        return;
    }
    tabla->setColumnCount(5);
    tabla->setHorizontalHeaderLabels({QStringLiteral("Id"), QStringLiteral("Programa"),
                                      QStringLiteral("Titulo"), QStringLiteral("Inicios"),
                                      QStringLiteral("Ultimo inicio")});
    tabla->setRowCount(0);
    while (q.next()) {
        const int f = tabla->rowCount();
        tabla->insertRow(f);
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem(q.value(c).toString());
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (c == 3)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            tabla->setItem(f, c, item);
        }
    }
    tabla->setColumnHidden(0, true);
    tabla->resizeColumnsToContents();
    tabla->horizontalHeader()->setStretchLastSection(true);
}

// "Reporte": the table page, then a page with the same numbers as charts.
void mostrarReporte(QTableWidget *tabla, QWidget *padre, const QString &usuario)
{
    {
        KolvasterHTMLViewer pagina(tabla, tituloInicios,
                                   QStringLiteral("<p>Usuario: ") + usuario + QStringLiteral("</p>"),
                                   true, padre);
        pagina.exec();
    }
    QList<QStringList> datos{{QStringLiteral("Programa"), QStringLiteral("Inicios")}};
    for (int f = 0; f < tabla->rowCount(); ++f)
        if (!tabla->isRowHidden(f))
            datos.append({tabla->item(f, 1)->text(), tabla->item(f, 3)->text()});
    KolvasterHTMLViewer graficos(QStringLiteral("Inicios por programa"), padre);
    const QString torta = graficos.addChart(QStringLiteral("PieChart"),
                                            QStringLiteral("Inicios por programa"), datos, 460, 340);
    const QString columnas = graficos.addChart(
        QStringLiteral("ColumnChart"), QStringLiteral("Inicios del ultimo mes"), datos, 460, 340);
    // Built with a public chart loader, the charts need the network; without it the page says
    // so and shows the numbers as a plain table.
    QString numeros;
    for (int i = 1; i < datos.size(); ++i)
        numeros += QStringLiteral("<tr><td>") + datos.at(i).at(0)
                   + QStringLiteral("</td><td align=\"right\">") + datos.at(i).at(1)
                   + QStringLiteral("</td></tr>");
    graficos.setHtmlBody(
        QStringLiteral("<p>Los mismos numeros del reporte anterior.</p>"
                       "<div id=\"sin_graficos\" style=\"display: none;\"><p>No se pudo cargar "
                       "la biblioteca de graficos (sin acceso a la red?). Los numeros:</p>"
                       "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\"><tr><td>"
                       "Programa</td><td>Inicios</td></tr>")
        + numeros + QStringLiteral("</table></div><table><tr><td>") + torta
        + QStringLiteral("</td><td>") + columnas
        + QStringLiteral("</td></tr></table><script type=\"text/javascript\">"
                         "window.addEventListener('load', function () { if (typeof google === "
                         "'undefined') document.getElementById('sin_graficos').style.display = "
                         "'block'; });</script>"));
    graficos.exec();
}

// "Exportar" (with a file name) and "Abrir en planilla" (without one).
void exportar(QTableWidget *tabla, QWidget *padre, QSqlDatabase *db, qint64 uid,
              const QString &programa, bool aArchivo)
{
    QString archivo;
    if (aArchivo) {
        // The generator asks itself before overwriting: the file dialog must not ask as well.
        archivo = QFileDialog::getSaveFileName(
            padre, QStringLiteral("Exportar a planilla"),
            QDir::home().filePath(QStringLiteral("inicios.xlsx")),
            QStringLiteral("Libro de Excel (*.xlsx)"), nullptr,
            QFileDialog::DontConfirmOverwrite);
        if (archivo.isEmpty())
            return;
        archivo = Inicios::conExtension(archivo, QStringLiteral("xlsx"));
    }
    bool hecho = false;
    {
        KolvasterExcelGen generador(db, uid, programa, padre);
        hecho = generador.exportTable(QStringLiteral("Inicios"), archivo, tabla);
    }
    if (hecho && aArchivo)
        QMessageBox::information(padre, QStringLiteral("Exportar"),
                                 QStringLiteral("Planilla guardada en\n") + archivo,
                                 QMessageBox::Ok);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Before the first widget: the forms' font and Qt's own texts in Spanish.
    kolvasterPrepararInterfaz();
    const QString sistemaPedido = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    // The program's name in the catalogue is its file name without the ".exe" the launcher adds.
    const QString programa =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();

    KolvasterClient cliente(sistemaPedido, nullptr);

    // The record's connection, refused when it should be encrypted and is not.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"));
    QString error;
    if (!cliente.conectar(db, &error)) {
        QMessageBox::critical(nullptr, QStringLiteral("Error !"),
                              QStringLiteral("No se pudo conectar a la base de datos:<br>")
                                  + error,
                              QMessageBox::Ok);
        return 0;
    }

    QString cuentaServidor;
    {
        QSqlQuery q(QStringLiteral("SELECT CURRENT_USER();"));
        if (q.next())
            cuentaServidor = q.value(0).toString();
    }

    KolvasterAcceso acceso;
    const QByteArray usuario = db.userName().toUtf8();
    const int id = acceso.idUsuario(usuario.constData());
    const bool permitido = acceso.accesoAplicacion(id, programa.toUtf8().constData());
    // The server as the launcher's user typed it (the connection itself holds it as the
    // library's connection handler takes it).
    const QString servidor = cliente.valor(QStringLiteral("HOST"));

    QDialog ventana;
    ventana.setObjectName(QStringLiteral("KolvasterMuestra"));
    ventana.setWindowTitle(QStringLiteral("Kolvaster - Programa de muestra"));
    auto *disposicion = new QVBoxLayout(&ventana);
    auto *barra = new QMenuBar;
    QMenu *ayuda = barra->addMenu(QStringLiteral("Ayuda"));
    QAction *acercaDe = ayuda->addAction(QStringLiteral("Acerca de..."));
    acercaDe->setObjectName(QStringLiteral("actionAcerca_de"));
    const QByteArray nombrePrograma = programa.toLatin1();
    QObject::connect(acercaDe, &QAction::triggered, &ventana, [&] {
        KolvasterAcercaDe acerca(id, nombrePrograma.constData(), versionMuestra,
                                 changelogMuestra, &ventana);
        acerca.exec();
    });
    disposicion->setMenuBar(barra);
    auto *titulo = new QLabel(QStringLiteral("<b>Conectado con la sesion del lanzador</b>"));
    disposicion->addWidget(titulo);
    auto *datos = new QFormLayout;
    auto fila = [&](const QString &etiqueta, const QString &valor, const char *nombre) {
        auto *l = new QLabel(valor);
        l->setObjectName(QString::fromLatin1(nombre));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        datos->addRow(etiqueta, l);
    };
    fila(QStringLiteral("Programa:"), programa, "lab_programa");
    fila(QStringLiteral("Servidor:"), servidor, "lab_servidor");
    fila(QStringLiteral("Sistema:"), db.databaseName(), "lab_sistema");
    fila(QStringLiteral("Usuario:"), db.userName(), "lab_usuario");
    fila(QStringLiteral("Cuenta en el servidor:"), cuentaServidor, "lab_cuenta");
    fila(QStringLiteral("Identificador (sysuser_id):"), QString::number(id), "lab_id");
    fila(QStringLiteral("Opciones:"), db.connectOptions(), "lab_opciones");
    fila(QStringLiteral("Acceso a este programa:"),
         permitido ? QStringLiteral("permitido") : QStringLiteral("NO permitido"), "lab_acceso");
    disposicion->addLayout(datos);

    const bool todos = Inicios::todosLosUsuarios(id, db.userName());
    auto *grupo = new QGroupBox(todos ? tituloInicios + QStringLiteral(" (todos los usuarios)")
                                      : QStringLiteral("Mis inicios de programas del ultimo mes"));
    auto *enGrupo = new QVBoxLayout(grupo);
    auto *tabla = new QTableWidget;
    tabla->setObjectName(QStringLiteral("tw_inicios"));
    tabla->setSelectionBehavior(QAbstractItemView::SelectRows);
    tabla->verticalHeader()->hide();
    QSqlDatabase *base = &db;
    leerInicios(tabla, base, id, programa, todos);
    enGrupo->addWidget(tabla);
    auto *acciones = new QHBoxLayout;
    auto *reporte = new QPushButton(QStringLiteral("Reporte"));
    reporte->setObjectName(QStringLiteral("pb_reporte"));
    auto *exportarArchivo = new QPushButton(QStringLiteral("Exportar"));
    exportarArchivo->setObjectName(QStringLiteral("pb_exportar"));
    auto *planilla = new QPushButton(QStringLiteral("Abrir en planilla"));
    planilla->setObjectName(QStringLiteral("pb_planilla"));
    for (QPushButton *b : {reporte, exportarArchivo, planilla}) {
        b->setAutoDefault(false);
        acciones->addWidget(b);
    }
    acciones->addStretch();
    enGrupo->addLayout(acciones);
    disposicion->addWidget(grupo, 1);
    const QString usuarioTexto = db.userName();
    QObject::connect(reporte, &QPushButton::clicked, &ventana,
                     [&] { mostrarReporte(tabla, &ventana, usuarioTexto); });
    QObject::connect(exportarArchivo, &QPushButton::clicked, &ventana,
                     [&] { exportar(tabla, &ventana, base, id, programa, true); });
    QObject::connect(planilla, &QPushButton::clicked, &ventana,
                     [&] { exportar(tabla, &ventana, base, id, programa, false); });

    auto *botones = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(botones, &QDialogButtonBox::rejected, &ventana, &QDialog::reject);
    disposicion->addWidget(botones);
    ventana.resize(720, 560);
    ventana.show();
    return app.exec();
}
