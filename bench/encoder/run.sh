#!/usr/bin/env bash
# run.sh KITDIR BUILDDIR OUTDIR [BITRATES]
#
# Measures tessel-enc against FFmpeg's native encoder (PNS and intensity
# stereo off, like tessel) and FAAC (PNS off) with the encoder measuring kit
# (KITDIR holds make-corpus.sh, measure.sh, benchtool.cpp). BUILDDIR is the
# CMake build folder with bin/tessel-enc and bin/libtessel.so. The corpus is
# made once into OUTDIR/corpus; results go to OUTDIR/<encoder>/summary.md.
# Install the tools first with setup.sh (as root).
set -euo pipefail
if [ $# -lt 3 ]; then sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; fi
KIT=$(cd "$1" && pwd); BUILD=$(cd "$2" && pwd); OUT=$3; BITRATES=${4:-"128000 64000 256000"}
mkdir -p "$OUT"
ENC="$BUILD/bin/tessel-enc"
[ -x "$ENC" ] || { echo "run.sh: $ENC not built (target tessel-enc)" >&2; exit 1; }
if [ ! -f "$OUT/corpus/MANIFEST.tsv" ]; then
    "$KIT/make-corpus.sh" "$OUT/corpus"
fi
"$KIT/measure.sh" -b "$BITRATES" -n tessel -e "$ENC -b {br} -o {out} {in}" "$OUT/corpus" "$OUT"
"$KIT/measure.sh" -b "$BITRATES" -n ffmpeg-aac-nopns-nois \
    -e 'ffmpeg -nostdin -v error -y -threads 1 -i {in} -c:a aac -aac_pns 0 -aac_is 0 -b:a {br} -f adts {out}' \
    "$OUT/corpus" "$OUT"
if command -v faac >/dev/null; then
    "$KIT/measure.sh" -b "$BITRATES" -n faac-nopns -e 'faac -v0 --mpeg-vers 2 --pns 0 -b {kbps} -o {out} {in}' \
        "$OUT/corpus" "$OUT"
else
    echo "run.sh: faac not installed (setup.sh enables Debian's non-free component)" >&2
fi
for n in tessel ffmpeg-aac-nopns-nois faac-nopns; do
    [ -f "$OUT/$n/summary.md" ] && { echo "== $n"; cat "$OUT/$n/summary.md"; }
done
