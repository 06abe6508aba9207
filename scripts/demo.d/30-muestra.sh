#!/usr/bin/env bash
# Stores the sample program of the suite in the demo database and grants it to both demo
# users (ana has read its change log, beto has not). The program reads the launcher's session
# record and connects as the launcher's user.
set -euo pipefail
bin="$DEMO_BUILD/src/share/muestra/kolvastermuestra"
[ -x "$bin" ] || { echo "30-muestra: $bin not built" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$bin" "$tmp/muestra"
strip "$tmp/muestra" 2>/dev/null || true
{
  printf "INSERT INTO app (nombre,titulo,windowsbinary,descri,apprisklevel_id,riskdetalle) VALUES ('muestra','Programa de muestra',UNHEX('"
  xxd -p "$tmp/muestra" | tr -d '\n'
  printf "'),'Muestra la sesion compartida por el lanzador: usuario, servidor y sistema.',1,'Solo lectura.');\n"
  printf "INSERT INTO sysuserapp (sysuser_id,app_id,clogleido) SELECT u.sysuser_id, a.app_id, u.sysuser='%s_ana' FROM sysuser u, app a WHERE a.nombre='muestra' AND u.sysuser IN ('%s_ana','%s_beto');\n" "$DEMO_DB" "$DEMO_DB" "$DEMO_DB"
} >"$tmp/muestra.sql"
$DEMO_SQL <"$tmp/muestra.sql"
echo "30-muestra: program 'muestra' ($(stat -c %s "$tmp/muestra") bytes) granted to ${DEMO_DB}_ana and ${DEMO_DB}_beto"
