#include "apertura.h"

#include <mysql.h>

#include <cstdarg>
#include <mutex>

namespace {

const char nombre[] = "kolvaster";
const QLatin1String prefijo("kolvaster://");

// The client library's connection-handler plugin, declared here as the library defines it:
// its own header cannot be included, as it needs one the development package does not install.
struct Manejador {
    int type;
    unsigned int interface_version;
    const char *name;
    const char *author;
    const char *desc;
    unsigned int version[3];
    const char *license;
    void *mysql_api;
    int (*init)(char *, size_t, int, va_list);
    int (*deinit)(void);
    int (*options)(const char *option, const void *);
    MYSQL *(*connect)(MYSQL *mysql, const char *host, const char *user, const char *passwd,
                      const char *db, unsigned int port, const char *unix_socket,
                      unsigned long clientflag);
    void (*close)(MYSQL *mysql);
    int (*set_optionsv)(MYSQL *mysql, unsigned int option, ...);
    int (*set_connection)(MYSQL *mysql, enum enum_server_command command, const char *arg,
                          size_t length, my_bool skipp_check, void *opt_arg);
    my_bool (*reconnect)(MYSQL *mysql);
    int (*reset)(MYSQL *mysql);
};

constexpr int tipoConexion = 103;         // MARIADB_CLIENT_CONNECTION_PLUGIN
constexpr unsigned versionInterfaz = 0x0100; // its interface version

MYSQL *rechazar(MYSQL *m, const char *motivo)
{
    m->methods->set_error(m, 2000, "HY000", "%s", motivo);
    return nullptr;
}

// Called by mysql_real_connect with the handle still unconnected and `host` without the prefix:
// the limits go on this handle, then the library connects as it always does.
MYSQL *conectar(MYSQL *m, const char *host, const char *usuario, const char *clave,
                const char *base, unsigned int puerto, const char *socket,
                unsigned long banderas)
{
    if (mysql_optionsv(m, MARIADB_OPT_RESTRICTED_AUTH, Apertura::autenticaciones) != 0)
        return rechazar(m, "no se pudieron limitar los metodos de autenticacion");
    char *ca = nullptr;
    char *carpeta = nullptr;
    mysql_get_optionv(m, MYSQL_OPT_SSL_CA, &ca);
    mysql_get_optionv(m, MYSQL_OPT_SSL_CAPATH, &carpeta);
    if ((ca && *ca) || (carpeta && *carpeta)) {
        // With an authority: TLS or nothing, and the certificate must name the host, checked
        // by the library right after the TLS handshake and before the login packet.
        my_bool si = 1;
        if (mysql_optionsv(m, MYSQL_OPT_SSL_ENFORCE, &si) != 0
            || mysql_optionsv(m, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &si) != 0)
            return rechazar(m, "no se pudo exigir TLS");
    }
    return m->methods->db_connect(m, host, usuario, clave, base, puerto, socket, banderas);
}

// The library's own close runs after this one; there is nothing of ours to release.
void cerrar(MYSQL *) {}

// Asked before every command of the connection (and not checked for being there): each command
// goes on as the library sends it.
int antesDeCadaOrden(MYSQL *, enum enum_server_command, const char *, size_t, my_bool, void *)
{
    return 0;
}

Manejador manejador = {tipoConexion, versionInterfaz, nombre, "Kolvaster",
                       "Limites de cada conexion del sistema", {1, 0, 0}, "GPL", nullptr,
                       nullptr, nullptr, nullptr, conectar, cerrar, nullptr, antesDeCadaOrden,
                       nullptr, nullptr};

} // namespace

namespace Apertura {

bool registrar()
{
    static std::once_flag una;
    static bool registrado = false;
    std::call_once(una, [] {
        MYSQL *m = mysql_init(nullptr);
        if (!m)
            return;
        auto *propio = reinterpret_cast<st_mysql_client_plugin *>(&manejador);
        // Ours, and no other of that name (one loaded from a plugin folder) would be chosen.
        registrado = mysql_client_register_plugin(m, propio) == propio
                     && mysql_client_find_plugin(m, nombre, tipoConexion) == propio;
        mysql_close(m);
    });
    return registrado;
}

QString anteponer(const QString &host)
{
    return host.startsWith(prefijo) ? host : prefijo + host;
}

QString servidor(const QString &host)
{
    return host.startsWith(prefijo) ? host.mid(prefijo.size()) : host;
}

} // namespace Apertura
