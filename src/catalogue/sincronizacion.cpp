// The catalogue: the profile directory made to hold exactly the programs the user may run, each
// as the server stores it, and the program list rebuilt from the database.

#include "app/kolvaster.h"
#include "base/kolvasterprocessdialog.h"
#include "base/mensajes.h"
#include "catalogue/actualizacion.h"
#include "catalogue/catalogo.h"
#include "catalogue/descarga.h"
#include "catalogue/fallos.h"
#include "catalogue/firma.h"
#include "catalogue/programas.h"
#include "catalogue/sucursal.h"
#include "db/sentencia.h"
#include "ui_kolvaster.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QFile>
#include <QListWidgetItem>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString atencion = QStringLiteral("Atencion!");
// The server's error for a column the table does not have.
const char *const columnaDesconocida = "1054";
// ... and for a table the database does not have.
const char *const tablaDesconocida = "1146";

// Set by descargarPrograma when it refused a program for its publisher signature and has told
// the user so in its own box; pass 2 then adds no box of its own. GUI thread only.
bool firmaRechazada = false;

// The connection for compressed bytes of the synchronisation under way: opened by the first
// program that takes a compressed path, closed when the synchronisation ends.
Actualizacion::Canal *canalSincronizacion = nullptr;

// The version the catalogue names for the program descargarPrograma is fetching (0: none), for
// the record of a failure.
qint64 versionBuscada = 0;

} // namespace

void Kolvaster::sincronizarAplicaciones()
{
    const bool esAdmin = db.userName() == QLatin1String("dbadmin");
    QSqlQuery q;
    // The administrator's or the user's statement of a pass (the administrator sees every
    // program, rights or not) with its values.
    auto sentencia = [&](const QString &deAdmin, const QString &deUsuario,
                         const QString &nombre = QString()) {
        Sentencia::Valores valores;
        if (!esAdmin)
            valores.append({QStringLiteral(":uid"), uid});
        if (!nombre.isNull())
            valores.append({QStringLiteral(":appnombre"), nombre});
        return std::pair{esAdmin ? deAdmin : deUsuario, valores};
    };
    // Runs it in one round trip.
    auto ejecutar = [&](const QString &deAdmin, const QString &deUsuario,
                        const QString &nombre = QString()) {
        q.clear();
        q.setForwardOnly(true);
        const auto [sql, valores] = sentencia(deAdmin, deUsuario, nombre);
        return Sentencia::ejecutar(q, sql, valores);
    };
    // The same, false once a failure has been reported.
    auto correr = [&](const QString &deAdmin, const QString &deUsuario,
                      const QString &nombre = QString()) {
        if (ejecutar(deAdmin, deUsuario, nombre))
            return true;
        reportarError(q.lastError().text());
        return false;
    };
    ui->lw_apps->clear();
    Actualizacion::Canal canal(db);
    canalSincronizacion = &canal;
    struct Fin {
        ~Fin() { canalSincronizacion = nullptr; }
    } fin;
    // Failures a session without its server kept are written now; those still open are
    // resolved as their programs get there.
    Fallos::enviarPendientes(db, uid, dirProfile.path());
    QHash<int, qint64> fallosAbiertos = Fallos::sinResolver(db, uid);

    // Pass 1: drop every local program that is half downloaded or no longer the user's.
    const QString validoAdmin = QStringLiteral("SELECT 1 FROM app WHERE nombre=:appnombre;");
    const QString validoUsuario =
        QStringLiteral("SELECT 1 FROM sysuserapp ua, app a WHERE a.app_id=ua.app_id AND "
                       "ua.sysuser_id=:uid AND a.nombre=:appnombre;");
    QStringList programas;
    for (const QString &archivo :
         dirProfile.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted)) {
        if (Programas::esPrograma(archivo))
            programas.append(archivo);
    }
    // Every program's look goes to the server in a single trip, their answers read in the
    // programs' order; when one name cannot travel as text, each look is a trip of its own.
    // Every answer is read before any box is shown: a box runs an event loop, and a statement
    // of the keep-alive run there would make the driver drop the answers still unread.
    QList<std::pair<QString, Sentencia::Valores>> miradas;
    for (const QString &archivo : std::as_const(programas))
        miradas.append(sentencia(validoAdmin, validoUsuario, archivo.chopped(4)));
    q.clear();
    q.setForwardOnly(true);
    const std::optional<bool> juntas =
        miradas.isEmpty() ? std::nullopt : Sentencia::ejecutarJuntas(q, miradas);
    QList<bool> validos;
    for (qsizetype i = 0; i < programas.size(); ++i) {
        if (juntas) {
            if (!(i == 0 ? *juntas : q.nextResult())) {
                reportarError(q.lastError().text());
                return;
            }
        } else if (!correr(validoAdmin, validoUsuario, programas.at(i).chopped(4))) {
            return;
        }
        validos.append(q.next());
    }
    q.clear();
    for (qsizetype i = 0; i < programas.size(); ++i) {
        const QString ruta = dirProfile.absolutePath() + QLatin1Char('/') + programas.at(i);
        const QString rutaDigest = ruta + QLatin1String(Programas::sufijoDigest);

        if (!QFile::exists(rutaDigest) && !QFile::remove(ruta))
            Mensajes::informacion(
                this, atencion,
                QStringLiteral("Existen archivos no validos en directorio profile<br>que no "
                               "pudieron ser eliminados.<br>Comunique novedad al "
                               "Administrador de Sistemas!"));
        if (!validos.at(i)) {
            // A file that is already gone counts as deleted: only a file still there after
            // the attempt is worth a message.
            if (QFile::exists(ruta) && !QFile::remove(ruta))
                Mensajes::informacion(this, atencion,
                                      QStringLiteral("No se pudo eliminar aplicacion no "
                                                     "valida!<br>Comunique novedad al "
                                                     "Administrador de Sistemas!"));
            if (QFile::exists(rutaDigest) && !QFile::remove(rutaDigest))
                Mensajes::informacion(this, atencion,
                                      QStringLiteral("No se pudo eliminar archivo MD5 para "
                                                     "aplicacion no valida!<br>Comunique "
                                                     "novedad al Administrador de Sistemas!"));
        }
    }

    // Pass 2: fetch what is missing or differs from the server's digest. The server keeps each
    // program's digest beside its bytes, computed when they are written, so reading it costs the
    // same whatever the size of the suite. A database not migrated yet lacks that column: the
    // statement fails once with "unknown column" (1054) and the session computes the digest as
    // it always did, with no message. The column is only as good as the two triggers that keep
    // it: the same statement asks whether both are there (every time: a refresh must not trust
    // what a restore without triggers left since the start), and without them (a migration half
    // done, a dump restored without triggers) the session computes the digest too, as bytes
    // replaced by hand would otherwise keep the old one.
    // The same statement also says, per program, which publication the user must have: the
    // pilot version for a user of the pilot group while one is out, the general one otherwise
    // (the bytes of `app` stay the general version's, for every launcher), with its version
    // number, and whether the program has only a pilot version that is not for this user.
    // A database without those tables answers "unknown table" or "unknown column" once, and
    // the session asks as before.
    // Runs the catalogue statement with the stored digest or with MD5(), falling back to the
    // statement without versions when the database does not have them.
    auto catalogoCon = [&](bool conDisparadores) {
        for (;;) {
            q.clear();
            q.setForwardOnly(true);
            // :uid for every account: the pilot group is the user's, whatever it may run.
            if (Sentencia::ejecutar(q, Catalogo::sentencia({esAdmin, versiones, conDisparadores}),
                                    {{QStringLiteral(":uid"), uid}}))
                return true;
            const QString codigo = q.lastError().nativeErrorCode();
            if (!versiones
                || (codigo != QLatin1String(columnaDesconocida)
                    && codigo != QLatin1String(tablaDesconocida)))
                return false;
            versiones = false;
        }
    };
    bool catalogo = digestAlmacenado && catalogoCon(true);
    if (!catalogo && digestAlmacenado
        && q.lastError().nativeErrorCode() != QLatin1String(columnaDesconocida)) {
        reportarError(q.lastError().text());
        return;
    }
    bool hayFila = catalogo && q.next();
    if (hayFila && q.value(4).toInt() != 2)
        catalogo = false;
    if (!catalogo) {
        digestAlmacenado = false;
        if (!catalogoCon(false)) {
            reportarError(q.lastError().text());
            return;
        }
        hayFila = q.next();
    }
    versionesInstaladas.clear();
    QSet<QString> ocultos;
    for (; hayFila; hayFila = q.next()) {
        const int appId = q.value(0).toInt();
        const QString nombre = q.value(1).toString();
        // Nothing to install yet for this user: the program is only out to the pilot group.
        if (q.value(6).toBool()) {
            ocultos.insert(nombre);
            continue;
        }
        bool descargar = true;
        // A name that cannot be a file of the profile is left to the download, which refuses
        // it: nothing outside the profile is ever looked at.
        if (Programas::nombreSeguro(nombre)) {
            const QString exe =
                dirProfile.path() + QLatin1Char('/') + nombre + QLatin1String(Programas::sufijoPrograma);
            if (QFile::exists(exe)) {
                const std::optional<bool> igual = Programas::digestCoincide(
                    exe + QLatin1String(Programas::sufijoDigest), q.value(2).toString());
                if (!igual) {
                    reportarError(QStringLiteral("Error al verificar MD5"));
                    return;
                }
                descargar = !*igual;
            }
        }
        firmaRechazada = false;
        // The version the user runs from now on, as long as the copy is the catalogue's.
        const std::optional<qint64> version =
            q.isNull(5) ? std::nullopt : std::optional<qint64>(q.value(5).toLongLong());
        auto instalada = [&] {
            if (version)
                versionesInstaladas.insert(nombre, *version);
            Fallos::resolver(db, uid, fallosAbiertos, appId, version);
        };
        versionBuscada = version.value_or(0);
        if (!descargar)
            instalada();
        if (descargar && descargarPrograma(nombre.toLatin1().constData(), appId,
                                           q.value(2).toString(), q.value(7).toBool()))
            instalada();
        else if (descargar) {
            if (terminado())
                return;
            // A refused signature has said all there is to say in its own box.
            if (firmaRechazada)
                continue;
            Mensajes::informacion(this, QStringLiteral("Nuevo programa disponible"),
                                  QStringLiteral("No se pudo obtener version actualizada del "
                                                 "programa ")
                                      + nombre
                                      + QStringLiteral("!<br>Comunique novedad al "
                                                       "Administrador de Sistemas!"));
        }
        if (terminado())
            return;
    }

    // Every program has been looked at: no cut transfer is waiting any more.
    Actualizacion::descartarParciales(dirProfile.path());

    // Pass 3: the list, from the database alone.
    changelogsPendientes.clear();
    if (!correr(QStringLiteral("SELECT titulo, nombre, 1 FROM app;"),
                QStringLiteral("SELECT titulo, nombre, ua.clogleido FROM sysuserapp ua, "
                               "app a WHERE a.app_id=ua.app_id AND ua.sysuser_id=:uid;")))
        return;
    while (q.next()) {
        const QString titulo = q.value(0).toString();
        const QString nombre = q.value(1).toString();
        if (ocultos.contains(nombre))
            continue;
        auto *item = new QListWidgetItem(titulo);
        item->setData(Qt::UserRole, nombre);
        if (q.value(2).toBool()) {
            item->setIcon(iconoApp);
        } else {
            changelogsPendientes.append(nombre);
            item->setIcon(iconoAlerta);
        }
        ui->lw_apps->addItem(item);
    }
    ui->lw_apps->sortItems(Qt::AscendingOrder);

    if (!changelogsPendientes.isEmpty())
        Mensajes::informacion(
            this, QStringLiteral("CHANGELOGs por leer"),
            QStringLiteral("Sr. Usuario:\n\nTiene registros de cambios pendientes de "
                           "lectura.\n\nEs importante lea CHANGELOG para infomarse sobre "
                           "cambios aplicados.\n\nLas aplicaciones con lectura pendiente se "
                           "muestran con icono en alerta.\n\nPodra acceder al registro de "
                           "cambios de cada programa\ningresando a Menu/Ayuda/Acerca de..."));
}

void Kolvaster::on_actionActualizar_aplicaciones_disponibles_triggered()
{
    // A running program's executable must never be replaced or deleted under it.
    if (programasAbiertos != 0) {
        Mensajes::advertencia(this, atencion,
                              QStringLiteral("Para poder actualizar lista de aplicaciones "
                                             "primero<br>debera cerrar todas las aplicaciones "
                                             "abiertas!"));
        return;
    }
    sincronizarAplicaciones();
    if (terminado())
        return;
    Mensajes::informacion(this, QStringLiteral("Actualizar aplicaciones!"),
                          QStringLiteral("Aplicaciones disponibles actualizadas!"));
}

bool Kolvaster::descargarPrograma(const char *nombre, int appId, const QString &digest,
                                  bool piloto)
{
    KolvasterProcessDialog espera(QStringLiteral("Obteniendo version actualizada de:"),
                                  QString::fromLatin1(nombre), this);
    espera.show();
    QCoreApplication::processEvents();
    // Drawn on the screen now: what the toolkit painted waits in its connection to the display
    // until the event loop idles, which it does not before the download is over.
    QGuiApplication::sync();

    // A launcher built with publisher keys installs only what they signed.
    const std::optional<QList<QByteArray>> &claves = Firma::clavesEditor();
    // Each way this program stays behind the catalogue, on record for the administrator.
    bool piezasFallidas = false;
    auto anotar = [&](const QString &causa, const QString &texto) {
        Fallos::Fallo f;
        f.appId = appId;
        f.nombre = QString::fromLatin1(nombre);
        f.version = versionBuscada;
        f.md5 = digest;
        f.causa = causa;
        f.texto = texto;
        Fallos::registrar(db, uid, dirProfile.path(), f);
    };

    // First the patches from the user's version or the compressed copy, when the publishing
    // tool stored them for the catalogue's digest; whatever fails there is silently left to
    // the download below.
    std::optional<Actualizacion::Canal> propio;
    if (!canalSincronizacion)
        propio.emplace(db);
    Actualizacion::Canal &canal = canalSincronizacion ? *canalSincronizacion : *propio;
    if (!digest.isEmpty()) {
        const Actualizacion::Resultado a = Actualizacion::actualizar(
            db, canal, appId, dirProfile.path(),
            digest, claves ? &*claves : nullptr, [&](qint64 recibidos, qint64 total) {
                espera.setProgreso(recibidos, total);
                // Painted now, between two pieces, and sent to the display at once; but no
                // input taken: nothing may start while the files change.
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                espera.repaint();
                QGuiApplication::sync();
            });
        if (a.camino != Actualizacion::Camino::Ninguno)
            return true;
        // A link cut while the pieces came is a failed download like any other, but what
        // arrived stays for the next start, which asks only for the rest.
        piezasFallidas = !a.fallidos.isEmpty();
        if (!a.corte.isEmpty()) {
            anotar(QStringLiteral("corte"), a.corte);
            reportarError(a.corte);
            return false;
        }
        espera.setProgreso(0, 0);
    }

    // The binary goes from the client library's buffer to the file in pieces: it is never
    // copied whole into the driver's buffers and a QByteArray on top.
    // From the branch's replica first, when the session has one; anything but the program in
    // place (the replica lags, lacks it, holds other bytes, stops answering) leaves the
    // download to the session's server.
    const Descarga::Cerca cerca{digest.isEmpty() ? nullptr : canal.replica(),
                                QString::fromLatin1(nombre), digest};
    Descarga::Resultado r;
    if (cerca.m) {
        r = Descarga::descargar(db, appId, dirProfile.path(), claves ? &*claves : nullptr,
                                piloto ? digest : QString(), &cerca);
        if (r.estado == Descarga::Estado::FalloSentencia)
            canal.perderReplica();
    }
    if (!cerca.m || Sucursal::otraVez(r.estado))
        r = Descarga::descargar(db, appId, dirProfile.path(), claves ? &*claves : nullptr,
                                piloto ? digest : QString());
    switch (r.estado) {
    case Descarga::Estado::FalloSentencia:
        anotar(QStringLiteral("corte"), r.error);
        reportarError(r.error);
        return false;
    case Descarga::Estado::SinFila:
        reportarError(QStringLiteral("Error al obtener app no hay next"));
        return false;
    case Descarga::Estado::SinBinario:
        Mensajes::advertencia(this, atencion,
                              QStringLiteral("No se pudo obtener version de programa! No "
                                             "existe archivo binario disponible!<br>Comunique "
                                             "novedad al Administrador de Sistemas!"));
        return false;
    case Descarga::Estado::NombreInvalido:
        // The name becomes a file name: one that could leave the profile is never written.
        Mensajes::advertencia(this, atencion,
                              QStringLiteral("No se pudo obtener version de programa! El nombre "
                                             "\"%1\" no es un nombre de archivo valido!<br>"
                                             "Comunique novedad al Administrador de Sistemas!")
                                  .arg(r.nombre.toHtmlEscaped()));
        return false;
    case Descarga::Estado::DigestDistinto: {
        // What arrived must be what the server holds: a damaged transfer writes nothing.
        const QString texto = QStringLiteral("No se pudo obtener version de programa! El archivo "
                                             "recibido no coincide con su MD5!<br>Comunique "
                                             "novedad al Administrador de Sistemas!");
        anotar(piezasFallidas ? QStringLiteral("piezas") : QStringLiteral("md5"), texto);
        Mensajes::advertencia(this, atencion, texto);
        return false;
    }
    case Descarga::Estado::FalloPrograma:
    case Descarga::Estado::FalloDigest: {
        const QString texto = r.estado == Descarga::Estado::FalloPrograma
                                  ? QStringLiteral("No se puede escribir archivo en directorio "
                                                   "profile (binario)")
                                  : QStringLiteral("No se puede escribir archivo en directorio "
                                                   "profile (MD5)");
        anotar(Fallos::causaEscritura(dirProfile.path()), texto);
        reportarError(texto);
        return false;
    }
    case Descarga::Estado::FirmaInvalida:
        // The old program and its digest stay as they were and keep starting.
        firmaRechazada = true;
        {
            const QString texto = QStringLiteral("La aplicacion ") + r.titulo.toHtmlEscaped()
                                  + QStringLiteral(" no tiene una firma valida del editor y no "
                                                   "fue actualizada.<br>Comunique novedad al "
                                                   "Administrador de Sistemas!");
            anotar(QStringLiteral("firma"), texto);
            Mensajes::informacion(this, atencion, texto);
        }
        return false;
    case Descarga::Estado::Hecha:
        break;
    }
    return true;
}

void Kolvaster::verificarChangelogs()
{
    if (changelogsPendientes.isEmpty())
        return;
    QStringList leidos;
    for (const QString &nombre : std::as_const(changelogsPendientes)) {
        QSqlQuery q;
        if (!Sentencia::ejecutar(q,
                                 QStringLiteral("SELECT sa.clogleido FROM sysuserapp sa, app a "
                                                "WHERE a.app_id=sa.app_id AND a.nombre=:nombre "
                                                "AND sa.sysuser_id=:uid;"),
                                 {{QStringLiteral(":nombre"), nombre},
                                  {QStringLiteral(":uid"), uid}})) {
            reportarError(q.lastError().text());
            return;
        }
        if (q.next() && q.value(0).toBool()) {
            for (int i = 0; i < ui->lw_apps->count(); ++i) {
                QListWidgetItem *item = ui->lw_apps->item(i);
                if (item->data(Qt::UserRole).toString() == nombre) {
                    item->setIcon(iconoApp);
                    break;
                }
            }
            leidos.append(nombre);
        }
    }
    for (const QString &nombre : std::as_const(leidos))
        changelogsPendientes.removeOne(nombre);
}

void Kolvaster::terminoPrograma()
{
    --programasAbiertos;
    verificarChangelogs();
}
