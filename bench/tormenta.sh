#!/usr/bin/env bash
# Start-storm benchmark: 1, 10 and 50 launchers starting at once, against one server and against
# a three-node Galera cluster through HAProxy, with the catalogue's digest computed and stored,
# with the query cache off and on, in one run.
#
#   bench/tormenta.sh BUILD_DIR [PORT] [CLUSTER_PORT]
#
# The single server listens on 127.0.0.1:PORT (default 23398), the cluster's balancer on
# CLUSTER_PORT (default 24900; its nodes on the next three ports, Galera above them; "none"
# leaves the cluster out). Both run with the query cache available; the benchmark switches it
# on and off.
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT and CLUSTER_PORT arguments of bench/tormenta.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23398}
cport=${3:-24900}
work=$(mktemp -d /tmp/kolvaster-tormenta.XXXXXX)
trap '"$here/../scripts/testdb.sh" stop "$work/db" >/dev/null 2>&1 || true
      "$here/../scripts/cluster.sh" stop "$work/cluster" >/dev/null 2>&1 || true
      rm -rf "$work"' EXIT
mkdir -p "$work/xdg" "$work/uno" "$work/varios"
chmod 700 "$work/xdg"
export KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/xdg"

echo "$(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
"$here/../scripts/testdb.sh" start "$work/db" "$port" bench --query-cache >/dev/null
MYSQL_TCP_PORT=$port KOLVASTER_BENCH_WORK="$work/uno" \
  "$build/bench/bench_tormenta" "one node" "$work/db/mysqld.pid" "$port"
"$here/../scripts/testdb.sh" stop "$work/db" >/dev/null
[ "$cport" = none ] && exit 0
echo

"$here/../scripts/cluster.sh" start "$work/cluster" bench "$cport" --query-cache >/dev/null
MYSQL_TCP_PORT=$cport KOLVASTER_BENCH_WORK="$work/varios" \
  "$build/bench/bench_tormenta" "cluster" \
  "$work/cluster/n1/pid,$work/cluster/n2/pid,$work/cluster/n3/pid" \
  "$((cport + 1)),$((cport + 2)),$((cport + 3))"
