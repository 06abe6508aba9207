#!/usr/bin/env bash
# The launcher itself as a program of the suite, with its change log unread by both demo users:
# "Ayuda / Acerca de..." marks it read, and its icon turns normal at the next keep-alive.
set -euo pipefail
: "${DEMO_SQL:?}" "${DEMO_DB:?}"
binario=$(od -An -v -tx1 <<'SH' | tr -d ' \n'
#!/bin/sh
if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  exec xmessage -center -title Kolvaster "Kolvaster se actualiza desde el sitio de descargas."
fi
SH
)
$DEMO_SQL -e "
  INSERT INTO app (nombre,titulo,windowsbinary,descri)
    VALUES ('Kolvaster','Kolvaster',UNHEX('$binario'),'Manejador de aplicaciones');
  INSERT INTO sysuserapp (sysuser_id,app_id,clogleido)
    SELECT u.sysuser_id, a.app_id, FALSE FROM sysuser u, app a
    WHERE u.sysuser IN ('${DEMO_DB}_ana','${DEMO_DB}_beto') AND a.nombre='Kolvaster';"
echo "program Kolvaster: change log unread by demo_ana and demo_beto (About marks it read)"
