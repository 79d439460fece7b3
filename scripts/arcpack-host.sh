#!/usr/bin/env bash
# Builds the archive packing tool natively for this machine into $BUILD_ROOT/host, runs the portable archive tests
# there under address and undefined-behaviour sanitizers, then packs a generated folder tree (thousands of files, tens
# of MB, some Shift-JIS names), lists it, extracts it and compares every byte, packed and stored.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${BUILD_ROOT:-$repo/build}
host=$root/host
jobs=${KAVORIN_JOBS:-$(nproc)}

if [ ! -f "$host/build.ninja" ]; then
  cmake -S "$repo/tools/arcpack" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DARCPACK_TESTS=ON >/dev/null
fi
cmake --build "$host" -j "$jobs"

echo "arcpack-host: portable archive tests (sanitized)"
"$host/arcpack_tests" --gtest_color=no

work=$host/roundtrip
rm -rf "$work"
mkdir -p "$work"
tree=$work/tree

echo "arcpack-host: generating the folder tree"
python3 - "$tree" <<'PY'
import os, random, struct, sys
root = sys.argv[1]
rng = random.Random(20240611)
words = ["block", "piece", "field", "garbage", "skill", "round", "rotate", "story", "music", "choice"]
def text(n):
    out = []
    size = 0
    while size < n:
        w = rng.choice(words) + (" " if rng.random() < 0.9 else "\r\n")
        out.append(w)
        size += len(w)
    return "".join(out)[:n].encode()
def wave(n):
    samples = []
    phase = rng.randrange(50, 200)
    for i in range(n // 2):
        v = int(9000 * ((i % phase) / phase - 0.5)) + rng.randrange(-40, 40)
        samples.append(struct.pack("<h", v))
    return b"RIFF" + struct.pack("<I", n) + b"WAVEfmt " + b"".join(samples)
def image(n):
    return b"\x89PNG\r\n\x1a\n" + rng.randbytes(n)
makers = [text, wave, image, image]
# Folder names with Shift-JIS characters whose trail byte is 0x5C (ソ, 表) and plain ones.
folders = ["", "res", "res/BackGround", "res/Character/Kessa", "res/Character/Pelun", "res/sound/se",
           "res/sound/bgm", "add", "表示", "表示/ソース", "deep/a/b/c/d/e/f/g", "EmptyFolder"]
for f in folders:
    os.makedirs(os.path.join(root, f), exist_ok=True)
total = 0
count = 0
while count < 3200:
    folder = rng.choice(folders[:-1])
    maker = rng.choice(makers)
    size = rng.choice([0, 1, 3, 100, 2000, 8000, 20000]) if rng.random() < 0.9 else rng.randrange(50000, 150000)
    name = "f%05d%s" % (count, {text: ".txt", wave: ".wav", image: ".png"}[maker])
    if count % 97 == 0:
        name = "表%d.txt" % count
    with open(os.path.join(root, folder, name), "wb") as out:
        out.write(maker(size) if size else b"")
    total += size
    count += 1
print("arcpack-host: %d files, %.1f MB" % (count, total / 1e6))
PY
# Archives record access times, and the first read of a fresh file (or folder listing) moves its access time:
# read the whole tree once now, so that every pack below sees the same times.
find "$tree" -type f -exec cat {} + >/dev/null

tool=$host/arcpack
# check_round_trip NAME "PACK OPTIONS" "READ OPTIONS"
check_round_trip() {
  local name=$1 pack_options=$2 read_options=$3
  local archive=$work/$name.QVA
  local out=$work/$name.out
  # shellcheck disable=SC2086
  "$tool" pack $pack_options "$tree" "$archive"
  local entries files
  # shellcheck disable=SC2086
  entries=$("$tool" list $read_options "$archive" | wc -l)
  files=$(cd "$tree" && find . -mindepth 1 | wc -l)
  if [ "$entries" -ne "$files" ]; then
    echo "arcpack-host: $name lists $entries entries, the tree has $files" >&2
    return 1
  fi
  # shellcheck disable=SC2086
  "$tool" extract $read_options "$archive" "$out"
  if ! diff -r "$tree" "$out" >/dev/null; then
    echo "arcpack-host: $name extracts differently" >&2
    diff -rq "$tree" "$out" | head >&2
    return 1
  fi
  echo "arcpack-host: $name round trip ok ($(stat -c %s "$archive") bytes)"
  rm -rf "$out"
}
check_round_trip packed "" ""
check_round_trip stored "--store" ""
check_round_trip keyed "--key Kavorin --level 1" "--key Kavorin"
check_round_trip version1 "--version 1" ""

# The same tree gives the same archive, byte for byte.
"$tool" pack "$tree" "$work/again.QVA" 2>/dev/null
cmp "$work/packed.QVA" "$work/again.QVA"
# A keyed archive does not open without its key.
if "$tool" list "$work/keyed.QVA" >/dev/null 2>&1; then
  echo "arcpack-host: the keyed archive opened without its key" >&2
  exit 1
fi
rm -rf "$work"
echo "arcpack-host: all passed"
