// The connection dialog: limits, focus, quotations, what it hands back, and rejection.
#include "base/constantes.h"
#include "base/salida.h"
#include "db/kolvasterconndialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TstConnDialog : public QObject
{
    Q_OBJECT

    QString host, sistema, usuario, clave, opciones;
    bool recordar = false;

    template <typename T> static T *hijo(QWidget *w, const char *nombre)
    {
        T *h = w->findChild<T *>(QString::fromLatin1(nombre));
        if (!h)
            qFatal("no child %s", nombre);
        return h;
    }

private slots:
    void init()
    {
        host = sistema = usuario = clave = opciones = QString();
        recordar = false;
    }

    void formulario()
    {
        KolvasterConnDialog d(&host, &sistema, &usuario, &clave, &opciones, &recordar);
        QCOMPARE(d.size(), QSize(598, 347));
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QCOMPARE(d.windowTitle(), QString("Por favor ingrese datos para conexion..."));
        QCOMPARE(hijo<QLineEdit>(&d, "le_server")->maxLength(), 200);
        QCOMPARE(hijo<QLineEdit>(&d, "le_sistema")->maxLength(), 10);
        QCOMPARE(hijo<QLineEdit>(&d, "le_usuario")->maxLength(), 200);
        QCOMPARE(hijo<QLineEdit>(&d, "le_pass")->maxLength(), 20);
        QCOMPARE(hijo<QLineEdit>(&d, "le_pass")->echoMode(), QLineEdit::Password);
        QCOMPARE(hijo<QLabel>(&d, "lab_version")->text(), QString("v5.2"));
        QVERIFY(hijo<QPushButton>(&d, "pb_conn")->isDefault());
        QVERIFY(!hijo<QCheckBox>(&d, "check_recordarme")->isChecked());
        // The options are fixed by the dialog: every connection asks for compression.
        QCOMPARE(opciones, QString("CLIENT_COMPRESS"));
        QVERIFY(!hijo<QPlainTextEdit>(&d, "pte_frase")->toPlainText().isEmpty());
    }

    void foco_data()
    {
        QTest::addColumn<QString>("h");
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("u");
        QTest::addColumn<QString>("enfocado");
        QTest::newRow("sin predeterminados") << "" << "" << "" << "le_server";
        QTest::newRow("solo servidor") << "srv" << "" << "" << "le_sistema";
        QTest::newRow("sin usuario") << "srv" << "ventas" << "" << "le_usuario";
        QTest::newRow("completos") << "srv" << "ventas" << "ana" << "le_pass";
    }

    void foco()
    {
        QFETCH(QString, h);
        QFETCH(QString, s);
        QFETCH(QString, u);
        QFETCH(QString, enfocado);
        host = h;
        sistema = s;
        usuario = u;
        KolvasterConnDialog d(&host, &sistema, &usuario, &clave, &opciones, &recordar);
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(QApplication::focusWidget()->objectName(), enfocado);
        QCOMPARE(hijo<QLineEdit>(&d, "le_pass")->text(), QString());
    }

    void entregaCamposRecortados()
    {
        KolvasterConnDialog d(&host, &sistema, &usuario, &clave, &opciones, &recordar);
        hijo<QLineEdit>(&d, "le_server")->setText("  127.0.0.1 ");
        hijo<QLineEdit>(&d, "le_sistema")->setText(" ventas ");
        hijo<QLineEdit>(&d, "le_usuario")->setText("\tana ");
        hijo<QLineEdit>(&d, "le_pass")->setText(" secreta  ");
        hijo<QCheckBox>(&d, "check_recordarme")->setChecked(true);
        hijo<QPushButton>(&d, "pb_conn")->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(host, QString("127.0.0.1"));
        QCOMPARE(sistema, QString("ventas"));
        QCOMPARE(usuario, QString("ana"));
        QCOMPARE(clave, QString("secreta"));
        QVERIFY(recordar);
    }

    void cincoPulsacionesYABasta()
    {
        KolvasterConnDialog d(&host, &sistema, &usuario, &clave, &opciones, &recordar);
        auto *boton = hijo<QPushButton>(&d, "pb_fortuneme");
        auto *frase = hijo<QPlainTextEdit>(&d, "pte_frase");
        for (int i = 0; i < 4; ++i) {
            boton->click();
            QVERIFY(frase->toPlainText() != QLatin1String("A trabajar !"));
            QVERIFY(boton->isEnabled());
        }
        boton->click();
        QCOMPARE(frase->toPlainText(), QString("A trabajar !"));
        QVERIFY(!boton->isEnabled());

        // Shown again (the second chance after a failed attempt), the button stays spent.
        d.show();
        QVERIFY(!boton->isEnabled());
        d.hide();
    }

    void escapeTerminaElProceso()
    {
        QList<int> salidas;
        interceptarSalida([&](int estado) { salidas.append(estado); });
        KolvasterConnDialog d(&host, &sistema, &usuario, &clave, &opciones, &recordar);
        QTimer::singleShot(0, &d, [&] { QTest::keyClick(&d, Qt::Key_Escape); });
        d.exec();
        interceptarSalida(nullptr);
        QCOMPARE(salidas, QList<int>{0});
    }
};

QTEST_MAIN(TstConnDialog)
#include "tst_conndialog.moc"
