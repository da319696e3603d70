#!/usr/bin/env bash
# setup.sh: installs what the encoder benchmark needs (run as root once);
# the PEAQ tool's build installs its own dependencies on first use.
# FAAC lives in Debian's non-free component: the components "contrib
# non-free" are added to the machine's existing Debian source entry.
set -euo pipefail
SRC=/etc/apt/sources.list.d/debian.sources
if [ -f "$SRC" ]; then
    if ! grep -q 'non-free' "$SRC"; then
        sed -i -E 's/^(Components:.*\bmain\b.*)$/\1 contrib non-free/' "$SRC"
    fi
elif [ -f /etc/apt/sources.list ]; then
    sed -i -E '/^deb .* main/{/non-free/!s/$/ contrib non-free/}' /etc/apt/sources.list
fi
apt-get update
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
    g++ ffmpeg faad sox libsox-fmt-all fluidsynth fluid-soundfont-gm espeak-ng faac \
    unzip valgrind libsndfile1-dev
