#!/usr/bin/env bash
# Key press to picture in the real window: opens the 16 x 1 h recordings in the viewer inside a
# virtual X server (1920 x 1080), drives 20 actions across spans of about 0.1 s to 10 minutes (zoom by
# key and by Ctrl+wheel, page, scroll the plot stack) and prints for each the time from its input
# event to the end of the paint that showed it, as the window logs it (SKELVANE_LATENCY_LOG), beside
# the canvas frame time of that paint and their ratio. Then holds Right for two seconds at a 5 s span
# (key repeats 33 ms apart) and reports how many frames that drew and how long after the last repeat
# the window stopped, and last how long Exit takes. Screenshots cannot resolve a few milliseconds.
#   scripts/latency-xvfb.sh [output folder]      (default: demo/latency)
# SKELVANE_BUILD names the build folder (default build-release, a Release build made here).
# SKELVANE_BENCH_DATA names the folder of the 16 x 1 h set (default /work/data/16x1h); it is made
# when it holds no recordings.
set -euo pipefail
cd "$(dirname "$0")/.."

SKELVANE_GUI_TOOLS=1 scripts/install-deps.sh

build="${SKELVANE_BUILD:-build-release}"  # another configured build folder may be named
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKELVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target skelvane skelvane-cli -j 2

out="${1:-demo/latency}"
data="${SKELVANE_BENCH_DATA:-/work/data/16x1h}"
mkdir -p "$out"
out=$(cd "$out" && pwd)  # XDG folders must be absolute: a relative one is ignored
if ! ls "$data"/CH*.kcs >/dev/null 2>&1; then
  mkdir -p "$data"
  "$build/cli/skelvane-cli" synth --out "$data" --channels 16 --seconds 3600 --prefix CH --seed 1
fi
log="$out/latency.log"
rm -f "$log"
touch "$log"
export XDG_CONFIG_HOME="$out/config"  # what the viewer remembers stays in the output folder,
rm -rf "$XDG_CONFIG_HOME"
export XDG_CACHE_HOME="$out/cache"    # and so do the summaries it keeps (reused by the next run)

display=":${SKELVANE_XVFB_DISPLAY:-98}"
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY="$display"
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

SKELVANE_LATENCY_LOG="$log" LIBGL_ALWAYS_SOFTWARE=1 "$build/app/skelvane" "$data"/CH*.kcs >"$out/skelvane.log" 2>&1 &
app=$!
window=$(xdotool search --sync --onlyvisible --name "Skelvane Version 3.01" | head -1)
xdotool windowmove --sync "$window" 0 0 windowsize --sync "$window" 1920 1080
# Without a window manager only this gives the window the keyboard (PLATFORM.md).
xdotool windowactivate --sync "$window" 2>/dev/null || true
xdotool mousemove --window "$window" 960 540
sleep "${SKELVANE_SETTLE_SECONDS:-8}"  # the summaries are built and drawn

lines() { wc -l <"$log"; }
# Waits until the log has at least $2 (default 1) lines more than $1, or has been quiet for $3 seconds
# (default 0.3) after its first new line.
wait_for_frame() {
  local before=$1 want=${2:-1} quiet=${3:-0.3}
  for _ in $(seq 300); do [ "$(lines)" -gt "$before" ] && break; sleep 0.05; done
  local count
  count=$(lines)
  while [ "$count" -lt $((before + want)) ] && sleep "$quiet" && [ "$(lines)" != "$count" ]; do count=$(lines); done
  sleep "$quiet"
}
field() { sed -n "s/.* $1=\\([^ ]*\\).*/\\1/p"; }

# The 20 actions: zoom in from 10 s to 0.16 s, page and scroll the stack there, zoom out to 640 s by
# keys and Ctrl+wheel (the mouse is over the plots).
actions=(ctrl+Left ctrl+Left ctrl+Left ctrl+Left ctrl+Left ctrl+Left Right wheel-down
         ctrl+Right ctrl+wheel-down ctrl+Right ctrl+wheel-down ctrl+Right ctrl+wheel-down
         ctrl+Right ctrl+wheel-down ctrl+Right ctrl+wheel-down ctrl+Right ctrl+wheel-down)
printf '%-3s %-24s %12s %12s %10s %7s\n' "#" action span_s latency_ms frame_ms ratio
ratios=()
n=0
for action in "${actions[@]}"; do
  n=$((n + 1))
  before=$(lines)
  case "$action" in
    wheel-down) xdotool click 5 ;;
    ctrl+wheel-down) xdotool keydown ctrl click 5 keyup ctrl ;;
    *) xdotool key --delay 0 "$action" ;;
  esac
  wait_for_frame "$before"
  line=$(sed -n "$((before + 1))p" "$log")
  if [ -z "$line" ]; then printf '%-3s %-24s %s\n' "$n" "$action" "no frame"; continue; fi
  span=$(echo "$line" | field span_us)
  latency=$(echo "$line" | field latency_ms)
  frame=$(echo "$line" | field frame_ms)
  ratio=$(awk -v l="$latency" -v f="$frame" 'BEGIN { printf "%.2f", (f > 0 ? l / f : 0) }')
  ratios+=("$ratio")
  printf '%-3s %-24s %12s %12s %10s %7s\n' "$n" "$action" "$(awk -v s="$span" 'BEGIN { printf "%.3f", s / 1e6 }')" \
    "$latency" "$frame" "$ratio"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{ r[NR] = $1 } END { if (NR) printf "ratio key press to picture / canvas frame: median %.2f, worst %.2f (target at most 1.3)\n", r[int((NR + 1) / 2)], r[NR] }'

# Back to a 5 s span, then Right held for two seconds.
for _ in $(seq 7); do before=$(lines); xdotool key ctrl+Left; wait_for_frame "$before"; done
before=$(lines)
xdotool key --delay 2 --repeat 60 --repeat-delay 31 Right
released=$(date +%s.%N)
wait_for_frame "$before" 60 1.5
sed -n "$((before + 1)),\$p" "$log" | awk -v released="$released" '
  { for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
    presses++; frames[v["painted_at_s"]] = 1; frame_ms[v["painted_at_s"]] = v["frame_ms"]
    if (v["painted_at_s"] > last) last = v["painted_at_s"] }
  END { n = 0; for (f in frames) n++
        printf "Right held 2 s at a 5 s span: %d presses paged, %d frames drawn, last frame ended %.0f ms after the last press (that frame took %.0f ms)\n",
               presses, n, (last - released) * 1000, frame_ms[last] }'

start=$(date +%s.%N)
xdotool key ctrl+e
for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.01; done
if kill -0 "$app" 2>/dev/null; then echo "the viewer did not end on Ctrl+E"; exit 1; fi
app=""
awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "Exit took %.0f ms\n", (e - s) * 1000 }'
echo "log: $log"
