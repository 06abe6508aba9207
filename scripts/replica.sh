#!/usr/bin/env bash
# A throwaway replica of a server started by testdb.sh with --binlog (the tests', the demo's or
# a benchmark's), on loopback: a branch office's copy of the database (see
# docs/administrator.md, "Branch offices").
#
#   replica.sh start DIR PORT PRIMARY_DIR PRIMARY_PORT [--tls[=CADIR]] [--tls-name=NAME] [--via=PORT]
#                         a new data directory under DIR, a server on 127.0.0.1:PORT (read only,
#                         as the suite's accounts go) that follows the primary from its first
#                         event, over TLS when the primary serves TLS only (its authority in
#                         PRIMARY_DIR/tls); --tls serves TLS only with a certificate from CADIR's
#                         authority (default: the primary's) for 127.0.0.1, or for NAME;
#                         --via=PORT reaches the primary through 127.0.0.1:PORT instead (a link
#                         stand-in such as bench/enlace.py); waits until it has caught up
#   replica.sh sync DIR   waits until the replica has applied all the primary has written
#   replica.sh lag DIR on|off
#                         stops (on) or starts again (off) the applier: the replica keeps
#                         receiving but lags behind, as a branch whose replica falls behind
#   replica.sh stop DIR   shuts the replica down and removes DIR
#
# The settings of a started replica are kept in DIR/replica.env, so that the other commands need
# only DIR. A port that something already holds stops the start at once (KOLVASTER_PORT_SETTING
# names the setting in that line).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
usage() {
  echo "usage: $0 start DIR PORT PRIMARY_DIR PRIMARY_PORT [--tls[=CADIR]] [--tls-name=NAME] [--via=PORT] | sync DIR | lag DIR on|off | stop DIR" >&2
  exit 2
}
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || usage
. "$here/puertos.sh"
. "$here/certificados.sh"

replica() { mariadb --no-defaults --socket="$dir/mysql.sock" -uroot "$@"; }
primario() { mariadb --no-defaults --socket="$PRIMARY_DIR/mysql.sock" -uroot "$@"; }

# sincronizar: until the replica's applied position is the primary's written one (60 s at most).
sincronizar() {
  local p r
  for _ in $(seq 1 600); do
    p=$(primario -N -e 'SELECT @@gtid_binlog_pos')
    r=$(replica -N -e 'SELECT @@gtid_slave_pos')
    [ "$p" = "$r" ] && return 0
    sleep 0.1
  done
  echo "$0: the replica in $dir did not catch up ($r of $p)" >&2
  replica -e 'SHOW SLAVE STATUS\G' | grep -E 'Running|Error' >&2 || true
  return 1
}

case "$cmd" in
start)
  PORT=${3:?port} PRIMARY_DIR=${4:?primary dir} PRIMARY_PORT=${5:?primary port}
  PRIMARY_DIR=$(cd "$PRIMARY_DIR" && pwd)
  tls="" tlsca="" tlsname="" via=""
  for a in "${@:6}"; do
    case "$a" in
    --tls) tls=1 ;;
    --tls=*) tls=1 tlsca=${a#--tls=} ;;
    --tls-name=*) tlsname=${a#--tls-name=} ;;
    --via=*) via=${a#--via=} ;;
    *) usage ;;
    esac
  done
  primario -N -e 'SELECT @@log_bin' | grep -qx 1 ||
    { echo "$0: the primary in $PRIMARY_DIR writes no binary log (start it with testdb.sh --binlog)" >&2; exit 1; }
  [ -f "$dir/replica.env" ] && "$0" stop "$dir"
  rm -rf "$dir"; mkdir -p "$dir"; dir=$(cd "$dir" && pwd)
  puertosLibres "$PORT"
  mariadb-install-db --user=root --datadir="$dir/db" --auth-root-authentication-method=normal \
    --skip-test-db >"$dir/install.log" 2>&1
  tlsOpciones=()
  if [ -n "$tls" ]; then
    certificados "$dir/tls" "${tlsca:-$PRIMARY_DIR/tls}" "$tlsname"
    opcionesTls "$dir/tls"
  fi
  printf 'PORT=%s\nPRIMARY_DIR=%s\nPRIMARY_PORT=%s\n' "$PORT" "$PRIMARY_DIR" "$PRIMARY_PORT" >"$dir/replica.env"
  # A server id of its own for each replica of the machine: the port's. The binary log reaches it
# compressed: the programs' raw bytes are in it, beside their compressed copies.
  mariadbd --no-defaults --user=root --datadir="$dir/db" --socket="$dir/mysql.sock" --port="$PORT" \
    --bind-address=127.0.0.1 --pid-file="$dir/mysqld.pid" --log-error="$dir/mysqld.err" \
    --max-allowed-packet=256M --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --skip-name-resolve --innodb-flush-log-at-trx-commit=2 --server-id="$PORT" --read-only=ON \
    --relay-log="$dir/relay" --slave-compressed-protocol=ON "${tlsOpciones[@]}" >/dev/null 2>&1 &
  for _ in $(seq 1 300); do
    replica -e 'SELECT 1' >/dev/null 2>&1 && break
    sleep 0.1
  done
  replica -e 'SELECT 1' >/dev/null || { cat "$dir/mysqld.err" >&2; exit 1; }
  # The replica's own fresh accounts would shadow the primary's on TCP; the primary's come with
  # its binary log.
  replica -e "DELETE FROM mysql.global_priv WHERE User=''; FLUSH PRIVILEGES;"
  primario -e "CREATE USER IF NOT EXISTS 'repl'@'%' IDENTIFIED BY 'repl_pw'; GRANT REPLICATION SLAVE ON *.* TO 'repl'@'%';"
  ssl=""
  [ -f "$PRIMARY_DIR/tls/ca.pem" ] && ssl=", MASTER_SSL=1, MASTER_SSL_CA='$PRIMARY_DIR/tls/ca.pem'"
  replica -e "CHANGE MASTER TO MASTER_HOST='127.0.0.1', MASTER_PORT=${via:-$PRIMARY_PORT}, MASTER_USER='repl', MASTER_PASSWORD='repl_pw', MASTER_LOG_FILE='binlog.000001', MASTER_LOG_POS=4$ssl; START SLAVE;"
  sincronizar
  echo "MariaDB replica ready on 127.0.0.1:$PORT (of 127.0.0.1:$PRIMARY_PORT${via:+ through 127.0.0.1:$via}, data in $dir${tls:+, TLS only})"
  ;;
sync)
  . "$dir/replica.env"
  sincronizar
  ;;
lag)
  . "$dir/replica.env"
  case "${3:-}" in
  on) replica -e 'STOP SLAVE SQL_THREAD' ;;
  off) replica -e 'START SLAVE SQL_THREAD' ;;
  *) usage ;;
  esac
  ;;
stop)
  # The applier stops first; the server goes as testdb.sh stops any of its own.
  [ -S "$dir/mysql.sock" ] && { replica -e 'STOP SLAVE' >/dev/null 2>&1 || true; }
  "$here/testdb.sh" stop "$dir"
  ;;
*) usage ;;
esac
