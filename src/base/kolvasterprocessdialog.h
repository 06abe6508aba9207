#pragma once

// Part of the floor below every subsystem (src/base): the wait dialog, shown by the connection,
// the synchronisation and the report viewer (so the suite's library carries it too).

#include <QDialog>

class QProgressBar;

namespace Ui {
class KolvasterProcessDialog;
}

// Small wait window shown (never exec'd) around a long piece of work on the GUI thread.
class KolvasterProcessDialog : public QDialog
{
    Q_OBJECT

public:
    KolvasterProcessDialog(const QString &detalleUno, const QString &detalleDos,
                           QWidget *parent = nullptr);
    ~KolvasterProcessDialog() override;

    void setDetalle(const QString &detalleUno, const QString &detalleDos);
    void mostrarProgreso();
    // The bar shows `hecho` of `total` (bytes received, say); a total of 0 or less puts the
    // "Por favor aguarde..." text back in its place.
    // With the bar, the line "12,5 de 29,3 MB".
    void setProgreso(qint64 hecho, qint64 total);
    // That line for `hecho` bytes of `total`, in MB of 2^20 bytes with a decimal comma.
    static QString textoProgreso(qint64 hecho, qint64 total);

protected:
    void changeEvent(QEvent *e) override;

private:
    Ui::KolvasterProcessDialog *ui;
    QProgressBar *progreso;
};
