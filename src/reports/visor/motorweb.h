#pragma once

#include "../kolvastermotorreportes.h"

#include <QObject>

// The report viewer's engine on Qt WebEngine (see KolvasterMotorReportes).
class MotorWeb : public QObject, public KolvasterMotorReportes
{
    Q_OBJECT
    Q_INTERFACES(KolvasterMotorReportes)

public:
    using QObject::QObject;

    QWidget *crearVista(QWidget *padre) override;
    void mostrar(QWidget *vista, const QByteArray &html) override;
    void aplicarMargenes(QPrinter *printer, const QMarginsF *margenes) override;
    bool imprimirEn(QWidget *vista, QPrinter *printer) override;
    Impresion imprimir(QWidget *vista, QWidget *padre, const QMarginsF *margenes) override;
    bool guardarPdf(QWidget *vista, const QString &archivo, const QMarginsF *margenes) override;
};
