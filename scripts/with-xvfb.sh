#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb screen (1024x768, 24-bit, or KAVORIN_XVFB_SCREEN) that lives only
# as long as the command.
# Several of these may start at once (the test script runs both builds side by side): a display number another
# server took first is given up for the next free one.
set -uo pipefail
n=${KAVORIN_XVFB_FIRST:-90}
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && { kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; }' EXIT
for _ in $(seq 1 50); do
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${KAVORIN_XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  ready=0
  for _ in $(seq 1 100); do
    # A server that lost the display's lock to another exits at once; only a live one of ours counts.
    if ! kill -0 $xvfb_pid 2>/dev/null; then break; fi
    if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && kill -0 $xvfb_pid 2>/dev/null; then ready=1; break; fi
    sleep 0.1
  done
  if [ $ready -eq 1 ]; then
    DISPLAY=":$n" "$@"
    exit $?
  fi
  if kill -0 $xvfb_pid 2>/dev/null; then
    echo "with-xvfb: Xvfb :$n did not answer" >&2
    exit 1
  fi
  wait $xvfb_pid 2>/dev/null
  xvfb_pid=
  n=$((n + 1))
done
echo "with-xvfb: no display number was free for Xvfb" >&2
exit 1
