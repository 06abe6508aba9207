#!/usr/bin/env bash
# Catalogue benchmarks against a throwaway MariaDB server.
#
#   bench/run.sh BUILD_DIR [PORT] [RUNS] [PART...]
#
# Starts a server on 127.0.0.1:PORT (default 23399) with database "bench" and the query cache
# available, runs BUILD_DIR/bench/bench_catalogo (RUNS rounds, default 3) for each PART, each on
# a fresh database, and shuts the server down. The parts (default: all three, in this order):
#   catalogo          twenty programs of 10 MB, then one of 100 MB: cold and up-to-date
#                     synchronisations, the stock client, the query cache, memory
#   tamanos           the up-to-date start with suites of 100, 200, 400 MB and 1 GB, reading
#                     the stored digest against computing it, and the cost of adding the column
#   enlace[=OLDER]    up-to-date starts through bench/enlace.py on PORT+1 (30 ms, 20 Mbit/s)
#                     with their round trips; with OLDER, a build of an older launcher (its
#                     bench/bench_arranque) is measured first, in the same run
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/run.sh (the link stand-in takes PORT+1)"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
origen=$PWD
port=${2:-23399}
runs=${3:-3}
shift $(($# < 3 ? $# : 3))
partes=("$@")
[ ${#partes[@]} -gt 0 ] || partes=(catalogo tamanos enlace)
work=$(mktemp -d /tmp/kolvaster-bench.XXXXXX)
trap '"$here/../scripts/testdb.sh" stop "$work/db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

correr() {
  "$here/../scripts/testdb.sh" start "$work/db" "$port" bench --query-cache >/dev/null
  MYSQL_TCP_PORT=$port KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR="$work" KOLVASTER_BENCH_RUNS=$runs KOLVASTER_BENCH_WORK="$work" \
    "$build/bench/bench_catalogo" "$@"
  "$here/../scripts/testdb.sh" stop "$work/db" >/dev/null
  echo
}

cd "$work"
for parte in "${partes[@]}"; do
  case $parte in
    catalogo) correr 20 10; correr 1 100 ;;
    tamanos) correr tamanos 100 200 400 1000 ;;
    enlace) correr enlace "$here/enlace.py" $((port + 1)) "$build/bench" ;;
    enlace=*) correr enlace "$here/enlace.py" $((port + 1)) "$(cd "$origen" && cd "${parte#enlace=}" && pwd)/bench" \
                "$build/bench" ;;
    *) echo "unknown part: $parte" >&2; exit 2 ;;
  esac
done
