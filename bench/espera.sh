#!/usr/bin/env bash
# The wait dialog of a large program's first download through a slow link, on a real X display,
# as a user at a branch office sees it; then the link cut at about 70 % and the next start.
#
#   DISPLAY=:N bench/espera.sh BUILD_DIR PROGRAM [PORT] [LINK_PORT] [MBIT] [CUT_PERCENT]
#
# Starts a server on 127.0.0.1:PORT (default 23322) with database "bench" and user ana, publishes
# PROGRAM with kolvaster-publicar, puts bench/enlace.py (30 ms, MBIT Mbit/s, default 20) in
# front of it on LINK_PORT (default 23323), and starts the launcher through the link on a fresh
# home. While the program arrives it takes the wait dialog's picture every half second and
# counts the distinct ones (the first and the last screenshots are kept as espera-*.png in the
# current directory). Once the partial download holds CUT_PERCENT (70) % of the copy, the link
# is stopped; the launcher's error dialog is answered, a new link started, and the launcher
# started again: what the server sends for that start is measured against the copy.
# Needs xdotool, x11-apps and imagemagick.
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/espera.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
programa=$(realpath "${2:?program}")
port=${3:-23322} enlace=${4:-23323} mbit=${5:-20} corte=${6:-70}
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || { echo "needs an X display (DISPLAY)" >&2; exit 2; }
work=$(mktemp -d -t kolvaster-espera.XXXXXX)
vivos=()
. "$here/enlace.sh"
trap 'for p in "${vivos[@]}"; do kill -9 $p 2>/dev/null || true; done; enlace_terminar
      "$here/../scripts/testdb.sh" stop "$work/db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
"$here/../scripts/testdb.sh" start "$work/db" "$port" bench >/dev/null
sql() { mariadb --no-defaults --socket="$work/db/mysql.sock" -uroot bench -N -e "$1"; }
sql "INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2');
     INSERT INTO sysuser (sysuser, titulo, pass, useradmin) VALUES ('bench_ana', 'Ana', 'ana_pw', FALSE);"
"$build/kolvaster-publicar" clave "$work/editor.clave" >/dev/null 2>&1
"$build/kolvaster-publicar" subir --no-defaults --socket="$work/db/mysql.sock" --user=root \
  --sistema bench --clave "$work/editor.clave" grande "$programa" >/dev/null
sql "INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) SELECT u.sysuser_id, a.app_id, TRUE
     FROM sysuser u, app a WHERE u.sysuser='bench_ana';"
copia=$(sql "SELECT bytes FROM appcopia")
enviados() { sql "SHOW GLOBAL STATUS LIKE 'Bytes_sent'" | awk '{print $2}'; }

. "$here/../scripts/ventanas.sh"
home="$work/home" trabajo="$work/trabajo"
mkdir -p "$home/Kolvaster" "$trabajo"
touch "$home/Kolvaster/libeay32.dll" "$home/Kolvaster/ssleay32.dll"
printf '127.0.0.1\nbench\nana\n' > "$trabajo/defaults"
parcial="$home/Kolvaster/profiles/bench/ana/grande.exe.parcial"
lanzar() {
  (cd "$trabajo" && HOME="$home" MYSQL_TCP_PORT=$enlace XDG_RUNTIME_DIR="$work" \
     exec "$build/kolvaster" >>"$work/lanzador.log" 2>&1 </dev/null) & pid=$!
  vivos+=($pid)
  local w
  w=$(esperar_ventana "$titulo_conexion")
  xdotool windowfocus --sync "$w" type --delay 20 ana_pw
  xdotool keydown --window "$w" Return
}

enlace_iniciar "$work/enlace1.log" "$enlace" "$port" --rtt-ms 30 --mbit "$mbit" --segundos 600
lanzar
esperar_ventana '^Procesando\.\.\.$' 120 >/dev/null
t0=$(date +%s.%N) n=0 distintas=0 anterior="" primera=1
while :; do
  t=$(date +%s.%N)
  # The dialog's own window (on a display without a window manager the root's picture does
  # not show a window that lies wholly over another).
  espera=$(ventana '^Procesando\.\.\.$')
  if [ -n "$espera" ] && xwd -silent -id "$espera" > "$work/cuadro.xwd" 2>/dev/null; then
    h=$(md5sum < "$work/cuadro.xwd" | cut -c1-32)
    n=$((n + 1))
    if [ "$h" != "$anterior" ]; then distintas=$((distintas + 1)); anterior=$h; fi
    if [ $primera = 1 ] && [ $n -ge 4 ]; then convert xwd:"$work/cuadro.xwd" espera-primera.png; primera=0; fi
  fi
  tam=$(stat -c %s "$parcial" 2>/dev/null || echo 0)
  if [ "$tam" -ge $((copia * corte / 100)) ]; then
    convert xwd:"$work/cuadro.xwd" espera-ultima.png 2>/dev/null || true
    break
  fi
  sleep $(awk "BEGIN {d = 0.5 - ($(date +%s.%N) - $t); print (d > 0 ? d : 0)}")
done
segundos=$(awk "BEGIN {printf \"%.1f\", $(date +%s.%N) - $t0}")
echo "== wait dialog: $distintas distinct frames in $n samples over $segundos s (one each 0.5 s)"
enlace_terminar
guardado=$(stat -c %s "$parcial")
echo "== link cut with $guardado bytes of the partial download ($(awk "BEGIN {printf \"%.2f\", $guardado / $copia}") of the $copia-byte copy)"
error=$(esperar_ventana '^Error' 120)
xdotool key --window "$error" Return 2>/dev/null || true
for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -9 $pid 2>/dev/null || true

enlace_iniciar "$work/enlace2.log" "$enlace" "$port" --rtt-ms 30 --mbit "$mbit" --segundos 600
antes=$(enviados)
lanzar
# Done once the program and its digest file are in place (the main window shows before).
for _ in $(seq 1 3000); do [ -e "${parcial%.parcial}.md5" ] && break; sleep 0.1; done
sleep 1
despues=$(enviados)
ok=$(cmp -s "$home/Kolvaster/profiles/bench/ana/grande.exe" "$programa" && echo yes || echo NO)
echo "== the next start: $((despues - antes)) bytes sent, $(awk "BEGIN {printf \"%.3f\", ($despues - $antes) / $copia}")x the copy (target <= 0.35x); program byte-identical: $ok"
kill $pid 2>/dev/null || true
