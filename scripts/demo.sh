#!/usr/bin/env bash
# Sets up a local demo database on a throwaway MariaDB server and opens the launcher on it.
# The server lives under build-demo/ and stops when the launcher ends.
#   scripts/demo.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/packages.sh" imagemagick

build="$root/build-demo"
port=${KOLVASTER_DEMO_PORT:-33307}
db=demo
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2

dbdir="$build/demo-db"
"$root/scripts/testdb.sh" start "$dbdir" "$port" "$db" >/dev/null
trap '"$root/scripts/testdb.sh" stop "$dbdir"' EXIT

export DEMO_DB=$db DEMO_HOME=$HOME DEMO_BUILD=$build
export DEMO_SQL="mariadb --no-defaults --socket=$dbdir/mysql.sock -uroot $db"
photo=$(mktemp --suffix=.png)
convert -size 90x90 gradient:'#4891d9'-'#c5e0f7' -fill white -draw 'circle 45,36 45,18' \
  -draw 'ellipse 45,92 30,26 180,360' "$photo"
$DEMO_SQL <<SQL
INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2');
INSERT INTO sysuser (sysuser,titulo,pass,useradmin) VALUES
  ('dbadmin','Administrador','dbadmin_pw',TRUE),
  ('demo_ana','Ana Gomez','ana_pw',TRUE),
  ('demo_beto','Beto Ruiz','beto_pw',FALSE);
INSERT INTO sysuserimg (sysuser_id,imagen)
  SELECT sysuser_id, UNHEX('$(xxd -p "$photo" | tr -d '\n')') FROM sysuser WHERE sysuser='demo_ana';
INSERT INTO apprisklevel (detalle) VALUES ('Bajo'),('Medio'),('Alto');
INSERT INTO report (titulo) VALUES ('Ventas por mes'),('Stock valorizado'),('Cuentas a cobrar');
INSERT INTO sysuserreport (sysuser_id,report_id)
  SELECT u.sysuser_id, r.report_id FROM sysuser u, report r
  WHERE u.sysuser='demo_ana' OR (u.sysuser='demo_beto' AND r.titulo='Ventas por mes');
INSERT INTO sysuserelog (sysuserelogtipo_id,sysuser_id,cuando)
  SELECT 1, sysuser_id, NOW() - INTERVAL d DAY FROM sysuser,
    (SELECT 3 AS d UNION SELECT 9 UNION SELECT 20 UNION SELECT 45) dias WHERE sysuser='demo_ana';
SQL
rm -f "$photo"
for part in "$root"/scripts/demo.d/*.sh; do
  [ -e "$part" ] && bash "$part"
done

run="$build/run"
mkdir -p "$run"
printf '127.0.0.1\n%s\nana\n' "$db" >"$run/defaults"
cat <<EOT

Demo database "$db" on 127.0.0.1:$port. Type into the connection dialog:
  Servidor 127.0.0.1   Sistema $db
  Usuario ana     Pass ana_pw      (Ana Gomez, administrator of the suite)
  Usuario beto    Pass beto_pw     (Beto Ruiz)
  Usuario dbadmin Pass dbadmin_pw  (database administrator)
The launcher keeps its profiles under $HOME/Kolvaster/profiles.
EOT
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$run"
MYSQL_TCP_PORT=$port "$build/kolvaster" || true
