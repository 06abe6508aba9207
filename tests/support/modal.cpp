#include "modal.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
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
