#!/usr/bin/env bash
# The idle launcher against a bare Qt window, and its first report, in one run on a real X
# display (Xvfb: no GPU, as on a terminal server).
#
#   DISPLAY=:N bench/visor.sh BUILD_DIR [PORT] [RUNS] [OLDER_LAUNCHER]
#
# Starts a server on 127.0.0.1:PORT (default 23371) with database "bench", user ana and a small
# catalogue (five programs of 200 KB that end at once), then for the bare window (BUILD_DIR/bench/bench_ventana)
# and each launcher (OLDER_LAUNCHER first when given, then BUILD_DIR/kolvaster), RUNS times
# (default 3), each start on a fresh home:
#   idle      resident memory (VmRSS) 5 s after the login, and whether LLVM, the web engine or
#             Qt Quick are mapped;
#   report    the seconds from the menu's Enter on "Mis ultimos accesos..." until the report's
#             window is up and its "Cargando..." strip is gone (page loaded), polled every 20 ms;
#   closed    resident memory 5 s after that report was closed.
# The launcher is driven as a person would: password typed into the connection dialog (server,
# system and user come from its defaults file), Alt+H, Up, Enter, then Escape.
# Needs the packages xvfb (or another X server), xdotool, x11-apps and imagemagick.
# Prints one line per start and the medians, with the idle launcher / bare window ratio.
#
# Then the charts of a report, drawn by a viewer as a program of the suite opens it
# (BUILD_DIR/bench/bench_graficos), RUNS times each, from the viewer's exec(): a page of 1 and of
# 20 charts (500 x 300) with the local loader (first chart and every chart drawn), against the
# same page naming a public loader that cannot be reached: refused at once (a closed port,
# PORT+1: the page's load finishes when the loader failed, with no chart) and silent (a listener
# on PORT+2 that never answers, as a firewall that drops: cut at 60 s). With the resident memory
# of the viewer and of the web engine's processes 2 s after the page was done.
#   DISPLAY=:N bench/visor.sh --graficos BUILD_DIR [PORT] [RUNS]   runs only this part
set -euo pipefail
solo_graficos=""
if [ "${1:-}" = "--graficos" ]; then solo_graficos=1; shift; fi
export KOLVASTER_PORT_SETTING="the PORT argument of bench/visor.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23371}
runs=${3:-3}
older=${4:-}
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || { echo "needs an X display (DISPLAY)" >&2; exit 2; }
for c in xdotool xwd convert import; do
  command -v $c >/dev/null || { echo "needs $c (packages xdotool, x11-apps, imagemagick)" >&2; exit 2; }
done
work=$(mktemp -d -t kolvaster-visor.XXXXXX)
# A launcher left running would hold the session record of "bench" for the next one.
vivos=()
trap 'for p in "${vivos[@]}"; do kill -9 $p 2>/dev/null || true; done
      "$here/../scripts/testdb.sh" stop "$work/db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT

medir_graficos() {
  local silencioso=""
  python3 -c "
import socket, time
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', $((port + 2)))); s.listen(64); s.settimeout(1); abiertas = []
fin = time.time() + 70 * $runs + 10
while time.time() < fin:
    try: abiertas.append(s.accept()[0])
    except socket.timeout: pass
" & silencioso=$!
  vivos+=($silencioso)
  sleep 0.5
  : > "$work/graficos"
  for r in $(seq "$runs"); do
    for n in 1 20; do
      for modo in "propio" "publico http://127.0.0.1:$((port + 1))/jsapi"; do
        QTWEBENGINE_DISABLE_SANDBOX=1 "$build/bench/bench_graficos" $n $modo 2>/dev/null \
          | sed "s/public-unreachable/public-refused/" | tee -a "$work/graficos"
      done
    done
    QTWEBENGINE_DISABLE_SANDBOX=1 "$build/bench/bench_graficos" 20 publico \
      "http://127.0.0.1:$((port + 2))/jsapi" 2>/dev/null \
      | sed "s/public-unreachable/public-silent/" | tee -a "$work/graficos"
  done
  kill $silencioso 2>/dev/null || true
  echo
  for clase in "charts=1 loader=local" "charts=20 loader=local" "charts=1 loader=public-refused" \
               "charts=20 loader=public-refused" "charts=20 loader=public-silent"; do
    med() { grep "^$clase " "$work/graficos" | grep -oE " $1=[-0-9.]+" | cut -d= -f2 | sort -n \
              | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
    awk -v c="$clase" -v p="$(med first_s)" -v t="$(med all_s)" -v v="$(med viewer_kb)" \
        -v e="$(med engine_kb)" 'BEGIN {
      if (c ~ /public/)
        d = p < 0 ? "no chart, page still loading at 60 s" : sprintf("no chart, page gave up at %.3f s", p)
      else
        d = sprintf("first chart %.3f s, all %.3f s", p, t)
      printf "%-32s %-38s viewer %5.1f MB, engine %5.1f MB\n", c, d, v / 1024, e / 1024 }'
  done
}
if [ -n "$solo_graficos" ]; then medir_graficos; exit 0; fi

"$here/../scripts/testdb.sh" start "$work/db" "$port" bench >/dev/null
sql() { mariadb --no-defaults --socket="$work/db/mysql.sock" -uroot bench "$@"; }
sql -e "INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2');"
sql -e "INSERT INTO sysuser (sysuser, titulo, pass, useradmin) VALUES ('bench_ana', 'Ana', 'ana_pw', FALSE);"
for p in calculadora agenda inventario facturacion sueldos; do
  # Programs that end at once: the Enter that logs in may also start the list's first one.
  { printf '#!/bin/sh\nexit 0\n'; head -c 150000 /dev/urandom | base64 | sed 's/^/#/'; } > "$work/$p"
  sql -e "INSERT INTO app (nombre, titulo, windowsbinary) VALUES ('$p', '$p', LOAD_FILE('$work/$p'));" 2>/dev/null \
    || sql -e "INSERT INTO app (nombre, titulo, windowsbinary) VALUES ('$p', '$p', 0x$(xxd -p "$work/$p" | tr -d '\n'));"
  sql -e "INSERT INTO sysuserapp (sysuser_id, app_id, clogleido) SELECT u.sysuser_id, a.app_id, TRUE
          FROM sysuser u, app a WHERE u.sysuser='bench_ana' AND a.nombre='$p';"
done
# A month of logins for the report.
sql -e "INSERT INTO sysuserelog (sysuserelogtipo_id, sysuser_id, cuando)
        SELECT 1, sysuser_id, NOW() - INTERVAL seq HOUR FROM sysuser, seq_1_to_600 WHERE sysuser='bench_ana';"

. "$here/../scripts/ventanas.sh"
rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
ahora() { date +%s.%N; }

medir_ventana() {
  "$build/bench/bench_ventana" >/dev/null 2>&1 & local pid=$!
  vivos+=($pid)
  esperar_ventana '^Ventana de referencia$' >/dev/null
  sleep 5
  echo "bare-window idle_kb=$(rss $pid) heavy=[$(pesadas $pid)]"
  kill $pid; wait $pid 2>/dev/null || true
}

medir_lanzador() {  # NAME BINARY RUN
  local home="$work/home-$1-$3" trabajo="$work/trabajo-$1-$3"
  mkdir -p "$home/Kolvaster" "$trabajo"
  touch "$home/Kolvaster/libeay32.dll" "$home/Kolvaster/ssleay32.dll"
  printf '127.0.0.1\nbench\nana\n' > "$trabajo/defaults"
  (cd "$trabajo" && HOME="$home" MYSQL_TCP_PORT=$port XDG_RUNTIME_DIR="$work" \
     QTWEBENGINE_DISABLE_SANDBOX=1 exec "$2" >"$work/$1-$3.log" 2>&1 </dev/null) & local pid=$!
  vivos+=($pid)
  local w idle heavy
  w=$(entrar ana_pw)
  sleep 5
  idle=$(rss $pid) heavy=$(pesadas $pid)

  menu_accesos "$w"
  local t0 t1 r
  t0=$(ahora)
  elegir "$w"
  r=$(esperar_ventana "$titulo_accesos" 120)
  while cargando "$r"; do sleep 0.02; done
  t1=$(ahora)
  sleep 1
  import -window root "$work/$1-$3.png" 2>/dev/null || true
  tecla "$r" Escape
  esperar_cierre "$titulo_accesos"
  sleep 5
  local cerrado
  cerrado=$(rss $pid)
  echo "$1 idle_kb=$idle heavy=[$heavy] report_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", b - a}') closed_kb=$cerrado"
  kill -TERM $pid; wait $pid 2>/dev/null || true
  [ -z "${KOLVASTER_BENCH_SHOTS:-}" ] || cp "$work/$1-$3.png" "$KOLVASTER_BENCH_SHOTS/"
}

mediana() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
campo() { grep "^$1 " "$work/salida" | grep -oE "$2=[0-9.]+" | cut -d= -f2 | mediana; }

: > "$work/salida"
for r in $(seq "$runs"); do
  medir_ventana >>"$work/salida"; tail -1 "$work/salida"
  [ -z "$older" ] || { medir_lanzador older "$older" "$r" >>"$work/salida"; tail -1 "$work/salida"; }
  medir_lanzador launcher "$build/kolvaster" "$r" >>"$work/salida"; tail -1 "$work/salida"
done

echo
base=$(campo bare-window idle_kb)
for n in ${older:+older} launcher; do
  awk -v n="$n" -v i="$(campo $n idle_kb)" -v b="$base" -v r="$(campo $n report_s)" \
      -v c="$(campo $n closed_kb)" 'BEGIN {
    printf "%-9s idle %6.1f MB = %.2fx the bare window (%.1f MB); first report %.2f s; after it %6.1f MB\n",
           n, i / 1024, i / b, b / 1024, r, c / 1024 }'
done

echo
medir_graficos
