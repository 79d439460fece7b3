#!/usr/bin/env bash
# Tells whether this machine can run the i686 build under Wine.
#   exit 0: the 32-bit Wine loader runs.
#   exit 1: this machine's kernel refuses 32-bit programs (some kernels are built or booted without 32-bit support);
#           the i686 build cannot run here however Wine is installed. Prints one line saying so.
#   exit 2: the kernel runs 32-bit programs but the 32-bit Wine loader does not start (missing or broken set-up).
#           Prints one line with the reason. A broken set-up must never pass for a machine without 32-bit support.
set -uo pipefail
wine32=/usr/lib/wine/wine

# Starts FILE ARGS... through bash's exec (timeout's own exec would hand a binary the kernel refuses to /bin/sh as
# a script); leaves its output in $out and its exit code in $rc.
start() {
  out=$(timeout 60 bash -c 'exec "$0" "$@"' "$@" 2>&1)
  rc=$?
}

if [ -e "$wine32" ]; then
  start "$wine32" --version
  [ $rc -eq 0 ] && exit 0
  wine_failure="the 32-bit Wine loader does not start (exit code $rc: $(printf '%s\n' "$out" | head -n 1))"
  [ -n "$out" ] || wine_failure="the 32-bit Wine loader does not start (exit code $rc: no output)"
else
  wine_failure="32-bit Wine is not installed ($wine32 is missing; scripts/setup.sh installs it)"
fi

# Whether the kernel itself takes 32-bit programs, asked apart from Wine: a 96-byte static i386 program that only
# calls exit(42).
probe=$(mktemp "${TMPDIR:-/tmp}/kavorin-i386.XXXXXX")
trap 'rm -f "$probe"' EXIT
bytes='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'   # ELF, 32-bit, little-endian, version 1
bytes+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'            # executable, i386, entry 0x08048054
bytes+='\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'            # program headers at 52, no sections
bytes+='\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'            # header sizes, one program header
bytes+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' # load the file at 0x08048000
bytes+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' # 96 bytes, read and execute
bytes+='\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'            # mov eax, 1; mov ebx, 42; int 0x80
printf "$bytes" > "$probe"
chmod +x "$probe"
start "$probe"
case "$rc:$out" in
  42:*) echo "$wine_failure"; exit 2 ;;
  *"Exec format error"*)
    echo "this machine's kernel does not run 32-bit programs (a 32-bit program: Exec format error)"
    exit 1 ;;
  *) echo "$wine_failure; the kernel's answer to a 32-bit program was unexpected too (exit code $rc:" \
          "$(printf '%s\n' "$out" | head -n 1))"
     exit 2 ;;
esac
