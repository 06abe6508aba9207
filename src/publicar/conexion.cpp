#include "conexion.h"

#include "db/apertura.h"
#include "db/autoridad.h"
#include "db/complementos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <termios.h>
#include <unistd.h>

namespace {

// "--name=value", "--name value", or for a short option "-xvalue" / "-x value".
std::optional<QString> valor(const QStringList &args, int *i, const QString &largo,
                             const QString &corto, bool *es)
{
    const QString &a = args.at(*i);
    *es = true;
    if (a.startsWith(largo + QLatin1Char('=')))
        return a.mid(largo.size() + 1);
    if ((a == largo || a == corto) && *i + 1 < args.size())
        return args.at(++*i);
    if (!corto.isEmpty() && a.startsWith(corto) && a.size() > corto.size())
        return a.mid(corto.size());
    *es = a == largo || (!corto.isEmpty() && a == corto);
    return std::nullopt;
}

// Reads a line from the terminal without showing it.
std::optional<QString> leerClaveTerminal()
{
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return std::nullopt;
    std::fputs("Contraseña: ", tty);
    std::fflush(tty);
    termios antes;
    const bool eco = tcgetattr(fileno(tty), &antes) == 0;
    if (eco) {
        termios sin = antes;
        sin.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fileno(tty), TCSAFLUSH, &sin);
    }
    char linea[1024];
    const bool leida = std::fgets(linea, sizeof linea, tty) != nullptr;
    if (eco)
        tcsetattr(fileno(tty), TCSAFLUSH, &antes);
    std::fputs("\n", tty);
    std::fclose(tty);
    if (!leida)
        return std::nullopt;
    QString r = QString::fromLocal8Bit(linea);
    while (r.endsWith(QLatin1Char('\n')) || r.endsWith(QLatin1Char('\r')))
        r.chop(1);
    return r;
}

// What the client library will take from its option files (the groups it reads for this tool,
// includes followed) that matters to the session's protection.
struct LecturaArchivos {
    QString autoridad; // ssl-ca or ssl-capath; empty when none
    QString apagado;   // "FILE: option=value" of the last option that turns a check off
};

// Read as the library reads them: "_" taken for "-", quotes around a value dropped, and a
// switch that is 0 as a number (atoi) or has no value at all is off.
LecturaArchivos leerArchivos(const QStringList &archivos)
{
    static const QStringList grupos = {"client", "client-server", "client-mariadb",
                                       "kolvaster-publicar"};
    LecturaArchivos r;
    std::function<void(const QString &, int)> leer = [&](const QString &ruta, int nivel) {
        QFile f(ruta);
        if (nivel > 10 || !f.open(QIODevice::ReadOnly | QIODevice::Text))
            return;
        bool enGrupo = false;
        while (!f.atEnd()) {
            const QString l = QString::fromLocal8Bit(f.readLine()).trimmed();
            if (l.startsWith(QLatin1String("!include "))) {
                leer(l.mid(9).trimmed(), nivel + 1);
            } else if (l.startsWith(QLatin1String("!includedir "))) {
                const QDir d(l.mid(12).trimmed());
                for (const QString &n : d.entryList({"*.cnf"}, QDir::Files, QDir::Name))
                    leer(d.filePath(n), nivel + 1);
            } else if (l.startsWith(QLatin1Char('['))) {
                enGrupo = grupos.contains(l.mid(1, l.indexOf(QLatin1Char(']')) - 1).trimmed());
            } else if (enGrupo && !l.startsWith(QLatin1Char('#')) && !l.startsWith(QLatin1Char(';'))) {
                const QString clave = l.section(QLatin1Char('='), 0, 0).trimmed().replace('_', '-');
                const bool conValor = l.contains(QLatin1Char('='));
                QString valor = l.section(QLatin1Char('='), 1).trimmed();
                if (valor.size() >= 1 && (valor.front() == '"' || valor.front() == '\''))
                    valor = valor.mid(1);
                if (valor.size() >= 1 && (valor.back() == '"' || valor.back() == '\''))
                    valor.chop(1);
                if (clave == QLatin1String("ssl-ca") || clave == QLatin1String("ssl-capath"))
                    r.autoridad = valor;
                else if ((clave == QLatin1String("ssl-verify-server-cert")
                          || clave == QLatin1String("ssl-enforce"))
                         && (!conValor || std::atoi(valor.toLatin1().constData()) == 0))
                    r.apagado = QStringLiteral("%1: %2").arg(ruta, l);
            }
        }
    };
    for (const QString &a : archivos)
        leer(a, 0);
    return r;
}

// A value for an option file, read back by the library exactly: quoted, with its backslashes,
// quotes and line breaks escaped (a path cannot add a line of its own to the file).
QByteArray valorDeArchivo(const QString &v)
{
    QByteArray b = QFile::encodeName(v);
    b.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n").replace('\r', "\\r");
    return '"' + b + '"';
}

} // namespace

bool Conexion::tomar(const QStringList &args, int *i, QString *error)
{
    const QString &a = args.at(*i);
    bool es = false;
    auto texto = [&](const QString &largo, const QString &corto, QString *destino) {
        const std::optional<QString> v = valor(args, i, largo, corto, &es);
        if (v)
            *destino = *v;
        else if (es)
            *error = QStringLiteral("falta el valor de %1").arg(largo);
        return es;
    };
    if (texto(QStringLiteral("--host"), QStringLiteral("-h"), &host)
        || texto(QStringLiteral("--user"), QStringLiteral("-u"), &usuario)
        || texto(QStringLiteral("--socket"), QStringLiteral("-S"), &socket)
        || texto(QStringLiteral("--sistema"), QString(), &sistema)
        || texto(QStringLiteral("--ssl-ca"), QString(), &autoridad)
        || texto(QStringLiteral("--defaults-file"), QString(), &archivoOpciones)
        || texto(QStringLiteral("--defaults-extra-file"), QString(), &archivoExtra))
        return true;
    QString p;
    if (texto(QStringLiteral("--port"), QStringLiteral("-P"), &p)) {
        bool ok = false;
        puerto = p.toUInt(&ok);
        if (error->isEmpty() && (!ok || puerto == 0 || puerto > 65535))
            *error = QStringLiteral("puerto no valido: %1").arg(p);
        return true;
    }
    if (a == QLatin1String("--no-defaults")) {
        sinArchivos = true;
        return true;
    }
    // As the stock client: a password only when glued to the option, else asked for.
    if (a == QLatin1String("--password") || a == QLatin1String("-p")) {
        pedirClave = true;
        return true;
    }
    if (a.startsWith(QLatin1String("--password="))) {
        clave = a.mid(11);
        return true;
    }
    if (a.startsWith(QLatin1String("-p"))) {
        clave = a.mid(2);
        return true;
    }
    return false;
}

MYSQL *Conexion::conectar(QString *error) const
{
    if (sistema.isEmpty()) {
        *error = QStringLiteral("falta --sistema BASE");
        return nullptr;
    }
    for (const QString &f : {archivoOpciones, archivoExtra})
        if (!f.isEmpty() && !QFileInfo(f).isReadable()) {
            *error = QStringLiteral("no se puede leer el archivo de opciones %1").arg(f);
            return nullptr;
        }
    // The client library reads its option files inside mysql_real_connect, after the options
    // set here, so a file would have the last word. The tool therefore hands it one file of its
    // own: it includes what the library would read (the default places in their order, then
    // --defaults-extra-file; or --defaults-file alone) and ends with a group of the tool's own,
    // which so wins as the stock client's command line does: the authority given or built in,
    // TLS and the server's name required with one, and the empty plugin folder.
    QStringList lugares;
    if (!archivoOpciones.isEmpty()) {
        lugares << QFileInfo(archivoOpciones).absoluteFilePath();
    } else if (!sinArchivos) {
        lugares << QStringLiteral("/etc/my.cnf") << QStringLiteral("/etc/mysql/my.cnf");
        for (const char *var : {"MARIADB_HOME", "MYSQL_HOME"})
            if (!qEnvironmentVariableIsEmpty(var)) {
                lugares << qEnvironmentVariable(var) + QStringLiteral("/my.cnf");
                break;
            }
        lugares << QDir::homePath() + QStringLiteral("/.my.cnf");
        if (!archivoExtra.isEmpty())
            lugares << QFileInfo(archivoExtra).absoluteFilePath();
    }
    QStringList leidos;
    for (const QString &l : lugares)
        if (QFileInfo(l).isReadable())
            leidos << l;
    const LecturaArchivos deArchivos = leerArchivos(leidos);
    // The command line's authority, else the one the tool was built with, else the files'.
    const QString ca = autoridad.isEmpty() ? Autoridad::ruta() : autoridad;
    if (!ca.isEmpty() && !QFileInfo(ca).isReadable()) {
        *error = QStringLiteral("no se puede leer el certificado de la autoridad %1").arg(ca);
        return nullptr;
    }
    const bool exigirTls = !ca.isEmpty() || !deArchivos.autoridad.isEmpty();
    if (exigirTls && !deArchivos.apagado.isEmpty()) {
        *error = QStringLiteral("el archivo de opciones apaga una comprobacion de TLS, que con una "
                                "autoridad no se admite: %1")
                     .arg(deArchivos.apagado);
        return nullptr;
    }
    Complementos::limitar();
    const QByteArray sinComplementos = QFile::encodeName(Complementos::carpeta());
    QTemporaryFile combinado(QDir::tempPath() + QStringLiteral("/kolvaster-publicar-XXXXXX.cnf"));
    if (!archivoOpciones.isEmpty() || !sinArchivos) {
        if (!combinado.open()) {
            *error = QStringLiteral("no se puede crear un archivo temporal en %1")
                         .arg(QDir::tempPath());
            return nullptr;
        }
        for (const QString &l : leidos) {
            // One line per file: a name with a line break would write lines of its own.
            if (l.contains(QLatin1Char('\n')) || l.contains(QLatin1Char('\r'))) {
                *error = QStringLiteral("nombre de archivo de opciones no valido: %1").arg(l);
                return nullptr;
            }
            combinado.write("!include " + QFile::encodeName(l) + '\n');
        }
        combinado.write("[kolvaster-publicar]\nplugin-dir=" + valorDeArchivo(Complementos::carpeta())
                        + "\nrestricted-auth=" + Apertura::autenticaciones + '\n');
        if (!ca.isEmpty())
            combinado.write("ssl-ca=" + valorDeArchivo(ca) + '\n');
        if (exigirTls)
            combinado.write("ssl-enforce=1\nssl-verify-server-cert=1\n");
        combinado.close();
    }
    const QString archivo = combinado.fileName();

    std::optional<QString> contrasena = clave;
    if (pedirClave && !contrasena) {
        contrasena = leerClaveTerminal();
        if (!contrasena) {
            *error = QStringLiteral("no hay terminal para pedir la contraseña");
            return nullptr;
        }
    }
    for (int intento = 0;; ++intento) {
        MYSQL *m = mysql_init(nullptr);
        if (!m) {
            *error = QStringLiteral("sin memoria para la conexion");
            return nullptr;
        }
        if (!archivo.isEmpty()) {
            mysql_optionsv(m, MYSQL_READ_DEFAULT_GROUP, "kolvaster-publicar");
            mysql_optionsv(m, MYSQL_READ_DEFAULT_FILE, QFile::encodeName(archivo).constData());
        }
        mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
        mysql_optionsv(m, MYSQL_PLUGIN_DIR, sinComplementos.constData());
        // Only the accounts' own method, whatever plugins the library has loaded already (the
        // environment's LIBMYSQL_PLUGINS, at its start) or could load.
        mysql_optionsv(m, MARIADB_OPT_RESTRICTED_AUTH, Apertura::autenticaciones);
        // With an authority, TLS or nothing, from a server whose certificate names the host
        // (checked in the handshake, before the login's exchange).
        const QByteArray caBytes = QFile::encodeName(ca);
        if (!ca.isEmpty())
            mysql_optionsv(m, MYSQL_OPT_SSL_CA, caBytes.constData());
        if (exigirTls) {
            my_bool si = 1;
            mysql_optionsv(m, MYSQL_OPT_SSL_ENFORCE, &si);
            mysql_optionsv(m, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &si);
        }
        const QByteArray h = host.toUtf8(), u = usuario.toUtf8(), s = socket.toUtf8(),
                         b = sistema.toUtf8();
        const QByteArray c = contrasena ? contrasena->toUtf8() : QByteArray();
        if (mysql_real_connect(m, h.isEmpty() ? nullptr : h.constData(),
                               u.isEmpty() ? nullptr : u.constData(),
                               contrasena ? c.constData() : nullptr, b.constData(), puerto,
                               s.isEmpty() ? nullptr : s.constData(), 0))
            return m;
        const unsigned n = mysql_errno(m);
        const QString texto = QString::fromUtf8(mysql_error(m));
        mysql_close(m);
        // No password given and the server wants one: ask, once, on a terminal.
        if (n == 1045 && intento == 0 && !contrasena && isatty(STDIN_FILENO)) {
            contrasena = leerClaveTerminal();
            if (contrasena)
                continue;
        }
        if (n == 1045 || n == 1698)
            *error = QStringLiteral("acceso denegado a la cuenta %1: usuario o contraseña "
                                    "incorrectos")
                         .arg(usuario.isEmpty() ? QStringLiteral("del sistema") : usuario);
        else if (n == 1049)
            *error = QStringLiteral("no existe el sistema %1 en el servidor").arg(sistema);
        else if (n >= 2000 && n < 2100)
            // The client library's own words are English: its number says which failure it was.
            *error = QStringLiteral("no se puede conectar con el servidor%1 (error %2 del cliente)")
                         .arg(n == 2026 ? QStringLiteral(" por TLS: no ofrece TLS, o su "
                                                         "certificado no es de la autoridad o "
                                                         "no lo nombra")
                                        : QString())
                         .arg(n);
        else
            *error = texto;
        return nullptr;
    }
}
