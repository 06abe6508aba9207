#include "kolvaster.h"

#include "base/constantes.h"
#include "app/kolvasternewver.h"
#include "base/salida.h"
#include "db/kolvasterdbconnkeepalive.h"
#include "db/sentencia.h"
#include "errors/kolvastererrorhandler.h"
#include "ui_kolvaster.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {
QDate &fechaIconos()
{
    static QDate fecha;
    return fecha;
}
} // namespace

void Kolvaster::fijarFechaIconos(const QDate &fecha)
{
    fechaIconos() = fecha;
}

Kolvaster::Kolvaster(QWidget *parent) : QMainWindow(parent), ui(new Ui::KolvasterClass)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/appico_48.png")));
    uid = 0;

    if (const QScreen *pantalla = QGuiApplication::primaryScreen()) {
        const QRect r = pantalla->geometry();
        move(r.width() / 2 - width() / 2, r.height() / 2 - height() / 2);
    }
    showMaximized();
    show();

    iconoAlerta = QIcon(QStringLiteral(":/appicoalert_48.png"));
    iconoApp = iconoDeTemporada(fechaIconos().isValid() ? fechaIconos() : QDate::currentDate());

    if (!conectarBase()) {
        // Two failed attempts; a rejected dialog has ended the process already.
        if (!terminado())
            terminar(0);
        return;
    }

    if (db.userName() != QLatin1String("dbadmin")) {
        const QString requerida = verificarVersion();
        if (terminado())
            return;
        if (!requerida.isEmpty()) {
            KolvasterNewVer aviso(requerida, this);
            aviso.exec();
            terminar(0);
            return;
        }
    }

    // The rest of the start-up, in order. A step that fails has ended the process (only a test
    // that intercepts the exit comes back here, and then stops).
    using Paso = void (Kolvaster::*)();
    for (Paso paso : {&Kolvaster::identificarUsuario, &Kolvaster::registrarIngreso,
                      &Kolvaster::prepararProfile, &Kolvaster::sincronizarAplicaciones,
                      &Kolvaster::aplicarPreferenciaIconos, &Kolvaster::iniciarKeepAlive,
                      &Kolvaster::cargarIdentidad, &Kolvaster::publicarSesion}) {
        (this->*paso)();
        if (terminado())
            return;
    }

    ui->lw_apps->setFocus(Qt::OtherFocusReason);
}

Kolvaster::~Kolvaster()
{
    // After an exit path the process is gone before this runs; only an intercepted exit in a
    // test gets here, and then there was no session to close.
    if (!finalizado && db.isOpen())
        registrarSalida();
    delete ui;
}

void Kolvaster::terminar(int estado)
{
    finalizado = true;
    finalizarProceso(estado);
}

void Kolvaster::reportarError(const QString &texto)
{
    finalizado = true;
    KolvasterErrorHandler::mostrar(&db, uid, QString::fromLatin1(KOLVASTER_PROGRAMA), texto, this);
}

void Kolvaster::identificarUsuario()
{
    QSqlQuery q;
    if (!Sentencia::ejecutar(q,
                             QStringLiteral("SELECT sysuser_id FROM sysuser WHERE "
                                            "sysuser=:sysuser"),
                             {{QStringLiteral(":sysuser"), db.userName()}}))
        reportarError(q.lastError().text());
    else if (!q.next())
        reportarError(QStringLiteral("Usuario no Registrado en Sistema"));
    else
        uid = q.value(0).toLongLong();
}

void Kolvaster::aplicarPreferenciaIconos()
{
    QSqlQuery q;
    if (!Sentencia::ejecutar(q,
                             QStringLiteral("SELECT 1 FROM kolvasterop WHERE sysuser_id=:uid AND "
                                            "llave='NOUNIFORMICONSIZES';"),
                             {{QStringLiteral(":uid"), uid}})) {
        reportarError(q.lastError().text());
    } else if (q.next()) {
        ui->actionUnificar_tama_o_iconos->setChecked(true);
        ui->lw_apps->setUniformItemSizes(false);
        ui->lw_apps->sortItems(Qt::AscendingOrder);
    }
}

void Kolvaster::iniciarKeepAlive()
{
    auto *keepAlive = new KolvasterDBConnKeepAlive(
        &db, uid, QString::fromLatin1(KOLVASTER_PROGRAMA), this);
    connect(keepAlive, &KolvasterDBConnKeepAlive::conexionOK, this,
            &Kolvaster::responderKeepAlive);
    keepAlive->iniciar();
    keepAlive->keepAlive();
}

void Kolvaster::responderKeepAlive(qint64 msecs)
{
    QString imagen;
    if (msecs <= 4)
        imagen = QStringLiteral(":/signal_full.png");
    else if (msecs <= 49)
        imagen = QStringLiteral(":/signal_mid.png");
    else
        imagen = QStringLiteral(":/signal_low.png");
    ui->lab_signal->setPixmap(QPixmap(imagen));
    ui->lab_signal->setToolTip(QString::number(msecs));
    verificarChangelogs();
}

QIcon Kolvaster::iconoDeTemporada(const QDate &fecha)
{
    const int dia = fecha.day();
    switch (fecha.month()) {
    case 12:
        if (dia == 26)
            return QIcon(QStringLiteral(":/appico_48_birthday.png"));
        if (dia >= 22 && dia <= 25)
            return QIcon(QStringLiteral(":/appico_48_navidad.png"));
        if (dia == 21)
            return QIcon(QStringLiteral(":/appico_48_summer.png"));
        break;
    case 7:
        if (dia == 21)
            return QIcon(QStringLiteral(":/appico_48_winter.png"));
        break;
    }
    return QIcon(QStringLiteral(":/appico_48.png"));
}

void Kolvaster::registrarEvento(int tipo)
{
    QSqlQuery q;
    if (!Sentencia::ejecutar(q,
                             QStringLiteral("INSERT INTO sysuserelog (sysuserelogtipo_id,"
                                            "sysuser_id,cuando) VALUES (%1,:uid,NOW())")
                                 .arg(tipo),
                             {{QStringLiteral(":uid"), uid}}))
        reportarError(q.lastError().text());
}

void Kolvaster::registrarIngreso()
{
    registrarEvento(1);
}

void Kolvaster::registrarSalida()
{
    registrarEvento(2);
}
