#!/usr/bin/env bash
# Programs stored compressed and patched (kolvaster-publicar) against today's full download, for
# real executables, on loopback and through a slow link (bench/enlace.py):
#   1. publishing: a first publication of GRANDE (about 100 MB: a large shared library of the
#      system), then GRANDE2 replacing it (compressed copy and patch), timed;
#   2. an update of VIEJO to NUEVO (two builds of the launcher) by patch / today's download;
#   3. a cold synchronisation of GRANDE2 through its compressed copy in pieces / today's
#      download / the previous release's one-row copy, and the start after a cut at 70 %.
#
#   bench/compresion.sh BUILD_DIR VIEJO NUEVO GRANDE GRANDE2 [PORT] [LINK_PORT] [RUNS] [RTT_MS] [MBIT]
#
# The server listens on PORT (default 23396); the link stand-in on LINK_PORT (default 23395)
# relays to it with RTT_MS milliseconds of round trip (30) and MBIT Mbit/s (20).
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/compresion.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
viejo=$(realpath "${2:?old build}") nuevo=$(realpath "${3:?new build}")
grande=$(realpath "${4:?large program}") grande2=$(realpath "${5:?its next version}")
port=${6:-23396}
enlace=${7:-23395}
runs=${8:-3}
rtt=${9:-30}
mbit=${10:-20}
work=$(mktemp -d /tmp/kolvaster-bench.XXXXXX)
db="$work/db"
. "$here/enlace.sh"
trap 'enlace_terminar; "$here/../scripts/testdb.sh" stop "$db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
cd "$work"

"$here/../scripts/testdb.sh" start "$db" "$port" bench >/dev/null
publicar() {
  "$build/kolvaster-publicar" subir --no-defaults --socket="$db/mysql.sock" --user=root \
    --sistema bench --clave "$work/editor.clave" "$@"
}
"$build/kolvaster-publicar" clave "$work/editor.clave" >/dev/null 2>&1
t0=$(date +%s.%N)
publicar grande "$grande" >/dev/null
t1=$(date +%s.%N)
publicar grande "$grande2" >/dev/null
t2=$(date +%s.%N)
echo "== publishing: $(stat -c %s "$grande") bytes (first publication) $(awk "BEGIN {printf \"%.1f\", $t1 - $t0}") s;" \
     "$(stat -c %s "$grande2") bytes replacing it (copy and patch) $(awk "BEGIN {printf \"%.1f\", $t2 - $t1}") s (target <= 60 s)"
publicar lanzador "$viejo" >/dev/null
publicar lanzador "$nuevo" >/dev/null
mariadb --no-defaults --socket="$db/mysql.sock" -uroot bench -e \
  "SELECT a.nombre, LENGTH(a.windowsbinary) programa, c.bytes copia, c.piezas,
          (SELECT SUM(p.bytes) FROM appdelta p WHERE p.app_id=a.app_id) parches
   FROM app a JOIN appcopia c ON c.app_id=a.app_id AND c.md5=a.windowsbinary_md5"

for via in loopback enlace; do
  p=$port
  if [ "$via" = enlace ]; then
    enlace_iniciar "$work/enlace.log" "$enlace" "$port" --rtt-ms "$rtt" --mbit "$mbit" --segundos 3600
    p=$enlace
    echo "### through the link stand-in: ${rtt} ms round trip, ${mbit} Mbit/s"
  else
    echo "### loopback"
  fi
  MYSQL_TCP_PORT=$p KOLVASTER_BENCH_RUNS=$runs "$build/bench/bench_compresion" actualizar lanzador "$viejo" "$nuevo"
  MYSQL_TCP_PORT=$p KOLVASTER_BENCH_RUNS=$runs "$build/bench/bench_compresion" frio grande "$grande2"
done
