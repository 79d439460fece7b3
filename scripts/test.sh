#!/usr/bin/env bash
# Sets up the machine, builds both targets, and runs every test: the Windows tests under Wine on a private Xvfb
# display, plus the host-side tool tests. Output lists every test case with its result.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
export BUILD_ROOT=$root

"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" all

status=0
# Fixtures that need native tools (encoders) are made before the Windows tests run.
for maker in "$repo"/tests/*/make_fixtures.sh; do
  [ -x "$maker" ] || continue
  echo "fixtures: $maker"
  KAVORIN_FIXTURES=$root/x86_64/fixtures "$maker" || status=1
done
# The game's resource trees (folders and archives), checked to come out the same twice.
if [ -x "$repo/scripts/make-resources.sh" ]; then
  "$repo/scripts/make-resources.sh" --check || status=1
fi
if [ -x "$repo/scripts/arcpack-host.sh" ]; then
  "$repo/scripts/arcpack-host.sh" || status=1
fi
"$repo/scripts/with-xvfb.sh" ctest --test-dir "$root/x86_64" -V --timeout 900 ${KAVORIN_CTEST_ARGS:-} || status=1
if [ $status -ne 0 ]; then echo "test: FAILED"; else echo "test: all passed"; fi
exit $status
