#pragma once

#include "kolvasterautomatizacion.h"

#include <QDialog>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class QTableWidget;

namespace Ui {
class KolvasterExcelGen;
}

// Spreadsheet export of a table widget's visible contents: a small modal wait
// window, shown from construction on, that fills a workbook through the automation layer of
// kolvasterautomatizacion.h.
//
//   KolvasterExcelGen gen(&db, uid, "MiPrograma", this);
//   gen.exportTable("Hoja", "/ruta/archivo.xlsx", tabla);   // saved, program told to quit
//   gen.exportTable("Hoja", QString(), tabla);              // opened for the user, not saved
//
// The wait window stays shown after the export; the caller closes or destroys it.
class KolvasterExcelGen : public QDialog
{
    Q_OBJECT

public:
    explicit KolvasterExcelGen(QWidget *parent = nullptr);
    // The database, user identifier and program name are kept only for the error dialog
    // raised by a table wider than 30 columns.
    KolvasterExcelGen(QSqlDatabase *db, qint64 uid, const QString &programa,
                      QWidget *parent = nullptr);
    ~KolvasterExcelGen() override;

    // True when the workbook was filled (saved under fileName, or, with an empty fileName,
    // opened for the user; with no spreadsheet program to open it, a warning says where it was
    // left). False when the user declined to overwrite an existing target, the old target
    // cannot be replaced, the table has no visible column or the spreadsheet program failed;
    // the last three are told with a warning box. An existing target is only ever replaced by
    // a complete new workbook: a failed export leaves it as it was.
    // Cells that hold a plain decimal number (at most 15 significant digits) are written as
    // numbers, every other cell and the header row as their text; the sheet name is made one
    // the file format accepts ([ ] : * ? / \ become "_", at most 31 characters).
    bool exportTable(const QString &sheetName, const QString &fileName, QTableWidget *table);

    // The n-th column name, from 1 ("A") to 30 ("AD"). Beyond 30: the error dialog of the
    // column limit, which ends the process.
    QString columnLetter(int n);

    // Which automation object "Excel.Application" is; by default the libxlsxwriter one. An
    // empty function restores the default.
    static void setFabricaAutomatizacion(KolvasterFabricaAutomatizacion fabrica);

private:
    void iniciar();
    bool fallo(const QString &detalle);
    void permisos(const QString &archivo);

    Ui::KolvasterExcelGen *ui;
    QStringList letras;
    QSqlDatabase *database = nullptr;
    qint64 uid = 0;
    QString programa;
    QSqlDatabase sinBase; // the empty handle reported by the parent-only constructor
};
