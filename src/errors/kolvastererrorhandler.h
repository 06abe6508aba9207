#pragma once

#include <QDialog>
#include <QSqlDatabase>

class QNetworkAccessManager;
class QNetworkReply;

namespace Ui {
class KolvasterErrorHandler;
}

// The answer to a failure the program cannot recover from: tells the user, sends an error
// report to the notifier (unless the user is the administrator or the connection is gone) and
// ends the process, whichever way the dialog is left.
class KolvasterErrorHandler : public QDialog
{
    Q_OBJECT

public:
    KolvasterErrorHandler(QSqlDatabase *conexion, qint64 uid, const QString &programa,
                          const QString &error, QWidget *parent = nullptr);
    ~KolvasterErrorHandler() override;

    // Builds the dialog, runs it and ends the process: the calling pattern of every caller.
    static void mostrar(QSqlDatabase *conexion, qint64 uid, const QString &programa,
                        const QString &error, QWidget *parent);

public slots:
    void on_pb_ok_clicked();
    void respuestaNotifier(QNetworkReply *reply);

protected:
    void changeEvent(QEvent *e) override;

private:
    Ui::KolvasterErrorHandler *ui;
    QNetworkAccessManager *red = nullptr;
    // The report while it is on its way; Escape may close the dialog before it has left.
    QNetworkReply *envio = nullptr;
};
