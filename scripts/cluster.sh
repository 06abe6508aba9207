#!/usr/bin/env bash
# A MariaDB Galera cluster of three nodes behind HAProxy, on loopback, for the tests, the demo
# and the benchmarks (see docs/administrator.md, "More than one server").
#
#   cluster.sh start DIR [DATABASE [PORT]] [--query-cache] [--tls]
#                          three nodes on 127.0.0.1:PORT+1..PORT+3 (Galera's own traffic on
#                          PORT+101.., IST on PORT+201.., SST on PORT+301..) and HAProxy in TCP
#                          mode on 127.0.0.1:PORT (default 24100), the balancer users connect to;
#                          loads sql/schema.sql into DATABASE (default "prueba") and makes the
#                          same accounts as testdb.sh; prints the balancer's address
#   cluster.sh stop DIR    stops HAProxy and the nodes and removes DIR
#   cluster.sh kill DIR N  kills node N at once (SIGKILL), as a crash would
#   cluster.sh node DIR N  starts node N again: it rejoins the cluster (IST when its position
#                          can be recovered, SST with mariabackup otherwise) and is synced
#   cluster.sh status DIR  each node's wsrep state, the cluster size and whether the balancer's
#                          check (galera-check.sh) lets it serve
#
# State transfers use mariabackup: rsync's daemon drops root's privileges and cannot read the
# data directory. Every node runs with the query cache when --query-cache is given (64 MB). With
# --tls every node takes TLS sessions only (require_secure_transport), with a certificate for
# 127.0.0.1 from an authority made in DIR/tls (ca.pem there is what clients check against).
# A node that stops hearing from the others for 2 s (evs.suspect_timeout, 5 s by default; the
# keep-alive must then come more often than every 2/3 s) is dropped from the cluster and, when
# alone, leaves the primary component: about 3 s after a cut, which with the balancer's check
# (below) takes it out of service within 5 s. A single statement that a schema change (total
# order) or another node's write rolled back is run again by the node up to 4 times
# (wsrep_retry_autocommit, 1 by default) before its client is told the server's deadlock: a
# launcher's login during an upgrade would otherwise end in the error dialog now and then.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
usage() {
  echo "usage: $0 start DIR [DATABASE [PORT]] [--query-cache] [--tls] | stop DIR | kill DIR N | node DIR N | status DIR" >&2
  exit 2
}
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || usage
shift 2
cache=0 tls=0
args=()
for a in "$@"; do
  case "$a" in
  --query-cache) cache=1 ;;
  --tls) tls=1 ;;
  *) args+=("$a") ;;
  esac
done
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

# The settings of a started cluster are kept beside it, so that kill/node/stop need only DIR.
conf="$dir/cluster.env"
[ -f "$conf" ] && . "$conf"
# The balancer's own address towards the nodes: another loopback address than the clients'.
BALANCEADOR=127.0.0.2

client() { mariadb --no-defaults --socket="$dir/n$1/sock" -uroot "${@:2}"; }
. "$here/puertos.sh"
. "$here/certificados.sh"
# Every port a node listens on: MySQL, Galera's own traffic, IST and SST.
puertosNodo() { echo $((PORT + $1)) $((PORT + 100 + $1)) $((PORT + 200 + $1)) $((PORT + 300 + $1)); }
estado() { client "$1" -N -e "SHOW STATUS LIKE '$2'" 2>/dev/null | cut -f2; }

arrancar() { # node, extra options...
  local i=$1; shift
  local d="$dir/n$i"
  local cachopts=() tlsOpciones=()
  [ "${CACHE:-0}" = 1 ] && cachopts=(--query-cache-type=1 --query-cache-size=64M)
  [ "${TLS:-0}" = 1 ] && opcionesTls "$dir/tls"
  mariadbd --no-defaults --user=root --datadir="$d/db" --socket="$d/sock" --port=$((PORT + i)) \
    --bind-address=127.0.0.1 --pid-file="$d/pid" --log-error="$d/mysqld.err" \
    --max-allowed-packet=256M --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --skip-name-resolve --proxy-protocol-networks="$BALANCEADOR" \
    --innodb-flush-log-at-trx-commit=2 "${cachopts[@]}" "${tlsOpciones[@]}" \
    --binlog-format=ROW --default-storage-engine=InnoDB --innodb-autoinc-lock-mode=2 \
    --wsrep-retry-autocommit=4 --wsrep-on=ON --wsrep-provider=/usr/lib/galera/libgalera_smm.so \
    --wsrep-cluster-name="kolvaster-$PORT" \
    --wsrep-cluster-address="gcomm://127.0.0.1:$((PORT + 101)),127.0.0.1:$((PORT + 102)),127.0.0.1:$((PORT + 103))" \
    --wsrep-node-address=127.0.0.1 --wsrep-node-name="n$i" \
    --wsrep-provider-options="gmcast.listen_addr=tcp://127.0.0.1:$((PORT + 100 + i));ist.recv_addr=127.0.0.1:$((PORT + 200 + i));base_port=$((PORT + 100 + i));gcache.size=256M;evs.keepalive_period=PT0.5S;evs.suspect_timeout=PT2S" \
    --wsrep-sst-method=mariabackup --wsrep-sst-auth=root: \
    --wsrep-sst-receive-address="127.0.0.1:$((PORT + 300 + i))" "$@" >>"$d/out" 2>&1 &
}

esperarSincronizado() { # node, seconds
  local i=$1
  for _ in $(seq 1 $(($2 * 5))); do
    if [ "$(estado "$i" wsrep_ready)" = ON ] && [ "$(estado "$i" wsrep_local_state_comment)" = Synced ]; then
      return 0
    fi
    sleep 0.2
  done
  echo "node $i did not reach the Synced state; its log:" >&2
  tail -n 40 "$dir/n$i/mysqld.err" >&2
  return 1
}

pidDe() { cat "$dir/n$1/pid" 2>/dev/null || true; }

detener() { # node: clean shutdown, or kill when it does not answer
  local i=$1 pid
  pid=$(pidDe "$i")
  [ -n "$pid" ] || return 0
  mariadb-admin --no-defaults --socket="$dir/n$i/sock" -uroot shutdown >/dev/null 2>&1 || true
  for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.2; done
  kill -9 "$pid" 2>/dev/null || true
}

case "$cmd" in
start)
  database=${args[0]:-prueba}
  port=${args[1]:-24100}
  if [ -f "$conf" ]; then "$0" stop "$dir"; mkdir -p "$dir"; fi
  # shellcheck disable=SC2046
  PORT=$port puertosLibres "$port" $(PORT=$port puertosNodo 1) $(PORT=$port puertosNodo 2) $(PORT=$port puertosNodo 3)
  printf 'PORT=%s\nDATABASE=%s\nCACHE=%s\nTLS=%s\n' "$port" "$database" "$cache" "$tls" >"$conf"
  . "$conf"
  [ "$TLS" = 0 ] || certificados "$dir/tls"
  mkdir -p "$dir/n1" "$dir/n2" "$dir/n3"
  # The balancer's check logs in as "haproxy" (no rights: reading the status needs none), from
  # the balancer's address only, with a password of this cluster kept beside the check.
  clavechequeo=$(head -c 18 /dev/urandom | base64 | tr -d '/+=')
  cp "$here/galera-check.sh" "$dir/galera-check.sh"
  (umask 077 && printf '[client]\nuser=haproxy\npassword=%s\n' "$clavechequeo" >"$dir/galera-check.cnf")
  # Nodes with --tls take TLS sessions only: the check's client checks them against the authority.
  [ "$TLS" = 0 ] || printf 'ssl-ca=%s\n' "$dir/tls/ca.pem" >>"$dir/galera-check.cnf"
  mariadb-install-db --user=root --datadir="$dir/n1/db" --auth-root-authentication-method=normal \
    --skip-test-db >"$dir/n1/install.log" 2>&1
  arrancar 1 --wsrep-new-cluster
  esperarSincronizado 1 60
  client 1 <<SQL
CREATE DATABASE \`$database\` CHARACTER SET utf8mb4;
CREATE USER 'dbadmin'@'%' IDENTIFIED BY 'dbadmin_pw';
GRANT ALL PRIVILEGES ON *.* TO 'dbadmin'@'%' WITH GRANT OPTION;
CREATE USER '${database}_ana'@'%' IDENTIFIED BY 'ana_pw';
GRANT ALL PRIVILEGES ON \`$database\`.* TO '${database}_ana'@'%';
CREATE USER '${database}_beto'@'%' IDENTIFIED BY 'beto_pw';
GRANT ALL PRIVILEGES ON \`$database\`.* TO '${database}_beto'@'%';
CREATE USER 'haproxy'@'127.0.0.1' IDENTIFIED BY '$clavechequeo';
FLUSH PRIVILEGES;
SQL
  client 1 "$database" <"$here/../sql/schema.sql"
  # The other two nodes are seeded with a copy of the first one's data directory taken while it
  # is shut down cleanly: they then hold the cluster's exact state and join without a transfer.
  # (A node that joins later, or with another state, gets IST or an SST by mariabackup.)
  detener 1
  for i in 2 3; do
    cp -a "$dir/n1/db" "$dir/n$i/db"
    rm -f "$dir/n$i/db/gvwstate.dat"
  done
  arrancar 1 --wsrep-new-cluster
  esperarSincronizado 1 60
  arrancar 2
  arrancar 3
  esperarSincronizado 2 180
  esperarSincronizado 3 180
  # The balancer: plain TCP, each node checked twice a second by galera-check.sh, which passes
  # while the node is Synced and ready. Two failed checks in a row (the second 250 ms after the
  # first) take a node out, and its sessions are cut at once; two passed ones bring it back.
  # Each session it passes on starts with a PROXY protocol header (v2) naming the workstation's
  # address, which the nodes take from the balancer's address alone (proxy_protocol_networks):
  # the session is then the workstation's, in USER(), the process list and the accounts' host
  # part. The balancer connects from an address of its own, so that a node told nothing would
  # show that one instead; the check and every direct connection send no header and keep
  # their own address.
  cat >"$dir/haproxy.cfg" <<CFG
global
  maxconn 4000
  external-check
  insecure-fork-wanted
defaults
  mode tcp
  timeout connect 2s
  timeout client 8h
  timeout server 8h
  retries 2
  option redispatch
frontend kolvaster
  bind 127.0.0.1:$PORT
  default_backend galera
backend galera
  balance leastconn
  option external-check
  external-check path "/usr/bin:/bin"
  external-check command $dir/galera-check.sh
  timeout check 2s
  default-server check inter 500ms fastinter 250ms fall 2 rise 2 on-marked-down shutdown-sessions
  server n1 127.0.0.1:$((PORT + 1)) source $BALANCEADOR send-proxy-v2
  server n2 127.0.0.1:$((PORT + 2)) source $BALANCEADOR send-proxy-v2
  server n3 127.0.0.1:$((PORT + 3)) source $BALANCEADOR send-proxy-v2
CFG
  haproxy -f "$dir/haproxy.cfg" -D -p "$dir/haproxy.pid"
  tlsCliente=()
  [ "$TLS" = 0 ] || tlsCliente=(--ssl-ca="$dir/tls/ca.pem")
  for _ in $(seq 1 50); do
    mariadb --no-defaults -h127.0.0.1 -P"$PORT" -udbadmin -pdbadmin_pw "${tlsCliente[@]}" \
      -e 'SELECT 1' >/dev/null 2>&1 && break
    sleep 0.2
  done
  echo "Galera cluster ready: balancer 127.0.0.1:$PORT (nodes 127.0.0.1:$((PORT + 1)), :$((PORT + 2)), :$((PORT + 3)); database $database; data in $dir)"
  ;;
stop)
  [ -f "$dir/haproxy.pid" ] && kill "$(cat "$dir/haproxy.pid")" 2>/dev/null || true
  if [ -n "${PORT:-}" ]; then
    for i in 3 2 1; do detener "$i"; done
  fi
  rm -rf "$dir"
  ;;
kill)
  i=${args[0]:?node}
  pid=$(pidDe "$i")
  [ -n "$pid" ] && kill -9 "$pid"
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  ;;
node)
  i=${args[0]:?node}
  # shellcheck disable=SC2046
  puertosLibres $(puertosNodo "$i")
  # A crashed node's saved position is unknown (-1): recover it from InnoDB first, so that the
  # node asks the cluster for the missing write sets only (IST) instead of a full copy.
  inicio=()
  if grep -q '^seqno: *-1' "$dir/n$i/db/grastate.dat" 2>/dev/null; then
    arrancar "$i" --wsrep-recover --log-error="$dir/n$i/recover.err"
    wait $! || true
    pos=$(sed -n 's/.*WSREP: Recovered position: *\([^ ]*\).*/\1/p' "$dir/n$i/recover.err" | tail -n1)
    [ -n "$pos" ] && inicio=(--wsrep-start-position="$pos")
  fi
  arrancar "$i" "${inicio[@]}"
  esperarSincronizado "$i" 120
  ;;
status)
  for i in 1 2 3; do
    printf 'n%s (127.0.0.1:%s): ' "$i" $((PORT + i))
    if client "$i" -e 'SELECT 1' >/dev/null 2>&1; then
      servicio="out of service"
      "$dir/galera-check.sh" - - 127.0.0.1 $((PORT + i)) && servicio="in service"
      echo "$(estado "$i" wsrep_local_state_comment), cluster size $(estado "$i" wsrep_cluster_size), $servicio"
    else
      echo down
    fi
  done
  ;;
*) usage ;;
esac
