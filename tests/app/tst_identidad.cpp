// The main window's identity panel, lock, icon-size preference and About action, on a real
// start-up.
#include "app/kolvaster.h"
#include "base/mensajes.h"
#include "base/salida.h"
#include "sesion.h"
#include "guion.h"
#include "testdb.h"
#include "ui_kolvaster.h"

#include <QBuffer>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTest>

namespace {
QByteArray png(int ancho, int alto)
{
    QImage img(ancho, alto, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return bytes;
}

QStringList textos(QListWidget *lista)
{
    QStringList t;
    for (int i = 0; i < lista->count(); ++i)
        t << lista->item(i)->text();
    return t;
}
} // namespace

class TstIdentidad : public QObject
{
    Q_OBJECT

    Guion guion;
    QList<int> &salidas = guion.salidas;
    qint64 ana = 0;

    // Checks every object the lock is concerned with: the frozen ones and those left alone.
    static void verificarBloqueo(Kolvaster *w, bool bloqueado)
    {
        Ui::KolvasterClass *ui = w->ui;
        QCOMPARE(ui->actionActualizar_aplicaciones_disponibles->isEnabled(), !bloqueado);
        QCOMPARE(ui->actionAdministracion_de_accesos->isEnabled(), !bloqueado);
        QCOMPARE(ui->actionCambiar_mi_contrase_a->isEnabled(), !bloqueado);
        QCOMPARE(ui->actionMis_ultimos_accesos->isEnabled(), !bloqueado);
        QCOMPARE(ui->lw_apps->isEnabled(), !bloqueado);
        QCOMPARE(ui->lab_imagen->isEnabled(), !bloqueado);
        QVERIFY(ui->actionBloquear_Desbloquear->isEnabled());
        QVERIFY(ui->actionUnificar_tama_o_iconos->isEnabled());
        QVERIFY(ui->actionAcerca_de->isEnabled());
        QVERIFY(!ui->le_emp->isEnabled()); // always disabled: it shows its text in blue
        QVERIFY(ui->lab_signal->isEnabled());
    }

private slots:

    void init()
    {
        TestDb::limpiar();
        ana = TestDb::crearUsuario(TestDb::cuenta("ana"), QString::fromUtf8("Ana Gómez"));
        Mensajes::olvidar();
        salidas.clear();
    }

    void cleanup() { TestDb::cerrarSesion(); }

    void panelDeIdentidad()
    {
        TestDb::ejecutar("INSERT INTO sysuserimg (sysuser_id,imagen) VALUES (?,?)",
                         {ana, png(90, 45)});
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());
        QCOMPARE(w->ui->le_emp->text(),
                 QString::fromUtf8("Ana Gómez @ 127.0.0.1 - ") + TestDb::base());
        // Scaled to the label's 40 pixels of height, wider than the label.
        QCOMPARE(w->ui->lab_imagen->pixmap().size(), QSize(80, 40));

        TestDb::ejecutar("DELETE FROM sysuserimg");
        TestDb::ejecutar("INSERT INTO sysuserimg (sysuser_id,imagen) VALUES (?,?)",
                         {ana, QByteArray("no es una imagen")});
        TestDb::ejecutar("UPDATE sysuser SET titulo='Ana G.' WHERE sysuser_id=?", {ana});
        w->cargarIdentidad();
        QVERIFY(w->ui->lab_imagen->pixmap().isNull());
        QCOMPARE(w->ui->lab_imagen->text(), QString());
        QCOMPARE(w->ui->le_emp->text(), "Ana G. @ 127.0.0.1 - " + TestDb::base());

        TestDb::ejecutar("DELETE FROM sysuserimg");
        TestDb::ejecutar("INSERT INTO sysuserimg (sysuser_id,imagen) VALUES (?,?)",
                         {ana, png(30, 60)});
        w->cargarIdentidad();
        QCOMPARE(w->ui->lab_imagen->pixmap().size(), QSize(20, 40));

        TestDb::ejecutar("DELETE FROM sysuserimg");
        w->cargarIdentidad();
        QVERIFY(w->ui->lab_imagen->pixmap().isNull());
        QVERIFY(salidas.isEmpty());
    }

    void bloqueoYDesbloqueo()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());
        verificarBloqueo(w.get(), false);

        w->ui->actionBloquear_Desbloquear->trigger(); // locks at once, asking nothing
        verificarBloqueo(w.get(), true);
        QVERIFY(Mensajes::mostrados().isEmpty());

        // Cancelled, empty, wrong: still locked, and nothing but the prompt was shown.
        Mensajes::responder(std::nullopt);
        w->ui->actionBloquear_Desbloquear->trigger();
        Mensajes::responder(QString());
        w->ui->actionBloquear_Desbloquear->trigger();
        Mensajes::responder(QString("otra_clave"));
        w->ui->actionBloquear_Desbloquear->trigger();
        Mensajes::responder(QString("ANA_PW"));
        w->ui->actionBloquear_Desbloquear->trigger();
        verificarBloqueo(w.get(), true);
        const auto m = Mensajes::mostrados();
        QCOMPARE(m.size(), 4);
        for (const auto &p : m) {
            QCOMPARE(p.tipo, Mensajes::Tipo::Texto);
            QCOMPARE(p.titulo, QString("Desbloqueo"));
            QCOMPARE(p.texto, QString::fromUtf8("Ingrese su contraseña: "));
        }

        Mensajes::responder(QString("  ana_pw \t"));
        w->ui->actionBloquear_Desbloquear->trigger();
        verificarBloqueo(w.get(), false);
        QVERIFY(salidas.isEmpty());
    }

    void preferenciaDeTamano()
    {
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());
        QListWidget *lista = w->ui->lw_apps;
        lista->clear();
        lista->addItems({"Ventas", "Compras", "Stock"});
        const QString fila = "SELECT valor FROM kolvasterop WHERE sysuser_id=? AND "
                             "llave='NOUNIFORMICONSIZES'";
        QAction *accion = w->ui->actionUnificar_tama_o_iconos;
        QVERIFY(!accion->isChecked());

        accion->trigger();
        QVERIFY(accion->isChecked());
        QCOMPARE(TestDb::contar(fila, {ana}), 1);
        QCOMPARE(TestDb::valor(fila, {ana}).toString(), QString(""));
        QVERIFY(!lista->uniformItemSizes());
        QCOMPARE(textos(lista), (QStringList{"Compras", "Stock", "Ventas"}));

        lista->addItem("Bancos");
        accion->trigger();
        QVERIFY(!accion->isChecked());
        QCOMPARE(TestDb::contar(fila, {ana}), 0);
        QVERIFY(lista->uniformItemSizes());
        QCOMPARE(textos(lista), (QStringList{"Bancos", "Compras", "Stock", "Ventas"}));
        QVERIFY(salidas.isEmpty());
    }

    void accionAcercaDe()
    {
        const qint64 propia = TestDb::crearApp("Kolvaster", "Kolvaster", QByteArray("x"));
        TestDb::otorgar(ana, propia, false);
        EntornoSesion entorno;
        auto w = entorno.iniciar("ana", TestDb::clave("ana"));
        QVERIFY(!w->terminado());
        QString nombre;
        entorno.driver().luego([&](QWidget *d) {
            if (qstrcmp(d->metaObject()->className(), "KolvasterAcercaDe") != 0)
                return false;
            nombre = d->findChild<QLabel *>("lab_nombreprograma")->text();
            static_cast<QDialog *>(d)->reject();
            return true;
        });
        w->ui->actionAcerca_de->trigger();
        QCOMPARE(nombre, QString("Kolvaster v5.2"));
        QCOMPARE(TestDb::valor("SELECT clogleido FROM sysuserapp WHERE sysuser_id=?", {ana})
                     .toInt(),
                 1);
    }
};

QTEST_MAIN(TstIdentidad)
#include "tst_identidad.moc"
