#!/usr/bin/env bash
# Catalogue benchmark against a throwaway MariaDB server.
#
#   bench/run.sh BUILD_DIR [PORT] [RUNS]
#
# Starts a server on 127.0.0.1:PORT (default 23399) with database "bench" and the query cache
# available, runs BUILD_DIR/bench/bench_catalogo (RUNS rounds, default 3) for twenty programs
# of 10 MB and for one of 100 MB, each on a fresh database, and shuts the server down.
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/run.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23399}
runs=${3:-3}
work=$(mktemp -d /tmp/kolvaster-bench.XXXXXX)
trap '"$here/../scripts/testdb.sh" stop "$work/db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

cd "$work"
for caso in "20 10" "1 100"; do
  "$here/../scripts/testdb.sh" start "$work/db" "$port" bench --query-cache >/dev/null
  # shellcheck disable=SC2086
  MYSQL_TCP_PORT=$port KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen \
    XDG_RUNTIME_DIR="$work" KOLVASTER_BENCH_RUNS=$runs KOLVASTER_BENCH_WORK="$work" \
    "$build/bench/bench_catalogo" $caso
  "$here/../scripts/testdb.sh" stop "$work/db" >/dev/null
  echo
done
