#!/usr/bin/env bash
# Sets up the machine, builds both targets, and runs every test: each build's test programs under Wine, the two
# builds side by side on their own Xvfb displays and Wine prefixes, plus the host-side tool tests. Where this machine
# cannot run 32-bit programs the i686 run is skipped with one line saying why, and only the x86_64 results count.
# Output lists every test case with its result; each line of a build's run starts with that build's name, and the
# whole of each run is also kept in $BUILD_ROOT/test-<arch>.log. Last, every benchmark runs once in its short mode
# (scripts/bench-short.sh).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
export BUILD_ROOT=$root

"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" all

arches=(x86_64)
if why=$("$repo/scripts/runs-32bit.sh"); then
  arches+=(i686)
else
  echo "test: i686 tests skipped: $why"
fi

status=0
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
if [ -x "$repo/scripts/arcpack-host.sh" ]; then
  "$repo/scripts/arcpack-host.sh" || status=1
fi

# run_build ARCH: one build's test programs on a display of their own; leaves the exit code and the seconds taken.
run_build() {
  local arch=$1 start=$SECONDS rc=0
  "$repo/scripts/with-xvfb.sh" ctest --test-dir "$root/$arch" -V --timeout 900 -j "${KAVORIN_TEST_JOBS:-4}" ${KAVORIN_CTEST_ARGS:-} 2>&1 \
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
