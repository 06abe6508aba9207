// The wait window: what it shows and that it stays out of the way until the caller shows it.
#include "base/kolvasterprocessdialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>

class TstProcessDialog : public QObject
{
    Q_OBJECT

private slots:
    void estadoInicialYDetalle()
    {
        QWidget padre;
        padre.show();
        KolvasterProcessDialog d("Conectando a servidor:", "db.example", &padre);
        QVERIFY(!d.isVisible());
        QVERIFY(d.isModal());
        QCOMPARE(d.windowTitle(), QString("Procesando..."));
        QCOMPARE(d.size(), QSize(330, 249));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        auto *uno = d.findChild<QLabel *>("lab_detuno");
        auto *dos = d.findChild<QLabel *>("lab_detdos");
        QCOMPARE(uno->text(), QString("Conectando a servidor:"));
        QCOMPARE(dos->text(), QString("db.example"));
        QVERIFY(dos->font().bold());

        d.show();
        auto *barra = d.findChild<QProgressBar *>("pb");
        auto *aguarde = d.findChild<QLabel *>("lab_aguarde");
        QVERIFY(!barra->isVisible());
        QVERIFY(aguarde->isVisible());
        QCOMPARE(aguarde->text(), QString("Por favor aguarde..."));

        d.setDetalle("otra", "cosa");
        QCOMPARE(uno->text() + dos->text(), QString("otracosa"));
        d.mostrarProgreso();
        QVERIFY(barra->isVisible());
        QVERIFY(!aguarde->isVisible());

        // Bytes received of a transfer of 5 GB: the bar follows them; a total of 0 brings the
        // waiting text back.
        d.setProgreso(1250LL << 20, 5000LL << 20);
        QCOMPARE(barra->value() * 4, barra->maximum());
        d.setProgreso(0, 0);
        QVERIFY(!barra->isVisible());
        QVERIFY(aguarde->isVisible());
    }
};

QTEST_MAIN(TstProcessDialog)
#include "tst_processdialog.moc"
