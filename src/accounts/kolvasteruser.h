#pragma once

#include <QDialog>
#include <QSqlDatabase>

#include <functional>

class QSqlError;
class QSqlQuery;
class QTableWidget;

namespace Ui {
class KolvasterUser;
}

// The administration of the application's users: their data, their MySQL accounts and what
// each may use. Every change is written to the database at once and the lists are re-read.
class KolvasterUser : public QDialog
{
    Q_OBJECT

public:
    KolvasterUser(bool *claveModificada, qint64 uid, QSqlDatabase *database,
                  const QString &programa, QWidget *parent = nullptr);
    ~KolvasterUser() override;

    void actUserList();
    void clearUserData();
    void actAppAccess();
    void actRepAccess();
    // Creates, re-creates or removes the selected user's account, after the access boxes.
    // False once a failure has been reported.
    bool actUserAccount(const QString &password);

public slots:
    void on_tw_user_itemSelectionChanged();
    void on_pb_delrep_clicked();
    void on_pb_addrep_clicked();
    void on_bquitar_clicked();
    void on_bagregar_clicked();
    void on_pb_infocon_clicked();
    void on_pb_infosin_clicked();
    void on_pb_email_clicked();
    void on_pb_deluser_clicked();
    void on_pb_newuser_clicked();
    void on_check_admin_clicked(bool checked);
    void on_check_piloto_clicked(bool checked);
    void on_check_accesoremoto_clicked();
    void on_check_sistema_clicked(bool checked);
    void on_pb_pass_clicked();
    void on_pb_selimg_clicked();
    void on_pb_delimg_clicked();
    void on_pb_tit_clicked();
    void actUserData();

public:
    Ui::KolvasterUser *ui;

private:
    bool usuarioSeleccionado() const;
    qint64 idSeleccionado() const;
    QString cortoSeleccionado() const;
    // The warning of every action that needs a selected user; true when there is one.
    bool exigirUsuario();
    void reportarError(const QString &texto);
    // Runs a prepared query; a failure is reported and gives false.
    bool ejecutar(QSqlQuery &q);
    // Fills a table of an access list from a two-column result (id, name).
    void llenarLista(QTableWidget *tabla, QSqlQuery &q);
    // Moves the entry selected in the source list: runs the statements with :user and :id.
    bool moverEntrada(QTableWidget *origen, const QStringList &sentencias, const QString &paso,
                      const QString &resultado);
    // The selected user's change `cambio` (its statements) and its row in the record of
    // administrative steps, in one transaction; without `cambio`, the row alone (after the
    // account statements, which the server commits on their own). A failure rolls back, is
    // reported and gives false.
    bool registrarCambio(const QString &paso, const QString &resultado,
                         const std::function<bool(QSqlError *)> &cambio = {});
    void mostrarInfoApp(QTableWidget *origen);
    void ponerImagenEnLista(int fila, const QPixmap &imagen);

    QSqlDatabase *database;
    qint64 uid;
    bool *claveModificada;
    QString programa;
};
