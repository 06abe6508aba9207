#!/usr/bin/env bash
# Throwaway MariaDB server for tests, the demo and the benchmarks.
#
#   testdb.sh start DIR PORT [DATABASE] [--query-cache]
#                                        initialise a data directory under DIR, start the
#                                        server on 127.0.0.1:PORT, load sql/schema.sql into
#                                        DATABASE (default "prueba") and create the accounts;
#                                        --query-cache turns the server's query cache on (64 MB)
#   testdb.sh resume DIR PORT [--query-cache]
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
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start DIR PORT [DATABASE [--query-cache]] | resume DIR PORT [--query-cache] | stop DIR [--keep]" >&2; exit 2; }

client() { mariadb --no-defaults --socket="$dir/mysql.sock" -uroot "$@"; }
. "$here/puertos.sh"

# servidor PORT [--query-cache]: starts the server on $dir/db and waits until it answers.
servidor() {
  local port=$1 cache=()
  [ "${2:-}" = --query-cache ] && cache=(--query-cache-type=1 --query-cache-size=64M)
  puertosLibres "$port"
  mariadbd --no-defaults --user=root --datadir="$dir/db" --socket="$dir/mysql.sock" --port="$port" \
    --bind-address=127.0.0.1 --pid-file="$dir/mysqld.pid" --log-error="$dir/mysqld.err" \
    --max-allowed-packet=256M --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
    --skip-name-resolve --innodb-flush-log-at-trx-commit=2 "${cache[@]}" >/dev/null 2>&1 &
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
  servidor "$port" "${5:-}"
  client <<SQL
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
  echo "MariaDB ready on 127.0.0.1:$port (database $database, data in $dir)"
  ;;
resume)
  port=${3:?port}
  [ -d "$dir/db" ] || { echo "$0: no data in $dir" >&2; exit 1; }
  if ! { [ -S "$dir/mysql.sock" ] && client -e 'SELECT 1' >/dev/null 2>&1; }; then
    servidor "$port" "${4:-}"
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
  echo "usage: $0 start DIR PORT [DATABASE [--query-cache]] | resume DIR PORT [--query-cache] | stop DIR [--keep]" >&2; exit 2 ;;
esac
