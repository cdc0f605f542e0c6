# shellcheck shell=bash
# Sourced by the scripts that drive the viewer in a virtual X server (scripts/demo-xvfb.sh,
# scripts/latency-xvfb.sh, bench/cold-start-xvfb.sh): the server's start and end, and finding and
# placing the viewer's window. The viewer a script starts goes in $app, so it is ended with the server.

app=""
xvfb=""

# Starts Xvfb on display :${SKELVANE_XVFB_DISPLAY:-$1} with one screen of $2 (WIDTHxHEIGHT) pixels, its
# output in $3; exports DISPLAY, ends the server and the viewer when the script exits, and returns once
# the server answers.
xvfb_start() {
  local display=":${SKELVANE_XVFB_DISPLAY:-$1}"
  Xvfb "$display" -screen 0 "$2x24" -nolisten tcp >"$3" 2>&1 &
  xvfb=$!
  trap xvfb_stop EXIT
  export DISPLAY="$display"
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

xvfb_stop() {
  if [ -n "$app" ]; then kill "$app" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
}

# Waits for the viewer's window to show; sets $window.
xvfb_find_window() {
  window=$(xdotool search --sync --onlyvisible --name "Skelvane Version 3.01" | head -1)
}

# Waits for the viewer's window, puts it at the top left at $1 x $2 pixels with the keyboard and the
# mouse in its middle; sets $window.
xvfb_place_window() {
  xvfb_find_window
  xdotool windowmove --sync "$window" 0 0 windowsize --sync "$window" "$1" "$2"
  # Without a window manager only this gives the window the keyboard (PLATFORM.md).
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool mousemove --window "$window" $(($1 / 2)) $(($2 / 2))
}
