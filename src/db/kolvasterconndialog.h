#pragma once

#include <QDialog>
#include <QStringList>

namespace Ui {
class KolvasterConnDialog;
}

// Asks for server, system, user and password at every start; shows a quotation of the day.
// Rejecting it (Escape, the title-bar button) ends the program.
class KolvasterConnDialog : public QDialog
{
    Q_OBJECT

public:
    KolvasterConnDialog(QString *host, QString *sistema, QString *usuario, QString *password,
                        QString *opciones, bool *recordar, QWidget *parent = nullptr);
    ~KolvasterConnDialog() override;

    void mostrarFrase();

    static constexpr int maxFrasesExtra = 4;

public slots:
    void on_pb_conn_clicked();
    void on_pb_fortuneme_clicked();
    void cerrarPrograma();

protected:
    void changeEvent(QEvent *e) override;

private:
    Ui::KolvasterConnDialog *ui;
    QString *sistema;
    QString *host;
    QString *usuario;
    QString *password;
    QString *opciones;
    bool *recordar;
    QStringList frases;
    int frasesMostradas = 0;
};
