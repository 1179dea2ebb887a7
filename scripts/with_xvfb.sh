#!/usr/bin/env bash
# Runs a command on a virtual X display of its own: Xvfb picks a free display number itself
# (-displayfd writes it once the server listens), so launchers started at the same time never
# race for one display the way a guessed number can. The server ends with the command, whose
# exit status this script returns. Extra server arguments come from XVFB_ARGS (default: one
# 1280 x 1024 screen of 24 bits).
set -euo pipefail
if [ $# -eq 0 ]; then
  echo "usage: $0 command [arguments...]" >&2
  exit 2
fi
read -r -a server_args <<<"${XVFB_ARGS:--screen 0 1280x1024x24}"
auth_dir=$(mktemp -d)
display_file="$auth_dir/display"
cleanup() {
  if [ -n "${server:-}" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$auth_dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
Xvfb -displayfd 3 -nolisten tcp "${server_args[@]}" 3>"$display_file" 2>"$auth_dir/log" &
server=$!
# The server writes the number (in one write) once it is ready.
for _ in $(seq 1 200); do
  if [ -s "$display_file" ]; then break; fi
  if ! kill -0 "$server" 2>/dev/null; then
    cat "$auth_dir/log" >&2
    echo "Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.05
done
number=$(tr -d '\n' <"$display_file")
if [ -z "$number" ]; then
  echo "Xvfb gave no display number" >&2
  exit 1
fi
status=0
DISPLAY=":$number" XAUTHORITY=/dev/null "$@" || status=$?
exit "$status"
