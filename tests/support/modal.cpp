#include "modal.h"

#include "notificador.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QPointer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

DriverModal::DriverModal()
{
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [this] { revisar(); });
    timer.start();
}

DriverModal::~DriverModal() = default;

void DriverModal::luego(Respuesta r)
{
    respuestas.append(std::move(r));
}

void DriverModal::antes(Respuesta r)
{
    respuestas.prepend(std::move(r));
}

void DriverModal::revisar()
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w || respuestas.isEmpty() || !w->isVisible())
        return;
    Respuesta r = respuestas.first();
    if (r(w))
        respuestas.removeFirst();
}

DriverModal::Respuesta DriverModal::conectar(const QString &host, const QString &sistema,
                                             const QString &usuario, const QString &clave,
                                             bool recordar)
{
    return [=](QWidget *w) {
        if (qstrcmp(w->metaObject()->className(), "KolvasterConnDialog") != 0)
            return false;
        w->findChild<QLineEdit *>(QStringLiteral("le_server"))->setText(host);
        w->findChild<QLineEdit *>(QStringLiteral("le_sistema"))->setText(sistema);
        w->findChild<QLineEdit *>(QStringLiteral("le_usuario"))->setText(usuario);
        w->findChild<QLineEdit *>(QStringLiteral("le_pass"))->setText(clave);
        w->findChild<QCheckBox *>(QStringLiteral("check_recordarme"))->setChecked(recordar);
        w->findChild<QPushButton *>(QStringLiteral("pb_conn"))->click();
        return true;
    };
}

DriverModal::Respuesta DriverModal::cancelarConexion()
{
    return cerrar("KolvasterConnDialog");
}

DriverModal::Respuesta DriverModal::cerrarError(QString *texto)
{
    return [=](QWidget *w) {
        if (qstrcmp(w->metaObject()->className(), "KolvasterErrorHandler") != 0)
            return false;
        if (texto)
            *texto = w->findChild<QPlainTextEdit *>(QStringLiteral("pte_dete"))->toPlainText();
        static_cast<QDialog *>(w)->reject();
        return true;
    };
}

DriverModal::Respuesta DriverModal::cerrar(const char *clase)
{
    return [=](QWidget *w) {
        if (qstrcmp(w->metaObject()->className(), clase) != 0)
            return false;
        static_cast<QDialog *>(w)->reject();
        return true;
    };
}

void DriverModal::vigilarErrores()
{
    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!app)
        return;
    auto *timer = new QTimer(app);
    timer->setInterval(100);
    QObject::connect(timer, &QTimer::timeout, app, [] {
        static QPointer<QWidget> visto;
        static QElapsedTimer desde;
        QWidget *w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || !QTest::currentTestFunction()
            || qstrcmp(w->metaObject()->className(), "KolvasterErrorHandler") != 0) {
            visto = nullptr;
            return;
        }
        if (w != visto) {
            visto = w;
            desde.start();
            return;
        }
        // Answers come within milliseconds of the report's outcome (the OK button); a report
        // that never ends is given a while longer.
        auto *ok = w->findChild<QPushButton *>(QStringLiteral("pb_ok"));
        if (desde.elapsed() < (ok && ok->isEnabled() ? 2000 : 20000))
            return;
        // The error itself travels in the report; the dialog shows how sending it went.
        QString error = QStringLiteral("(no report received)");
        const QList<QJsonObject> pedidos = Notificador::pedidos();
        if (!pedidos.isEmpty())
            error = pedidos.last().value(QStringLiteral("query")).toObject()
                        .value(QStringLiteral("mensaje")).toString();
        auto *detalle = w->findChild<QPlainTextEdit *>(QStringLiteral("pte_dete"));
        const QString texto = QStringLiteral("%1 [dialog: %2]")
                                  .arg(error, detalle ? detalle->toPlainText() : QString())
                                  .replace(QLatin1Char('\n'), QStringLiteral(" | "));
        qFatal("Unanswered error dialog: %s", qPrintable(texto));
    });
    timer->start();
}
