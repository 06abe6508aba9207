#!/usr/bin/env bash
# Sets up a local demo database on a MariaDB server of its own and opens the launcher on it.
# The server and its data live under build-demo/ and are kept from one run to the next: a user
# created in the administration can log in at the next start. Whenever the launcher ends, the
# demo asks on its terminal whether to start it again (Enter) or stop (q, Enter; the end of the
# input counts as q); the server stops then, or on Ctrl+C. The launcher runs with a home of its
# own, build-demo/home (installation folder, profiles, the demo programs' log and the desktop's
# caches), and a temporary folder under build-demo/: the demo writes nothing outside the
# repository, so a real installation under your home is never touched.
#   scripts/demo.sh            start (the data of earlier runs, if any)
#   scripts/demo.sh --reset    start from fresh demo data
#   scripts/demo.sh --cluster  on a three-node Galera cluster behind HAProxy (scripts/cluster.sh),
#                              the launcher connecting through the balancer; the cluster and its
#                              data last as long as the demo
#   scripts/demo.sh --sucursal a branch office: fresh demo data on a server with a binary log,
#                              a replica of it (scripts/replica.sh, on KOLVASTER_DEMO_REPLICA_PORT,
#                              23318) and the branch "norte" (127.0.0.0/8) defined with
#                              kolvaster-publicar sede: the launcher reads the programs' bytes
#                              from the replica; both servers and their data last as long as
#                              the demo
# For the demo's own test: KOLVASTER_DEMO_DIR (in place of build-demo/), KOLVASTER_DEMO_BIN (a
# build to take the programs from instead of building) and KOLVASTER_DEMO_LAUNCHER (the command
# run in place of the launcher).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
reset=0
cluster=0
sucursal=0
case "${1:-}" in
  "") ;;
  --reset) reset=1 ;;
  --cluster) cluster=1 ;;
  --sucursal) sucursal=1 ;;
  *) echo "usage: $0 [--reset | --cluster | --sucursal]" >&2; exit 2 ;;
esac
"$root/scripts/packages.sh" imagemagick

build=${KOLVASTER_DEMO_DIR:-"$root/build-demo"}
port=${KOLVASTER_DEMO_PORT:-23307}
export KOLVASTER_PORT_SETTING=KOLVASTER_DEMO_PORT
db=demo
demohome="$build/home"
dbdir="$build/demo-db"
socket="$dbdir/mysql.sock"
if [ $cluster -eq 1 ]; then
  # The balancer's port (the nodes take the next three, Galera's own traffic ports above them).
  port=${KOLVASTER_DEMO_CLUSTER_PORT:-24500}
  KOLVASTER_PORT_SETTING=KOLVASTER_DEMO_CLUSTER_PORT
  dbdir="$build/demo-cluster"
  socket="$dbdir/n1/sock"
  reset=1
fi
if [ $sucursal -eq 1 ]; then
  dbdir="$build/demo-sucursal"
  socket="$dbdir/mysql.sock"
  replica_port=${KOLVASTER_DEMO_REPLICA_PORT:-23318}
  reset=1
fi
# Written once the demo data is complete: without it the data is set up again.
sembrada="$dbdir/sembrada"
if [ $reset -eq 1 ] || [ ! -f "$sembrada" ]; then
  [ $cluster -eq 1 ] || "$root/scripts/testdb.sh" stop "$dbdir"
  rm -rf "$demohome" "$build/run"
fi
mkdir -p "$demohome" "$build/tmp" "$build/xdg-runtime"
chmod 700 "$build/xdg-runtime"
# Temporary files of the build, the server, mktemp here and in the demo.d parts, and the files
# Qt keys its shared memory on, all stay inside.
export TMPDIR="$build/tmp"
if [ -n "${KOLVASTER_DEMO_BIN:-}" ]; then
  bin=$KOLVASTER_DEMO_BIN
else
  bin=$build
  # The demo's programs are published with the demo's publisher key (demo.d), and its launcher
  # accepts only programs signed with it. The demo's server takes TLS sessions only, with a
  # certificate of the demo's own authority, which the launcher is built for.
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DKOLVASTER_PUBLISHER_KEYS="$(cat "$root/scripts/demo.d/editor-demo.clave.pub")" \
    -DKOLVASTER_SERVER_CA="$dbdir/tls/ca.pem" >/dev/null
  cmake --build "$build" -j2
fi

parar() {
  echo
  if [ $cluster -eq 1 ]; then
    echo "Stopping the demo cluster."
    "$root/scripts/cluster.sh" stop "$dbdir"
  elif [ $sucursal -eq 1 ]; then
    echo "Stopping the demo's replica and server."
    "$root/scripts/replica.sh" stop "$build/demo-replica"
    "$root/scripts/testdb.sh" stop "$dbdir"
  else
    echo "Stopping the demo server; its data stays in $dbdir for the next run."
    "$root/scripts/testdb.sh" stop "$dbdir" --keep
  fi
}
# The demo data: users, pictures, reports, logins, and the parts in demo.d (programs, accounts).
sembrar() {
  export DEMO_DB=$db DEMO_HOME=$demohome DEMO_BUILD=$bin
  export DEMO_SQL="mariadb --no-defaults --socket=$socket -uroot $db"
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
}

trap parar EXIT
if [ $cluster -eq 1 ]; then
  "$root/scripts/cluster.sh" start "$dbdir" "$db" "$port" --query-cache --tls
  sembrar
elif [ $sucursal -eq 1 ]; then
  "$root/scripts/testdb.sh" start "$dbdir" "$port" "$db" --query-cache --tls --binlog >/dev/null
  sembrar
  KOLVASTER_PORT_SETTING=KOLVASTER_DEMO_REPLICA_PORT \
    "$root/scripts/replica.sh" start "$build/demo-replica" "$replica_port" "$dbdir" "$port" --tls
  printf '[client]\nhost=127.0.0.1\nport=%s\nuser=dbadmin\npassword=dbadmin_pw\nssl-ca=%s\n' \
    "$port" "$dbdir/tls/ca.pem" >"$build/tmp/sede.cnf"
  "$bin/kolvaster-publicar" sede --defaults-file="$build/tmp/sede.cnf" --sistema "$db" \
    --agregar norte --red 127.0.0.0/8 --servidor "127.0.0.1:$replica_port"
  "$root/scripts/replica.sh" sync "$build/demo-replica"
elif [ -f "$sembrada" ]; then
  "$root/scripts/testdb.sh" resume "$dbdir" "$port" --query-cache --tls >/dev/null
  echo "Demo database \"$db\" as the last run left it (scripts/demo.sh --reset starts afresh)."
else
  "$root/scripts/testdb.sh" start "$dbdir" "$port" "$db" --query-cache --tls >/dev/null
  sembrar
  touch "$sembrada"
fi
# Ctrl+C while the launcher runs reaches the launcher too, which closes its session; the demo
# then stops the server (the EXIT trap) instead of asking.
trap 'exit 130' INT TERM

run="$build/run"
mkdir -p "$run"
# "Predeterminar datos" may have changed them in an earlier run.
[ -f "$run/defaults" ] || printf '127.0.0.1\n%s\nana\n' "$db" >"$run/defaults"
sede=""
[ $sucursal -eq 0 ] || sede="
Branch office \"norte\" (127.0.0.0/8): the programs' bytes come from its replica on 127.0.0.1:$replica_port."
cat <<EOT

Demo database "$db" on 127.0.0.1:$port, over TLS only (authority $dbdir/tls/ca.pem).$sede
Type into the connection dialog:
  Servidor 127.0.0.1   Sistema $db
  Usuario ana     Pass ana_pw      (Ana Gomez, administrator of the suite)
  Usuario beto    Pass beto_pw     (Beto Ruiz)
  Usuario dbadmin Pass dbadmin_pw  (database administrator)
The launcher runs with its own home, $demohome: the installation folder and the
profiles are under $demohome/Kolvaster, the demo programs log to
$demohome/kolvaster-demo.log. Nothing outside the repository is written.
Users you create in the administration, and passwords you change, are still there at the
next start: when the launcher ends, press Enter to start it again, or q and Enter to stop.
EOT
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
cd "$run"
lanzador=("$bin/kolvaster")
[ -n "${KOLVASTER_DEMO_LAUNCHER:-}" ] && lanzador=("$KOLVASTER_DEMO_LAUNCHER")
while :; do
  env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME \
    HOME="$demohome" XDG_RUNTIME_DIR="$build/xdg-runtime" MYSQL_TCP_PORT=$port \
    "${lanzador[@]}" </dev/null || true
  respuesta=
  while :; do
    printf '\nThe launcher has ended. Enter: start it again; q, Enter: stop the demo server. '
    IFS= read -r respuesta || respuesta=q
    case "$respuesta" in
      "") break ;;
      q|Q) break 2 ;;
    esac
  done
done
