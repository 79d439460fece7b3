#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb screen (1024x768, 24-bit, or KAVORIN_XVFB_SCREEN) that lives only
# as long as the command.
# Every test program gets a server of its own: programs on one display would share its screen saver, keyboard focus
# and input. The server picks a free display number itself and reports it through -displayfd once it holds that
# number's lock and listens, so two servers started at once can never both believe they own the same display.
set -uo pipefail
xvfb_pid=
report=$(mktemp "${TMPDIR:-/tmp}/kavorin-xvfb.XXXXXX")
errors=$report.err
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
  rm -f "$report" "$errors"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

Xvfb -displayfd 3 -screen 0 "${KAVORIN_XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
  3>"$report" >/dev/null 2>"$errors" &
xvfb_pid=$!

# The number arrives as one line once the server is ready; a busy machine may take a while to get there.
n=
for _ in $(seq 1 1200); do
  if [ "$(wc -l < "$report")" -ge 1 ]; then
    n=$(head -n 1 "$report")
    break
  fi
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "with-xvfb: Xvfb ended before it reported a display:" >&2
    sed 's/^/with-xvfb: /' "$errors" >&2
    exit 1
  fi
  sleep 0.05
done
if ! [[ $n =~ ^[0-9]+$ ]]; then
  echo "with-xvfb: Xvfb reported no display within 60 s${n:+ (it wrote '$n')}" >&2
  exit 1
fi

DISPLAY=":$n" "$@"
exit $?
