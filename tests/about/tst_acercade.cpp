// The About dialog: name and version, the read mark of the change log, the maker's link and
// the hidden panel.
#include "about/changelog.h"
#include "about/kolvasteracercade.h"
#include "base/constantes.h"
#include "guion.h"
#include "testdb.h"
#include "ui_kolvasteracercade.h"

#include <QDesktopServices>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

namespace {
QVariant leido(qint64 uid, qint64 app)
{
    return TestDb::valor("SELECT clogleido FROM sysuserapp WHERE sysuser_id=? AND app_id=?",
                         {uid, app});
}
} // namespace

class TstAcercaDe : public QObject
{
    Q_OBJECT

    qint64 ana = 0, beto = 0, propia = 0, otra = 0;

private slots:
    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), "Ana");
        beto = TestDb::crearUsuario(TestDb::cuenta("beto"), "Beto");
        propia = TestDb::crearApp("Kolvaster", "Kolvaster", QByteArray("x"));
        otra = TestDb::crearApp("ventas", "Ventas", QByteArray("x"));
        TestDb::abrirSesion(TestDb::cuenta("ana"), TestDb::clave("ana"));
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void marcaLeidoSoloParaElUsuario()
    {
        TestDb::otorgar(ana, propia, false);
        TestDb::otorgar(ana, otra, false);
        TestDb::otorgar(beto, propia, false);
        KolvasterAcercaDe d(ana, "Kolvaster", "v5.2", "<b>log</b>");
        QCOMPARE(leido(ana, propia).toInt(), 1);
        QCOMPARE(leido(ana, otra).toInt(), 0);
        QCOMPARE(leido(beto, propia).toInt(), 0);
        QCOMPARE(d.lab_nombreprograma->text(), QString("Kolvaster v5.2"));
        QCOMPARE(d.textbrowser_changelog->toPlainText(), QString("log"));
    }

    // An unset mark counts as unread in the program list, so opening the dialog settles it too.
    void marcaNulaTambien()
    {
        TestDb::otorgar(ana, propia, QVariant(QMetaType(QMetaType::Bool)));
        KolvasterAcercaDe d(ana, "Kolvaster", "v5.2", "");
        QCOMPARE(leido(ana, propia).toInt(), 1);
    }

    void sinProgramaNadaCambia()
    {
        TestDb::otorgar(ana, otra, false);
        KolvasterAcercaDe d(ana, "Otro", "v1", "");
        QCOMPARE(leido(ana, otra).toInt(), 0);
    }

    // Failures of the mark are swallowed: the dialog opens all the same.
    void sinConexionAbreIgual()
    {
        TestDb::otorgar(ana, propia, false);
        TestDb::cerrarSesion();
        KolvasterAcercaDe d(ana, "Kolvaster", "v5.2", "x");
        QCOMPARE(d.lab_nombreprograma->text(), QString("Kolvaster v5.2"));
        QCOMPARE(leido(ana, propia).toInt(), 0);
    }

    void enlaceDelFabricante()
    {
        Navegador navegador;
        KolvasterAcercaDe d(ana, "Kolvaster", "v5.2", "");
        QVERIFY(d.lab_varnoklink->text().contains(
            "href=\"http://" + QString(KOLVASTER_MAKER_HOST) + "/\""));
        emit d.lab_varnoklink->linkActivated("http://" + QString(KOLVASTER_MAKER_HOST) + "/");
        QCOMPARE(navegador.abiertas,
                 QList<QUrl>{QUrl("http://" + QString(KOLVASTER_MAKER_HOST) + "/")});
        QVERIFY(d.textbrowser_changelog->isVisibleTo(&d));
    }

    void panelOculto()
    {
        KolvasterAcercaDe d(ana, "Kolvaster", "v5.2", "x");
        QVERIFY(!d.lab_eastern->isVisibleTo(&d));
        for (int i = 0; i < 7; ++i)
            d.pb_eastern->click();
        QVERIFY(!d.lab_eastern->isVisibleTo(&d));
        QVERIFY(!d.lab_easterntext->isVisibleTo(&d));
        QVERIFY(!d.lab_easterntext2->isVisibleTo(&d));
        QVERIFY(d.textbrowser_changelog->isVisibleTo(&d));

        d.pb_eastern->click();
        QVERIFY(d.lab_eastern->isVisibleTo(&d));
        QVERIFY(d.lab_easterntext->isVisibleTo(&d));
        QVERIFY(d.lab_easterntext2->isVisibleTo(&d));
        QVERIFY(!d.textbrowser_changelog->isVisibleTo(&d));
        QCOMPARE(d.lab_easterntext->text(), pasajeIngles());
        QCOMPARE(d.lab_easterntext2->text(), pasajeEspanol());
        d.pb_eastern->click();
        QVERIFY(d.lab_eastern->isVisibleTo(&d));

        // Each text fits its label at the form's font, wrapped at word boundaries.
        for (const QLabel *l : {d.lab_easterntext, d.lab_easterntext2}) {
            const QRect usado = l->fontMetrics().boundingRect(
                QRect(0, 0, l->width(), 10000), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                l->text());
            QVERIFY2(usado.width() <= l->width() && usado.height() <= l->height(),
                     qPrintable(QStringLiteral("%1: %2x%3 in %4x%5")
                                    .arg(l->objectName())
                                    .arg(usado.width())
                                    .arg(usado.height())
                                    .arg(l->width())
                                    .arg(l->height())));
        }
    }

    // The launcher's own log, as the About action passes it through 8-bit text.
    void registroDelLanzador()
    {
        const QByteArray log = changelogKolvaster().toLatin1();
        KolvasterAcercaDe d(ana, "Kolvaster", "v5.2", log.constData());
        const QString texto = d.textbrowser_changelog->toPlainText();
        QVERIFY(texto.contains("11/2012 v5.2:\n+ Soporte Google Chart version NON SSL\n"));
        QCOMPARE(changelogKolvaster().count(QRegularExpression("<br>\\d\\d/\\d{4} v\\d")), 21);
    }
};

QTEST_MAIN(TstAcercaDe)
#include "tst_acercade.moc"
