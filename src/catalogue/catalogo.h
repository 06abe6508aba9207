#pragma once

// The catalogue statement of a synchronisation: per program the user may run, what must be on
// the workstation. One builder for every database the launcher meets, so that the account that
// sees every program and the others read the same columns by the same rules.

#include <QString>

namespace Catalogo {

// What the database and the session allow the statement to ask.
struct Forma {
    // The account sees every program of `app`, rights or not ("dbadmin"); otherwise only the
    // programs `sysuserapp` grants to :uid.
    bool todos = false;
    // The database has the versions' tables (appfirma, appversion and sysuser.piloto).
    bool versiones = true;
    // The digest is read from the stored column, and the statement asks whether both triggers
    // that keep it are there; otherwise the server computes MD5() of the bytes.
    bool digestAlmacenado = true;
};

// Columns, in this order:
//   0 app_id, 1 nombre, 2 the digest of the bytes the user must have, 3 titulo,
//   4 the number of the digest's triggers present (2 when the digest is computed),
//   5 the version to run (NULL when unknown), 6 true when the program has only a pilot version
//   and the user is not of the pilot group (nothing to install), 7 true when the bytes are the
//   pilot version's.
// :uid is always a placeholder of the statement (the pilot group is the user's, whatever the
// programs the account sees), bound to the session's user identifier.
QString sentencia(const Forma &forma);

} // namespace Catalogo
