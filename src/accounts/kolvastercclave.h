#pragma once

#include <QDialog>
#include <QSqlDatabase>

namespace Ui {
class KolvasterCClave;
}

// The session user changes their own password: their MySQL account (every host entry), the
// copy in `sysuser` and the open connection. The caller learns of a change by the connection's
// password.
class KolvasterCClave : public QDialog
{
    Q_OBJECT

public:
    KolvasterCClave(QSqlDatabase *database, qint64 uid, const QString &programa,
                    QWidget *parent = nullptr);
    ~KolvasterCClave() override;

public slots:
    void on_pb_clicked();

protected:
    void changeEvent(QEvent *e) override;

private:
    void reportarError(const QString &texto);
    bool cambiarClaveCuenta(const QString &nueva);

    Ui::KolvasterCClave *ui;
    QSqlDatabase *database;
    qint64 uid;
    QString programa;
};
