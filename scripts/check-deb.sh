#!/usr/bin/env bash
# Builds the Debian package and checks it in a throwaway root: dpkg installs
# it there, the installed lyb30 starts (offscreen) on the machine-wide
# settings the package carries, and removing the package leaves nothing.
#   scripts/check-deb.sh        (uses build/default; builds what is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export CCACHE_BASEDIR=$PWD
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target lyb30_package_files
(cd build/default && rm -f lyrabox_*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/default/lyrabox_*.deb)
echo "check-deb: $deb"
dpkg-deb -I "$deb" | sed -n 's/^ \(Package\|Version\|Depends\):/  \1:/p'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$work/home/run"
touch "$root/var/lib/dpkg/status"
chmod 700 "$work/home/run"
# The throwaway root has no other packages: dependencies are not checked there.
dpkgr() {
  dpkg --root="$root" --force-script-chrootless --force-depends --log="$work/dpkg.log" "$@" >"$work/dpkg.out" 2>&1 ||
    { cat "$work/dpkg.out"; exit 1; }
}

dpkgr -i "$deb"
for f in usr/bin/lyb30 usr/lib/lyrabox/lyb30 usr/lib/lyrabox/libtessel.so usr/lib/lyrabox/machine.reg \
         usr/lib/lyrabox/lyb30.chm usr/lib/lyrabox/Language/German/lang.dat usr/lib/lyrabox/Language/German/lyb30l.chm \
         usr/share/applications/lyb30.desktop usr/share/icons/hicolor/scalable/apps/lyb30.svg \
         usr/share/mime/packages/lyrabox.xml; do
  [ -e "$root/$f" ] || { echo "check-deb: $f is missing"; exit 1; }
done
# Every language the build made travels with the package.
for built in build/default/Language/*/lang.dat build/default/help/*/lyb30l.chm; do
  [ -e "$built" ] || continue
  rel=Language/${built#build/default/*/}
  [ -e "$root/usr/lib/lyrabox/$rel" ] || { echo "check-deb: $rel is missing"; exit 1; }
done
desktop-file-validate "$root/usr/share/applications/lyb30.desktop"

# The installed program runs on the package's settings: no registry message,
# no machine hive of its own in the user's folder.
(cd "$work/home" && HOME=$work/home XDG_RUNTIME_DIR=$work/home/run XDG_CONFIG_HOME=$work/home/.config \
  XDG_DATA_HOME=$work/home/.local/share QT_QPA_PLATFORM=offscreen LYB30_SCREENSHOT=$work/lyb30.png \
  LYB30_TRACE=$work/trace.txt timeout 60 "$root/usr/bin/lyb30" 2>/dev/null)
grep -q "end of InitInstance" "$work/trace.txt" || { echo "check-deb: lyb30 did not start"; exit 1; }
[ -s "$work/lyb30.png" ] || { echo "check-deb: lyb30 showed no window"; exit 1; }
[ ! -e "$work/home/.config/lyrabox/machine.reg" ] || { echo "check-deb: lyb30 made its own machine hive"; exit 1; }
grep -q '"Default Skin Path"="/usr/lib/lyrabox/Skins/"' "$work/home/.config/lyrabox/user.reg" ||
  { echo "check-deb: the package's settings were not read"; exit 1; }

dpkgr -r lyrabox
dpkgr -P lyrabox
left=$(find "$root" -mindepth 1 -not -path "$root/var*" | head -5)
[ -z "$left" ] || { echo "check-deb: left after removal: $left"; exit 1; }
echo "check-deb: installed, started and removed cleanly"
