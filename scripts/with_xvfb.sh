#!/usr/bin/env bash
# Runs a command on a virtual X display of its own. The display number is the first from 90 up
# that this script can lock (flock on a file of its own, held until the command and the server
# end) and that no X server holds (/tmp/.X<n>-lock): launchers started at the same time never
# pick the same number. The server is not left to find a free number itself (-displayfd): while
# probing, a starting server replaces the socket of a display in use, and that server's later
# clients then cannot connect. The server ends with the command, whose exit status this script
# returns. Extra server arguments come from XVFB_ARGS (default: one 1280 x 1024 screen of 24
# bits).
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 command [arguments...]" >&2
  exit 2
fi
read -r -a server_args <<<"${XVFB_ARGS:--screen 0 1280x1024x24}"
auth_dir=$(mktemp -d)
cleanup() {
  if [ -n "${server:-}" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$auth_dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
number=""
for n in $(seq 90 189); do
  exec 9>"/tmp/.norv-xvfb-$n.lock"
  if flock -n 9 && [ ! -e "/tmp/.X$n-lock" ]; then
    number=$n
    break
  fi
  exec 9>&-
done
if [ -z "$number" ]; then
  echo "no free X display number from 90 to 189" >&2
  exit 1
fi
Xvfb ":$number" -nolisten tcp "${server_args[@]}" 2>"$auth_dir/log" &
server=$!
# The server takes clients once it has locked the display (the lock file names its process) and
# made its socket; a socket left by an earlier server does not count.
ready() {
  [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$number-lock")" = "$server" ] && [ -S "/tmp/.X11-unix/X$number" ]
}
for _ in $(seq 1 200); do
  if ready; then break; fi
  if ! kill -0 "$server" 2>/dev/null; then
    cat "$auth_dir/log" >&2
    echo "Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.05
done
if ! ready; then
  cat "$auth_dir/log" >&2
  echo "Xvfb did not start on display :$number" >&2
  exit 1
fi
status=0
DISPLAY=":$number" XAUTHORITY=/dev/null "$@" || status=$?
exit "$status"
