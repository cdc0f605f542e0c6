#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless.
#   ./test.sh              the normal build and test run
#   SKELVANE_SANITIZE=1 ./test.sh   the same under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

build=build
sanitize=OFF
if [ "${SKELVANE_SANITIZE:-0}" = 1 ]; then
  build=build-asan
  sanitize=ON
fi
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKELVANE_SANITIZE=$sanitize >/dev/null
cmake --build "$build" -j "$jobs"

export QT_QPA_PLATFORM=offscreen LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
# A test that hangs fails after ten minutes instead of holding the run (the longest takes seconds).
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600
