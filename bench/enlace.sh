# Sourced by the benchmarks that put bench/enlace.py between a client and the server: its start
# and its end, each waited for a bounded time, so that a relay that fails or hangs stops the
# benchmark with a line instead of holding it.

# enlace_iniciar LOG ESCUCHA DESTINO [options of enlace.py...]: starts the relay in the
# background (its output in LOG) and returns once it listens; sets enlace_pid.
enlace_iniciar() {
  local log=$1
  shift
  python3 "$(dirname "${BASH_SOURCE[0]}")/enlace.py" "$@" >"$log" 2>&1 &
  enlace_pid=$!
  for _ in $(seq 1 100); do
    grep -q '^enlace' "$log" 2>/dev/null && return 0
    kill -0 "$enlace_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "bench/enlace.py did not start within 10 s: $(cat "$log")" >&2
  enlace_terminar
  return 1
}

# enlace_terminar: stops the relay (SIGTERM, then after 10 s SIGKILL) and waits for it.
enlace_terminar() {
  [ -n "${enlace_pid:-}" ] || return 0
  kill "$enlace_pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$enlace_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$enlace_pid" 2>/dev/null || true
  wait "$enlace_pid" 2>/dev/null || true
  enlace_pid=""
}
