// Sample program of the suite. Started by the launcher with no arguments, it takes the
// session's connection data from the shared record, connects on its own, checks that the user
// may run it and shows the result. An optional argument names the system to read instead of
// the workstation's default one.

#include <kolvasterclient.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVBoxLayout>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString sistemaPedido = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

    // The program's name in the catalogue is its file name without the ".exe" the launcher adds.
    const QString programa =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();

    KolvasterClient cliente(sistemaPedido, nullptr);
    const QString sistema =
        sistemaPedido.isEmpty() ? cliente.valor(QStringLiteral("KOLVASTER_DEFSYSNAME"))
                                : sistemaPedido;

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"));
    db.setHostName(cliente.valor(QStringLiteral("HOST")));
    db.setDatabaseName(sistema);
    db.setUserName(cliente.valor(QStringLiteral("USER")));
    db.setPassword(cliente.valor(QStringLiteral("PASS")));
    db.setConnectOptions(cliente.valor(QStringLiteral("OPTIONS")));
    if (!db.open()) {
        QMessageBox::critical(nullptr, QStringLiteral("Error !"),
                              QStringLiteral("No se pudo conectar a la base de datos:<br>")
                                  + db.lastError().text(),
                              QMessageBox::Ok);
        return 0;
    }

    QString cuentaServidor;
    {
        QSqlQuery q(QStringLiteral("SELECT CURRENT_USER();"));
        if (q.next())
            cuentaServidor = q.value(0).toString();
    }

    KolvasterAcceso acceso;
    const QByteArray usuario = db.userName().toUtf8();
    const int id = acceso.idUsuario(usuario.constData());
    const bool permitido = acceso.accesoAplicacion(id, programa.toUtf8().constData());

    QDialog ventana;
    ventana.setObjectName(QStringLiteral("KolvasterMuestra"));
    ventana.setWindowTitle(QStringLiteral("Kolvaster - Programa de muestra"));
    auto *disposicion = new QVBoxLayout(&ventana);
    auto *titulo = new QLabel(QStringLiteral("<b>Conectado con la sesion del lanzador</b>"));
    disposicion->addWidget(titulo);
    auto *datos = new QFormLayout;
    auto fila = [&](const QString &etiqueta, const QString &valor, const char *nombre) {
        auto *l = new QLabel(valor);
        l->setObjectName(QString::fromLatin1(nombre));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        datos->addRow(etiqueta, l);
    };
    fila(QStringLiteral("Programa:"), programa, "lab_programa");
    fila(QStringLiteral("Servidor:"), db.hostName(), "lab_servidor");
    fila(QStringLiteral("Sistema:"), db.databaseName(), "lab_sistema");
    fila(QStringLiteral("Usuario:"), db.userName(), "lab_usuario");
    fila(QStringLiteral("Cuenta en el servidor:"), cuentaServidor, "lab_cuenta");
    fila(QStringLiteral("Identificador (sysuser_id):"), QString::number(id), "lab_id");
    fila(QStringLiteral("Opciones:"), db.connectOptions(), "lab_opciones");
    fila(QStringLiteral("Acceso a este programa:"),
         permitido ? QStringLiteral("permitido") : QStringLiteral("NO permitido"), "lab_acceso");
    disposicion->addLayout(datos);
    auto *botones = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(botones, &QDialogButtonBox::rejected, &ventana, &QDialog::reject);
    disposicion->addWidget(botones);
    ventana.show();
    return app.exec();
}
