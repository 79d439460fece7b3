#!/usr/bin/env bash
# Sets up the machine, builds both targets (side by side), and runs every test: each build's test programs under
# Wine, every program (or shard of one) on an Xvfb display and in a Wine prefix of its own, the two builds side by
# side, and beside them the host-side tool tests. Where this machine cannot run 32-bit programs the i686 run is
# skipped with one line saying why, and only the x86_64 results count; where the kernel runs 32-bit programs but
# 32-bit Wine does not start, the run fails. Before any test runs, every program of both builds is checked to import
# only Windows' own DLLs (scripts/check-imports.sh).
# Output lists every test case with its result; each line of a build's run starts with that build's name (the host
# tests' with "host"), and the whole of each run is also kept in $BUILD_ROOT/test-<arch>.log.
# Last, every benchmark runs once in its short mode (scripts/bench-short.sh).
# KAVORIN_TEST_JOBS sets the programs run at once per build (default: the cores shared out between the builds run).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
export BUILD_ROOT=$root

"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" all

status=0
# Before anything runs: every program of both builds imports only Windows' own DLLs. This is what protects the
# i686 build where it cannot be run.
"$repo/scripts/check-imports.sh" x86_64 i686 || status=1

arches=(x86_64)
if why=$("$repo/scripts/runs-32bit.sh"); then
  arches+=(i686)
elif [ $? -eq 1 ]; then
  echo "test: i686 tests skipped: $why"
else
  # The kernel runs 32-bit programs but the 32-bit Wine does not start: a broken set-up, not a machine without
  # 32-bit support. The x86_64 tests still run; the run fails.
  echo "test: i686 tests cannot run: $why"
  echo "test: i686 FAILED: its tests could not run"
  status=1
fi

# Fixtures that need native tools (encoders) are made before the Windows tests run, into each build's own folder.
while IFS= read -r maker; do
  [ -x "$maker" ] || continue
  for arch in "${arches[@]}"; do
    echo "fixtures: $maker ($arch)"
    KAVORIN_FIXTURES=$root/$arch/fixtures "$maker" || status=1
  done
done < <(find "$repo/tests" -name make_fixtures.sh | sort)
# The game's resource trees (folders and archives), shared by both builds and checked to come out the same twice.
if [ -x "$repo/scripts/make-resources.sh" ]; then
  "$repo/scripts/make-resources.sh" --check || status=1
fi

# The host-side archive tool tests need no display or Wine: they run beside the builds' test programs.
host_pid=
if [ -x "$repo/scripts/arcpack-host.sh" ]; then
  rm -f "$root/test-host.result"
  (
    rc=0
    "$repo/scripts/arcpack-host.sh" 2>&1 | tee "$root/test-host.log" | sed -u "s/^/host| /" || rc=$?
    echo "$rc" > "$root/test-host.result"
  ) &
  host_pid=$!
fi

jobs=${KAVORIN_TEST_JOBS:-$(( $(nproc) / ${#arches[@]} ))}
[ "$jobs" -ge 1 ] || jobs=1
# run_build ARCH: one build's test programs; each ctest entry starts its own Xvfb (scripts/with-xvfb.sh), so no two
# programs ever share a display. Leaves the exit code and the seconds taken.
run_build() {
  local arch=$1 start=$SECONDS rc=0
  ctest --test-dir "$root/$arch" -V --timeout 1800 -j "$jobs" ${KAVORIN_CTEST_ARGS:-} 2>&1 \
    | tee "$root/test-$arch.log" | sed -u "s/^/$arch| /" || rc=$?
  echo "$rc $((SECONDS - start))" > "$root/test-$arch.result"
}
pids=()
for arch in "${arches[@]}"; do
  rm -f "$root/test-$arch.result"
  run_build "$arch" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || true; done
if [ -n "$host_pid" ]; then
  wait "$host_pid" || true
  if [ "$(cat "$root/test-host.result" 2>/dev/null)" != 0 ]; then
    echo "test: host tool tests FAILED (see $root/test-host.log)"
    status=1
  fi
fi

for arch in "${arches[@]}"; do
  if [ ! -f "$root/test-$arch.result" ]; then
    echo "test: $arch tests did not finish"
    status=1
    continue
  fi
  read -r rc seconds < "$root/test-$arch.result"
  if [ "$rc" -eq 0 ]; then
    echo "test: $arch tests passed in ${seconds} s"
  else
    echo "test: $arch tests FAILED in ${seconds} s (see $root/test-$arch.log)"
    status=1
  fi
done
# Every benchmark once in its short mode, on each build that ran its tests.
"$repo/scripts/bench-short.sh" "${arches[@]}" || status=1
if [ $status -ne 0 ]; then echo "test: FAILED"; else echo "test: all passed"; fi
exit $status
