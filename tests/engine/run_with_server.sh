#!/usr/bin/env bash
# Runs a command while the loopback test server listens on a free port of 127.0.0.1, with
# QV_TEST_SERVER_PORT set to that port; stops the server afterwards and answers the command's
# exit code. Used as the test launcher of the engine's Wine tests.
#   run_with_server.sh [server options...] -- command [arguments...]
# QV_PYTHON names the Python 3 interpreter (default: python3 from PATH).
set -u
here=$(cd "$(dirname "$0")" && pwd)
server_args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  server_args+=("$1")
  shift
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "usage: $0 [server options...] -- command..." >&2; exit 2; }

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
"${QV_PYTHON:-python3}" "$here/../tools/http_server.py" --port 0 --idle-timeout 900 "${server_args[@]}" \
  >"$state/port" 2>"$state/stderr" </dev/null &
server=$!
port=
for _ in $(seq 200); do
  port=$(head -n1 "$state/port" 2>/dev/null)
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.05
done
if [ -z "$port" ]; then
  echo "run_with_server: the test server did not start" >&2
  cat "$state/stderr" >&2
  kill "$server" 2>/dev/null
  exit 1
fi

QV_TEST_SERVER_PORT=$port "$@"
rc=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $rc
