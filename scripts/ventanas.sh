# The launcher's real window on an X display, driven as a person would with xdotool (sourced by
# bench/visor.sh and tests/install/instalacion.sh). There is no window manager: keys go to a
# window named by its id; a key that closes its window makes xdotool complain about the key's
# release, hence the "|| true".

# ventana TITLE_REGEX: the id of a visible window so titled, or nothing.
ventana() { { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; } | head -1; }

# esperar_ventana TITLE_REGEX [TIMEOUT_S]: its id once visible, polled every 20 ms.
esperar_ventana() {
  local fin=$(( $(date +%s) + ${2:-60} )) w=""
  while [ -z "$w" ]; do
    [ "$(date +%s)" -lt "$fin" ] || { echo "no window '$1'" >&2; return 1; }
    sleep 0.02
    w=$(ventana "$1")
  done
  echo "$w"
}

# esperar_cierre TITLE_REGEX: until no visible window is so titled.
esperar_cierre() { while [ -n "$(ventana "$1")" ]; do sleep 0.02; done; }

# cargando WINDOW: whether the report's pale yellow "Cargando..." strip is still painted.
cargando() {
  xwd -silent -id "$1" 2>/dev/null | convert xwd:- -format %c histogram:info:- 2>/dev/null \
    | grep -qi 'FFFF7F'
}

titulo_conexion='^Por favor ingrese datos para conexion'
titulo_principal='^Kolvaster \(Manejador de Aplicaciones\)$'
titulo_accesos='^Kolvaster - Registro Ingreso Usuario$'

# entrar PASSWORD: types the password into the connection dialog (server, system and user come
# from the defaults file of the launcher's working directory) and waits for the main window;
# prints its id.
entrar() {
  local w
  w=$(esperar_ventana "$titulo_conexion") || return 1
  xdotool windowfocus --sync "$w" type --delay 20 "$1"
  # Only the press: the login runs while the dialog handles it, and a release arriving after
  # the dialog closed would reach the program list and start its first program.
  xdotool keydown --window "$w" Return
  esperar_cierre "$titulo_conexion"
  esperar_ventana "$titulo_principal"
}

# menu MAIN_WINDOW: the id of the open menu, or nothing: a window of the program's own that
# bypasses the window manager (override-redirect) as pop-ups do; found by class, as its name is
# not always set when it shows.
menu() {
  local w
  for w in $({ xdotool search --onlyvisible --classname kolvaster 2>/dev/null || true; } | grep -vx "$1"); do
    if xwininfo -id "$w" 2>/dev/null | grep -q 'Override Redirect State: yes'; then
      echo "$w"
      return
    fi
  done
}

# menu_accesos MAIN_WINDOW: opens "Herramientas" and selects its last entry, "Mis ultimos
# accesos...", leaving the Enter that triggers it to the caller (elegir).
menu_accesos() {
  local intento
  # Alt+H is taken only by the active window: focus first, and give Qt the time to see it.
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  sleep 1
  for intento in 1 2 3; do
    # Alt+H, else a click on the menu's title (some 118 pixels in: "Kolvaster" comes first).
    if [ $intento = 1 ]; then
      xdotool key --window "$1" alt+h
    else
      xdotool mousemove --window "$1" 118 10 click 1
    fi
    for _ in $(seq 50); do [ -z "$(menu "$1")" ] || break 2; sleep 0.02; done
  done
  [ -n "$(menu "$1")" ] || {
    echo "the menu does not open (screen: $TMPDIR/sin-menu.png)" >&2
    import -window root "${TMPDIR:-/tmp}/sin-menu.png" 2>/dev/null || true
    return 1
  }
  xdotool key --window "$(menu "$1")" Up
  sleep 0.2
}

# elegir MAIN_WINDOW: Enter in the open menu.
elegir() { xdotool key --window "$(menu "$1")" Return 2>/dev/null || true; }

# tecla WINDOW KEY: a key that may close the window.
tecla() { xdotool key --window "$1" "$2" 2>/dev/null || true; }

# pesadas PID: the heavy libraries only a report needs that the process maps, by short name.
pesadas() {
  { grep -oE 'libLLVM[^ /]*|libQt6WebEngineCore[^ /]*|libQt6Quick\.so[^ /]*|libQt6Qml\.so[^ /]*' \
      "/proc/$1/maps" || true; } | sed 's/\.so.*//' | sort -u | tr '\n' ' '
}
