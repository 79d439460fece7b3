#!/usr/bin/env bash
# Runs every benchmark of the given builds once in its short mode (bench_*.exe --short): a check that each still
# runs to the end and prints its ratios, not a measurement. A benchmark fails when it exits non-zero (a crash
# included), prints no measured ratio (see below), or does not finish within its time limit. The full runs stay outside CI.
# Usage: scripts/bench-short.sh ARCH...   (BUILD_ROOT as for scripts/test.sh; KAVORIN_BENCH_LIMIT seconds each)
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
limit=${KAVORIN_BENCH_LIMIT:-180}

# A measured ratio: a number with decimals after the word "ratio" on its line ("ratio 1.23", "ratio warm / cold:
# 12.5") or a number with decimals marked "x" ("1.23x", a table's ratio cell). A header that only names a ratio
# column, or a ratio printed as nan or inf, is none.
measured_ratio='([Rr][Aa][Tt][Ii][Oo][^0-9]*[0-9]+\.[0-9]+)|((^|[^0-9.])[0-9]+\.[0-9]+ ?x([^A-Za-z0-9]|$))'

# run_arch ARCH: every benchmark of one build, one after another on one display; prints one line per benchmark.
run_arch() {
  local arch=$1 dir=$root/$1 failed=0 found=0
  local log=$root/bench-short-$arch.log
  : > "$log"
  for exe in "$dir"/bench_*.exe; do
    [ -e "$exe" ] || continue
    found=$((found + 1))
    local name start out rc
    name=$(basename "$exe" .exe)
    start=$SECONDS
    # timeout signals the benchmark's whole process group, so a program stuck in a crash dialog ends too.
    out=$(KAVORIN_FIXTURES=$dir/fixtures KAVORIN_WINEPREFIX=$dir/wineprefix-bench \
          timeout -k 10 "$limit" "$repo/scripts/wine-run.sh" "$exe" --short 2>&1)
    rc=$?
    { echo "== $name (exit $rc, $((SECONDS - start)) s)"; printf '%s\n' "$out"; } >> "$log"
    if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
      echo "bench-short: $arch $name FAILED: no end within $limit s"
      failed=1
    elif [ $rc -ne 0 ]; then
      echo "bench-short: $arch $name FAILED: exit code $rc"
      failed=1
    elif ! printf '%s\n' "$out" | grep -Eq "$measured_ratio"; then
      echo "bench-short: $arch $name FAILED: printed no measured ratio"
      failed=1
    else
      echo "bench-short: $arch $name ran in $((SECONDS - start)) s"
    fi
  done
  if [ $found -eq 0 ]; then
    echo "bench-short: $arch has no benchmarks in $dir"
    failed=1
  fi
  [ $failed -eq 0 ] || echo "bench-short: $arch output in $log"
  return $failed
}

status=0
for arch in "$@"; do
  export -f run_arch
  export repo root limit measured_ratio
  "$repo/scripts/with-xvfb.sh" bash -c 'run_arch "$0"' "$arch" || status=1
done
exit $status
