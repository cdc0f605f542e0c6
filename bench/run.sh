#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; each prints its figures as ratios to a baseline
# measured in the same run.  bench/run.sh [name-filter]   e.g. bench/run.sh spikedetect
# The benches that synthesise their recording make the kind of signal SKELVANE_BENCH_SIGNAL names,
# one of `skelvane-cli synth --signal`'s: spiky (the default: noise and spikes), oscillation (spiky on
# a 3 Hz wave of 600 counts), clipped, noise (full-scale noise), flat or sine; for example
#   SKELVANE_BENCH_SIGNAL=oscillation bench/run.sh canvasredraw
# (SKELVANE_BENCH_DATA, where a bench reads it, names a folder of recordings made beforehand instead.)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKELVANE_GUI=OFF -DSKELVANE_BENCH=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
for program in "$build"/bench/bench_*; do
  case "$(basename "$program")" in *"${1:-}"*) ;; *) continue ;; esac
  echo "== $(basename "$program")"
  "$program"
done
