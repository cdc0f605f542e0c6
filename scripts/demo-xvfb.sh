#!/usr/bin/env bash
# Runs the viewer on the demo tetrode inside a virtual X server, drives it with xdotool (zoom in,
# page right, rubber-band zoom, the mouse over a plot for the status bar, seconds on the time axis,
# amplitude zoom, Exit) and takes a screenshot after each step. Then checks that the four traces are
# on screen in their plot colours, that the later steps changed the picture and that Exit wrote the
# settings file. What the viewer remembers goes to the output folder, not the user's own settings.
#   scripts/demo-xvfb.sh [output folder]      (default: demo/xvfb)
set -euo pipefail
cd "$(dirname "$0")/.."

SKELVANE_GUI_TOOLS=1 scripts/install-deps.sh

build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKELVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target skelvane skelvane-cli -j 2

demo=demo
out="${1:-$demo/xvfb}"
mkdir -p "$demo" "$out"
if [ ! -f "$demo/TT1a.kcs" ]; then
  "$build/cli/skelvane-cli" synth --out "$demo" --prefix TT1 --channels 4 --seconds 60 --seed 1
fi
settings="$build/app/Skelvane.set"
rm -f "$settings"
export XDG_CONFIG_HOME="$(cd "$out" && pwd)/config"  # absolute: a relative one is ignored
rm -rf "$XDG_CONFIG_HOME"

source scripts/xvfb-common.sh
xvfb_start 97 1280x800 "$out/xvfb.log"

LIBGL_ALWAYS_SOFTWARE=1 "$build/app/skelvane" "$demo"/TT1a.kcs "$demo"/TT1b.kcs "$demo"/TT1c.kcs "$demo"/TT1d.kcs \
  >"$out/skelvane.log" 2>&1 &
app=$!
xvfb_find_window
xdotool windowfocus --sync "$window" 2>/dev/null || true
settle() { sleep 1.5; }
shot() { import -window root "$out/$1.png"; echo "screenshot: $out/$1.png"; }

settle; shot 1-start
xdotool key ctrl+Left; settle; shot 2-zoomed-in
xdotool key Right; settle; shot 3-paged-right
# A rubber band across the middle of the first plot: zoom to the dragged columns.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + WIDTH / 3)) $((Y + 120)) mousedown 1 mousemove $((X + WIDTH / 2)) $((Y + 160)) \
  mousemove $((X + WIDTH / 2 + 10)) $((Y + 170)) mouseup 1
settle; shot 4-rubber-band
# The mouse over the second plot: the status bar reads the time and the sample under it.
xdotool mousemove $((X + WIDTH / 2)) $((Y + 170)); settle; shot 5-status-bar
# Display > Time Axis Labels > Seconds, by the menus' mnemonics.
xdotool key alt+d; sleep 0.5; xdotool key t; sleep 0.5; xdotool key s; settle; shot 6-seconds-axis
xdotool key ctrl+Up ctrl+Up; settle; shot 7-amplitude-x4

# Each trace colour must cover a fair number of pixels on the first screenshot, the four of them
# from top to bottom in plot order.
status=0
previous=0
for colour in "Red:#FF0000" "Blue:#0000FF" "Yellow:#FFFF00" "Purple:#800080"; do
  name=${colour%%:*}
  hex=${colour#*:}
  count=$(convert "$out/1-start.png" -fill black +opaque "$hex" -fill white -opaque "$hex" \
    -format "%[fx:int(mean*w*h+0.5)]" info:)
  top=$(convert "$out/1-start.png" -fill black +opaque "$hex" -trim -format "%Y" info: 2>/dev/null | tr -d +)
  echo "$name ($hex): $count pixels, topmost at y=$top"
  if [ "$count" -lt 400 ] || [ "${top:-0}" -le "$previous" ]; then status=1; fi
  previous=${top:-0}
done

# Each of the later steps must have changed what the window shows.
for pair in "4-rubber-band 5-status-bar" "5-status-bar 6-seconds-axis" "6-seconds-axis 7-amplitude-x4"; do
  set -- $pair
  differing=$(compare -metric AE "$out/$1.png" "$out/$2.png" null: 2>&1 || true)
  echo "$1 -> $2: $differing pixels differ"
  if [ "${differing%% *}" = 0 ]; then status=1; fi
done

xdotool key ctrl+e
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$app" 2>/dev/null; then echo "the viewer did not end on Ctrl+E"; status=1; else app=""; fi
if [ -s "$settings" ]; then echo "settings written: $settings ($(stat -c %s "$settings") bytes)"; else
  echo "no settings file at $settings"; status=1; fi
exit $status
