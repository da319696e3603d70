#!/usr/bin/env bash
# Installs what is missing, builds lyb30 and starts it on a built-in demo
# setup: a registry as the installer writes it, in a demo state folder
# (build/demo), with the desktop's files kept there too.
#   scripts/run-demo.sh             start the program (a window; under no
#                                   display it runs in Xvfb, grabs the window
#                                   into build/demo/lyb30.png and ends)
# LYB_DEMO_BUILD=<folder> builds in another build folder (default build/default).
# LYB_DEMO_LANGUAGE=German or Hebrew installs that interface language (its
# "lang.dat" and localised help) as the installer's language choice does;
# English (the default) installs none.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
export CCACHE_BASEDIR=$root
build=${LYB_DEMO_BUILD:-build/default}
case "$build" in /*) ;; *) build=$root/$build ;; esac
if [ "$build" = "$root/build/default" ]; then
  cmake --preset default >/dev/null
else
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
language=${LYB_DEMO_LANGUAGE:-English}
case "$language" in
  English) codepage=1252 charset=0 langid=0 ;;
  German) codepage=1252 charset=0 langid=1 ;;
  Hebrew) codepage=1255 charset=177 langid=2 ;;
  *) echo "LYB_DEMO_LANGUAGE is English, German or Hebrew, not $language" >&2; exit 2 ;;
esac
cmake --build "$build" -j "$(nproc)" --target lyb30 skins lyb30_languages lyb30_help_english lyb30_help_German lyb30_help_Hebrew
bin=$build/bin

state=$root/build/demo
install=$state/install
mkdir -p "$state/reg" "$state/Music" "$state/Playlists" "$state/xdg/config" "$state/xdg/data" "$install/Font" "$install/Skins"
mkdir -p -m 700 "$state/run"
# The installer's part: machine-wide values with the language's code page
# (each start, so that the language can change), and the file class, once.
sed -e "s|@INSTALL@|$install|g" -e "s|@STATE@|$state|g" -e "s|@CODEPAGE@|$(printf %08x "$codepage")|" \
  -e "s|@CHARSET@|$(printf %08x "$charset")|" -e "s|@LANGID@|$(printf %08x "$langid")|" \
  resources/demo/machine.reg.in >"$state/reg/machine.reg"
if [ ! -f "$state/reg/classes.reg" ]; then
  sed -e "s|@INSTALL@|$install|g" resources/demo/classes.reg.in >"$state/reg/classes.reg"
fi
# The program and its components in the installation folder (hard links to
# the build's files where the file system allows), with the English help,
# and the chosen language's table and help.
for f in "$bin"/lyb30 "$bin"/lib*.so; do
  ln -f "$f" "$install/" 2>/dev/null || cp -f "$f" "$install/"
done
cp -f "$build/help/lyb30.chm" "$install/"
rm -f "$install/lang.dat" "$install/lyb30l.chm"
if [ "$language" != English ]; then
  cp -f "$build/Language/$language/lang.dat" "$install/"
  cp -f "$build/help/$language/lyb30l.chm" "$install/"
fi
# A small demo library in the default music folder, which the Music Studio
# scans at start.
if [ ! -f "$state/Music/.made" ] && command -v ffmpeg >/dev/null; then
  n=0
  while IFS='|' read -r title artist freq; do
    n=$((n + 1))
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=$freq:duration=4" -c:a libmp3lame -b:a 96k \
      -id3v2_version 3 -metadata title="$title" -metadata artist="$artist" "$state/Music/$(printf %02d $n) $title.mp3" || true
  done <<'TRACKS'
Morning Tide|The Lyrabox Ensemble|440
Harbour Lights|The Lyrabox Ensemble|494
Northern Road|Kari Vell|523
Glass Garden|Kari Vell|587
TRACKS
  touch "$state/Music/.made"
fi
# The skins shipped with the program, where the installer puts them.
cp -f "$bin"/Skins/*.nms "$install/Skins/" 2>/dev/null || true
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -f "$font" ] && cp -f "$font" "$install/Font/"

export LYB30_REGISTRY_DIR=$state/reg
export XDG_RUNTIME_DIR=$state/run
export XDG_CONFIG_HOME=$state/xdg/config
export XDG_DATA_HOME=$state/xdg/data
export LYB30_VIRTUAL_CD=${LYB30_VIRTUAL_CD:-$(bash scripts/make-demo-disc.sh "$build" "$state/cd" 2>/dev/null | sed -n "s/^LYB30_VIRTUAL_CD=//p" || true)}  # CD: virtual drive with the demo disc (scripts/make-demo-disc.sh)

# The phone: a simulated one whose memory card is a folder (the device
# library reads the phones from the file named by LYB30_SIM_USB).
phone=$state/phone
mkdir -p "$phone/card"
if [ ! -f "$phone/devices.txt" ]; then
  printf '%s\n' "# manufacturer | product | card folder (relative to this file)" \
    "Orvik Mobile | Orvik QRX-4 | card" >"$phone/devices.txt"
fi
if [ ! -f "$phone/card/Welcome.mp3" ] && command -v ffmpeg >/dev/null; then
  ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=523:duration=3 -c:a libmp3lame -b:a 128k \
    -id3v2_version 4 -metadata title="Welcome to the card" -metadata artist="Lyrabox" "$phone/card/Welcome.mp3" || true
fi
export LYB30_SIM_USB=${LYB30_SIM_USB:-$phone/devices.txt}

if [ ! -f "$bin/libtessel.so" ]; then
  echo "lyb30: the encoder library libtessel.so is not built yet, so start-up ends at the encoder check (exit code 1)."
fi

# The interface font is looked up below the working folder, as installed.
cd "$install"
status=0
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$install/lyb30" "$@" || status=$?
else
  export LYB30_SCREENSHOT=$state/lyb30.png
  rm -f "$LYB30_SCREENSHOT"
  if command -v xvfb-run >/dev/null; then
    xvfb-run -a -s "-screen 0 1280x800x24" "$install/lyb30" "$@" || status=$?
  else
    QT_QPA_PLATFORM=offscreen "$install/lyb30" "$@" || status=$?
  fi
  [ -f "$LYB30_SCREENSHOT" ] && echo "lyb30: no display; the window was drawn in Xvfb and saved as $LYB30_SCREENSHOT"
fi
if [ "$status" -ne 0 ] && [ ! -f "$bin/libtessel.so" ]; then
  echo "lyb30 ended at start-up because libtessel.so is missing beside it ($bin)."
fi
exit "$status"
