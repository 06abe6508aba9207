#!/usr/bin/env bash
# Pilot versions against a throwaway MariaDB server:
#   1. the up-to-date start of a user outside the pilot group (bench_arranque) while a pilot
#      version of a 100 MB program is out, against the same start with no pilot version, the two
#      alternated RUNS rounds each: the server's CPU time for the user's session (its user
#      statistics), the bytes
#      it sent (Bytes_sent) and the round trips (the session's commands in the general log,
#      counted in one extra round of each with the log on);
#   2. `kolvaster-publicar estado` on 1,000 users with access to 10 programs, 100,000 start
#      records and 10,000 failed updates (half of them resolved), on a second server, and
#      `historial --desde` (all steps, and one program's) on 100,000 recorded steps over 70 days,
#      with the plans of their statements.
#
#   bench/piloto.sh BUILD_DIR [PORT] [PORT2] [RUNS]
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT arguments of bench/piloto.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23332}
port2=${3:-23333}
runs=${4:-10}
work=$(mktemp -d /tmp/kolvaster-bench.XXXXXX)
db="$work/db" db2="$work/db2"
trap '"$here/../scripts/testdb.sh" stop "$db" >/dev/null 2>&1 || true
      "$here/../scripts/testdb.sh" stop "$db2" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
# The launcher's home, with the installation folder a start copies its two libraries from.
export HOME="$work/home"
mkdir -p "$HOME/Kolvaster" "$work/trabajo"
for l in libeay32.dll ssleay32.dll; do echo "biblioteca $l" >"$HOME/Kolvaster/$l"; done
cd "$work/trabajo"
mediana() { tr ' ' '\n' | grep . | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

"$here/../scripts/testdb.sh" start "$db" "$port" bench >/dev/null
sql() { mariadb --no-defaults --socket="$db/mysql.sock" -uroot -N bench "$@"; }
herramienta() {
  "$build/kolvaster-publicar" "$1" --no-defaults --socket="$db/mysql.sock" --user=root \
    --sistema bench "${@:2}" >/dev/null
}
"$build/kolvaster-publicar" clave "$work/editor.clave" >/dev/null 2>&1
head -c $((100 * 1024 * 1024)) /dev/urandom >"$work/general"
{ head -c $((99 * 1024 * 1024)) "$work/general"; head -c $((1024 * 1024)) /dev/urandom; } >"$work/piloto"
sql -e "INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2'); INSERT INTO sysuser (sysuser, titulo) VALUES ('bench_ana', 'Ana'), ('bench_beto', 'Beto')"
herramienta subir --clave "$work/editor.clave" prog "$work/general"
sql -e "INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) SELECT u.sysuser_id, a.app_id, 1 FROM sysuser u, app a"
herramienta piloto --agregar ana
herramienta subir --clave "$work/editor.clave" --piloto prog "$work/piloto"
# Between rounds the table holding the pilot version and an empty one of the same make swap
# names: a change of the catalogue only, which writes no page (putting 100 MB back each round
# would fill the server's buffer pool and cost the next start more than any statement does).
sql -e "CREATE TABLE appversion_vacia LIKE appversion"
sin() { sql -e "RENAME TABLE appversion TO appversion_con, appversion_vacia TO appversion"; }
con() { sql -e "RENAME TABLE appversion TO appversion_vacia, appversion_con TO appversion"; }
sin

# The server's own account of the CPU time it spent for beto's sessions (user statistics, in
# seconds with microseconds): the process's ticks are too coarse for one start.
sql -e "SET GLOBAL userstat=1"
cpu() { sql -e "SELECT COALESCE(SUM(CPU_TIME), 0) FROM information_schema.USER_STATISTICS WHERE USER='bench_beto'"; }
enviados() { sql -e "SHOW GLOBAL STATUS LIKE 'Bytes_sent'" | awk '{print $2}'; }
arranque() { MYSQL_TCP_PORT=$port timeout 300 "$build/bench/bench_arranque" beto beto_pw >/dev/null; }
# beto's profile gets the general version once; every round after is an up-to-date start.
arranque
declare -A cpus bytes
estado_actual=sin
cambiar() { [ "$1" = "$estado_actual" ] || { $1; estado_actual=$1; }; }
for _ in $(seq 1 "$runs"); do
  for modo in sin con; do
    cambiar $modo
    c0=$(cpu) b0=$(enviados)
    arranque
    c1=$(cpu) b1=$(enviados)
    cpus[$modo]+=" $(awk "BEGIN {printf \"%.2f\", ($c1 - $c0) * 1000}")"
    bytes[$modo]+=" $((b1 - b0))"
  done
done
# Round trips: the commands of beto's session, one round each with the general log on.
declare -A viajes
sql -e "SET GLOBAL general_log_file='$work/general.log', general_log=ON"
for modo in sin con; do
  cambiar $modo
  desde=$(stat -c %s "$work/general.log")
  arranque
  viajes[$modo]=$(tail -c +$((desde + 1)) "$work/general.log" | awk '
    $0 ~ /Connect\t.*bench_beto@/ { for (i = 1; i <= NF; i++) if ($i == "Connect") hilo = $(i - 1) }
    hilo != "" {
      for (i = 1; i <= NF; i++)
        if ($i == hilo && $(i + 1) ~ /^(Query|Prepare|Execute|Init|Fetch|Ping|Change|Connect)/) n++
    }
    END { print n + 0 }')
done
sql -e "SET GLOBAL general_log=OFF"
sc=$(mediana <<<"${cpus[sin]}") cc=$(mediana <<<"${cpus[con]}")
sb=$(mediana <<<"${bytes[sin]}") cb=$(mediana <<<"${bytes[con]}")
echo "== up-to-date start of a user outside the pilot group, 100 MB program, $runs rounds each"
echo "   server CPU ms: pilot out $cc / no pilot $sc = $(awk "BEGIN {printf \"%.3f\", $cc / $sc}")"
echo "     no pilot:  ${cpus[sin]}"
echo "     pilot out: ${cpus[con]}"
echo "   bytes sent: pilot out $cb / no pilot $sb = $(awk "BEGIN {printf \"%.3f\", $cb / $sb}")"
echo "     no pilot:  ${bytes[sin]}"
echo "     pilot out: ${bytes[con]}"
echo "   round trips: pilot out ${viajes[con]} / no pilot ${viajes[sin]} = $(awk "BEGIN {printf \"%.3f\", ${viajes[con]} / ${viajes[sin]}}")"
"$here/../scripts/testdb.sh" stop "$db" >/dev/null

# estado on 1,000 users and 100,000 start records.
"$here/../scripts/testdb.sh" start "$db2" "$port2" bench >/dev/null
sql2() { mariadb --no-defaults --socket="$db2/mysql.sock" -uroot -N bench "$@"; }
sql2 <<'SQL'
INSERT INTO sysuser (sysuser, titulo, piloto) SELECT CONCAT('bench_u', seq), 'U', seq % 50 = 0 FROM seq_1_to_1000;
INSERT INTO app (nombre, titulo, windowsbinary) SELECT CONCAT('prog', seq), 'P', RANDOM_BYTES(1024) FROM seq_1_to_10;
INSERT INTO appfirma (app_id, version, sha256, largo, clave, firma, firmado)
  SELECT app_id, 3, SHA2(windowsbinary, 256), 1024, 'x', RANDOM_BYTES(64), NOW() - INTERVAL 1 DAY FROM app;
INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) SELECT u.sysuser_id, a.app_id, 1 FROM sysuser u, app a;
INSERT INTO appuse (sysuser_id, app_id, cuando, version)
  SELECT 1 + (seq * 7919) % 1000, 1 + seq % 10, NOW() - INTERVAL (seq % 5000) MINUTE, 1 + seq % 3
  FROM seq_1_to_100000;
ANALYZE TABLE sysuser, app, appfirma, sysuserapp, appuse, appversion;
SQL
# The baseline: the same estado before the failed updates and the steps exist.
medir_estado() {
  local tiempos=""
  for _ in $(seq 1 5); do
    t0=$(date +%s.%N)
    "$build/kolvaster-publicar" estado --no-defaults --socket="$db2/mysql.sock" --user=root \
      --sistema bench >"$work/estado.txt"
    t1=$(date +%s.%N)
    tiempos+=" $(awk "BEGIN {print $t1 - $t0}")"
  done
  echo "$tiempos"
}
base_estado=$(medir_estado)
sql2 <<'SQL'
INSERT INTO appfallo (sysuser_id, app_id, version, md5, causa, texto, cuando, resuelto)
  SELECT 1 + seq % 1000, 1 + (seq DIV 1000) % 10, 3, MD5(seq), 'firma', 'texto mostrado',
         NOW() - INTERVAL (seq % 3000) MINUTE, IF(seq % 2 = 0, NOW(), NULL)
  FROM seq_0_to_9999;
-- The steps spread over 70 days: the trigger that stamps a row with the time of its insert is
-- set aside while they are made.
DROP TRIGGER registro_alta;
INSERT INTO registro (cuando, cuenta, direccion, paso, objeto, resultado)
  SELECT NOW() - INTERVAL seq MINUTE, 'dbadmin', '127.0.0.1', ELT(1 + seq % 4, 'subir', 'promover', 'volver', 'subir --piloto'),
         CONCAT('prog', 1 + seq % 10), CONCAT('version general ', seq) FROM seq_1_to_100000;
CREATE TRIGGER registro_alta BEFORE INSERT ON registro FOR EACH ROW SET NEW.cuando = NOW(), NEW.cuenta = SUBSTRING_INDEX(USER(), '@', 1), NEW.direccion = SUBSTRING_INDEX(USER(), '@', -1);
ANALYZE TABLE sysuser, app, appfirma, sysuserapp, appuse, appversion, appfallo, registro;
SQL
estado=$(medir_estado)
me=$(mediana <<<"$estado") mb=$(mediana <<<"$base_estado")
echo "== estado: 1,000 users, 10 programs, 100,000 start records, 10,000 failed updates: median $me s (target < 2 s)"
echo "   against the same without failed updates: $mb s = $(awk "BEGIN {printf \"%.2f\", $me / $mb}")"
echo "   runs:$estado; $(wc -l <"$work/estado.txt") lines, the last: $(tail -1 "$work/estado.txt")"
echo "   plan of the users' statement (table, type, key, rows):"
sql2 -e "EXPLAIN SELECT ua.app_id, u.sysuser, u.piloto, x.version, x.cuando FROM sysuserapp ua
  JOIN app a ON a.app_id=ua.app_id JOIN sysuser u ON u.sysuser_id=ua.sysuser_id
  LEFT JOIN appuse x ON x.appuse_id=(SELECT y.appuse_id FROM appuse y WHERE y.app_id=ua.app_id
  AND y.sysuser_id=ua.sysuser_id ORDER BY y.cuando DESC, y.appuse_id DESC LIMIT 1)
  WHERE (''='' OR a.nombre='') AND u.sysuser!='dbadmin' ORDER BY ua.app_id, u.sysuser" |
  awk -F'\t' '{printf "     %s %s %s %s %s\n", $3, $4, $5, $7, $10}'
echo "   plan of the failures' statement (table, type, key, rows):"
sql2 -e "EXPLAIN SELECT f.app_id, u.sysuser, f.version, f.causa, f.cuando FROM appfallo f
  JOIN sysuser u ON u.sysuser_id=f.sysuser_id JOIN app a ON a.app_id=f.app_id
  WHERE f.resuelto IS NULL AND (''='' OR a.nombre='') ORDER BY f.cuando, f.version" |
  awk -F'\t' '{printf "     %s %s %s %s %s\n", $3, $4, $6, $9, $10}'

# historial on 100,000 steps, from a week ago: every step's, and one program's.
desde=$(date -d '7 days ago' +%F)
for filtro in "" prog3; do
  tiempos=""
  for _ in $(seq 1 5); do
    t0=$(date +%s.%N)
    "$build/kolvaster-publicar" historial --no-defaults --socket="$db2/mysql.sock" --user=root \
      --sistema bench $filtro --desde "$desde" >"$work/historial.txt"
    t1=$(date +%s.%N)
    tiempos+=" $(awk "BEGIN {print $t1 - $t0}")"
  done
  echo "== historial ${filtro:+$filtro }--desde $desde on 100,000 steps: median $(mediana <<<"$tiempos") s (target < 2 s)"
  echo "   runs:$tiempos; $(wc -l <"$work/historial.txt") lines"
done
echo "   plans (table, type, key, rows):"
for donde in "FORCE INDEX (ix_registro_cuando) WHERE cuando >= '$desde'" \
             "WHERE cuando >= '$desde' AND objeto = 'prog3'"; do
  sql2 -e "EXPLAIN SELECT cuando, cuenta, direccion, paso, objeto, resultado FROM registro
    $donde ORDER BY cuando DESC, registro_id DESC" |
    awk -F'\t' '{printf "     %s %s %s %s %s\n", $3, $4, $6, $9, $10}'
done
