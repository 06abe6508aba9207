#!/usr/bin/env bash
# The launcher itself as a program of the suite, published with kolvaster-publicar and the
# demo's publisher key, with its change log unread by both demo users: "Ayuda / Acerca de..."
# marks it read, and its icon turns normal at the next keep-alive.
set -euo pipefail
: "${DEMO_SQL:?}" "${DEMO_DB:?}" "${DEMO_BUILD:?}"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/Kolvaster" <<'SH'
#!/bin/sh
if [ -n "${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  exec xmessage -center -title Kolvaster "Kolvaster se actualiza desde el sitio de descargas."
fi
SH
socket=$(sed -n 's/.*--socket=\([^ ]*\).*/\1/p' <<<"$DEMO_SQL")
"$DEMO_BUILD/kolvaster-publicar" subir --no-defaults --socket="$socket" --user=root \
  --sistema "$DEMO_DB" --clave "$(dirname "$0")/editor-demo.clave" Kolvaster "$tmp/Kolvaster" >/dev/null
$DEMO_SQL -e "
  UPDATE app SET descri='Manejador de aplicaciones' WHERE nombre='Kolvaster';
  INSERT INTO sysuserapp (sysuser_id,app_id,clogleido)
    SELECT u.sysuser_id, a.app_id, FALSE FROM sysuser u, app a
    WHERE u.sysuser IN ('${DEMO_DB}_ana','${DEMO_DB}_beto') AND a.nombre='Kolvaster';"
echo "program Kolvaster (signed): change log unread by demo_ana and demo_beto (About marks it read)"
