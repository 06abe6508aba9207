#!/usr/bin/env bash
# Publisher signatures against a throwaway MariaDB server:
#   1. cold synchronisation of a launcher built with keys / the same without keys, alternating
#      the two builds (RUNS rounds each per pass, PASSES passes) for 20 programs of 10 MB and one
#      of 100 MB;
#   2. kolvaster-publicar storing a 100 MB program / the stock mariadb client loading the same
#      bytes, as the guide's former recipe did (the binary turned into hex text in the
#      statement on the way), and / the client sending that statement ready-made from a file.
#
#   bench/firmas.sh BUILD_DIR [PORT] [RUNS] [PASSES]
set -euo pipefail
export KOLVASTER_PORT_SETTING="the PORT argument of bench/firmas.sh"
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?build directory}" && pwd)
port=${2:-23358}
runs=${3:-3}
passes=${4:-3}
work=$(mktemp -d /tmp/kolvaster-bench.XXXXXX)
db="$work/db"
trap '"$here/../scripts/testdb.sh" stop "$db" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
export MYSQL_TCP_PORT=$port KOLVASTER_TEST_DB=bench QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
export KOLVASTER_BENCH_RUNS=$runs
cd "$work"

mediana() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for caso in "20 10" "1 100"; do
  "$here/../scripts/testdb.sh" start "$db" "$port" bench >/dev/null
  # shellcheck disable=SC2086
  KOLVASTER_BENCH_PREPARAR=1 "$build/bench/bench_firmas" $caso >/dev/null
  sin="" con=""
  for _ in $(seq 1 "$passes"); do
    # shellcheck disable=SC2086
    sin+=" $("$build/bench/bench_firmas" $caso | cut -d' ' -f2-)"
    # shellcheck disable=SC2086
    con+=" $("$build/bench/bench_firmas_claves" $caso | cut -d' ' -f2-)"
  done
  s=$(mediana <<<"$sin") c=$(mediana <<<"$con")
  echo "== cold synchronisation, $caso (programs, MB): with keys $c s / without $s s = $(awk "BEGIN {printf \"%.3f\", $c / $s}")"
  echo "   without:$sin"
  echo "   with:   $con"
  "$here/../scripts/testdb.sh" stop "$db" >/dev/null
done

# What keys add on the workstation alone, without the server's share of the time.
KOLVASTER_BENCH_RUNS=$((runs * passes > 10 ? runs * passes : 10)) "$build/bench/bench_firmas" guardar 100

"$here/../scripts/testdb.sh" start "$db" "$port" bench >/dev/null
sql="mariadb --no-defaults --socket=$db/mysql.sock -uroot bench"
head -c $((100 * 1024 * 1024)) /dev/urandom >"$work/prog"
"$build/kolvaster-publicar" clave "$work/editor.clave" >/dev/null 2>&1
{ printf "INSERT INTO app (nombre, titulo, windowsbinary) VALUES ('prog', 'prog', 0x"
  xxd -p "$work/prog" | tr -d '\n'; printf ");\n"; } >"$work/prog.sql"
herramienta="" cliente="" archivo=""
for _ in $(seq 1 "$runs"); do
  $sql -e "TRUNCATE app; TRUNCATE appfirma;"
  t0=$(date +%s.%N)
  "$build/kolvaster-publicar" subir --no-defaults --socket="$db/mysql.sock" --user=root \
    --sistema bench --clave "$work/editor.clave" prog "$work/prog" >/dev/null
  t1=$(date +%s.%N)
  $sql -e "TRUNCATE app;"
  t2=$(date +%s.%N)
  { printf "INSERT INTO app (nombre, titulo, windowsbinary) VALUES ('prog', 'prog', UNHEX('"
    xxd -p "$work/prog" | tr -d '\n'
    printf "'));\n"; } | $sql
  t3=$(date +%s.%N)
  $sql -e "TRUNCATE app;"
  t4=$(date +%s.%N)
  $sql <"$work/prog.sql"
  t5=$(date +%s.%N)
  herramienta+=" $(awk "BEGIN {print $t1 - $t0}")"
  cliente+=" $(awk "BEGIN {print $t3 - $t2}")"
  archivo+=" $(awk "BEGIN {print $t5 - $t4}")"
done
h=$(mediana <<<"$herramienta") c=$(mediana <<<"$cliente")
echo "== publishing 100 MB: kolvaster-publicar $h s / stock client (hex statement) $c s = $(awk "BEGIN {printf \"%.3f\", $h / $c}")"
echo "   tool:  $herramienta"
echo "   client:$cliente"
a=$(mediana <<<"$archivo")
echo "== publishing 100 MB: kolvaster-publicar $h s / stock client reading a ready-made statement $a s = $(awk "BEGIN {printf \"%.3f\", $h / $a}")"
echo "   client:$archivo"
