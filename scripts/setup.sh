#!/usr/bin/env bash
# Prepares a Debian 12 machine for building and testing: the cross compilers, Wine, Xvfb, the fixture tools, and the
# third-party libraries cross-built from Debian's own source packages. Idempotent: every step checks a stamp first.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${KAVORIN_CACHE:-$repo/.cache}
mkdir -p "$cache"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

packages=(
  cmake make ninja-build pkg-config python3 dpkg-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  googletest wine64 xvfb xauth x11-utils fonts-ipafont-gothic
  g++ zlib1g-dev libpng-dev libjpeg-dev
  sox libsox-fmt-all lame vorbis-tools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# A deb-src entry mirroring the machine's own deb entries, so `apt-get source` works without naming any host here.
add_deb_src() {
  local list=/etc/apt/sources.list.d/kavorin-deb-src.sources
  [ -f "$list" ] && return 0
  if grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources 2>/dev/null \
     || grep -qs '^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null; then
    return 0
  fi
  local tmp
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # Keep only stanzas of the machine's Debian archive entries; re-type them as deb-src.
    awk 'BEGIN{RS=""; ORS="\n\n"} /Types:[^\n]*deb/ && /Components:/ && /debian/ {
           gsub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >> "$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$tmp.list" || true
    if [ -s "$tmp.list" ]; then "${sudo_cmd[@]}" cp "$tmp.list" /etc/apt/sources.list.d/kavorin-deb-src.list; fi
    rm -f "$tmp.list"
  fi
  if [ -s "$tmp" ]; then "${sudo_cmd[@]}" cp "$tmp" "$list"; fi
  rm -f "$tmp"
  apt_updated=0
}

apt_updated=1
add_deb_src
if [ ${#missing[@]} -gt 0 ] || [ $apt_updated -eq 0 ]; then
  echo "setup: apt-get update"
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Third-party libraries, cross-built per arch into $cache/prefix-<arch>.
"$repo/scripts/build-thirdparty.sh"
