#!/usr/bin/env bash
# Remakes the seed corpus in fuzz/corpus: the PNGs with the platform's own encoder (needs the
# fuzz build), the MP3s with lame and ffmpeg. The committed corpus is what the fuzzing starts
# from; run.sh never writes to it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target make_png_corpus -j2
rm -rf fuzz/corpus/png fuzz/corpus/mp3
mkdir -p fuzz/corpus/png fuzz/corpus/mp3
build/fuzz/fuzz/make_png_corpus fuzz/corpus/png
cp assets/icon16.png assets/icon32.png fuzz/corpus/png/  # real images, with the chunks a painter writes

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
# tone SECONDS RATE CHANNELS: a sweep in the left channel, a steady tone in the right.
tone() {
  ffmpeg -loglevel error -y -f lavfi -i "aevalsrc=sin(2*PI*(300+2000*t)*t)|0.4*sin(2*PI*1000*t):s=$2:d=$1" \
    -ac "$3" "$tmp/tone.wav"
}
out=fuzz/corpus/mp3
tone 0.3 44100 2 && lame --quiet -b 128 "$tmp/tone.wav" "$out/stereo_44k_cbr.mp3"
tone 0.2 32000 1 && lame --quiet -m m -b 32 --resample 32 -t "$tmp/tone.wav" "$out/mono_32k_notag.mp3"
tone 0.1 48000 2 && lame --quiet -m j -V 4 --resample 48 "$tmp/tone.wav" "$out/joint_48k_vbr.mp3"
tone 0.3 22050 1 && lame --quiet -m m -b 24 --resample 22.05 "$tmp/tone.wav" "$out/mono_22k_mpeg2.mp3"
tone 0.5 8000 1 && lame --quiet -m m -b 8 --resample 8 "$tmp/tone.wav" "$out/mono_8k_mpeg25.mp3"
tone 0.2 44100 2 && lame --quiet -b 64 --resample 44.1 --tt Title --ta Artist --tl Album --ty 2026 --add-id3v2 \
  "$tmp/tone.wav" "$out/stereo_id3.mp3"
tone 0.5 44100 2 && lame --quiet -b 96 --resample 44.1 "$tmp/tone.wav" "$tmp/whole.mp3" &&
  head -c "$(( $(stat -c %s "$tmp/whole.mp3") * 2 / 3 ))" "$tmp/whole.mp3" > "$out/stereo_truncated.mp3"
tone 0.2 44100 2 && ffmpeg -loglevel error -y -i "$tmp/tone.wav" -c:a mp2 -b:a 128k "$out/stereo_layer2.mp2"
