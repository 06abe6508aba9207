#pragma once

#include <QDate>
#include <QDir>
#include <QHash>
#include <QIcon>
#include <QMainWindow>
#include <QModelIndex>
#include <QSqlDatabase>
#include <QStringList>

namespace Versiones {
struct Programa;
}

namespace Ui {
class KolvasterClass;
}

// The launcher's main window. Its constructor runs the whole start-up of a session; closing it
// ends the session. The operations of the session (connection, catalogue, launching, session
// record, identity...) are members of this class, each defined beside the subsystem it belongs
// to.
class Kolvaster : public QMainWindow
{
    Q_OBJECT

public:
    explicit Kolvaster(QWidget *parent = nullptr);
    ~Kolvaster() override;

    // The date that chooses the seasonal program icon; tests may fix it before construction.
    static void fijarFechaIconos(const QDate &fecha);
    // The normal program icon for a date: seasonal on a few days of the year.
    static QIcon iconoDeTemporada(const QDate &fecha);

    // --- connection (src/db) ---
    bool conectarBase();
    static void leerPredeterminados(QString *host, QString *sistema, QString *usuario);

    // --- version gate (src/app) ---
    QString verificarVersion();

    // --- session log (src/app) ---
    void registrarIngreso();
    void registrarSalida();

    // --- profile directory, catalogue, list (src/catalogue) ---
    void prepararProfile();
    void eliminarDirectorio(const QString &path);
    void sincronizarAplicaciones();
    // `piloto`: the digest is the program's pilot version's, fetched from where it is kept.
    bool descargarPrograma(const char *nombre, int appId, const QString &digest = QString(),
                           bool piloto = false);
    void verificarChangelogs();

    // --- launching (src/launch) ---
    void ejecutarPrograma(const QString &archivo);

    // --- administration and who runs what (src/app) ---
    // Whether the user is an administrator, asked of the server; anyone else is told so.
    bool administradorConfirmado();
    // The rows of the report "Versiones en uso..."; false with *error when a statement fails.
    bool leerVersiones(QList<Versiones::Programa> *programas, QStringList *grupo,
                       QString *error);

    // --- identity panel (src/app) ---
    void cargarIdentidad();

    // --- session record (src/share) ---
    void publicarSesion();

    // The error dialog for a failure of this session; it ends the process.
    void reportarError(const QString &texto);
    // Ends the process with the given status (the exit paths skip the shut-down).
    void terminar(int estado);
    // True once an exit path was taken. Only a test that intercepts the exit ever sees it set:
    // the start-up and every operation stop there.
    bool terminado() const { return finalizado; }
    // Asked from outside to end (SIGTERM and the like, see atenderSenales): ends the session as
    // closing the window does, even from inside a modal dialog, and the process with status 0.
    void terminarPorSenal();

public slots:
    void on_actionActualizar_aplicaciones_disponibles_triggered();
    void on_lw_apps_activated(const QModelIndex &index);
    void terminoPrograma();
    void responderKeepAlive(qint64 msecs);
    void on_actionAcerca_de_triggered();
    void on_actionBloquear_Desbloquear_triggered();
    void on_actionMis_ultimos_accesos_triggered();
    void on_actionUnificar_tama_o_iconos_triggered();
    void on_actionAdministracion_de_accesos_triggered();
    void on_actionCambiar_mi_contrase_a_triggered();
    void on_actionVersiones_en_uso_triggered();

private:
    void identificarUsuario();
    void aplicarPreferenciaIconos();
    void iniciarKeepAlive();
    void registrarEvento(int tipo);
    void reiniciarPorCambioDeClave();

public:
    // Members shared by the session's operations (kept public for the subsystems' tests).
    Ui::KolvasterClass *ui;
    qint64 uid = 0;
    QSqlDatabase db;
    QStringList changelogsPendientes;
    QDir dirProfile;
    int programasAbiertos = 0;
    QIcon iconoAlerta;
    QIcon iconoApp;
    // The publication's version of each program whose copy is the catalogue's since the last
    // synchronisation, recorded with its starts; a program missing here starts unrecorded.
    QHash<QString, qint64> versionesInstaladas;

private:
    bool finalizado = false;
    // Whether the session's `app` has the digest stored with the bytes (windowsbinary_md5);
    // assumed until the server says otherwise, then settled for the session.
    bool digestAlmacenado = true;
    // Whether it has the pilot group, the other versions and the started version (appversion,
    // sysuser.piloto, appuse.version); likewise assumed, then settled.
    bool versiones = true;
    bool usoConVersion = true;
};
