#!/usr/bin/env bash
# Cross-builds libpng, libjpeg-turbo, libogg and libvorbis from Debian's source packages into
# $cache/prefix-<arch> for both Windows targets. Sources are fetched once; each library is rebuilt only when its
# stamp (which records the source version and this script's checksum) is missing or stale.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${KAVORIN_CACHE:-$repo/.cache}
src=$cache/src
mkdir -p "$src"
script_sum=$(sha1sum "$0" | cut -c1-12)
jobs=${KAVORIN_JOBS:-4}

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# Fetch a source package once; prints its unpacked directory. When the newest version cannot be downloaded (a
# mirror may lag behind its index), older versions that the index lists are tried in turn.
fetch() {
  local pkg=$1 dir
  dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name "$2-*" | head -n 1)
  if [ -z "$dir" ]; then
    if ! apt-cache showsrc "$pkg" >/dev/null 2>&1 || [ -z "$(apt-cache showsrc "$pkg" 2>/dev/null)" ]; then
      "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -qq
    fi
    local v
    for v in "" $(apt-cache showsrc "$pkg" | awk '/^Version:/{print $2}' | sort -r -V); do
      if (cd "$src" && apt-get source -qq "$pkg${v:+=$v}" >/dev/null 2>&1); then break; fi
    done
    dir=$(find "$src" -maxdepth 1 -mindepth 1 -type d -name "$2-*" | head -n 1)
  fi
  [ -n "$dir" ] || { echo "build-thirdparty: could not fetch $pkg" >&2; exit 1; }
  echo "$dir"
}

# build <name> <source dir> <arch> <cmake args...>
build() {
  local name=$1 dir=$2 arch=$3; shift 3
  local prefix=$cache/prefix-$arch
  local stamp=$prefix/.stamp-$name
  local want
  want="$(basename "$dir") $script_sum"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then return 0; fi
  echo "build-thirdparty: $name for $arch"
  local bdir=$cache/build-$arch/$name
  rm -rf "$bdir"
  mkdir -p "$bdir" "$prefix"
  cmake -S "$dir" -B "$bdir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF -DBUILD_SHARED_LIBS=OFF "$@" >"$bdir.log" 2>&1 \
    && cmake --build "$bdir" -j "$jobs" >>"$bdir.log" 2>&1 \
    && cmake --install "$bdir" >>"$bdir.log" 2>&1 \
    || { echo "build-thirdparty: $name for $arch failed; see $bdir.log" >&2; tail -n 30 "$bdir.log" >&2; exit 1; }
  echo "$want" > "$stamp"
}

png=$(fetch libpng1.6 libpng1.6)
jpeg=$(fetch libjpeg-turbo libjpeg-turbo)
ogg=$(fetch libogg libogg)
vorbis=$(fetch libvorbis libvorbis)

for arch in i686 x86_64; do
  triple=$arch-w64-mingw32
  zlib_args=(-DZLIB_INCLUDE_DIR=/usr/$triple/include -DZLIB_LIBRARY=/usr/$triple/lib/libz.a)
  build png "$png" "$arch" "${zlib_args[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON
  build jpeg "$jpeg" "$arch" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF \
    -DWITH_JPEG8=OFF -DWITH_JAVA=OFF
  build ogg "$ogg" "$arch" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
  build vorbis "$vorbis" "$arch" -DBUILD_TESTING=OFF
done
