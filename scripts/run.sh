#!/usr/bin/env bash
# Sets up the machine, builds, and starts the game under Wine: the i686 build (what ships) where this machine runs
# 32-bit programs, else the x86_64 build; it says which. Without a DISPLAY the game runs on a private Xvfb screen.
# The game reads its resources from folders (res/, add/); with --archives it runs from the packed archives
# (res.Qzm, add.Qzm) alone.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
export BUILD_ROOT=$root
"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" all
if why=$("$repo/scripts/runs-32bit.sh"); then
  arch=i686
  echo "run: starting the i686 build"
else
  arch=x86_64
  echo "run: starting the x86_64 build; the i686 build cannot run here: $why"
fi
game_dir=$root/$arch/game
resource_args=()
if [ "${1:-}" = "--archives" ]; then
  game_dir=$root/$arch/game-archives
  resource_args=(--archives)
fi
if [ -x "$repo/scripts/make-resources.sh" ]; then "$repo/scripts/make-resources.sh" "$game_dir" "${resource_args[@]}"; fi
mkdir -p "$game_dir"
cp "$root/$arch/Kavorin.exe" "$game_dir/"
cd "$game_dir"
if [ -n "${DISPLAY:-}" ]; then
  exec "$repo/scripts/wine-run.sh" "$game_dir/Kavorin.exe"
fi
exec "$repo/scripts/with-xvfb.sh" "$repo/scripts/wine-run.sh" "$game_dir/Kavorin.exe"
