#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; each prints its figures as ratios to a baseline
# measured in the same run.  bench/run.sh [name-filter]   e.g. bench/run.sh spikedetect
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
