#!/usr/bin/env bash
# Starts or stops the tests' notifier stand-in.  notifier-control.sh start DIR PORT | stop DIR
set -eu
dir=$2
case "$1" in
start)
  port=$3
  "$0" stop "$dir" || true
  mkdir -p "$dir"
  python3 "$(dirname "$0")/notifier.py" "$port" >"$dir/log" 2>&1 &
  echo $! >"$dir/pid"
  for _ in $(seq 1 100); do
    python3 - "$port" 2>/dev/null <<'PY' && exit 0
import sys, urllib.request
urllib.request.urlopen("http://127.0.0.1:%s/control/reset" % sys.argv[1], timeout=1)
PY
    sleep 0.1
  done
  cat "$dir/log" >&2; exit 1 ;;
stop)
  [ -f "$dir/pid" ] && kill "$(cat "$dir/pid")" 2>/dev/null || true
  rm -f "$dir/pid" ;;
esac
