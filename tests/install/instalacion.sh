#!/usr/bin/env bash
# Installs the build tree into a fresh prefix, checks what a desktop and a developer find there,
# then builds and runs a small program of the suite against the installed package.
#   instalacion.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefijo"
cmake --install "$build" --prefix "$prefix" >/dev/null

falta=0
for f in bin/kolvaster bin/kolvaster-publicar share/applications/kolvaster.desktop \
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

# The consumer is copied away from the tree so that nothing but the prefix can satisfy it.
cp -r "$src/tests/install/consumidor" "$tmp/consumidor"
cmake -S "$tmp/consumidor" -B "$tmp/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >"$tmp/configure.log" || { cat "$tmp/configure.log"; exit 1; }
encontrado=$(sed -n 's/^Kolvaster_DIR:PATH=//p' "$tmp/build/CMakeCache.txt")
[ "$encontrado" = "$prefix/lib/cmake/Kolvaster" ] || { echo "Kolvaster found at $encontrado"; exit 1; }
cmake --build "$tmp/build" -j2 >"$tmp/build.log" || { cat "$tmp/build.log"; exit 1; }
salida=$("$tmp/build/consumidor" "$tmp/libro.xlsx")
echo "$salida"
[ "$salida" = $'pagina 1\niconos 0\nexportado 1\nusuario 0\nacerca consumidor v1.0\ncerrar Cerrar' ]
[ -s "$tmp/libro.xlsx" ]
echo "installed into a fresh prefix; consumer built and ran"
