#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings: a private prefix under the build directory, no
# Wine debug output, and a HOME whose ALSA default device is a null sink (DirectSound needs a device to open).
# KAVORIN_FIXTURES and KAVORIN_BUILD_DIR are handed to the program as Windows paths (Z:\...).
# KAVORIN_WINE_LOCALE (say ja_JP or ko_KR) runs the program under that locale, which decides Wine's ANSI and OEM
# code pages: the locale is compiled once into the build directory, so the machine's own locales stay untouched.
set -euo pipefail
exe=$1; shift
exe_abs=$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")

build=${KAVORIN_BUILD_DIR:-}
if [ -z "$build" ]; then
  d=$(dirname "$exe_abs")
  while [ "$d" != "/" ] && [ ! -f "$d/CMakeCache.txt" ]; do d=$(dirname "$d"); done
  build=$d
fi
[ "$build" != "/" ] || build=$(dirname "$exe_abs")

export WINEPREFIX=${KAVORIN_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export HOME=$build/winehome
mkdir -p "$HOME"
cat > "$HOME/.asoundrc" <<'ALSA'
pcm.!default { type null }
ctl.!default { type hw card 0 }
ALSA

to_windows() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }
export KAVORIN_BUILD_DIR_WIN
KAVORIN_BUILD_DIR_WIN=$(to_windows "$build")
if [ -n "${KAVORIN_FIXTURES:-}" ]; then
  mkdir -p "$KAVORIN_FIXTURES"
  KAVORIN_FIXTURES=$(to_windows "$KAVORIN_FIXTURES")
  export KAVORIN_FIXTURES
fi

locale_env=()
if [ -n "${KAVORIN_WINE_LOCALE:-}" ]; then
  locales=$build/locale
  name=$KAVORIN_WINE_LOCALE.UTF-8
  mkdir -p "$locales"
  (
    flock 9
    [ -d "$locales/$name" ] || localedef -i "$KAVORIN_WINE_LOCALE" -f UTF-8 "$locales/$name" >/dev/null
  ) 9>"$build/.locale.lock"
  # Only Wine gets the locale; this shell keeps its own.
  locale_env=(LOCPATH="$locales" LANG="$name" LC_ALL="$name")
fi

# wine64 starts 32-bit programs too: it hands them to the 32-bit loader itself.
wine=/usr/lib/wine/wine64
scripts=$(cd "$(dirname "$0")" && pwd)

# PE machine field: 014c for a 32-bit program.
pe_offset=$(od -An -tu4 -j60 -N4 "$exe_abs" | tr -d ' ')
pe_machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$exe_abs" | tr -d ' ')

# A prefix is (re)made when it was never finished, or when a 32-bit program is to run in one made while 32-bit Wine
# was missing or could not run: that prefix's syswow64 is empty and no 32-bit program starts in it.
prefix_unfit() {
  [ -f "$WINEPREFIX/.kavorin-ready" ] || return 0
  [ "$pe_machine" = 014c ] && [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] \
    && "$scripts/runs-32bit.sh" >/dev/null
}
# The prefix is made under a lock, so that parallel runs don't race on it.
if prefix_unfit; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if prefix_unfit; then
      # Only a prefix this script finished (it bears the stamp) is ever removed.
      if [ -f "$WINEPREFIX/.kavorin-ready" ]; then
        echo "wine-run: remaking $WINEPREFIX, made without 32-bit Wine" >&2
        /usr/lib/wine/wineserver -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
      fi
      "$wine" wineboot -i >/dev/null 2>&1 || true
      /usr/lib/wine/wineserver -w || true
      touch "$WINEPREFIX/.kavorin-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
rc=0
env "${locale_env[@]}" "$wine" "$exe_abs" "$@" || rc=$?
# End this prefix's server and desktop process now, so nothing outlives the run or holds the X display.
/usr/lib/wine/wineserver -k 2>/dev/null || true
exit $rc
