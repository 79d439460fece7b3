#!/usr/bin/env bash
# Configures and builds one or both Windows targets: scripts/build.sh [i686|x86_64|all] [TARGET...] (default all,
# and every target of the build: the game, tools, tests and benchmarks). Naming targets (say Kavorin, the game)
# builds only those and what they need.
# Output goes to $BUILD_ROOT/<arch> (default build/<arch>). Both targets build side by side, sharing KAVORIN_JOBS
# (default: the number of cores) between them; each line of a target's output then starts with its name.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
jobs=${KAVORIN_JOBS:-$(nproc)}
case "${1:-all}" in
  all) arches=(x86_64 i686) ;;
  i686|x86_64) arches=("$1") ;;
  *) echo "usage: $0 [i686|x86_64|all] [TARGET...]" >&2; exit 2 ;;
esac
[ $# -eq 0 ] || shift
targets=()
named=
if [ $# -gt 0 ]; then targets=(--target "$@"); named=" ($*)"; fi
for arch in "${arches[@]}"; do
  dir=$root/$arch
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-$arch.cmake" \
      -DCMAKE_BUILD_TYPE="${KAVORIN_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
  fi
done
if [ ${#arches[@]} -eq 1 ]; then
  echo "build: ${arches[0]}$named"
  cmake --build "$root/${arches[0]}" -j "$jobs" "${targets[@]}"
  exit 0
fi

share=$(( (jobs + ${#arches[@]} - 1) / ${#arches[@]} ))
pids=()
for arch in "${arches[@]}"; do
  echo "build: $arch$named"
  ( cmake --build "$root/$arch" -j "$share" "${targets[@]}" 2>&1 | sed -u "s/^/$arch| /" ) &
  pids+=($!)
done
status=0
for i in "${!arches[@]}"; do
  if ! wait "${pids[$i]}"; then
    echo "build: ${arches[$i]} FAILED"
    status=1
  fi
done
exit $status
