#!/usr/bin/env bash
# Builds the launcher for testing and runs every test against a throwaway MariaDB server and a
# local stand-in for the error notifier (both started and stopped by ctest).
#   scripts/test.sh [ctest arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/packages.sh"

build="$root/build-test"
http_port=${KOLVASTER_TEST_HTTP_PORT:-18089}
db_port=${KOLVASTER_TEST_DB_PORT:-23306}
cluster_port=${KOLVASTER_TEST_CLUSTER_PORT:-24100}
replica_port=${KOLVASTER_TEST_REPLICA_PORT:-23316}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOLVASTER_NOTIFIER_HOST="127.0.0.1:$http_port" -DKOLVASTER_MAKER_HOST="127.0.0.1:$http_port" \
  -DKOLVASTER_CHARTS_LOADER= \
  -DKOLVASTER_TEST_HTTP_PORT="$http_port" -DKOLVASTER_TEST_DB_PORT="$db_port" \
  -DKOLVASTER_TEST_CLUSTER_PORT="$cluster_port" -DKOLVASTER_TEST_REPLICA_PORT="$replica_port" >/dev/null
cmake --build "$build" -j2
# The TLS tests type names, not only addresses, to reach this machine's servers (a certificate's
# wildcard is matched against a name): as root, they are added to /etc/hosts once.
for nombre in foo.example foo.pruebas.example; do
  getent ahosts "$nombre" | grep -q '^127\.0\.0\.1 ' && continue
  if [ "$(id -u)" = 0 ]; then echo "127.0.0.1 $nombre" >>/etc/hosts; fi
done
cd "$build"
ctest --output-on-failure "$@"
