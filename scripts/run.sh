#!/usr/bin/env bash
# Sets up the machine, builds, and starts the game (the x86_64 build under Wine; the i686 build is what ships).
# Without a DISPLAY the game runs on a private Xvfb screen. The game reads its resources from folders (res/, add/);
# with --archives it runs from the packed archives (res.Qzm, add.Qzm) alone.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
export BUILD_ROOT=$root
"$repo/scripts/setup.sh"
"$repo/scripts/build.sh" all
game_dir=$root/x86_64/game
resource_args=()
if [ "${1:-}" = "--archives" ]; then
  game_dir=$root/x86_64/game-archives
  resource_args=(--archives)
fi
if [ -x "$repo/scripts/make-resources.sh" ]; then "$repo/scripts/make-resources.sh" "$game_dir" "${resource_args[@]}"; fi
mkdir -p "$game_dir"
cp "$root/x86_64/Kavorin.exe" "$game_dir/"
cd "$game_dir"
if [ -n "${DISPLAY:-}" ]; then
  exec "$repo/scripts/wine-run.sh" "$game_dir/Kavorin.exe"
fi
exec "$repo/scripts/with-xvfb.sh" "$repo/scripts/wine-run.sh" "$game_dir/Kavorin.exe"
