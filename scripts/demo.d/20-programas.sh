#!/usr/bin/env bash
# Demo programs: the installation folder with its two libraries, and a few programs of the
# suite published with kolvaster-publicar and the demo's publisher key (the demo's launcher is
# built with its public key), granted differently to demo_ana and demo_beto.
#
# Environment (set by scripts/demo.sh): DEMO_SQL, DEMO_DB, DEMO_HOME, DEMO_BUILD.
# Each program is a small shell script: it appends a line to $HOME/kolvaster-demo.log and
# shows a window (xmessage) while it runs, or just waits when there is no display.
set -euo pipefail
: "${DEMO_SQL:?}" "${DEMO_DB:?}" "${DEMO_HOME:?}"

instalacion="$DEMO_HOME/Kolvaster"
mkdir -p "$instalacion"
printf 'placeholder libeay32 for the demo\n' > "$instalacion/libeay32.dll"
printf 'placeholder ssleay32 for the demo\n' > "$instalacion/ssleay32.dll"
echo "installation folder $instalacion (libeay32.dll, ssleay32.dll)"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# programa NOMBRE TITULO -> the script's bytes
programa() {
  cat <<SH
#!/bin/sh
echo "\$(date '+%Y-%m-%d %H:%M:%S') $1 en marcha (pid \$\$)" >> "\$HOME/kolvaster-demo.log"
if [ -n "\${DISPLAY:-}" ] && command -v xmessage >/dev/null 2>&1; then
  exec xmessage -center -title "$2" "$2: programa de demostracion en marcha"
fi
exec sleep 3600
SH
}

sql() { $DEMO_SQL -e "$1"; }

# publicar NOMBRE TITULO ARCHIVO: stores and signs the program with the publisher's tool, as
# root through the demo server's socket.
publicar() {
  local socket
  socket=$(sed -n 's/.*--socket=\([^ ]*\).*/\1/p' <<<"$DEMO_SQL")
  "$DEMO_BUILD/kolvaster-publicar" subir --no-defaults --socket="$socket" --user=root \
    --sistema "$DEMO_DB" --clave "$(dirname "$0")/editor-demo.clave" --titulo "$2" "$1" "$3" >/dev/null
}

# insertar NOMBRE TITULO [con-binario]
insertar() {
  local nombre=$1 titulo=$2
  sql "DELETE FROM sysuserapp WHERE app_id IN (SELECT app_id FROM app WHERE nombre='$nombre');
       DELETE FROM appfirma WHERE app_id IN (SELECT app_id FROM app WHERE nombre='$nombre');
       DELETE FROM app WHERE nombre='$nombre';"
  if [ -n "${3:-}" ]; then
    programa "$nombre" "$titulo" >"$tmp/$nombre"
    publicar "$nombre" "$titulo" "$tmp/$nombre"
    sql "UPDATE app SET descri='Programa de demostracion' WHERE nombre='$nombre';"
    echo "program $nombre (\"$titulo\"): $(stat -c %s "$tmp/$nombre") bytes, signed"
  else
    sql "INSERT INTO app (nombre, titulo, windowsbinary, descri)
         VALUES ('$nombre', '$titulo', NULL, 'Programa de demostracion');"
    echo "program $nombre (\"$titulo\"): no binary"
  fi
}

# otorgar NOMBRE CORTO CLOGLEIDO
otorgar() {
  sql "INSERT INTO sysuserapp (sysuser_id, app_id, clogleido)
       SELECT u.sysuser_id, a.app_id, $3 FROM sysuser u, app a
       WHERE u.sysuser='${DEMO_DB}_$2' AND a.nombre='$1';"
}

insertar calculadora "Calculadora" si
insertar agenda "Agenda" si
insertar inventario "Inventario" si
insertar "planilla de sueldos" "Planilla de sueldos" si
insertar facturacion "Facturacion"

otorgar calculadora ana TRUE
otorgar agenda ana FALSE            # unread change log: alert icon for demo_ana
otorgar "planilla de sueldos" ana TRUE
otorgar facturacion ana TRUE        # no binary: the download warning at every synchronisation
otorgar calculadora beto TRUE
otorgar agenda beto TRUE
otorgar inventario beto TRUE
echo "grants: demo_ana calculadora, agenda (unread change log), planilla de sueldos, facturacion (no binary);"
echo "        demo_beto calculadora, agenda, inventario; dbadmin sees all five"
