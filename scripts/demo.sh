#!/usr/bin/env bash
# Sets up a local demo database on a throwaway MariaDB server and opens the launcher on it.
# The server lives under build-demo/ and stops when the launcher ends. The launcher runs with a
# home of its own, build-demo/home (installation folder, profiles, the demo programs' log and
# the desktop's caches), and a temporary folder under build-demo/: the demo writes nothing
# outside the repository, so a real installation under your home is never touched.
#   scripts/demo.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/packages.sh" imagemagick

build="$root/build-demo"
port=${KOLVASTER_DEMO_PORT:-33307}
db=demo
demohome="$build/home"
mkdir -p "$demohome" "$build/tmp" "$build/xdg-runtime"
chmod 700 "$build/xdg-runtime"
# Temporary files of the build, the server, mktemp here and in the demo.d parts, and the files
# Qt keys its shared memory on, all stay inside.
export TMPDIR="$build/tmp"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DKOLVASTER_PUBLISHER_KEYS="$(cat "$root/scripts/demo.d/editor-demo.clave.pub")" >/dev/null
cmake --build "$build" -j2

dbdir="$build/demo-db"
"$root/scripts/testdb.sh" start "$dbdir" "$port" "$db" --query-cache >/dev/null
trap '"$root/scripts/testdb.sh" stop "$dbdir"' EXIT

export DEMO_DB=$db DEMO_HOME=$demohome DEMO_BUILD=$build
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
The launcher runs with its own home, $demohome: the installation folder and the
profiles are under $demohome/Kolvaster, the demo programs log to
$demohome/kolvaster-demo.log. Nothing outside the repository is written.
EOT
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$run"
env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME \
  HOME="$demohome" XDG_RUNTIME_DIR="$build/xdg-runtime" MYSQL_TCP_PORT=$port \
  "$build/kolvaster" || true
