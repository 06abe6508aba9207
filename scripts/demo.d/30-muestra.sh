#!/usr/bin/env bash
# Publishes the sample program of the suite in the demo database with kolvaster-publicar and
# the demo's publisher key, and grants it to both demo users (ana has read its change log, beto
# has not). The program reads the launcher's session record and connects as the launcher's user.
set -euo pipefail
bin="$DEMO_BUILD/src/share/muestra/kolvastermuestra"
[ -x "$bin" ] || { echo "30-muestra: $bin not built" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$bin" "$tmp/muestra"
strip "$tmp/muestra" 2>/dev/null || true
socket=$(sed -n 's/.*--socket=\([^ ]*\).*/\1/p' <<<"$DEMO_SQL")
"$DEMO_BUILD/kolvaster-publicar" subir --no-defaults --socket="$socket" --user=root \
  --sistema "$DEMO_DB" --clave "$(dirname "$0")/editor-demo.clave" --titulo "Programa de muestra" \
  muestra "$tmp/muestra" >/dev/null
{
  printf "UPDATE app SET descri='Muestra la sesion compartida por el lanzador: usuario, servidor y sistema.', apprisklevel_id=1, riskdetalle='Solo lectura.' WHERE nombre='muestra';\n"
  printf "INSERT INTO sysuserapp (sysuser_id,app_id,clogleido) SELECT u.sysuser_id, a.app_id, u.sysuser='%s_ana' FROM sysuser u, app a WHERE a.nombre='muestra' AND u.sysuser IN ('%s_ana','%s_beto');\n" "$DEMO_DB" "$DEMO_DB" "$DEMO_DB"
} >"$tmp/muestra.sql"
$DEMO_SQL <"$tmp/muestra.sql"
echo "30-muestra: program 'muestra' ($(stat -c %s "$tmp/muestra") bytes, signed) granted to ${DEMO_DB}_ana and ${DEMO_DB}_beto"
