#!/usr/bin/env bash
# The balancer's health check (scripts/galera-check.sh) against a node that accepts the login
# and then never answers (tests/support/servidor_falso.py mudo on PORT): it fails within 2 s,
# and when the balancer ends the script early, its client does not stay behind.
#   chequeo.sh PORT WORKDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
port=${1:?port} work=${2:?work directory}
rm -rf "$work"
mkdir -p "$work"
# As scripts/cluster.sh installs it: the script with its option file beside it.
cp "$here/../../scripts/galera-check.sh" "$work/galera-check.sh"
printf '[client]\nuser=chequeo\npassword=clave\n' >"$work/galera-check.cnf"
python3 "$here/../support/servidor_falso.py" mudo "$port" >"$work/falso.out" 2>&1 &
falso=$!
trap 'kill $falso 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do grep -q LISTO "$work/falso.out" && break; sleep 0.1; done
grep -q LISTO "$work/falso.out" || { echo "the fake node did not start" >&2; exit 1; }
clientes() { pgrep -f -- "--defaults-file=$work/galera-check.cnf" | wc -l; }

# The test keeps its own time: a check that never ends is stopped at 5 s and named, rather
# than left to ctest's time-out, which says nothing. In a session of its own, so that stopping
# it ends its client too.
inicio=$(date +%s%N)
setsid "$work/galera-check.sh" - - 127.0.0.1 "$port" &
chequeo=$!
while kill -0 "$chequeo" 2>/dev/null && [ $((($(date +%s%N) - inicio) / 1000000)) -lt 5000 ]; do
  sleep 0.05
done
ms=$((($(date +%s%N) - inicio) / 1000000))
if kill -0 "$chequeo" 2>/dev/null; then
  kill -9 -- -"$chequeo"
  echo "FAIL: the check against a silent node was still running after $ms ms (its limit is 2 s)" >&2
  exit 1
fi
if wait "$chequeo"; then
  echo "FAIL: a node that never answers passed the check" >&2; exit 1
fi
echo "the check ended after $ms ms"
[ "$ms" -lt 2000 ] || { echo "FAIL: the check took $ms ms, over its limit of 2 s" >&2; exit 1; }
[ "$(clientes)" -eq 0 ] || { echo "FAIL: a client was left behind" >&2; exit 1; }

# The balancer's own timeout ends the script alone (SIGKILL), half a second in.
"$work/galera-check.sh" - - 127.0.0.1 "$port" &
chequeo=$!
sleep 0.5
[ "$(clientes)" -ge 1 ] || { echo "FAIL: the check's client did not reach the node" >&2; exit 1; }
kill -9 "$chequeo"
wait "$chequeo" 2>/dev/null || true
sleep 1.8
[ "$(clientes)" -eq 0 ] || { echo "FAIL: the client outlived the script" >&2; exit 1; }
echo "no client left"
