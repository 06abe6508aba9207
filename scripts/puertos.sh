# Sourced by testdb.sh and cluster.sh: refuses, in one line, to start a server on a port that a
# live process already holds, listening or as a connection's local port. Sockets no process owns
# any more (a killed server's connections closing down, TIME-WAIT) are harmless: the servers bind
# with SO_REUSEADDR. Default ports stay below 32768, outside the kernel's range for clients'
# local ports, so a client connection never takes one; this catches the rest (a server left
# running, another program) before a server logs it minutes later.
#   puertosLibres PORT...   exits 1 when one is taken
puertosLibres() {
  command -v ss >/dev/null 2>&1 || return 0
  local p quien
  for p in "$@"; do
    quien=$(ss -Hantp state all "( sport = :$p )" 2>/dev/null | { grep -E '^LISTEN|users:' || true; } | head -n1)
    if [ -n "$quien" ]; then
      echo "$0: port $p on 127.0.0.1 is already in use ($(echo "$quien" | awk '{print $1, $NF}')); set ${KOLVASTER_PORT_SETTING:-the PORT argument} to a free port below 32768" >&2
      exit 1
    fi
  done
}
