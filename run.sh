#!/usr/bin/env bash
# Installs what is missing, builds the viewer and the CLI in Release, generates a synthetic demo
# tetrode and runs the main job on it: the viewer when a display is present, otherwise a snapshot of
# what it would show.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKELVANE_BENCH=OFF >/dev/null
# Only the two programs this script runs: the tests and benches are test.sh's and bench/run.sh's.
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target skelvane skelvane-cli

cli="$build/cli/skelvane-cli"
demo=demo
mkdir -p "$demo"
if [ ! -f "$demo/TT1a.kcs" ]; then
  "$cli" synth --out "$demo" --prefix TT1 --channels 4 --seconds 60 --seed 1
fi
tetrode=("$demo"/TT1a.kcs "$demo"/TT1b.kcs "$demo"/TT1c.kcs "$demo"/TT1d.kcs)
"$cli" info "${tetrode[@]}"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/app/skelvane" "${tetrode[@]}"
fi
snapshot="$demo/TT1-snapshot.bmp"
"$cli" snapshot "${tetrode[@]}" --width 1200 --height 500 --span 10000000 -o "$snapshot"
echo "No display found: the demo tetrode as the viewer shows it is in $(realpath "$snapshot")"
