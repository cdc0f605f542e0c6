#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer with every
# finding fatal) and runs each for SECONDS from a seed corpus generated afresh, two at a time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]      e.g. scripts/fuzz.sh 600   or   scripts/fuzz.sh 60 csc_plot
# Results: build-fuzz/logs/<target>.log (last line: execs, cov, ft), findings in build-fuzz/findings/
# (copy a small reproducer to fuzz/crashes/<target>/ so every build replays it), the corpus grown by
# the runs in build-fuzz/corpus-grown/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
jobs=${FUZZ_JOBS:-2}

scripts/install-deps.sh
fuzzer_runtime() { compgen -G "/usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; }
if ! command -v clang++-14 >/dev/null || ! fuzzer_runtime; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends clang-14 libclang-rt-14-dev
fi

build=${FUZZ_BUILD:-build-fuzz}
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSKELVANE_FUZZ=ON \
  -DSKELVANE_GUI=OFF -DSKELVANE_BENCH=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(sed -n 's/^  \([a-z_]*\) [A-Za-z]*Fuzz\.cpp.*/\1/p' fuzz/FuzzTargets.cmake))
fi
nice cmake --build "$build" -j2 --target skelvane-cli "${targets[@]/#/fuzz_}"

fuzz/make-corpus.sh "$build/cli/skelvane-cli" "$build/corpus-seed"
mkdir -p "$build/logs" "$build/findings"
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
# libFuzzer ends a run with _Exit, past the targets' own clean-up: their scratch folders go here.
TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/skelvane-fuzz-runs-XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
run() {
  local target=$1
  local corpora=("$build/corpus-grown/$target" "$build/corpus-seed/$target")
  [ -d "fuzz/crashes/$target" ] && corpora+=("fuzz/crashes/$target")
  mkdir -p "$build/corpus-grown/$target" "$build/findings/$target"
  nice "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target/" "${corpora[@]}" >"$build/logs/$target.log" 2>&1 || true
}
running=0
for target in "${targets[@]}"; do
  run "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

status=0
for target in "${targets[@]}"; do
  last=$(grep -E '^#[0-9]+' "$build/logs/$target.log" | tail -1 || true)
  findings=$(find "$build/findings/$target" -type f | wc -l)
  printf '%-14s %s\n%14s findings: %s\n' "$target" "${last:-no run}" "" "$findings"
  [ "$findings" -eq 0 ] || status=1
done
exit $status
