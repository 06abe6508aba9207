#pragma once

#include <QDialog>
#include <QSqlDatabase>

namespace Ui {
class KolvasterUserAppInfo;
}

// What an administrator should know about a program before granting it: name, title,
// description, risk level and its details. Read-only; filled by the constructor.
class KolvasterUserAppInfo : public QDialog
{
    Q_OBJECT

public:
    KolvasterUserAppInfo(qint64 uid, const QString &programa, QSqlDatabase *database,
                         qint64 appId, QWidget *parent = nullptr);
    ~KolvasterUserAppInfo() override;

    // True when loading failed and the error dialog was shown (only a test gets past it).
    bool fallido() const { return fallo; }

    Ui::KolvasterUserAppInfo *ui;

protected:
    void changeEvent(QEvent *e) override;

private:
    qint64 uid;
    QString programa;
    QSqlDatabase *database;
    bool fallo = false;
};
