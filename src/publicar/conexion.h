#pragma once

#include <QString>
#include <QStringList>

#include <optional>

#include <mysql.h>

// The connection options of the stock mariadb client: --host, --port, --user, --password,
// --socket, --ssl-ca and the client library's option files (--no-defaults, --defaults-file,
// --defaults-extra-file; ssl-ca there too), plus --sistema, the system's database.
//
// With a certificate authority, from either place, the session is TLS or nothing: a server in
// clear, one whose certificate another authority signed, or one whose certificate names another
// host is refused before the password's exchange.
struct Conexion {
    QString host, usuario, socket, sistema, autoridad;
    unsigned puerto = 0;
    std::optional<QString> clave; // given on the command line
    bool pedirClave = false;      // -p / --password without a value
    bool sinArchivos = false;
    QString archivoOpciones, archivoExtra;

    // Takes the option at args[*i] (and its value) when it is a connection option; false when
    // it is not one. A bad value sets *error.
    bool tomar(const QStringList &args, int *i, QString *error);

    // Connects (the password asked on the terminal, without echo, when none was given and the
    // server wants one). Nothing and *error set (one line) on failure.
    MYSQL *conectar(QString *error) const;
};
