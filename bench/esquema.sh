#!/usr/bin/env bash
# The upgrade of an old database holding 1 GB of programs: `kolvaster-publicar esquema
# --aplicar` against the plain statements an administrator would type for the same result.
#
#   bench/esquema.sh BUILD_DIR [PORT] [ROUNDS] [MB]
#
# Starts a throwaway server on 127.0.0.1:PORT (default 23381). Each round loads the old tables
# (tests/publicar/base_antigua.sql, its duplicates resolved) with MB (default 1000) of programs
# in 20 rows, plus a history of 200,000 logins and 100,000 program starts, and upgrades it
# twice, once each way, in alternating order; the database is made again before each upgrade,
# and both end in the same schema (checked). Prints each time and the ratio of the medians.
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/esquema.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23381}
rondas=${3:-3}
mb=${4:-1000}
work=$(mktemp -d "${TMPDIR:-/tmp}/kolvaster-bench-esquema.XXXXXX")
trap '"$here/../scripts/testdb.sh" stop "$work/db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
"$here/../scripts/testdb.sh" start "$work/db" "$port" bench >/dev/null
cliente() { mariadb --no-defaults --socket="$work/db/mysql.sock" -uroot "$@"; }

# The old database, its duplicates resolved (as the administrator's guide tells), with the programs.
preparar() {
  cliente -e 'DROP DATABASE IF EXISTS antigua; CREATE DATABASE antigua CHARACTER SET utf8mb4'
  cliente antigua <"$here/../tests/publicar/base_antigua.sql"
  cliente antigua <<SQL
DELETE FROM app WHERE app_id = 4;
DELETE FROM sysuser WHERE sysuser_id = 5;
DELETE FROM sysuserapp WHERE sysuser_id = 2 AND app_id = 1 LIMIT 1;
DELETE FROM sysuserreport WHERE sysuser_id = 3 AND report_id = 1 LIMIT 1;
DELETE FROM sysuserimg WHERE sysuser_id = 2 LIMIT 1;
INSERT INTO app (nombre, titulo, windowsbinary)
  SELECT CONCAT('programa', seq), 'Programa', REPEAT(RANDOM_BYTES(1024), $mb * 1024 DIV 20)
  FROM seq_1_to_20;
INSERT INTO sysuserelog (sysuserelogtipo_id, sysuser_id, cuando)
  SELECT 1 + seq % 2, 2 + seq % 3, '2015-01-01' + INTERVAL seq MINUTE FROM seq_1_to_200000;
INSERT INTO appuse (sysuser_id, app_id, cuando)
  SELECT 2 + seq % 3, 1 + seq % 20, '2015-01-01' + INTERVAL seq MINUTE FROM seq_1_to_100000;
SQL
}

# What an administrator types for the same result: one ALTER TABLE per table, the triggers
# right after the column, the new tables.
a_mano() {
  cliente antigua <<'SQL'
ALTER TABLE sysuser ADD UNIQUE KEY uq_sysuser (sysuser);
ALTER TABLE sysuserimg ADD COLUMN sysuserimg_id BIGINT NOT NULL AUTO_INCREMENT, DROP KEY ix_sysuserimg_user,
  ADD PRIMARY KEY (sysuserimg_id), ADD UNIQUE KEY uq_sysuserimg_user (sysuser_id);
ALTER TABLE app ADD COLUMN windowsbinary_md5 CHAR(32) CHARACTER SET ascii NULL DEFAULT (MD5(windowsbinary))
  AFTER windowsbinary, DROP KEY ix_app_nombre, ADD UNIQUE KEY uq_app_nombre (nombre);
CREATE TRIGGER app_md5_alta BEFORE INSERT ON app
  FOR EACH ROW SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary);
CREATE TRIGGER app_md5_cambio BEFORE UPDATE ON app
  FOR EACH ROW SET NEW.windowsbinary_md5 = MD5(NEW.windowsbinary);
ALTER TABLE sysuserapp ADD COLUMN sysuserapp_id BIGINT NOT NULL AUTO_INCREMENT,
  ADD PRIMARY KEY (sysuserapp_id), ADD UNIQUE KEY uq_sysuserapp (sysuser_id, app_id);
ALTER TABLE sysuserelog ADD COLUMN sysuserelog_id BIGINT NOT NULL AUTO_INCREMENT,
  ADD PRIMARY KEY (sysuserelog_id), ADD KEY ix_sysuserelog_user (sysuser_id, cuando);
ALTER TABLE appuse ADD COLUMN appuse_id BIGINT NOT NULL AUTO_INCREMENT,
  ADD PRIMARY KEY (appuse_id), ADD KEY ix_appuse_user (sysuser_id);
ALTER TABLE sysuserreport ADD COLUMN sysuserreport_id BIGINT NOT NULL AUTO_INCREMENT,
  ADD PRIMARY KEY (sysuserreport_id), ADD UNIQUE KEY uq_sysuserreport (sysuser_id, report_id);
ALTER TABLE kolvaster ADD COLUMN kolvaster_id BIGINT NOT NULL AUTO_INCREMENT, ADD PRIMARY KEY (kolvaster_id);
ALTER TABLE kolvasterop ADD COLUMN kolvasterop_id BIGINT NOT NULL AUTO_INCREMENT,
  ADD PRIMARY KEY (kolvasterop_id), ADD KEY ix_kolvasterop_user (sysuser_id, llave);
SQL
  # The new tables as sql/schema.sql has them.
  sed -n '/^CREATE TABLE appfirma/,$p' "$here/../sql/schema.sql" | cliente antigua
}

herramienta() {
  "$build/kolvaster-publicar" esquema --no-defaults --socket="$work/db/mysql.sock" --user=root \
    --sistema antigua --aplicar >/dev/null
}

esquema() {
  cliente -N information_schema -e "
    SELECT TABLE_NAME, ORDINAL_POSITION, COLUMN_NAME, COLUMN_TYPE, IS_NULLABLE, COLUMN_DEFAULT
    FROM COLUMNS WHERE TABLE_SCHEMA='antigua' ORDER BY 1, 2;
    SELECT TABLE_NAME, INDEX_NAME, NON_UNIQUE, COLUMN_NAME FROM STATISTICS
    WHERE TABLE_SCHEMA='antigua' ORDER BY 1, 2, SEQ_IN_INDEX;
    SELECT TRIGGER_NAME, ACTION_STATEMENT FROM TRIGGERS WHERE TRIGGER_SCHEMA='antigua' ORDER BY 1"
}

medir() { # medir FUNCTION: prints the seconds it took
  local t0 t1
  t0=$(date +%s.%N)
  "$1"
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
}

mediana() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

echo "upgrade of an old database with $mb MB of programs in 20 rows, $rondas rounds (port $port)"
: >"$work/mano" >"$work/herramienta"
for r in $(seq 1 "$rondas"); do
  orden=(a_mano herramienta)
  [ $((r % 2)) -eq 1 ] || orden=(herramienta a_mano)
  for forma in "${orden[@]}"; do
    preparar
    t=$(medir "$forma")
    esquema >"$work/esquema.$forma"
    if [ "$forma" = a_mano ]; then echo "$t" >>"$work/mano"; else echo "$t" >>"$work/herramienta"; fi
    printf 'round %d  %-12s %8.2f s\n' "$r" "$forma" "$t"
  done
  cmp -s "$work/esquema.a_mano" "$work/esquema.herramienta" \
    || { echo "the two ways ended in different schemas" >&2; diff "$work/esquema.a_mano" "$work/esquema.herramienta" >&2; exit 1; }
done
m=$(mediana <"$work/mano")
h=$(mediana <"$work/herramienta")
printf 'median: by hand %.2f s, kolvaster-publicar esquema --aplicar %.2f s, ratio %.2f\n' \
  "$m" "$h" "$(awk -v h="$h" -v m="$m" 'BEGIN { print h / m }')"
