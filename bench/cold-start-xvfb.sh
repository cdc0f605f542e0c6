#!/usr/bin/env bash
# Cold start: the viewer opened on a set of recordings whose summaries are kept, with the page cache
# dropped first (so the program, its libraries, the summaries and the recordings all come from the
# disk), in a virtual X server (1920 x 1080). Prints the time from the process's start to its first
# picture and from the start of opening the files to it, then zooms out step by step from the 10 s it
# opens at to the whole recording and, after dropping the cache again, back in to one record,
# printing each zoom's time from key press to picture. The disk's read rate is measured in the same
# run: a recording read whole straight after the cache is dropped. Each run is repeated.
#   bench/cold-start-xvfb.sh APP [FOLDER] [runs]
#   e.g. bench/cold-start-xvfb.sh build-release/app/skelvane data/spiky 3
# FOLDER holds CH*.kcs (default data/spiky, as scripts/latency-xvfb.sh makes it); its summaries are
# built and kept first, in the output folder (SKELVANE_BENCH_OUT, default demo/cold-start). Needs root:
# it writes /proc/sys/vm/drop_caches.
set -euo pipefail
program=$(realpath "$1")
folder=$(realpath "${2:-data/spiky}")
runs=${3:-3}
out=${SKELVANE_BENCH_OUT:-demo/cold-start}
mkdir -p "$out"
out=$(realpath "$out")
if [ "$(id -u)" != 0 ]; then echo "dropping the page cache needs root" >&2; exit 1; fi
files=("$folder"/CH*.kcs)

export XDG_CACHE_HOME=$out/cache XDG_CONFIG_HOME=$out/config LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe
source "$(dirname "$0")/../scripts/xvfb-common.sh"
xvfb_start 97 1920x1080 "$out/xvfb.log"

log=$out/latency.log
lines() { wc -l <"$log"; }
field() { sed -n "s/.* $1=\\([^ ]*\\).*/\\1/p"; }
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }
start_viewer() {
  : >"$log"
  SKELVANE_LATENCY_LOG=$log "$program" "${files[@]}" >>"$out/viewer.log" 2>&1 &
  app=$!
  xvfb_place_window 1920 1080
}
stop_viewer() {
  xdotool key ctrl+e
  for _ in $(seq 500); do kill -0 "$app" 2>/dev/null || break; sleep 0.01; done
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  app=""
}
# The key, then its line in the log once its frame is on the screen (empty when none came in 15 s).
zoom() {
  local before
  before=$(lines)
  xdotool key --delay 0 "$1"
  for _ in $(seq 300); do [ "$(lines)" -gt "$before" ] && break; sleep 0.05; done
  sleep 0.2
  sed -n "$((before + 1))p" "$log"
}

# The summaries kept, once: one per distinct file.
needed=$(stat -L -c '%d:%i' "${files[@]}" | sort -u | wc -l)
kept() { ls "$XDG_CACHE_HOME/skelvane/" 2>/dev/null | grep -c '\.sum$' || true; }
if [ "$(kept)" -lt "$needed" ]; then
  start_viewer
  for _ in $(seq 7200); do [ "$(kept)" -ge "$needed" ] && break; sleep 0.25; done
  sleep 1
  stop_viewer
fi

# A recording of the set not otherwise read first: the last one.
probe=${files[$((${#files[@]} - 1))]}
echo "${#files[@]} recordings in $folder ($(du -sh --apparent-size "$folder" | cut -f1)), summaries kept; the page cache dropped before each start"
for run in $(seq "$runs"); do
  drop_caches
  rate=$(dd if="$probe" of=/dev/null bs=1M 2>&1 | awk '/copied/ { for (i = 1; i <= NF; i++) if ($i ~ /^s,?$/) t = $(i - 1); print $1 / t / 1e6 }')
  drop_caches
  start_viewer
  for _ in $(seq 600); do grep -q '^opened ' "$log" && break; sleep 0.05; done
  opened=$(grep '^opened ' "$log" | head -1)
  # What a cold start reads before any recording: the program and the libraries it maps.
  libraries=$(awk '$6 ~ /^\// && $6 !~ /\.(kcs|sum)$/ { print $6 }' "/proc/$app/maps" | sort -u |
    xargs -r stat -L -c %s 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s / 1e6 }' || true)
  sleep 1
  worst=0
  worst_at=""
  report=""
  for direction in out in; do
    [ "$direction" = in ] && drop_caches
    for _ in $(seq 24); do
      if [ "$direction" = out ]; then line=$(zoom ctrl+Right); else line=$(zoom ctrl+Left); fi
      [ -z "$line" ] && break
      span=$(echo "$line" | field span_us)
      latency=$(echo "$line" | field latency_ms)
      report+=$(printf '  zoom %-3s span_us=%s latency_ms=%s frame_ms=%s major_faults=%s\n' "$direction" "$span" "$latency" \
        "$(echo "$line" | field frame_ms)" "$(echo "$line" | field major_faults)")$'\n'
      if awk -v l="$latency" -v w="$worst" 'BEGIN { exit !(l > w) }'; then worst=$latency; worst_at=$span; fi
      [ "$direction" = in ] && [ "$span" -le 32000 ] && break
      [ "$direction" = out ] && [ "$span" = "${previous:-}" ] && break
      previous=$span
    done
    previous=""
  done
  stop_viewer
  echo "$opened" | awk -v run="$run" -v rate="$rate" -v worst="$worst" -v at="$worst_at" -v lib="$libraries" '
    { for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      printf "run %d: disk read %.0f MB/s; the program and its libraries %d MB (%.0f ms at that rate); first picture %s ms after the process started, %.0f ms after the files began to open (its frame %.1f ms, %s major faults in it); slowest zoom after it %.0f ms (span_us=%s)\n",
             run, rate, lib, lib / rate * 1000, v["since_process_start_ms"], v["first_picture_ms"], v["frame_ms"], v["major_faults"], worst, at }'
  printf '%s' "$report"
done
