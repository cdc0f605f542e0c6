#!/usr/bin/env bash
# The window's anonymous memory (RssAnon of /proc/PID/status) with many channels of a long recording
# at the whole-recording view, the plot stack scrolled from top to bottom while every summary is
# made, then again with every summary kept from that first run. Runs the viewer in a virtual X
# server; the recording, the cache and the settings live in a temporary folder removed at the end.
#   bench/window-memory-xvfb.sh APP CLI [channels] [hours]
#   e.g. bench/window-memory-xvfb.sh build/app/skelvane build/cli/skelvane-cli 64 8.9
# SKELVANE_BENCH_RECORDING names an existing recording to link to instead of synthesising one;
# SKELVANE_BENCH_SHOT names a PNG to keep a screenshot of the last run's final view in.
set -euo pipefail
app=$1
cli=$2
channels=${3:-64}
hours=${4:-8.9}
work=$(mktemp -d)
display=":${SKELVANE_XVFB_DISPLAY:-98}"
xvfb=""
viewer=""
cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

recording=${SKELVANE_BENCH_RECORDING:-}
if [ -z "$recording" ]; then
  seconds=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
  "$cli" synth --out "$work/rec" --prefix DAY --channels 1 --seconds "$seconds" --seed 3 >/dev/null
  recording=$work/rec/DAYa.kcs
fi
mkdir -p "$work/files"
files=()
for i in $(seq -w 1 "$channels"); do
  ln -s "$(realpath "$recording")" "$work/files/CH$i.kcs"
  files+=("$work/files/CH$i.kcs")
done
cat "$recording" >/dev/null  # in the page cache, as on a machine that just copied it

export XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
Xvfb "$display" -screen 0 1600x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

anon() { awk '/^RssAnon/ { print int($2 / 1024) }' "/proc/$viewer/status"; }
# One run of the viewer: whole recording, Down until the stack's end, the peak anonymous memory.
run() {
  "$app" "${files[@]}" >"$work/viewer.log" 2>&1 &
  viewer=$!
  local window
  window=$(xdotool search --sync --onlyvisible --name "Skelvane Version 3.01" | head -1)
  xdotool windowactivate --sync "$window" 2>/dev/null || true
  sleep 1
  xdotool key alt+d; sleep 0.3; xdotool key w  # Display > Show Whole Recording
  local peak=0 now
  for _ in $(seq 1 $((channels * 2))); do
    xdotool key Down
    sleep 0.25
    now=$(anon)
    [ "$now" -gt "$peak" ] && peak=$now
  done
  # Until every summary is made (none left to build: the cache holds one per file, and the links
  # are all names of one file), then a while.
  for _ in $(seq 1 2400); do
    now=$(anon)
    [ "$now" -gt "$peak" ] && peak=$now
    [ "$(ls "$XDG_CACHE_HOME/skelvane/" 2>/dev/null | grep -c '\.sum$' || true)" -ge 1 ] && break
    sleep 0.25
  done
  sleep 2
  if [ -n "${SKELVANE_BENCH_SHOT:-}" ]; then import -window root "$SKELVANE_BENCH_SHOT"; fi
  now=$(anon)
  [ "$now" -gt "$peak" ] && peak=$now
  echo "$1: peak RssAnon ${peak} MB, at the end ${now} MB, RssFile $(awk '/^RssFile/ { print int($2 / 1024) }' "/proc/$viewer/status") MB"
  kill "$viewer"
  wait "$viewer" 2>/dev/null || true
  viewer=""
}
echo "$channels channels x $hours h ($(du -h --apparent-size "$recording" | cut -f1) recording), whole recording, stack scrolled to the bottom:"
run "summaries made during the run"
run "summaries kept from the first run"
