#!/usr/bin/env bash
# Connections over TLS against the same in clear, on one throwaway server that offers TLS and
# (for this comparison) still admits sessions in clear, with the same catalogue:
#   1. cold synchronisation: bench_firmas_tls (a launcher built with the server's authority)
#      / bench_firmas (built without), alternated, RUNS rounds each per pass, PASSES passes, for
#      20 programs of 10 MB and one of 100 MB;
#   2. an up-to-date start (5 programs of 1 MB already in the profile) through bench/enlace.py,
#      a link of RTT ms and MBIT Mbit/s, with the authority / without, alternated STARTS times;
#      given BASE_BUILD_DIR (a build of another version of the tree, with bench_arranque_tls
#      built), its start with the authority is alternated with this build's too: the cost of
#      what one version checks that the other does not.
#
#   bench/cifrado.sh BUILD_DIR [PORT] [RUNS] [PASSES] [STARTS] [RTT] [MBIT] [BASE_BUILD_DIR]
# The server listens on PORT (default 23392) and the link on PORT + 1. Its folder is
# BUILD_DIR/bench-tls, whose authority bench_*_tls were built for.
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/cifrado.sh (the link takes PORT + 1)"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23392} runs=${3:-3} passes=${4:-3} starts=${5:-9} rtt=${6:-30} mbit=${7:-20}
base=${8:+$(cd "$8" && pwd)}
enlace=$((port + 1))
work="$build/bench-tls"
db="$work/db"
. "$here/enlace.sh"
trap 'enlace_terminar; "$here/../scripts/testdb.sh" stop "$db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
mkdir -p "$work/xdg"
chmod 700 "$work/xdg"
export MYSQL_TCP_PORT=$port KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/xdg" KOLVASTER_BENCH_RUNS=$runs
cd "$work"

mediana() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
servidor() {
  "$here/../scripts/testdb.sh" start "$db" "$port" bench --tls >/dev/null
  mariadb --no-defaults --socket="$db/mysql.sock" -uroot -e "SET GLOBAL require_secure_transport=OFF"
}

echo "$(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
for caso in "20 10" "1 100"; do
  servidor
  # shellcheck disable=SC2086
  KOLVASTER_BENCH_PREPARAR=1 "$build/bench/bench_firmas" $caso >/dev/null
  claro="" tls=""
  for _ in $(seq 1 "$passes"); do
    # shellcheck disable=SC2086
    claro+=" $("$build/bench/bench_firmas" $caso | cut -d' ' -f2-)"
    # shellcheck disable=SC2086
    tls+=" $("$build/bench/bench_firmas_tls" $caso | cut -d' ' -f2-)"
  done
  c=$(mediana <<<"$claro") t=$(mediana <<<"$tls")
  echo "== cold synchronisation, $caso (programs, MB): TLS $t s / clear $c s = $(awk "BEGIN {printf \"%.3f\", $t / $c}")"
  echo "   clear:$claro"
  echo "   TLS:  $tls"
  "$here/../scripts/testdb.sh" stop "$db" >/dev/null
done

# Up-to-date starts: the profile is filled once on the server itself, then every start only
# checks it, through the link.
servidor
KOLVASTER_BENCH_PREPARAR=1 KOLVASTER_BENCH_RUNS=1 "$build/bench/bench_firmas" 5 1 >/dev/null
export HOME="$work/home"
mkdir -p "$HOME/Kolvaster"
for lib in libeay32.dll ssleay32.dll; do echo "biblioteca $lib" >"$HOME/Kolvaster/$lib"; done
"$build/bench/bench_arranque" ana ana_pw >/dev/null
enlace_iniciar "$work/enlace.log" "$enlace" "$port" --rtt-ms "$rtt" --mbit "$mbit" --segundos 1200
# The other build's launcher reads the authority at its own build directory's place.
if [ -n "$base" ]; then
  mkdir -p "$base/bench-tls/db/tls"
  cp "$db/tls/ca.pem" "$base/bench-tls/db/tls/ca.pem"
fi
claro="" tls="" antes=""
for _ in $(seq 1 "$starts"); do
  claro+=" $(MYSQL_TCP_PORT=$enlace "$build/bench/bench_arranque" ana ana_pw | cut -d' ' -f2)"
  tls+=" $(MYSQL_TCP_PORT=$enlace "$build/bench/bench_arranque_tls" ana ana_pw | cut -d' ' -f2)"
  [ -z "$base" ] ||
    antes+=" $(MYSQL_TCP_PORT=$enlace "$base/bench/bench_arranque_tls" ana ana_pw | cut -d' ' -f2)"
done
enlace_terminar
c=$(mediana <<<"$claro") t=$(mediana <<<"$tls")
echo "== up-to-date start through a ${rtt} ms, ${mbit} Mbit/s link: TLS $t s / clear $c s = $(awk "BEGIN {printf \"%.3f\", $t / $c}") (+$(awk "BEGIN {printf \"%.0f\", ($t - $c) * 1000}") ms)"
echo "   clear:$claro"
echo "   TLS:  $tls"
# Round trips after the handshake: the commands the server received from the start's sessions
# (its general log), for one start of each launcher, straight to the server.
vueltas() {
  local raiz=(mariadb --no-defaults --socket="$db/mysql.sock" -uroot -N)
  "${raiz[@]}" -e "SET GLOBAL log_output='TABLE', general_log=ON; TRUNCATE TABLE mysql.general_log"
  "$1" ana ana_pw >/dev/null
  "${raiz[@]}" -e "SET GLOBAL general_log=OFF; SELECT COUNT(*) FROM mysql.general_log
    WHERE command_type NOT IN ('Connect', 'Quit') AND thread_id IN (SELECT thread_id FROM
    mysql.general_log WHERE command_type='Connect' AND argument LIKE 'bench\_ana@%')"
}
echo "== round trips after the handshake of one up-to-date start: TLS $(vueltas "$build/bench/bench_arranque_tls"), clear $(vueltas "$build/bench/bench_arranque")${base:+, $base $(vueltas "$base/bench/bench_arranque_tls")}"
if [ -n "$base" ]; then
  a=$(mediana <<<"$antes")
  echo "== up-to-date start with the authority, this build / $base: $t s / $a s = $(awk "BEGIN {printf \"%.3f\", $t / $a}")"
  echo "   $base:$antes"
  rm -rf "$base/bench-tls"
fi
