#!/usr/bin/env bash
# run.sh [-t] [-b "BITRATES"] [-i ITEMS] KITDIR BUILDDIR OUTDIR
#
# Measures tessel-enc against FFmpeg's native encoder (PNS and intensity
# stereo off, like tessel) and FAAC (PNS off) with the encoder measuring kit
# (KITDIR holds make-corpus.sh, measure.sh, benchtool.cpp and ../peaq) on two
# corpora: the kit's synthetic corpus (OUTDIR/corpus) and the recorded-music
# corpus of make-music-corpus.sh (OUTDIR/music); both are made on first use.
# The primary figure is the PEAQ Objective Difference Grade (ODG, 0 best,
# -4 worst), with NMR and SNR beside it. Then the instructions per second of
# audio of tessel-enc (callgrind, 02_band at 128000 bit/s) and the wall time
# of two files encoded by two threads against one thread (tessel-enc -j).
# Results: OUTDIR/results/<corpus>/<encoder>/items.tsv and summary.md, and
# the report of report.sh in OUTDIR/report.md. A third corpus, held-out
# music (make-music-corpus.sh -h, OUTDIR/heldout), is measured the same
# way; it is never used to choose a setting. The corpus folders may be
# links to corpora made elsewhere.
#   -t           tessel only (the peers' last results are reused in the report)
#   -b LIST      bitrates (default "128000 64000 256000")
#   -i ITEMS     only these items (space-separated names), for quick checks
# BUILDDIR is the CMake build folder with bin/tessel-enc and bin/libtessel.so.
# Install the tools first with setup.sh (as root).
set -euo pipefail
TESSEL_ONLY=0; BITRATES="128000 64000 256000"; ONLY=""
while getopts "tb:i:" o; do
    case $o in t) TESSEL_ONLY=1 ;; b) BITRATES=$OPTARG ;; i) ONLY=$OPTARG ;; *) exit 2 ;; esac
done
shift $((OPTIND - 1))
if [ $# -ne 3 ]; then sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; fi
HERE=$(cd "$(dirname "$0")" && pwd)
KIT=$(cd "$1" && pwd); BUILD=$(cd "$2" && pwd); mkdir -p "$3"; OUT=$(cd "$3" && pwd)
ENC="$BUILD/bin/tessel-enc"
[ -x "$ENC" ] || { echo "run.sh: $ENC not built (target tessel-enc)" >&2; exit 1; }

[ -f "$OUT/corpus/MANIFEST.tsv" ] || "$KIT/make-corpus.sh" "$OUT/corpus"
[ -f "$OUT/music/MANIFEST.tsv" ] || "$HERE/make-music-corpus.sh" "$OUT/music"
if [ ! -f "$OUT/heldout/MANIFEST.tsv" ]; then
    # The same packages: the ones the music corpus downloaded are reused.
    mkdir -p "$OUT/heldout/.debs"
    cp -n "$OUT/music/.debs/"*.deb "$OUT/heldout/.debs/" 2>/dev/null || true
    "$HERE/make-music-corpus.sh" -h "$OUT/heldout"
fi

# PEAQ, built once into OUTDIR/peaq. The tool now and then hangs inside its
# GStreamer pipeline (no CPU used, no grade); the wrapper gives each grading
# two minutes and tries up to three times.
export PEAQ_DIR="${PEAQ_DIR:-$OUT/peaq}"
ODG=$("$KIT/../peaq/build.sh" "$PEAQ_DIR" | tail -n1)
if ! grep -q 'tessel bench guard' "$ODG"; then
    mv "$ODG" "$PEAQ_DIR/odg.once"
    cat > "$ODG" <<'EOF'
#!/bin/sh
# tessel bench guard: odg.once with a time limit and up to three tries.
d=$(cd "$(dirname "$0")" && pwd)
for try in 1 2 3; do
    timeout 120 "$d/odg.once" "$@" && exit 0
    [ $? -eq 124 ] || exit 1
    echo "odg: no grade after 120 s, try $try" >&2
done
exit 1
EOF
    chmod +x "$ODG"
fi

# A corpus folder limited to the -i items (links), else the corpus itself.
corpus_dir() {
    local c=$1
    if [ -z "$ONLY" ]; then echo "$OUT/$c"; return; fi
    local d="$OUT/.subset/$c"
    rm -rf "$d"; mkdir -p "$d"
    for i in $ONLY; do [ -f "$OUT/$c/$i.wav" ] && ln -s "$OUT/$c/$i.wav" "$d/$i.wav"; done
    echo "$d"
}

for c in corpus music heldout; do
    dir=$(corpus_dir "$c")
    ls "$dir"/*.wav >/dev/null 2>&1 || continue
    cg=(); [ "$c" = corpus ] && [ -z "$ONLY" ] && cg=(-c 02_band)
    "$KIT/measure.sh" -p -s 0 "${cg[@]}" -b "$BITRATES" -n tessel -e "$ENC -q -b {br} -o {out} {in}" "$dir" "$OUT/results/$c"
    [ "$TESSEL_ONLY" = 1 ] && continue
    "$KIT/measure.sh" -p -s 0 -b "$BITRATES" -n ffmpeg-aac-nopns-nois \
        -e 'ffmpeg -nostdin -v error -y -threads 1 -i {in} -c:a aac -aac_pns 0 -aac_is 0 -b:a {br} -f adts {out}' \
        "$dir" "$OUT/results/$c"
    if command -v faac >/dev/null; then
        "$KIT/measure.sh" -p -s 0 -b "$BITRATES" -n faac-nopns \
            -e 'faac -v0 --mpeg-vers 2 --pns 0 -b {kbps} -o {out} {in}' "$dir" "$OUT/results/$c"
    else
        echo "run.sh: faac not installed (setup.sh enables Debian's non-free component)" >&2
    fi
done

# Two files on two threads against the same two files one after the other:
# each file is the kit's corpus joined (about 107 s of audio); best of three.
if [ -z "$ONLY" ]; then
    T=$(mktemp -d "$OUT/.threads.XXXXXX")
    sox "$OUT"/corpus/*.wav "$T/a.wav"
    sox "$T/a.wav" "$T/b.wav" reverse
    best() {  # jobs -> best wall seconds of three runs
        local b=""
        for r in 1 2 3; do
            local s e
            s=$(date +%s.%N)
            "$ENC" -q -j "$1" -d "$T" "$T/a.wav" "$T/b.wav"
            e=$(date +%s.%N)
            b=$(awk -v a="${b:-1e9}" -v s="$s" -v e="$e" 'BEGIN { d = e - s; print (d < a) ? d : a }')
        done
        echo "$b"
    }
    one=$(best 1); two=$(best 2)
    awk -v o="$one" -v t="$two" 'BEGIN { printf "one thread %.2f s, two threads %.2f s, ratio %.3f\n", o, t, t / o }' \
        | tee "$OUT/threads.txt"
    rm -rf "$T"
fi

"$HERE/report.sh" "$OUT" | tee "$OUT/report.md"
