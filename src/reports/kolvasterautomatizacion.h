#pragma once

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

// The automation layer between the spreadsheet export (KolvasterExcelGen) and a
// spreadsheet program. It mirrors the part of ActiveQt's QAxObject that the export uses, so a
// Windows build can put the real "Excel.Application" object behind it (one small wrapper class
// forwarding querySubObject and dynamicCall to a QAxObject and keeping the text of its
// exception() signal). The export makes exactly these calls, in this order:
//
//   application  = create("Excel.Application")
//   application  dynamicCall("SetVisible(bool)", true)           only without a file name
//   workbooks    = application querySubObject("Workbooks")
//   workbook     = workbooks   querySubObject("Add()")
//   worksheets   = workbook    querySubObject("Worksheets")
//   sheet        = worksheets  querySubObject("Item( int )", 1)
//   sheet        dynamicCall("SetName(const QString&)", sheet name)
//   range        = sheet       querySubObject("Range( const QString&, const QString&)", "A1", "C11")
//   range        dynamicCall("SetValue(const QVariant&)", rows)  a QVariantList of QVariantLists:
//                                                               a double is a number, a string a
//                                                               text kept as given
//   workbook     dynamicCall("SaveAs( const QString&)", file)    only with a file name
//   workbook     dynamicCall("Close()")                          only with a file name
//   application  dynamicCall("Quit()")                           only with a file name
//
// The implementation of this build (kolvasterCrearAutomatizacionXlsx) writes .xlsx workbooks
// with libxlsxwriter.
class KolvasterAutomatizacion
{
public:
    virtual ~KolvasterAutomatizacion() = default;

    // The named sub-object, owned by this object (it lives as long as this one), or nullptr
    // when there is none.
    virtual KolvasterAutomatizacion *querySubObject(const char *name,
                                                    const QVariant &var1 = QVariant(),
                                                    const QVariant &var2 = QVariant()) = 0;
    // Calls a member; the result of a call without one is an invalid QVariant.
    virtual QVariant dynamicCall(const char *function, const QVariant &var1 = QVariant()) = 0;
    // The description of the last failed call of this object; empty while every call worked.
    virtual QString error() const = 0;
    // Of a visible application: the file where it left a workbook that no program on this
    // machine could show; empty when it was shown (or nothing was left in a file).
    virtual QString libroSinMostrar() const { return QString(); }
};

// Creates the automation object of a program identifier ("Excel.Application"); nullptr when
// the program is not available.
using KolvasterFabricaAutomatizacion =
    std::function<std::unique_ptr<KolvasterAutomatizacion>(const QString &progId)>;

// The libxlsxwriter implementation: "Excel.Application" is a spreadsheet application that
// saves .xlsx workbooks with SaveAs and, when made visible, shows the workbook as soon as its
// values are set: it writes it to a temporary .xlsx file and opens that file with the desktop's
// spreadsheet program (QDesktopServices::openUrl), leaving it to the user. Other identifiers
// give nullptr.
std::unique_ptr<KolvasterAutomatizacion> kolvasterCrearAutomatizacionXlsx(const QString &progId);
