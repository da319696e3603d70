#!/usr/bin/env bash
# report.sh OUTDIR
#
# The report of a run.sh run: per corpus and bitrate the mean and worst PEAQ
# ODG of tessel and the two peers with NMR, SNR and bitrate figures beside
# them; tessel's ODG per item at 128000 bit/s against the peers; the targets
# checked (ODG margins and per-item floor, bitrate exactness, instructions
# per second of audio, two-thread wall-time ratio). Markdown on stdout.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: report.sh OUTDIR" >&2; exit 2; }
OUT=$1
rows() {  # every items.tsv row of a corpus, header lines dropped
    local c=$1
    for e in tessel ffmpeg-aac-nopns-nois faac-nopns; do
        [ -f "$OUT/results/$c/$e/items.tsv" ] && tail -n +2 "$OUT/results/$c/$e/items.tsv"
    done
    return 0
}
for c in corpus music heldout; do
    [ -f "$OUT/results/$c/tessel/items.tsv" ] || continue
    case $c in
        corpus) title="the kit's synthetic corpus" ;;
        music) title="the recorded-music corpus" ;;
        *) title="held-out recorded music, not tuned on" ;;
    esac
    echo "### Corpus \`$c\` ($title)"
    echo
    rows "$c" | awk -F'\t' -v irfile="$OUT/results/$c/tessel/instructions.txt" '
    function name(e) { return e == "tessel" ? "tessel" : (e ~ /^ffmpeg/ ? "FFmpeg" : "FAAC") }
    {
        e = $1; b = $2; it = $3; k = e SUBSEP b
        if (!(k in n)) { keys[++nk] = k }
        n[k]++; kb[k] += $12; d = $13 < 0 ? -$13 : $13; dev[k] += d
        if ($14 > m1[k]) m1[k] = $14
        nmr[k] += $25; snr[k] += $20
        if ($33 != "") { od[k] += $33; no[k]++; if (!(k in wo) || $33 < wo[k]) { wo[k] = $33; wi[k] = it } }
        odg[e, b, it] = $33; items[it] = 1; brs[b] = 1
    }
    END {
        print "| encoder | bit/s | mean ODG | worst ODG (item) | mean NMR dB | mean SNR dB | kbps (mean abs dev %) | max 1 s kbps |"
        print "|---|---|---|---|---|---|---|---|"
        nb = 0
        for (b in brs) bl[++nb] = b + 0
        for (i = 1; i <= nb; i++) for (j = i + 1; j <= nb; j++) if (bl[j] == 128000 || (bl[i] != 128000 && bl[j] < bl[i])) { t = bl[i]; bl[i] = bl[j]; bl[j] = t }
        split("tessel ffmpeg-aac-nopns-nois faac-nopns", es, " ")
        for (i = 1; i <= nb; i++) for (x = 1; x <= 3; x++) {
            k = es[x] SUBSEP bl[i]; if (!(k in n)) continue
            printf "| %s | %d | %s | %s | %.2f | %.2f | %.2f (%.2f) | %.1f |\n", name(es[x]), bl[i],
                no[k] ? sprintf("%.3f", od[k] / no[k]) : "-", no[k] ? sprintf("%.3f (%s)", wo[k], wi[k]) : "-",
                nmr[k] / n[k], snr[k] / n[k], kb[k] / n[k], dev[k] / n[k], m1[k]
            mean[es[x], bl[i]] = no[k] ? od[k] / no[k] : ""
            adev[es[x], bl[i]] = dev[k] / n[k]; mx[es[x], bl[i]] = m1[k]
        }
        print ""
        print "ODG per item at 128000 bit/s (tessel below the worse peer marked `<`):"
        print ""
        print "| item | tessel | FFmpeg | FAAC |"
        print "|---|---|---|---|"
        ni = 0
        for (it in items) il[++ni] = it
        for (i = 1; i <= ni; i++) for (j = i + 1; j <= ni; j++) if (il[j] < il[i]) { t = il[i]; il[i] = il[j]; il[j] = t }
        below = 0; worstgap = -9
        for (i = 1; i <= ni; i++) {
            it = il[i]; t = odg["tessel", 128000, it]; f = odg["ffmpeg-aac-nopns-nois", 128000, it]; a = odg["faac-nopns", 128000, it]
            mark = ""
            if (t != "" && f != "" && a != "") {
                floor = f < a ? f : a
                if (t + 0 < floor + 0) { mark = " <"; below++ }
            }
            printf "| %s | %s%s | %s | %s |\n", it, t, mark, f, a
        }
        print ""
        print "Targets:"
        print ""
        t = mean["tessel", 128000]; f = mean["ffmpeg-aac-nopns-nois", 128000]; a = mean["faac-nopns", 128000]
        if (t != "" && f != "" && a != "") {
            best = f > a ? f : a
            printf "- 128000: mean ODG %.3f, the better peer %.3f: margin %+.3f (needed +0.400) %s\n", t, best, t - best, (t - best >= 0.4 ? "met" : "NOT met")
            printf "- 128000: items below the worse peer: %d %s\n", below, (below == 0 ? "met" : "NOT met")
        }
        for (bb = 64000; bb <= 256000; bb += 192000) {
            t = mean["tessel", bb]; f = mean["ffmpeg-aac-nopns-nois", bb]
            if (t != "" && f != "") printf "- %d: mean ODG %.3f against FFmpeg %.3f %s\n", bb, t, f, (t >= f ? "met" : "NOT met")
        }
        for (i = 1; i <= nb; i++) if (("tessel", bl[i]) in adev)
            printf "- bitrate %d: mean abs deviation %.2f %% (at most 0.5), max 1 s %.1f kbps (at most %.1f) %s\n", bl[i],
                adev["tessel", bl[i]], mx["tessel", bl[i]], 1.1 * bl[i] / 1000,
                (adev["tessel", bl[i]] <= 0.5 && mx["tessel", bl[i]] <= 1.1 * bl[i] / 1000 ? "met" : "NOT met")
        if ((getline line < irfile) > 0) {
            sub(/.*: /, "", line); sub(/ million/, "", line)
            printf "- instructions per second of audio (callgrind, 02_band, 128000): %.1f M (at most 94) %s\n", line, (line + 0 <= 94 ? "met" : "NOT met")
        }
    }'
    echo
done
if [ -f "$OUT/threads.txt" ]; then
    echo "Two files on two threads against one thread (tessel-enc -j 2 / -j 1, wall time): $(cat "$OUT/threads.txt")"
fi
