#!/usr/bin/env bash
# A branch office behind a slow link: a primary, a replica in the branch fed through the link
# stand-in (bench/enlace.py, 30 ms round trip, 20 Mbit/s), and N = 1, 5 and 20 cold starts of
# the branch's launchers (bench_arranque, the real main window, each with a home of its own)
# whose sessions go through the same stand-in, with and without the branch defined
# (kolvaster-publicar sede). For each N it reports the bytes the primary sent per launcher
# (what crosses the link), the time from the N starts until the last of them is up to date,
# and the bytes and time the replication of each release took through the link (done before
# the branch's launchers start: the figure counting it too is given beside).
#
#   bench/sucursal.sh BUILD_DIR [PROGRAM] [PORT]
#
# PROGRAM (default BUILD_DIR/kolvaster) is published anew before each measured start, a byte
# appended each time. The primary listens on PORT (default 23341), the link stand-in on PORT+1,
# the replica on PORT+2.
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/sucursal.sh (the link and the replica take PORT+1, PORT+2)"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
programa=$(realpath "${2:-$build/kolvaster}")
port=${3:-23341}
enlace=$((port + 1)) rport=$((port + 2))
work=$(mktemp -d /tmp/kolvaster-sucursal.XXXXXX)
db="$work/db"
. "$here/enlace.sh"
trap 'enlace_terminar; "$here/../scripts/replica.sh" stop "$work/replica" >/dev/null 2>&1 || true
      "$here/../scripts/testdb.sh" stop "$db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -p "$work/xdg" && chmod 700 "$work/xdg"
export KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/xdg"
sql() { mariadb --no-defaults --socket="$db/mysql.sock" -uroot bench -N -e "$1"; }
enviados() { sql "SHOW GLOBAL STATUS LIKE 'Bytes_sent'" | awk '{print $2}'; }
herramienta() { "$build/kolvaster-publicar" "$1" --no-defaults --socket="$db/mysql.sock" --user=root --sistema bench "${@:2}"; }
ahora() { date +%s.%N; }
cuenta() { awk "BEGIN {printf \"$1\", $2}"; }

echo "$(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC'); program $(stat -c %s "$programa") bytes"
"$here/../scripts/testdb.sh" start "$db" "$port" bench --binlog >/dev/null
enlace_iniciar "$work/enlace.log" "$enlace" "$port" --rtt-ms 30 --mbit 20 --segundos 7200
sql "INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2');
     INSERT INTO sysuser (sysuser, titulo) VALUES ('bench_ana', 'Ana');
     INSERT INTO app (nombre, titulo) VALUES ('calc', 'Calculadora');
     INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) SELECT sysuser_id, app_id, 1 FROM sysuser, app;"
"$build/kolvaster-publicar" clave "$work/editor.clave" >/dev/null 2>&1
release=0
publicar() {
  release=$((release + 1))
  cp "$programa" "$work/calc" && printf '%08d' "$release" >>"$work/calc"
  herramienta subir --clave "$work/editor.clave" calc "$work/calc" >/dev/null
}
publicar
"$here/../scripts/replica.sh" start "$work/replica" "$rport" "$db" "$port" --via="$enlace" >/dev/null
herramienta sede --agregar norte --red 127.0.0.0/8 --servidor "127.0.0.1:$rport" >/dev/null

# arrancar N: N cold starts at once through the link; the seconds until the last is done.
arrancar() {
  local n=$1 i t0 pids=()
  rm -rf "$work/homes"
  # Each workstation: its installation folder (with the two libraries the profile gets) and
  # its temporary folder, on which its session record is keyed.
  for i in $(seq 1 "$n"); do
    mkdir -p "$work/homes/$i/tmp" "$work/homes/$i/Kolvaster"
    touch "$work/homes/$i/Kolvaster/libeay32.dll" "$work/homes/$i/Kolvaster/ssleay32.dll"
  done
  t0=$(ahora)
  for i in $(seq 1 "$n"); do
    (cd "$work/homes/$i" && exec env HOME="$work/homes/$i" TMPDIR="$work/homes/$i/tmp" MYSQL_TCP_PORT=$enlace \
      QT_LOGGING_RULES='default.warning=false' \
      "$build/bench/bench_arranque" ana ana_pw >"$work/homes/$i/salida" 2>&1) &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || { echo "a launcher failed: $(cat "$work"/homes/*/salida | tail -3)" >&2; exit 1; }; done
  for i in $(seq 1 "$n"); do
    cmp -s "$work/homes/$i/Kolvaster/profiles/bench/ana/calc.exe" "$work/calc" ||
      { echo "launcher $i has not the exact program" >&2; exit 1; }
  done
  cuenta %.1f "$(ahora) - $t0"
}

copia=0
for n in 1 5 20; do
  # With the branch: from the release's publication, its replication through the link, then
  # the N starts.
  antes=$(enviados)
  publicar
  t0=$(ahora)
  "$here/../scripts/replica.sh" sync "$work/replica"
  trep=$(cuenta %.1f "$(ahora) - $t0")
  medio=$(enviados)
  copia=$(sql "SELECT c.bytes FROM appcopia c JOIN app a ON a.app_id=c.app_id AND c.md5=a.windowsbinary_md5")
  tlan=$(arrancar "$n")
  despues=$(enviados)
  con=$(cuenta %.0f "($despues - $medio) / $n")
  tcon=$tlan
  # Without it, the same release from the primary.
  herramienta sede --quitar norte >/dev/null
  antes2=$(enviados)
  tsin=$(arrancar "$n")
  sin=$(cuenta %.0f "($(enviados) - $antes2) / $n")
  herramienta sede --agregar norte --red 127.0.0.0/8 --servidor "127.0.0.1:$rport" >/dev/null
  echo "N=$n: copy $copia bytes; per launcher over the link: with the branch $con bytes ($(cuenta %.3f "$con / $copia")x the copy), without $sin ($(cuenta %.2f "$sin / $copia")x);" \
       "replication carried $((medio - antes)) bytes for the release ($(cuenta %.2f "($medio - $antes) / $copia")x the copy) in $trep s;" \
       "last launcher up to date (from the starts): with $tcon s, without $tsin s: $(cuenta %.2f "$tcon / $tsin")x; counting the replication too: $(cuenta %.2f "($trep + $tcon) / $tsin")x"
done
echo "targets: <= 0.05x the copy per launcher over the link; with 20 launchers <= 0.2x the time without"
