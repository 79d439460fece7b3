#!/usr/bin/env bash
# Sets up the machine, builds what the run needs, and starts the game under Wine: the i686 build (what ships) where
# this machine runs 32-bit programs, else the x86_64 build; it says which. Only the game of that build and the
# resource generator are built (scripts/test.sh builds everything). Without a DISPLAY the game runs on a private
# 640 x 480 Xvfb screen, the one size its full-screen mode can take. A game that ends with a non-zero status is
# said so in one line.
# The game reads its resources from folders (res/, add/); with --archives it runs from the packed archives
# (res.Qzm, add.Qzm) alone.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
export BUILD_ROOT=$root
"$repo/scripts/setup.sh"
if why=$("$repo/scripts/runs-32bit.sh"); then
  arch=i686
  echo "run: starting the i686 build"
else
  arch=x86_64
  echo "run: starting the x86_64 build; the i686 build cannot run here: $why"
fi
"$repo/scripts/build.sh" "$arch" Kavorin
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
display=()
if [ -z "${DISPLAY:-}" ]; then
  # The game asks for 640 x 480 when it goes full screen, and an Xvfb screen cannot change its size.
  export KAVORIN_XVFB_SCREEN=${KAVORIN_XVFB_SCREEN:-640x480x24}
  display=("$repo/scripts/with-xvfb.sh")
fi
status=0
KAVORIN_RUN_SAYS_STATUS=1 "${display[@]}" "$repo/scripts/wine-run.sh" "$game_dir/Kavorin.exe" || status=$?
case $status in
  0) ;;
  255) echo "run: Kavorin.exe ended with exit status 255: the runtime stopped it on an error it cannot go on from" \
         "(such as a full-screen mode the display cannot set; the game's log file is off, so it says no more)" ;;
  *) echo "run: the game's run ended with exit status $status" ;;
esac
exit $status
