#!/usr/bin/env bash
# Throwaway MariaDB server for tests, the demo and the benchmarks.
#
#   testdb.sh start DIR PORT [DATABASE] [--query-cache] [--tls[=CADIR]] [--tls-name=NAME] [--binlog]
#                                        initialise a data directory under DIR, start the
#                                        server on 127.0.0.1:PORT, load sql/schema.sql into
#                                        DATABASE (default "prueba") and create the accounts;
#                                        --query-cache turns the server's query cache on (64 MB);
#                                        --tls serves TLS only (require_secure_transport) with a
#                                        certificate for 127.0.0.1 and localhost, or for NAME,
#                                        signed by the authority of CADIR (ca.pem, ca.key; made
#                                        there when missing; default DIR/tls), left in DIR/tls:
#                                        ca.pem, server-cert.pem, server-key.pem
#                                        --binlog writes a binary log (server-id 1, row format) that
#                                        scripts/replica.sh can follow
#   testdb.sh resume DIR PORT [--query-cache] [--tls] [--binlog]
#                                        start the server again on the data DIR holds
#                                        (the demo's kept data, or after a test killed it)
#   testdb.sh stop DIR [--keep]          shut the server down and remove DIR (--keep: keep it)
#
# A port that something on this machine already holds is said in one line before anything starts;
# KOLVASTER_PORT_SETTING names, in that line, the setting that chose the port (the caller's).
#
# Accounts created (passwords are for throwaway servers only):
#   dbadmin            / dbadmin_pw   all privileges, may grant
#   <db>_ana           / ana_pw       all privileges on <db>
#   <db>_beto          / beto_pw      all privileges on <db>
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
dir=${2:-}
usage="usage: $0 start DIR PORT [DATABASE] [--query-cache] [--tls[=CADIR]] [--tls-name=NAME] [--binlog] | resume DIR PORT [--query-cache] [--tls] [--binlog] | stop DIR [--keep]"
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "$usage" >&2; exit 2; }

client() { mariadb --no-defaults --socket="$dir/mysql.sock" -uroot "$@"; }
. "$here/puertos.sh"
. "$here/certificados.sh"

# Flags may come anywhere after the command; what is left are the positional arguments.
cache=() tls="" tlsca="" tlsname="" binlog=()
args=()
for a in "${@:3}"; do
  case "$a" in
  --query-cache) cache=(--query-cache-type=1 --query-cache-size=64M) ;;
  --tls) tls=1 ;;
  --tls=*) tls=1 tlsca=${a#--tls=} ;;
  --tls-name=*) tlsname=${a#--tls-name=} ;;
  # Triggers on a server with a binary log need SUPER unless the server trusts their makers.
  # Rows are logged with their key and changed columns only: a new release's program would
  # otherwise travel to each replica twice (before and after), and the version it replaces too.
  --binlog) binlog=(--log-bin="$dir/binlog" --server-id=1 --binlog-format=ROW --binlog-row-image=MINIMAL
                    --log-bin-trust-function-creators=1) ;;
  *) args+=("$a") ;;
  esac
done
set -- "$1" "$2" "${args[@]}"

# servidor PORT: starts the server on $dir/db and waits until it answers (the socket counts as
# a secure transport, so the script's own client needs no TLS).
servidor() {
  local port=$1 tlsOpciones=()
  [ -z "$tls" ] || opcionesTls "$dir/tls"
  puertosLibres "$port"
  mariadbd --no-defaults --user=root --datadir="$dir/db" --socket="$dir/mysql.sock" --port="$port" \
    --bind-address=127.0.0.1 --pid-file="$dir/mysqld.pid" --log-error="$dir/mysqld.err" \
    --max-allowed-packet=256M --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --skip-name-resolve --innodb-flush-log-at-trx-commit=2 "${cache[@]}" "${tlsOpciones[@]}" "${binlog[@]}" >/dev/null 2>&1 &
  for _ in $(seq 1 300); do
    client -e 'SELECT 1' >/dev/null 2>&1 && break
    sleep 0.1
  done
  client -e 'SELECT 1' >/dev/null || { cat "$dir/mysqld.err" >&2; exit 1; }
}

case "$cmd" in
start)
  port=${3:?port}
  database=${4:-prueba}
  if [ -S "$dir/mysql.sock" ] && client -e 'SELECT 1' >/dev/null 2>&1; then
    "$0" stop "$dir"
  fi
  rm -rf "$dir"; mkdir -p "$dir"
  mariadb-install-db --user=root --datadir="$dir/db" --auth-root-authentication-method=normal \
    --skip-test-db >"$dir/install.log" 2>&1
  [ -z "$tls" ] || certificados "$dir/tls" "$tlsca" "$tlsname"
  servidor "$port"
  # Anonymous accounts, if the data directory has any, would shadow the accounts' TCP logins.
  client <<SQL
DELETE FROM mysql.global_priv WHERE User='';
CREATE DATABASE \`$database\` CHARACTER SET utf8mb4;
CREATE USER 'dbadmin'@'%' IDENTIFIED BY 'dbadmin_pw';
GRANT ALL PRIVILEGES ON *.* TO 'dbadmin'@'%' WITH GRANT OPTION;
CREATE USER '${database}_ana'@'%' IDENTIFIED BY 'ana_pw';
GRANT ALL PRIVILEGES ON \`$database\`.* TO '${database}_ana'@'%';
CREATE USER '${database}_beto'@'%' IDENTIFIED BY 'beto_pw';
GRANT ALL PRIVILEGES ON \`$database\`.* TO '${database}_beto'@'%';
FLUSH PRIVILEGES;
SQL
  client "$database" < "$here/../sql/schema.sql"
  echo "MariaDB ready on 127.0.0.1:$port (database $database, data in $dir${tls:+, TLS only, authority $dir/tls/ca.pem})"
  ;;
resume)
  port=${3:?port}
  [ -d "$dir/db" ] || { echo "$0: no data in $dir" >&2; exit 1; }
  if ! { [ -S "$dir/mysql.sock" ] && client -e 'SELECT 1' >/dev/null 2>&1; }; then
    [ -z "$tls" ] || vigentes "$dir/tls" || certificados "$dir/tls"
    servidor "$port"
  fi
  echo "MariaDB ready on 127.0.0.1:$port (data in $dir)"
  ;;
stop)
  if [ -S "$dir/mysql.sock" ]; then
    mariadb-admin --no-defaults --socket="$dir/mysql.sock" -uroot shutdown >/dev/null 2>&1 || true
  fi
  if [ -f "$dir/mysqld.pid" ]; then
    pid=$(cat "$dir/mysqld.pid" 2>/dev/null || true)
    for _ in $(seq 1 100); do
      [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  [ "${3:-}" = --keep ] || rm -rf "$dir"
  ;;
*)
  echo "$usage" >&2; exit 2 ;;
esac
