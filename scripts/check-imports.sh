#!/usr/bin/env bash
# Checks that every program of the given builds (the game, the tools, the test programs, the benchmarks) imports
# only DLLs that Windows itself has. A program linked against one of the compiler's DLLs (libgcc_s_dw2-1.dll,
# libstdc++-6.dll, libwinpthread-1.dll) starts only where that DLL happens to lie; under Wine it ends at once with
# status 53 and, with Wine's messages off, no word why. Reads the files only, so it runs on every machine, also where
# a build cannot be run (the i686 build on a kernel without 32-bit support).
# Usage: scripts/check-imports.sh ARCH...   (BUILD_ROOT as for scripts/test.sh)
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}

# Windows' own DLLs, lower case: what the runtime, the tests' stack reports and the compiler's static runtime call.
allowed_list=(
  kernel32.dll user32.dll gdi32.dll msvcrt.dll ole32.dll oleaut32.dll advapi32.dll winmm.dll imm32.dll
  msacm32.dll wsock32.dll ws2_32.dll ddraw.dll dinput.dll dinput8.dll dsound.dll shell32.dll comctl32.dll
  comdlg32.dll dbghelp.dll version.dll
)
allowed=" ${allowed_list[*]} "

status=0
for arch in "$@"; do
  dir=$root/$arch
  case "$arch" in
    i686) format=pei-i386 ;;
    x86_64) format=pei-x86-64 ;;
    *) echo "check-imports: unknown build $arch" >&2; exit 2 ;;
  esac
  objdump=$arch-w64-mingw32-objdump
  files=()
  # The Wine prefixes and HOME under a build directory hold Wine's own DLLs, and CMakeFiles the probes CMake built
  # to learn the compilers: not ours to check.
  while IFS= read -r -d '' f; do files+=("$f"); done < <(
    find "$dir" \( -name 'wineprefix*' -o -name winehome -o -name CMakeFiles \) -prune -o \
      -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
  # A check that found nothing to read would pass on anything: the game itself must be among the files.
  if [ ! -f "$dir/Kavorin.exe" ]; then
    echo "check-imports: $arch: no $dir/Kavorin.exe (build first)"
    status=1
    continue
  fi
  bad=0
  for f in "${files[@]}"; do
    if ! dump=$("$objdump" -p "$f" 2>&1); then
      echo "check-imports: $arch: cannot read ${f#"$root"/}: $(head -n 1 <<< "$dump")"
      bad=$((bad + 1))
      continue
    fi
    if ! grep -q "file format $format\$" <<< "$dump"; then
      echo "check-imports: $arch: ${f#"$root"/} is not a $format file"
      bad=$((bad + 1))
      continue
    fi
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$dump" | tr 'A-Z' 'a-z' | sort -u)
    if [ -z "$dlls" ]; then
      echo "check-imports: $arch: read no imports from ${f#"$root"/}"
      bad=$((bad + 1))
      continue
    fi
    for dll in $dlls; do
      case "$allowed" in
        *" $dll "*) ;;
        *) echo "check-imports: $arch: ${f#"$root"/} imports $dll, which Windows does not have"
           bad=$((bad + 1)) ;;
      esac
    done
  done
  if [ $bad -eq 0 ]; then
    echo "check-imports: $arch: ${#files[@]} programs import only Windows' own DLLs"
  else
    status=1
  fi
done
exit $status
