#!/usr/bin/env bash
# Builds the stand-in resource generator for this machine and makes the game's two resource trees under
# $BUILD_ROOT/resources: folders/ (res/ and add/) and archives/ (res.Qzm and add.Qzm only). The trees are remade
# only when the generator or the packer changed.
#   scripts/make-resources.sh                      make the trees (the tests read them there)
#   scripts/make-resources.sh DEST [--archives]    also put the folder tree (or the archive tree) into DEST
#   scripts/make-resources.sh --check              also check that a second run gives the same bytes
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
jobs=${KAVORIN_JOBS:-$(nproc)}
dest=""
archives=0
check=0
for arg in "$@"; do
  case "$arg" in
    --archives) archives=1 ;;
    --check) check=1 ;;
    *) dest=$arg ;;
  esac
done

host=$root/host-resgen
packer=$root/host-arcpack
out=$root/resources
if [ ! -f "$host/build.ninja" ]; then
  cmake -S "$repo/tools/resgen" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$host" -j "$jobs" >/dev/null
if [ ! -f "$packer/build.ninja" ]; then
  cmake -S "$repo/tools/arcpack" -B "$packer" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$packer" -j "$jobs" >/dev/null

# Archives record file times: every file and folder gets one fixed time right before each pack (packing reads
# the files, which moves their access times), so the same tree packs to the same bytes.
pack_tree() {  # pack_tree FOLDER ARCHIVE
  find "$1" -exec touch -h -d '2001-01-01 00:00:00 UTC' {} +
  "$packer/arcpack" pack "$1" "$2" >/dev/null
}

generate() {  # generate FOLDERS ARCHIVES
  rm -rf "$1" "$2"
  mkdir -p "$1" "$2"
  "$host/resgen" "$1"
  pack_tree "$1/res" "$2/res.Qzm"
  pack_tree "$1/add" "$2/add.Qzm"
}

stamp=$(cat "$host/resgen" "$packer/arcpack" | sha256sum | cut -c1-64)
if [ "$(cat "$out/.stamp" 2>/dev/null || true)" != "$stamp" ]; then
  echo "make-resources: generating into $out"
  rm -f "$out/.stamp"
  generate "$out/folders" "$out/archives"
  "$host/resgen_check" "$out/folders"
  # The archives list exactly what the folders hold.
  for part in res add; do
    listed=$("$packer/arcpack" list "$out/archives/$part.Qzm" 2>/dev/null | awk '{print $NF}' | sed 's#/$##' | sort)
    held=$(cd "$out/folders/$part" && find . -mindepth 1 | sed 's#^\./##' | sort)
    if [ "$listed" != "$held" ]; then
      echo "make-resources: $part.Qzm does not list what folders/$part holds" >&2
      exit 1
    fi
  done
  echo "$stamp" > "$out/.stamp"
fi

if [ $check -eq 1 ]; then
  again=$(mktemp -d)
  trap 'rm -rf "$again"' EXIT
  generate "$again/folders" "$again/archives"
  diff -r "$out/folders" "$again/folders" >/dev/null || { echo "make-resources: a second run differs" >&2; exit 1; }
  for part in res add; do
    cmp -s "$out/archives/$part.Qzm" "$again/archives/$part.Qzm" ||
      { echo "make-resources: $part.Qzm differs on a second run" >&2; exit 1; }
  done
  "$host/resgen_check" "$out/folders"
  echo "make-resources: two runs give identical bytes"
fi

if [ -n "$dest" ]; then
  mkdir -p "$dest"
  rm -rf "$dest/res" "$dest/add" "$dest/res.Qzm" "$dest/add.Qzm"
  if [ $archives -eq 1 ]; then
    cp "$out/archives/res.Qzm" "$out/archives/add.Qzm" "$dest/"
  else
    cp -r "$out/folders/res" "$out/folders/add" "$dest/"
  fi
fi
