#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each briefly on its seeds.
#   scripts/fuzz-smoke.sh [SECONDS per target, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
secs=${1:-20}
bash scripts/install-deps.sh
export CCACHE_BASEDIR=$PWD
cmake --preset fuzz >/dev/null
targets=$(cut -d'|' -f1 build/fuzz/fuzz-targets.txt | grep -v '^$' || true)
if [ -z "$targets" ]; then
  echo "fuzz: no targets"
  exit 0
fi
# Only the fuzz targets: the tests were built and run by scripts/test.sh.
cmake --build build/fuzz -j "$(nproc)" --target $targets
status=0
while IFS='|' read -r name corpus; do
  [ -n "$name" ] || continue
  work=$(mktemp -d)
  seeds=()
  [ -n "$corpus" ] && [ -d "$corpus" ] && seeds=("$corpus")
  echo "fuzz: $name (${secs}s)"
  if ! (cd "$work" && "$root/build/fuzz/bin/$name" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=2048 "$work" "${seeds[@]}" >"$work/log" 2>&1); then
    echo "fuzz: $name FAILED"; tail -n 40 "$work/log"; status=1
  fi
  rm -rf "$work"
done < build/fuzz/fuzz-targets.txt
exit $status
