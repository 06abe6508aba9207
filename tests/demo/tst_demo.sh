#!/usr/bin/env bash
# The demo keeps a user created in one run for the next. A newcomer creates a user in the
# administration, closes the launcher, presses Enter and logs in as that user; stops the demo
# (end of input), starts it again and still logs in; after --reset the user is gone. The server
# is down whenever the demo has ended.
#   tst_demo.sh SOURCE_DIR BUILD_DIR VISITANTE DEMO_DIR
# (DEMO_DIR: the demo's folder, whose authority VISITANTE is built for)
set -euo pipefail
src=$1 build=$2 visitante=$3 demo=$4
tmp=$(mktemp -d)
rm -rf "$demo"
trap '"$src/scripts/testdb.sh" stop "$demo/demo-db"; rm -rf "$tmp" "$demo"' EXIT

# The launcher's stand-in: the first start creates the user, every later one logs in as it.
cat >"$tmp/lanzador" <<SH
#!/bin/sh
n=\$(cat "$tmp/arranques" 2>/dev/null || echo 0); n=\$((n + 1)); echo \$n >"$tmp/arranques"
echo "ARRANQUE \$n"
if [ \$n -eq 1 ]; then exec "$visitante" crear; else exec "$visitante" entrar; fi
SH
chmod +x "$tmp/lanzador"

demo() {
  KOLVASTER_DEMO_DIR="$demo" KOLVASTER_DEMO_BIN="$build" KOLVASTER_DEMO_LAUNCHER="$tmp/lanzador" \
    "$src/scripts/demo.sh" "$@"
}
falla() { echo "FAIL: $*"; echo "--- output"; cat "$tmp/salida"; exit 1; }
servidorParado() {
  ! mariadb-admin --no-defaults --socket="$demo/demo-db/mysql.sock" -uroot ping >/dev/null 2>&1
}

# First run: create, Enter, log in as the new user, then the end of input stops the demo.
printf '\n' | demo >"$tmp/salida" 2>&1 || falla "demo.sh failed"
grep -q '^CREADO$' "$tmp/salida" || falla "the user was not created"
grep -q '^ENTRO carla$' "$tmp/salida" || falla "the new user could not log in after Enter"
[ "$(grep -c 'The launcher has ended' "$tmp/salida")" -eq 2 ] || falla "asked $(grep -c 'The launcher has ended' "$tmp/salida") times"
servidorParado || falla "the server still runs after the demo ended"
[ -f "$demo/demo-db/sembrada" ] || falla "the demo data was not kept"

# Second run, a new server on the kept data: an unknown answer asks again, q stops.
printf 'x\nq\n' | demo >"$tmp/salida" 2>&1 || falla "demo.sh failed on the kept data"
grep -q 'as the last run left it' "$tmp/salida" || falla "the data was set up again"
grep -q '^ENTRO carla$' "$tmp/salida" || falla "the user was lost between runs"
[ "$(grep -c 'The launcher has ended' "$tmp/salida")" -eq 2 ] || falla "an unknown answer did not ask again"
servidorParado || falla "the server still runs after q"

# --reset: fresh data, the user is gone.
demo --reset </dev/null >"$tmp/salida" 2>&1 || falla "demo.sh --reset failed"
grep -q 'as the last run left it' "$tmp/salida" && falla "--reset kept the data"
grep -q '^NO ENTRO$' "$tmp/salida" || falla "the user survived --reset"
servidorParado || falla "the server still runs after --reset"
echo "the demo kept the new user for the next run; --reset started afresh"
