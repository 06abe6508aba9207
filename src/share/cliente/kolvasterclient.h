#pragma once

// Public interface for the programs of the suite: how to learn, from the launcher that started
// them, which database to use and how to connect to it as the launcher's user, and how to ask
// whether a user may run a program.
//
// The launcher publishes one shared-memory segment per value (QSharedMemory keys):
//   "KOLVASTER_DEFSYSNAME"            the database of the user's first launcher
//   "KOLVASTER_<db>_HOST"             server host name
//   "KOLVASTER_<db>_USER"             MySQL account name (also the user's sysuser.sysuser)
//   "KOLVASTER_<db>_PASS"             password, in clear
//   "KOLVASTER_<db>_OPTIONS"          connection options
// Each segment holds one QString as QDataStream writes it (big-endian byte count, 0xFFFFFFFF
// for a null string, then UTF-16 big-endian code units).
//
// Where keys are machine-wide (Linux and other Unix systems), each operating-system user has a
// record of his own: the launcher keeps it under "kolvaster-<uid>" in the temporary directory
// and makes that directory the TMPDIR of the programs it starts. KolvasterClient looks there
// by itself; a program that reads the keys with QSharedMemory directly and is started by hand
// must be given TMPDIR=${TMPDIR:-/tmp}/kolvaster-$(id -u).

#include <QObject>
#include <QString>

class QSqlDatabase;
class QWidget;

class KolvasterClient : public QObject
{
    Q_OBJECT

public:
    // An empty system name means the workstation's default system. When no launcher publishes
    // it, a critical box "Error !" is shown and the process ends with status 0.
    KolvasterClient(const QString &sistema, QWidget *widgetPadre, QObject *parent = nullptr);
    ~KolvasterClient() override;

    // nombre is "KOLVASTER_DEFSYSNAME" or one of "HOST", "USER", "PASS", "OPTIONS". A missing
    // segment shows the critical box "Error !" naming the key and ends the process (status 0).
    QString valor(const QString &nombre);

    // Opens db (a "QMYSQL" connection the program added) as the launcher's session: the
    // record's host, account, password and options, on this system's database. When the
    // options ask for TLS (the launcher was built with the organisation's authority) and the
    // server answered in clear, the session is closed before anything is sent on it. False
    // when the connection failed; *error (if given) says why.
    bool conectar(QSqlDatabase &db, QString *error = nullptr);

private:
    QWidget *widgetPadre;
    QString sistema;
};

// Access checks on the program's default database connection.
class KolvasterAcceso
{
public:
    KolvasterAcceso();
    ~KolvasterAcceso();

    // sysuser_id of the user with that sysuser name; 0 when there is none (or on failure).
    int idUsuario(const char *usuario);
    // May the user run the program named nombre? The administrator ("dbadmin") may run any.
    bool accesoAplicacion(int idUsuario, const char *nombre);
};
