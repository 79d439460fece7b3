#!/usr/bin/env bash
# Tells whether this machine can run the i686 build under Wine: exits 0 when the 32-bit Wine loader runs, else prints
# one line saying why not and exits 1. Some kernels are built or booted without 32-bit support; Wine then cannot
# start 32-bit programs however it is installed.
set -uo pipefail
wine32=/usr/lib/wine/wine
if [ ! -e "$wine32" ]; then
  echo "32-bit Wine is not installed ($wine32 is missing; scripts/setup.sh installs it)"
  exit 1
fi
# Through bash's exec: timeout's own exec would hand a binary the kernel refuses to /bin/sh as a script.
out=$(timeout 60 bash -c 'exec "$0" --version' "$wine32" 2>&1)
rc=$?
if [ $rc -ne 0 ]; then
  first=$(printf '%s\n' "$out" | head -n 1)
  case "$first" in
    *"Exec format error"*) echo "this machine's kernel does not run 32-bit programs ($wine32: Exec format error)" ;;
    *) echo "the 32-bit Wine loader does not start (exit code $rc: ${first:-no output})" ;;
  esac
  exit 1
fi
exit 0
