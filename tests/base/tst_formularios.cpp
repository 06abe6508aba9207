// Every form, with the program's own font set-up, shows its single-line texts whole: the
// fixed geometries were drawn for a narrow Windows font, and a wider fallback cuts texts off.
#include "about/kolvasteracercade.h"
#include "base/kolvasterinterfaz.h"

#include "ui_kolvaster.h"
#include "ui_kolvasteracercade.h"
#include "ui_kolvastercclave.h"
#include "ui_kolvasterconndialog.h"
#include "ui_kolvastererrorhandler.h"
#include "ui_kolvasterexcelgen.h"
#include "ui_kolvasterhtmlviewer.h"
#include "ui_kolvasternewver.h"
#include "ui_kolvasterprocessdialog.h"
#include "ui_kolvasteruser.h"
#include "ui_kolvasteruserappinfo.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTest>

namespace {

QString sinAtajo(QString texto)
{
    return texto.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// The texts of the widgets under raiz that do not fit their widget, as "name: need > width".
QStringList recortados(QWidget *raiz)
{
    QStringList fallas;
    for (QLabel *l : raiz->findChildren<QLabel *>()) {
        const QString t = l->text();
        if (t.isEmpty() || l->wordWrap() || t.contains(QLatin1Char('\n'))
            || t.contains(QLatin1String("<br"), Qt::CaseInsensitive))
            continue;
        // A label's size hint is its text (plain or rich) plus its margin, indent and frame.
        const int necesita = l->sizeHint().width();
        if (necesita > l->width())
            fallas << QStringLiteral("%1 \"%2\": %3 > %4")
                          .arg(l->objectName(), t).arg(necesita).arg(l->width());
    }
    for (QAbstractButton *b : raiz->findChildren<QAbstractButton *>()) {
        const QString t = sinAtajo(b->text());
        if (t.isEmpty() || t.contains(QLatin1Char('\n')))
            continue;
        int necesita = 0, cabe = b->width();
        if (auto *p = qobject_cast<QPushButton *>(b)) {
            // What the style leaves for the label inside the button's frame.
            QStyleOptionButton opcion;
            opcion.initFrom(p);
            opcion.text = t;
            opcion.icon = p->icon();
            opcion.iconSize = p->iconSize();
            if (p->isDefault() || p->autoDefault())
                opcion.features |= QStyleOptionButton::AutoDefaultButton;
            cabe = p->style()->subElementRect(QStyle::SE_PushButtonContents, &opcion, p).width();
            necesita = p->fontMetrics().horizontalAdvance(t);
            if (!p->icon().isNull())
                necesita += p->iconSize().width() + 4;
        } else if (qobject_cast<QCheckBox *>(b) || qobject_cast<QRadioButton *>(b)) {
            // Indicator, spacing and text.
            necesita = b->sizeHint().width();
        } else {
            continue;
        }
        if (necesita > cabe)
            fallas << QStringLiteral("%1 \"%2\": %3 > %4")
                          .arg(b->objectName(), t).arg(necesita).arg(cabe);
    }
    return fallas;
}

template<typename Forma, typename Base>
QStringList revisar(const std::function<void(Forma &)> &completar = {})
{
    Base w;
    Forma f;
    f.setupUi(&w);
    if (completar)
        completar(f);
    w.show();
    QCoreApplication::processEvents();
    return recortados(&w);
}

} // namespace

class TstFormularios : public QObject
{
    Q_OBJECT

private slots:
    // Before any widget, as the programs do.
    void initTestCase()
    {
        kolvasterPrepararInterfaz();
        QVERIFY(kolvasterTraduccionCargada());
    }

    void laFuenteDeLosFormularios()
    {
        QFont f(QStringLiteral("MS Sans Serif"), 10);
        QCOMPARE(QFontInfo(f).family(), QString::fromLatin1(kolvasterFuenteFormularios));
    }

    void textosEnteros_data()
    {
        QTest::addColumn<QStringList>("fallas");
        QTest::newRow("principal") << revisar<Ui::KolvasterClass, QMainWindow>();
        // The link is written at construction: the default maker site, as shipped.
        QTest::newRow("acerca de") << revisar<Ui::KolvasterAcercaDe, QDialog>(
            [](Ui::KolvasterAcercaDe &f) {
                f.lab_varnoklink->setText(
                    KolvasterAcercaDe::enlace(QStringLiteral("http://www.example.org/")));
                f.lab_nombreprograma->setText(QStringLiteral("Kolvaster v5.2"));
            });
        QTest::newRow("contrasena") << revisar<Ui::KolvasterCClave, QDialog>();
        QTest::newRow("conexion") << revisar<Ui::KolvasterConnDialog, QDialog>();
        QTest::newRow("error") << revisar<Ui::KolvasterErrorHandler, QDialog>();
        QTest::newRow("exportacion") << revisar<Ui::KolvasterExcelGen, QDialog>();
        QTest::newRow("reporte") << revisar<Ui::KolvasterHTMLViewer, QDialog>();
        QTest::newRow("version") << revisar<Ui::KolvasterNewVer, QDialog>();
        QTest::newRow("espera") << revisar<Ui::KolvasterProcessDialog, QDialog>();
        QTest::newRow("accesos") << revisar<Ui::KolvasterUser, QDialog>();
        QTest::newRow("programa") << revisar<Ui::KolvasterUserAppInfo, QDialog>();
    }

    void textosEnteros()
    {
        QFETCH(QStringList, fallas);
        QVERIFY2(fallas.isEmpty(), qPrintable(fallas.join(QStringLiteral("; "))));
    }
};

QTEST_MAIN(TstFormularios)
#include "tst_formularios.moc"
