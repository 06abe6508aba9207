#!/usr/bin/env bash
# Installs the build tree into a fresh prefix, checks what a desktop and a developer find there,
# opens a report from the installed launcher on a display of its own, then builds and runs a
# small program of the suite against the installed package.
#   instalacion.sh BUILD_DIR SOURCE_DIR TEST_DB_DIR   (MYSQL_TCP_PORT, KOLVASTER_TEST_DB set)
set -euo pipefail
build=$1 src=$2 testdb=$3
tmp=$(mktemp -d)
pantalla="" lanzador=""
trap '[ -z "$lanzador" ] || kill -9 $lanzador 2>/dev/null; [ -z "$pantalla" ] || kill $pantalla 2>/dev/null; rm -rf "$tmp"' EXIT
prefix="$tmp/prefijo"
cmake --install "$build" --prefix "$prefix" >/dev/null

falta=0
for f in bin/kolvaster bin/kolvaster-publicar lib/kolvaster/libkolvastervisor.so \
         share/applications/kolvaster.desktop \
         share/icons/hicolor/48x48/apps/kolvaster.png share/icons/hicolor/128x128/apps/kolvaster.png \
         lib/libkolvasterclient.a lib/libkolvasterreportes.a \
         include/kolvaster/kolvasterclient.h include/kolvaster/kolvasterhtmlviewer.h \
         include/kolvaster/kolvasterexcelgen.h include/kolvaster/kolvasterautomatizacion.h \
         include/kolvaster/kolvastererrorhandler.h include/kolvaster/kolvasteracercade.h \
         include/kolvaster/ui_kolvasteracercade.h include/kolvaster/kolvasterinterfaz.h \
         lib/cmake/Kolvaster/KolvasterConfig.cmake lib/cmake/Kolvaster/KolvasterConfigVersion.cmake \
         lib/cmake/Kolvaster/KolvasterTargets.cmake \
         share/doc/kolvaster/ejemplo/muestra/muestra.cpp share/doc/kolvaster/ejemplo/muestra/inicios.h \
         share/doc/kolvaster/ejemplo/muestra/CMakeLists.txt; do
  [ -e "$prefix/$f" ] || { echo "missing: $f"; falta=1; }
done
[ -x "$prefix/bin/kolvaster" ] || { echo "bin/kolvaster is not executable"; falta=1; }
"$prefix/bin/kolvaster-publicar" --help | grep -q '^uso: kolvaster-publicar clave' \
  || { echo "bin/kolvaster-publicar does not run"; falta=1; }
grep -qx 'Exec=kolvaster' "$prefix/share/applications/kolvaster.desktop" || { echo "desktop entry: Exec"; falta=1; }
grep -qx 'Icon=kolvaster' "$prefix/share/applications/kolvaster.desktop" || { echo "desktop entry: Icon"; falta=1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kolvaster.desktop" || falta=1
fi
# Nothing installed may point back into the source or build trees.
if grep -rlF -e "$src" -e "$build" "$prefix/lib/cmake" "$prefix/include"; then
  echo "installed files refer to the build or source tree"; falta=1
fi
[ $falta -eq 0 ]

# The launcher itself links nothing of the web engine, Qt Quick or printing: its report module does.
if readelf -d "$prefix/bin/kolvaster" | grep -E 'NEEDED.*(WebEngine|Quick|Qml|PrintSupport)'; then
  echo "bin/kolvaster links what only reports need"; exit 1
fi

# A report from the installed launcher, as a user opens it: an X server of its own (without a
# GPU, as on a terminal server), the launcher's defaults file, the password typed. Idle after
# the login it maps none of the engine's libraries; the report loads the installed module.
. "$src/scripts/ventanas.sh"
base=${KOLVASTER_TEST_DB:?}
mariadb --no-defaults --socket="$testdb/mysql.sock" -uroot "$base" -e "
  DELETE FROM kolvaster; INSERT INTO kolvaster (versionlauncher) VALUES ('v5.2');
  DELETE FROM sysuser WHERE sysuser='${base}_ana';
  INSERT INTO sysuser (sysuser, titulo, pass, useradmin) VALUES ('${base}_ana', 'Ana', 'ana_pw', FALSE);"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/pantalla" 2>/dev/null & pantalla=$!
until [ -s "$tmp/pantalla" ]; do sleep 0.05; done
export DISPLAY=":$(cat "$tmp/pantalla")"
mkdir -p "$tmp/home/Kolvaster" "$tmp/trabajo"
touch "$tmp/home/Kolvaster/libeay32.dll" "$tmp/home/Kolvaster/ssleay32.dll"
printf '127.0.0.1\n%s\nana\n' "$base" > "$tmp/trabajo/defaults"
(cd "$tmp/trabajo" && HOME="$tmp/home" exec env -u QT_QPA_PLATFORM "$prefix/bin/kolvaster" \
   >"$tmp/lanzador.log" 2>&1) & lanzador=$!
principal=$(entrar ana_pw)
sleep 2
inactivo=$(pesadas $lanzador)
[ -z "$inactivo" ] || { echo "the idle launcher maps $inactivo"; exit 1; }
menu_accesos "$principal"
elegir "$principal"
reporte=$(esperar_ventana "$titulo_accesos" 120) || { cat "$tmp/lanzador.log"; exit 1; }
modulo=$(grep -o '/[^ ]*libkolvastervisor\.so' "/proc/$lanzador/maps" | sort -u)
[ "$modulo" = "$prefix/lib/kolvaster/libkolvastervisor.so" ] || { echo "report module: '$modulo'"; exit 1; }
pesadas $lanzador | grep -q libQt6WebEngineCore || { echo "the report has no web engine"; exit 1; }
tecla "$reporte" Escape
esperar_cierre "$titulo_accesos"
kill -TERM $lanzador; wait $lanzador || true; lanzador=""
echo "the installed launcher opened a report with its installed module"

# The consumer is copied away from the tree so that nothing but the prefix can satisfy it.
cp -r "$src/tests/install/consumidor" "$tmp/consumidor"
cmake -S "$tmp/consumidor" -B "$tmp/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/configure.log" || { cat "$tmp/configure.log"; exit 1; }
encontrado=$(sed -n 's/^Kolvaster_DIR:PATH=//p' "$tmp/build/CMakeCache.txt")
[ "$encontrado" = "$prefix/lib/cmake/Kolvaster" ] || { echo "Kolvaster found at $encontrado"; exit 1; }
cmake --build "$tmp/build" -j2 >"$tmp/build.log" || { cat "$tmp/build.log"; exit 1; }
salida=$("$tmp/build/consumidor" "$tmp/libro.xlsx")
echo "$salida"
[ "$salida" = $'pagina 1\niconos 0\nexportado 1\nusuario 0\nacerca consumidor v1.0\ncerrar Cerrar\ngraficos 1' ]
[ -s "$tmp/libro.xlsx" ]
echo "installed into a fresh prefix; consumer built and ran"
