#!/bin/sh
# Builds the demo disc for the virtual CD drive: three short tone tracks made
# with sox, packed by mkdiscimage into a CUE/BIN image.
#
#   scripts/make-demo-disc.sh BUILD_DIR [OUT_DIR]
#
# Then point lyb30's CD layer at it:
#   LYB30_VIRTUAL_CD=OUT_DIR/demo-disc.cue      the virtual drive (first in the drive list)
#   LYB30_OS_LINE=consumer                      optional: use the ASPI transport (libwnaspi32.so)
#   LYB30_VIRTUAL_CD_OPTIONS="slow-us=100"      optional fault switches (see platform/cdrom/virtual_drive.h)
set -eu
build=${1:?usage: make-demo-disc.sh BUILD_DIR [OUT_DIR]}
out=${2:-$build/demo-disc}
tool=$build/bin/mkdiscimage
if [ ! -x "$tool" ]; then
    cmake --build "$build" --target mkdiscimage
fi
command -v sox >/dev/null || { echo "make-demo-disc.sh: sox is missing" >&2; exit 1; }
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 44100 -b 16 -c 2 "$tmp/01 Morning Tone.wav" synth 4 sine 440 fade 0.1 4 0.3 gain -6
sox -n -r 44100 -b 16 -c 2 "$tmp/02 Two Voices.wav" synth 5 sine 523.25 sine 659.25 fade 0.1 5 0.3 gain -6
sox -n -r 44100 -b 16 -c 2 "$tmp/03 Falling Sweep.wav" synth 3 sine 1200-300 fade 0.1 3 0.3 gain -6
"$tool" -o "$out/demo-disc.cue" --title "Lyrabox Demo Disc" \
    "$tmp/01 Morning Tone.wav" "$tmp/02 Two Voices.wav" "$tmp/03 Falling Sweep.wav"
echo "LYB30_VIRTUAL_CD=$out/demo-disc.cue"
