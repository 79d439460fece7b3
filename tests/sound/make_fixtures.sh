#!/usr/bin/env bash
# Makes the sound decoder fixtures with native encoders (sox, lame, oggenc/oggdec) into
# $KAVORIN_FIXTURES/sound: compressed WAVs with sox's own decodes beside them, MP3s without tags
# (the tests add their own), an Ogg Vorbis file with oggdec's decode. With --bench it also makes
# the three-minute files the decode benchmark reads. Files already there are kept.
set -euo pipefail

root=${KAVORIN_FIXTURES:?KAVORIN_FIXTURES must name the fixture folder}
out=$root/sound
mkdir -p "$out"
cd "$out"

for tool in sox lame oggenc oggdec; do
  command -v "$tool" >/dev/null || { echo "make_fixtures: $tool is missing" >&2; exit 1; }
done

# produce <file> <command...>: runs the command with @OUT@ standing for a temporary name, then
# renames it, so an interrupted run never leaves a half-made file that a later run would keep.
produce() {
  local file=$1; shift
  [ -s "$file" ] && return 0
  local tmp="tmp.$$.${file##*.}"
  "${@//@OUT@/$tmp}"
  mv "$tmp" "$file"
}

# Sources: a two-tone voice-band signal for the telephone codecs, a 440 Hz tone for MP3, a sweep
# over a tone for Ogg.
produce src_8k_mono.wav sox -R -n -r 8000 -c 1 -b 16 -e signed @OUT@ synth 1.5 sine 440 sine 1250 remix 1,2 gain -3
produce src_22k_stereo.wav sox -R -n -r 22050 -c 2 -b 16 -e signed @OUT@ synth 1.2 sine 440 sine 660 gain -3
produce tone440_44k_stereo.wav sox -R -n -r 44100 -c 2 -b 16 -e signed @OUT@ synth 2 sine 440 gain -6
produce tone440_22k_mono.wav sox -R -n -r 22050 -c 1 -b 16 -e signed @OUT@ synth 2 sine 440 gain -6
produce music_44k_stereo.wav sox -R -n -r 44100 -c 2 -b 16 -e signed @OUT@ synth 2 sine 300-2000 sine 440 gain -6

# Compressed WAVs and sox's own 16-bit decodes of them.
encode() {  # encode <name> <source> <sox encoding options...>
  local name=$1 src=$2; shift 2
  produce "$name.wav" sox -R "$src" "$@" @OUT@
  produce "${name}_ref.wav" sox -R "$name.wav" -e signed -b 16 @OUT@
}
encode ima_adpcm_mono src_8k_mono.wav -e ima-adpcm
encode ima_adpcm_stereo src_22k_stereo.wav -e ima-adpcm
encode ms_adpcm_mono src_8k_mono.wav -e ms-adpcm
encode ms_adpcm_stereo src_22k_stereo.wav -e ms-adpcm
encode alaw src_8k_mono.wav -e a-law
encode mulaw src_8k_mono.wav -e u-law
encode gsm src_8k_mono.wav -e gsm-full-rate

# MPEG-1 and MPEG-2 layer III without tags or a LAME header frame.
produce tone440_mpeg1.mp3 lame --quiet -t -b 128 tone440_44k_stereo.wav @OUT@
produce tone440_mpeg2.mp3 lame --quiet -t -m m -b 32 tone440_22k_mono.wav @OUT@

# Ogg Vorbis and oggdec's decode.
produce music.ogg oggenc --quiet -q 4 -o @OUT@ music_44k_stereo.wav
produce music_ref.wav oggdec --quiet -b 16 -o @OUT@ music.ogg

if [ "${1:-}" = "--bench" ]; then
  produce bench_3min.wav sox -R -n -r 44100 -c 2 -b 16 -e signed @OUT@ synth 180 sine 200-4000 sine 330 pinknoise gain -9
  produce bench_3min.mp3 lame --quiet -b 192 bench_3min.wav @OUT@
  produce bench_3min.ogg oggenc --quiet -q 5 -o @OUT@ bench_3min.wav
fi
echo "make_fixtures: sound fixtures in $out"
