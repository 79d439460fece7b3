#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb screen (1024x768, 24-bit, or KAVORIN_XVFB_SCREEN) that lives only
# as long as the command.
set -uo pipefail
n=${KAVORIN_XVFB_FIRST:-90}
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 "${KAVORIN_XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT
for _ in $(seq 1 100); do
  if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then break; fi
  if ! kill -0 $xvfb_pid 2>/dev/null; then echo "with-xvfb: Xvfb :$n did not start" >&2; exit 1; fi
  sleep 0.1
done
DISPLAY=":$n" "$@"
