#!/usr/bin/env bash
# make-music-corpus.sh [-h] OUTDIR
#
# The development corpus of recorded music: 12-second excerpts (44100 Hz,
# 16-bit, stereo WAV) of rock, orchestral and electronic game music from the
# Debian packages fretsonfire-songs-muldjord, hyperrogue-music and
# nexuiz-music, plus synthetic items for what the shared corpus lacks:
# sub-bass under kicks, dense applause, speech in several languages in a
# room, solo piano. The packages are downloaded (apt-get download) and
# unpacked into a scratch folder (dpkg -x); nothing is installed.
#
# Writes OUTDIR/mNN_name.wav and OUTDIR/MANIFEST.tsv (seconds, SHA-256,
# source). Needs: apt-get, dpkg, unzip, ffmpeg, sox, g++, espeak-ng,
# fluidsynth and fluid-soundfont-gm (setup.sh installs them).
#
# -h: the held-out set instead, 12 excerpts of other tracks of the same
# packages (orchestral and electronic), no synthetic items. It is measured
# beside the others but never used to choose a setting: it stands for the
# music the encoder has not been tuned on.
set -euo pipefail

HELD_OUT=0
if [ "${1:-}" = -h ]; then HELD_OUT=1; shift; fi
if [ $# -ne 1 ]; then sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; fi
OUT=$1
HERE=$(cd "$(dirname "$0")" && pwd)
for t in apt-get dpkg unzip ffmpeg sox g++ espeak-ng fluidsynth sha256sum; do
    command -v "$t" >/dev/null || { echo "make-music-corpus: $t not found (run setup.sh)" >&2; exit 1; }
done
SF2=$(dpkg -L fluid-soundfont-gm 2>/dev/null | grep -i '\.sf2$' | head -n1 || true)
[ -n "$SF2" ] && [ -f "$SF2" ] || { echo "make-music-corpus: install fluid-soundfont-gm" >&2; exit 1; }

mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d "$OUT/.work.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Downloaded packages are kept in OUTDIR/.debs so that a second run needs no network.
DEBS="$OUT/.debs"
mkdir -p "$DEBS"
for p in fretsonfire-songs-muldjord hyperrogue-music nexuiz-music; do
    if ! ls "$DEBS/${p}_"*.deb >/dev/null 2>&1; then
        (cd "$DEBS" && apt-get download "$p" >/dev/null) ||
            { echo "make-music-corpus: apt-get download $p failed (apt-get update first?)" >&2; exit 1; }
    fi
    dpkg -x "$DEBS/${p}_"*.deb "$WORK/unpacked"
done
unzip -q -o "$WORK/unpacked/usr/share/games/nexuiz/data/music.pk3" 'sound/cdtracks/*' -d "$WORK/nexuiz"
FOF=$WORK/unpacked/usr/share/games/fretsonfire/data/songs/muldjord
HR=$WORK/unpacked/usr/share/hyperrogue/music
NX=$WORK/nexuiz/sound/cdtracks

# excerpt NAME START INPUT... : 12 s from START, the inputs mixed, 20 ms fades.
excerpt() {
    local name=$1 start=$2; shift 2
    local args=() n=0
    for f in "$@"; do args+=(-ss "$start" -t 12 -i "$f"); n=$((n + 1)); done
    local mix="anull"
    [ $n -gt 1 ] && mix="amix=inputs=$n:normalize=0,volume=0.6"   # the sum of the two tracks would clip
    ffmpeg -nostdin -v error -y "${args[@]}" \
        -filter_complex "$mix,aresample=44100,apad,atrim=end_sample=529200,afade=t=in:d=0.02,afade=t=out:st=11.98:d=0.02" \
        -ac 2 -c:a pcm_s16le "$OUT/$name.wav"
}

if [ "$HELD_OUT" = 1 ]; then
    excerpt u01_score_palace          25 "$HR/hr-savino-palace.ogg"
    excerpt u02_score_caves           35 "$HR/hr3-caves.ogg"
    excerpt u03_score_graveyard       50 "$HR/hr3-graveyard.ogg"
    excerpt u04_score_laboratory      45 "$HR/hr3-laboratory.ogg"
    excerpt u05_score_desert          60 "$HR/hr3-desert.ogg"
    excerpt u06_score_hunting         20 "$HR/hr-domina-hunting.ogg"
    excerpt u07_score_icyland_late    80 "$HR/hr3-icyland.ogg"
    excerpt u08_score_crossroads      30 "$HR/hr3-crossroads.ogg"
    excerpt u09_game_digital_pursuit  60 "$NX/digital-pursuit.ogg"
    excerpt u10_game_neuronal_diving  80 "$NX/neuronal-diving.ogg"
    excerpt u11_game_ninesix          40 "$NX/ninesix.ogg"
    excerpt u12_game_beast_of_insanity 70 "$NX/beast-of-insanity.ogg"
fi

if [ "$HELD_OUT" = 0 ]; then
# Rock (each song is a backing track and a guitar track, mixed as in the game).
excerpt m01_rock_armygeddon      62 "$FOF/armygeddon/song.ogg" "$FOF/armygeddon/guitar.ogg"
excerpt m02_rock_chaos_god       48 "$FOF/chaos_god/song.ogg" "$FOF/chaos_god/guitar.ogg"
excerpt m03_rock_degeneration    95 "$FOF/internal_degeneration/song.ogg" "$FOF/internal_degeneration/guitar.ogg"
excerpt m04_rock_mutilated_mime  40 "$FOF/mutilated_mime/song.ogg" "$FOF/mutilated_mime/guitar.ogg"
# Orchestral and acoustic game scores.
excerpt m05_score_hell           40 "$HR/hr3-hell.ogg"
excerpt m06_score_icyland        20 "$HR/hr3-icyland.ogg"
excerpt m07_score_mountain       30 "$HR/hr-domina-mountain.ogg"
excerpt m08_score_rlyeh          50 "$HR/hr3-rlyeh.ogg"
excerpt m09_score_jungle         20 "$HR/hr3-jungle.ogg"
# Electronic and rock game music.
excerpt m10_game_brokenlight     60 "$NX/brokenlight.ogg"
excerpt m11_game_chaos_fog       90 "$NX/chaos-fog.ogg"
excerpt m12_game_northern_lights 100 "$NX/northern-lights.ogg"
excerpt m13_game_infight         120 "$NX/infight.ogg"
excerpt m14_game_subcities       150 "$NX/subcities.ogg"

# Synthetic items.
g++ -O2 -std=c++17 -o "$WORK/music_items" "$HERE/music_items.cpp"
SOX=(sox -R -D -V1)
"$WORK/music_items" subbass "$OUT/s01_subbass_kicks.wav"
"$WORK/music_items" applause "$WORK/applause_dry.wav"
"${SOX[@]}" "$WORK/applause_dry.wav" "$OUT/s02_applause.wav" reverb 40 50 70 100 10 0 gain -n -1 trim 0 12
# Speech: six languages, male and female voices, in a reverberant room.
i=0
for v in "en-us" "de+f3" "fr-fr" "es+f2" "pl" "cmn+f4"; do
    case $v in
        en-us) text="The recording was made in a small hall with a wooden floor." ;;
        de*) text="Die Aufnahme entstand in einem kleinen Saal mit Holzboden." ;;
        fr*) text="L'enregistrement a été fait dans une petite salle au plancher de bois." ;;
        es*) text="La grabación se hizo en una sala pequeña con suelo de madera." ;;
        pl) text="Nagranie powstało w małej sali z drewnianą podłogą." ;;
        cmn*) text="这段录音是在一个木地板的小礼堂里录制的。" ;;
    esac
    espeak-ng -v "$v" -s 160 -w "$WORK/sp$i.wav" "$text"
    "${SOX[@]}" "$WORK/sp$i.wav" -r 44100 -c 1 -b 32 -e floating-point "$WORK/spr$i.wav" rate -v 44100 pad 0 0.25
    i=$((i + 1))
done
"${SOX[@]}" "$WORK"/spr?.wav "$WORK/speech_dry.wav"
"${SOX[@]}" "$WORK/speech_dry.wav" -c 2 -b 16 -e signed-integer "$OUT/s03_speech_room.wav" remix 1 1 reverb 45 40 60 100 15 0 \
    gain -n -1 trim 0 12 fade t 0 12 0.05
"$WORK/music_items" piano "$WORK/piano.mid"
fluidsynth -q -n -i -F "$WORK/piano.raw.wav" -T wav -O float -r 44100 -g 0.5 \
    -o synth.cpu-cores=1 -o synth.sample-rate=44100 "$SF2" "$WORK/piano.mid" >/dev/null 2>&1
"${SOX[@]}" "$WORK/piano.raw.wav" -b 16 -e signed-integer "$OUT/s04_solo_piano.wav" trim 0 12 \
    fade t 0 12 0.3 gain -n -1
fi

{
    printf '# packages: %s\n' "$(cd "$DEBS" && ls ./*.deb | sed 's|^\./||' | tr '\n' ' ')"
    printf 'item\tseconds\tsha256\n'
    for f in "$OUT"/*.wav; do
        s=$(soxi -D "$f")
        printf '%s\t%s\t%s\n' "$(basename "$f" .wav)" "$s" "$(sha256sum "$f" | cut -d' ' -f1)"
    done
} > "$OUT/MANIFEST.tsv"
echo "make-music-corpus: $(ls "$OUT"/*.wav | wc -l) items in $OUT"
