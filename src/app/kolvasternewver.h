#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class KolvasterNewVer;
}

// Tells the user that the database asks for another launcher version and offers the download
// page. The caller ends the process when it closes, however it was closed.
class KolvasterNewVer : public QDialog
{
    Q_OBJECT

public:
    KolvasterNewVer(const QString &requerida, QWidget *parent = nullptr);
    ~KolvasterNewVer() override;

    // The download page of a version: http://<maker>/kolvaster/index.php?DV=<version>, the
    // version taken as the database holds it.
    static QString direccionDescarga(const QString &version);

public slots:
    void on_pb_new_clicked();

private:
    Ui::KolvasterNewVer *ui;
    QString requerida;
};
