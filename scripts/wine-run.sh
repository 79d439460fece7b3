#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's settings: a private prefix under the build directory, no
# Wine debug output, and a HOME whose ALSA default device is a null sink (DirectSound needs a device to open).
# Booting a prefix takes seconds, so each build directory keeps one booted template (wineprefix-template) and a
# program's prefix (KAVORIN_WINEPREFIX, default wineprefix) is a copy of it, made when missing or older than the
# template; programs given prefixes of their own stay independent of each other.
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

prefix=${KAVORIN_WINEPREFIX:-$build/wineprefix}
template=$build/wineprefix-template
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# One HOME per build directory, shared by its programs (GStreamer keeps its plug-in registry there). Programs start
# side by side, so its files are replaced whole, never rewritten where another program may be reading them.
export HOME=$build/winehome
mkdir -p "$HOME"
asoundrc='pcm.!default { type null }
ctl.!default { type hw card 0 }'
if [ "$(cat "$HOME/.asoundrc" 2>/dev/null)" != "$asoundrc" ]; then
  printf '%s\n' "$asoundrc" > "$HOME/.asoundrc.$$"
  mv -f "$HOME/.asoundrc.$$" "$HOME/.asoundrc"
fi

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

# The template is (re)made when it was never finished, or when a 32-bit program is to run from one made while 32-bit
# Wine was missing or could not run: that prefix's syswow64 is empty and no 32-bit program starts in it.
template_unfit() {
  [ -f "$template/.kavorin-ready" ] || return 0
  [ "$pe_machine" = 014c ] && [ ! -f "$template/drive_c/windows/syswow64/kernel32.dll" ] \
    && "$scripts/runs-32bit.sh" >/dev/null
}
# Made under a lock, so that programs starting side by side boot it once.
if template_unfit; then
  mkdir -p "$template"
  (
    flock 9
    if template_unfit; then
      # Only a template this script finished (it bears the stamp) is ever removed.
      if [ -f "$template/.kavorin-ready" ]; then
        echo "wine-run: remaking $template, made without 32-bit Wine" >&2
        WINEPREFIX=$template /usr/lib/wine/wineserver -k 2>/dev/null || true
        rm -rf "$template"
        mkdir -p "$template"
      fi
      WINEPREFIX=$template "$wine" wineboot -i >/dev/null 2>&1 || true
      WINEPREFIX=$template /usr/lib/wine/wineserver -w || true
      # The stamp names this boot, so that copies of an older template are known and remade.
      echo "$(date +%s.%N) $$" > "$template/.kavorin-ready"
    fi
  ) 9>"$template.lock"
fi

# The program's own prefix: a fresh copy of the template when it has none of this template's copies yet. Only a
# copy this script made (it bears the template's stamp) is ever removed.
if [ "$prefix" != "$template" ] && ! cmp -s "$template/.kavorin-ready" "$prefix/.kavorin-ready"; then
  (
    flock 9
    if ! cmp -s "$template/.kavorin-ready" "$prefix/.kavorin-ready"; then
      if [ -f "$prefix/.kavorin-ready" ]; then
        WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
        rm -rf "$prefix"
      elif [ -e "$prefix" ] && [ -n "$(ls -A "$prefix" 2>/dev/null)" ]; then
        echo "wine-run: $prefix exists but was not made here; not replacing it" >&2
        exit 1
      fi
      rm -rf "$prefix.part"
      # The program files (most of a prefix's 700 MB) are never written after the boot: they are shared as hard
      # links. Everything else (the registry, settings, stamps) is a copy of the prefix's own.
      cp -al "$template" "$prefix.part"
      rm -f "$prefix.part/wineserver"
      find "$prefix.part" -type f ! -regex '.*\.\(dll\|exe\|nls\|sys\|drv\|ocx\|cpl\|acm\|tlb\|ds\|manifest\)' \
        -exec sh -c 'for f; do cp -p "$f" "$f.own" && mv -f "$f.own" "$f"; done' sh {} +
      rm -rf "$prefix"
      mv "$prefix.part" "$prefix"
    fi
  ) 9>"$prefix.lock"
fi
export WINEPREFIX=$prefix

# The program's standard output is kept as well, for the one case below.
out=$(mktemp "${TMPDIR:-/tmp}/kavorin-wine-run.XXXXXX")
trap 'rm -f "$out"' EXIT
set +e
env "${locale_env[@]}" "$wine" "$exe_abs" "$@" | tee "$out"
rc=${PIPESTATUS[0]}
set -e
# End this prefix's server and desktop process now, so nothing outlives the run or holds the X display.
/usr/lib/wine/wineserver -k 2>/dev/null || true
# Wine gives a process whose threads have all ended a moment to leave and then kills it (SIGKILL). On a starved
# machine the Unix side of the exit (the graphics libraries' teardown) can take longer than that, and a test program
# that had finished would count as failed. One killed so after GoogleTest reported every test passed has passed.
if [ "$rc" = 137 ] && grep -q '^\[  PASSED  \]' "$out" && ! grep -q '^\[  FAILED  \]' "$out"; then
  echo "wine-run: $(basename "$exe") was killed while leaving after every test passed; counted as passed" >&2
  rc=0
fi
# A program that dies before it writes anything leaves no other trace in a test log. A caller that says what the
# status means (KAVORIN_RUN_SAYS_STATUS=1: the run command) says it instead.
if [ "$rc" != 0 ] && [ "${KAVORIN_RUN_SAYS_STATUS:-}" != 1 ]; then
  echo "wine-run: $(basename "$exe") ended with exit status $rc" >&2
fi
# Status 53 with nothing printed is Wine's loader giving up on a DLL it cannot find (STATUS_DLL_NOT_FOUND), whose
# name Wine's silenced messages would have said: name the imports that neither the program's folder, this prefix
# nor Wine has.
if [ "$rc" = 53 ] && [ ! -s "$out" ]; then
  if [ "$pe_machine" = 014c ]; then
    objdump=i686-w64-mingw32-objdump system=syswow64 builtins=/usr/lib/wine/i386-windows
  else
    objdump=x86_64-w64-mingw32-objdump system=system32 builtins=/usr/lib/wine/x86_64-windows
  fi
  missing=()
  while IFS= read -r dll; do
    found=
    for d in "$(dirname "$exe_abs")" "$WINEPREFIX/drive_c/windows/$system" "$builtins"; do
      if [ -n "$(find "$d" -maxdepth 1 -iname "$dll" -print -quit 2>/dev/null)" ]; then found=1; break; fi
    done
    [ -n "$found" ] || missing+=("$dll")
  done < <("$objdump" -p "$exe_abs" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p')
  if [ ${#missing[@]} -gt 0 ]; then
    echo "wine-run: $(basename "$exe") could not start: it imports ${missing[*]}, which neither its folder," \
         "the Wine prefix nor Wine has" >&2
  else
    echo "wine-run: $(basename "$exe") could not start: a DLL it imports (or one of theirs) is missing" >&2
  fi
fi
exit $rc
