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
  googletest wine64 xvfb xauth x11-utils fonts-ipafont-gothic fonts-dejavu-core locales
  g++ zlib1g-dev libpng-dev libjpeg-dev
  sox libsox-fmt-all lame vorbis-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)

# 32-bit Wine, the 32-bit GL and X libraries its Direct3D needs, and the 32-bit GStreamer plug-ins behind its media
# filters (without them no movie opens in the i686 build), for running the i686 build (what ships). They are
# installed on every machine, also where the kernel cannot run 32-bit programs; the test script checks before use.
packages_i386=(
  wine32 libgl1 libgl1-mesa-dri libglx-mesa0 libxrandr2 libxi6 libxcursor1 libxrender1 libxinerama1
  libxcomposite1 libxfixes3 libxxf86vm1
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)

# Other helpers may hold the package lock: wait for it rather than fail.
apt_get=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)

missing=()
for p in "${packages[@]}" "${packages_i386[@]/%/:i386}"; do
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

# The i386 architecture, for the 32-bit packages; a new architecture needs fresh package lists. dpkg may be busy with
# another helper's install, so adding it is retried for a while.
add_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  echo "setup: adding the i386 architecture"
  local i
  for i in $(seq 1 60); do
    if "${sudo_cmd[@]}" dpkg --add-architecture i386 2>/dev/null; then apt_updated=0; return 0; fi
    sleep 10
  done
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  apt_updated=0
}

apt_updated=1
add_deb_src
add_i386
if [ ${#missing[@]} -gt 0 ] || [ $apt_updated -eq 0 ]; then
  echo "setup: apt-get update"
  "${apt_get[@]}" update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Third-party libraries, cross-built per arch into $cache/prefix-<arch>.
"$repo/scripts/build-thirdparty.sh"
