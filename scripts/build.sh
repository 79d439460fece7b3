#!/usr/bin/env bash
# Configures and builds one or both Windows targets: scripts/build.sh [i686|x86_64|all] (default all).
# Output goes to $BUILD_ROOT/<arch> (default build/<arch>).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
jobs=${KAVORIN_JOBS:-$(nproc)}
case "${1:-all}" in
  all) arches=(x86_64 i686) ;;
  i686|x86_64) arches=("$1") ;;
  *) echo "usage: $0 [i686|x86_64|all]" >&2; exit 2 ;;
esac
for arch in "${arches[@]}"; do
  dir=$root/$arch
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$repo" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-$arch.cmake" \
      -DCMAKE_BUILD_TYPE="${KAVORIN_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
  fi
  echo "build: $arch"
  cmake --build "$dir" -j "$jobs"
done
