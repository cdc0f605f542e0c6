#!/usr/bin/env bash
# The window measured as users see it: opens a set of 16 x 1 h recordings in the viewer inside a
# virtual X server (1920 x 1080) with their summaries kept from an earlier run, and sweeps the time
# axis from one record out to the whole recording and back in, paging and scrolling the plot stack at
# every span (zoom by key and by Ctrl+wheel, page by key, scroll by wheel and by key). The window logs
# every action (SKELVANE_LATENCY_LOG); for each this prints
#   span_us=N frame_ms=F ratio=R cpu_ms=C cpu_ratio=Q latency_ms=L thread_cpu_ms=T action=A
# where ratio is the canvas frame against the one-record frame of the same run (the median of the
# frames drawn at one record) and cpu_ratio the same for the frame's processor time over all threads
# (steadier than the wall time when other work shares the cores), and thread_cpu_ms the drawing
# thread's own processor time in that frame; then how many frames ran on about one processor (their
# processor time under 1.1 x their wall time, their threads taking turns) and how many on more, each
# with its mean ratio and its count over 1.5 x; then the first picture after
# opening (first_picture_ms=, from the start of opening the files to that picture on the screen),
# the peak anonymous memory, a key held for two seconds at a 5 s span, Exit, and last the time from
# key press to picture against the canvas frame of the paint that showed it (how many actions exceed
# 1.3 x, then the median and the worst). The sweep's keys and wheel clicks come from one resident
# sender (scripts/xinput-sender.py), not a process per action; the held key from xdotool.
#   scripts/latency-xvfb.sh [output folder]      (default demo/latency)
# SKELVANE_BENCH_DATA names one folder of CH*.kcs recordings: that set alone is swept. Otherwise the
# three sets under data/ at the top of the checkout are (made when missing, 16 channels x 1 h each by
# skelvane-cli synth): spiky (noise and spikes), oscillation (the same on a 3 Hz wave of 600 counts)
# and noise (full-scale noise).
# SKELVANE_FILTER=spike|lfp|LO:HI draws every plot through that band: the viewer opens a session of
# the set's recordings with that display filter (10 s from the first record, as a plain opening
# shows), its filtered summaries kept from an earlier run like the plain ones; the results go under
# SET-filter-BAND.
# SKELVANE_BUILD names the build folder (default build-release, a Release build made here);
# SKELVANE_XVFB_DISPLAY the display number (default 98). Screenshots cannot resolve a few milliseconds.
# SKELVANE_REOPEN_ONLY=N skips the sweep: for each set the viewer starts N times without files and
# opens the set from File > Recent Files, then zooms in to one record and pages five times; each run
# prints first_picture_ms= against the median of those one-record frames, where the time went (from
# the key to the files open, to the frame's start, and from the frame's end to the picture on the
# screen), and the load average.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)

SKELVANE_GUI_TOOLS=1 scripts/install-deps.sh

build="${SKELVANE_BUILD:-build-release}"  # another configured build folder may be named
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKELVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target skelvane skelvane-cli -j 2
build=$(cd "$build" && pwd)

out="${1:-demo/latency}"
mkdir -p "$out"
out=$(cd "$out" && pwd)  # XDG folders must be absolute: a relative one is ignored

# The sets to sweep: name and folder.
sets=()
if [ -n "${SKELVANE_BENCH_DATA:-}" ]; then
  sets+=("$(basename "$SKELVANE_BENCH_DATA")=$(cd "$SKELVANE_BENCH_DATA" && pwd)")
else
  for kind in spiky oscillation noise; do
    folder="$checkout/data/$kind"
    if ! ls "$folder"/CH*.kcs >/dev/null 2>&1; then
      echo "making $folder (16 x 1 h of $kind)"
      "$build/cli/skelvane-cli" synth --out "$folder" --signal "$kind" --channels 16 --seconds 3600 --prefix CH --seed 1 >/dev/null
    fi
    sets+=("$kind=$folder")
  done
fi

source scripts/xvfb-common.sh
xvfb_start 98 1920x1080 "$out/xvfb.log"
# The sweep's input comes from one resident sender (scripts/xinput-sender.py says why).
coproc SENDER { exec python3 "$checkout/scripts/xinput-sender.py"; }
# Copies of its pipes that pipelines and command substitutions inherit (bash closes a coprocess's own
# there).
exec {to_sender}>&"${SENDER[1]}" {from_sender}<&"${SENDER[0]}"
trap 'unfollow_log; kill "$SENDER_PID" 2>/dev/null; xvfb_stop' EXIT
# Sends one input (key SEQUENCE, click BUTTON, ctrlclick BUTTON) and returns once it is sent.
send() {
  echo "$*" >&"$to_sender"
  read -r -u "$from_sender" _
}
# Waits $1 seconds without starting a process: a `sleep` that ends just before the next key shares
# the cores with it.
pause() { read -r -t "$1" -u "$from_sender" _ || true; }

log=""
# The log is followed by one `tail` per viewer run and read with the shell's own `read`, so waiting for
# a frame's line costs nothing while the frame draws. Polling it instead (a subshell and `wc` every
# 50 ms) took this 2-core machine's second core for 20-30 ms of every 35-50 ms frame it overlapped.
logfd=""
logtail=""
seen=0  # lines of the log read so far
follow_log() {
  seen=$(wc -l <"$log")
  exec {logfd}< <(exec tail -c "+$(($(stat -c %s "$log") + 1))" -F "$log" 2>/dev/null)
  logtail=$!
}
unfollow_log() {
  if [ -n "$logtail" ]; then kill "$logtail" 2>/dev/null || true; fi
  if [ -n "$logfd" ]; then exec {logfd}<&-; fi
  logfd=""
  logtail=""
}
# Counts the lines written so far, without waiting; $seen is then the log's line count.
take_lines() {
  while read -r -t 0 -u "$logfd" && read -r -u "$logfd" _; do seen=$((seen + 1)); done
}
# Waits until the log has at least $2 (default 1) lines more than $1, or has been quiet for $3 seconds
# (default 0.3) after its first new line.
wait_for_frame() {
  local before=$1 want=${2:-1} quiet=${3:-0.3}
  while [ "$seen" -le "$before" ] && read -r -t 15 -u "$logfd" _; do seen=$((seen + 1)); done
  while [ "$seen" -lt $((before + want)) ] && read -r -t "$quiet" -u "$logfd" _; do seen=$((seen + 1)); done
  pause "$quiet"
  take_lines
}
# Waits (up to 30 s) for the line of the first picture after the files began to open.
wait_for_opened() {
  local text
  while read -r -t 30 -u "$logfd" text; do
    seen=$((seen + 1))
    [[ "$text" == "opened "* ]] && break
  done
}
field() { sed -n "s/.* $1=\\([^ ]*\\).*/\\1/p"; }
anon_mb() { awk '/^RssAnon/ { print int($2 / 1024) }' "/proc/$app/status" 2>/dev/null || echo 0; }

# A session of the recordings in folder $1, every plot drawn through SKELVANE_FILTER, at the view a
# plain opening shows (10 s from the first record); prints its path.
filtered_session() {
  local folder=$1 session="$setout/filtered.skvs" first separator=""
  first=$(od -An -t d8 -j 16384 -N 8 "$(ls "$folder"/CH*.kcs | head -1)" | tr -d ' ')
  {
    printf '{"format": "skelvane-session", "version": 1, "recordings": ['
    for file in "$folder"/CH*.kcs; do
      printf '%s{"path": "%s", "filter": "%s"}' "$separator" "$(cd "$(dirname "$file")" && pwd)/$(basename "$file")" \
        "$SKELVANE_FILTER"
      separator=", "
    done
    printf '], "view": {"start_us": %s, "span_us": 10000000}}\n' "$first"
  } >"$session"
  echo "$session"
}

# Starts the viewer with the set's cache and settings on the files of folder $1 (none when it is
# empty); sets $app and $window.
start_viewer() {
  local folder=$1 files=()
  [ -n "$folder" ] && files=("$folder"/CH*.kcs)
  [ -n "$folder" ] && [ -n "${SKELVANE_FILTER:-}" ] && files=("$(filtered_session "$folder")")
  export XDG_CONFIG_HOME="$setout/config" XDG_CACHE_HOME="$setout/cache"
  follow_log
  SKELVANE_LATENCY_LOG="$log" LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe "$build/app/skelvane" "${files[@]}" \
    >>"$setout/skelvane.log" 2>&1 &
  app=$!
  xvfb_place_window 1920 1080
}
# Ends the viewer by Ctrl+E, so that it remembers the set among its Recent Files.
stop_viewer() {
  xdotool key ctrl+e
  for _ in $(seq 500); do kill -0 "$app" 2>/dev/null || break; sleep 0.01; done
  if kill -0 "$app" 2>/dev/null; then echo "the viewer did not end on Ctrl+E"; exit 1; fi
  app=""
  unfollow_log
}

# Summaries are kept per file (device and inode): one per distinct file of the set.
kept_needed() { stat -L -c '%d:%i' "$1"/CH*.kcs | sort -u | wc -l; }
kept_count() { ls "$setout/cache/skelvane/" 2>/dev/null | grep -c '\.sum$' || true; }

# One action: its input, then $line is the first log line it made (empty when it drew no frame).
line=""
act() {
  local action=$1 before
  take_lines
  before=$seen
  case "$action" in
    wheel-down) send click 5 ;;
    wheel-up) send click 4 ;;
    ctrl+wheel-down) send ctrlclick 5 ;;
    ctrl+wheel-up) send ctrlclick 4 ;;
    *) send key "$action" ;;
  esac
  wait_for_frame "$before"
  local now
  now=$(anon_mb)
  [ "$now" -gt "$peak_anon" ] && peak_anon=$now
  line=$(sed -n "$((before + 1))p" "$log")
}
# Does the action and keeps its line among the results under its name.
results=()
record() {
  act "$1"
  [ -n "$line" ] && results+=("${2:-$1}|$line")
  return 0
}

# The first picture from Recent Files alone, $SKELVANE_REOPEN_ONLY times, each against the one-record
# frame of its own run. The set is opened once from the command line first, so that it is the most
# recent one.
reopen_only() {
  local name=$1 folder=$2 before span reopened base
  peak_anon=0
  start_viewer "$folder"
  wait_for_opened
  stop_viewer
  echo "== $name: first picture from Recent Files, $SKELVANE_REOPEN_ONLY runs"
  for _ in $(seq "$SKELVANE_REOPEN_ONLY"); do
    start_viewer ""
    sleep 2
    take_lines
    before=$seen
    send key alt+f; pause 0.1; send key f; pause 0.1; send key 1
    wait_for_frame "$before"
    reopened=$(sed -n "$((before + 1)),\$p" "$log" | grep -m1 'action="Recent Files"' || true)
    sleep 1
    for _ in $(seq 12); do
      act ctrl+Left
      span=$(echo "$line" | field span_us)
      [ -n "$span" ] && [ "$span" -le 32000 ] && break
    done
    base=$(for _ in $(seq 5); do act Right; echo "$line" | field frame_ms; done | sort -n | sed -n 3p)
    echo "$reopened" | awk -v b="$base" -v load="$(cut -d' ' -f1 /proc/loadavg)" '{
      for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      printf "first_picture_ms=%.1f ratio=%.2f frame_ms=%.1f cpu_ms=%.1f faults=%s span_us=%s one_record_frame_ms=%.1f opened_ms=%.1f before_frame_ms=%.1f after_frame_ms=%.1f load=%s\n",
             v["latency_ms"], v["latency_ms"] / b, v["frame_ms"], v["cpu_ms"], v["faults"], v["span_us"], b,
             v["opened_ms"], v["before_frame_ms"], v["after_frame_ms"], load }'
    stop_viewer
  done
}

sweep_set() {
  local name=$1 folder=$2
  setout="$out/$name${SKELVANE_FILTER:+-filter-${SKELVANE_FILTER//:/-}}"
  mkdir -p "$setout"
  log="$setout/latency.log"
  rm -f "$log" "$setout/skelvane.log"
  rm -rf "$setout/config"  # the view starts as on a fresh machine; the kept summaries stay
  touch "$log"
  local needed
  needed=$(kept_needed "$folder")
  if [ "$(kept_count)" -lt "$needed" ]; then
    # A first run builds and keeps the summaries; the sweep is of a later opening, as on any day after.
    echo "== $name: building the summaries of $needed files first"
    start_viewer "$folder"
    for _ in $(seq 7200); do [ "$(kept_count)" -ge "$needed" ] && break; sleep 0.25; done
    sleep 1
    stop_viewer
    : >"$log"
  fi

  if [ -n "${SKELVANE_REOPEN_ONLY:-}" ]; then
    reopen_only "$name" "$folder"
    return
  fi

  peak_anon=0
  start_viewer "$folder"
  wait_for_opened
  local opened
  opened=$(grep -m 1 '^opened ' "$log")
  sleep "${SKELVANE_SETTLE_SECONDS:-3}"  # the kept summaries are mapped behind the first picture

  echo "== $name: $(ls "$folder"/CH*.kcs | wc -l) recordings in $folder, summaries kept"
  results=()
  local span previous
  # To one record (16 ms) from the 10 s the view opens at: not part of the sweep.
  for _ in $(seq 12); do
    act ctrl+Left
    span=$(echo "$line" | field span_us)
    [ -n "$span" ] && [ "$span" -le 32000 ] && break
  done
  local step=0 out_steps=0
  previous=$span
  record Right "page Right"
  record wheel-down "scroll wheel-down"
  record wheel-up "scroll wheel-up"
  # Out: at each span a zoom, a page and a scroll down and up; until the zoom no longer widens the view.
  for _ in $(seq 40); do
    step=$((step + 1))
    local zoom=ctrl+Right page=Right down=wheel-down up=wheel-up
    if [ $((step % 2)) -eq 0 ]; then zoom=ctrl+wheel-down page=Next down=Down up=Up; fi
    act "$zoom"
    span=$(echo "$line" | field span_us)
    if [ -z "$span" ] || [ "$span" -le "$previous" ]; then break; fi
    results+=("zoom out $zoom|$line")
    out_steps=$((out_steps + 1))
    record "$page" "page $page"
    record "$down" "scroll $down"
    record "$up" "scroll $up"
    previous=$span
  done
  # Back in, the same way, to one record, paging back and forth: paging back alone would end in the
  # empty second before the first record (the time range's margin), whose frames draw no trace.
  for _ in $(seq "$out_steps"); do
    step=$((step + 1))
    local zoom=ctrl+Left page=Left down=wheel-down up=wheel-up
    if [ $((step % 2)) -eq 0 ]; then zoom=ctrl+wheel-up page=Next down=Down up=Up; fi
    record "$zoom" "zoom in $zoom"
    span=$(echo "$line" | field span_us)
    record "$page" "page $page"
    record "$down" "scroll $down"
    record "$up" "scroll $up"
    [ -n "$span" ] && [ "$span" -le 32000 ] && break
  done

  # The one-record frame: the median of the frames drawn at a span of one record, wall and processor.
  local table
  table=$(for entry in "${results[@]}"; do
    l=${entry#*|}
    printf '%s %s %s %s %s %s\n' "$(echo "$l" | field span_us)" "$(echo "$l" | field frame_ms)" \
      "$(echo "$l" | field cpu_ms)" "$(echo "$l" | field latency_ms)" "$(echo "$l" | field thread_cpu_ms)" \
      "${entry%%|*}" | tr ' ' '\t' | sed 's/\t/ /6g'
  done)
  local base cpu_base
  base=$(echo "$table" | awk -F'\t' '$1 <= 32000 { print $2 }' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  cpu_base=$(echo "$table" | awk -F'\t' '$1 <= 32000 { print $3 }' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  # Last, the frames whose threads took turns on about one processor (processor time under 1.1 x wall
  # time) apart from the others: the machine's scheduler, not the frame's work, decides how many there are.
  echo "$table" | awk -F'\t' -v b="$base" -v c="$cpu_base" '
    { printf "span_us=%s frame_ms=%.2f ratio=%.2f cpu_ms=%.2f cpu_ratio=%.2f latency_ms=%.2f thread_cpu_ms=%.2f action=%s\n",
             $1, $2, $2 / b, $3, (c > 0 ? $3 / c : 0), $4, $5, $6
      if ($2 / b > worst) { worst = $2 / b; at = $1 }
      one = $3 < 1.1 * $2; n[one]++; sum[one] += $2 / b; if ($2 / b > 1.5) over[one]++ }
    END { printf "one-record frame %.2f ms (%.2f ms processor); worst frame %.2f x at span_us=%s (target at most 1.5)\n",
                 b, c, worst, at
          printf "frames run on about one processor: %d (mean %.2f x, %d over 1.5 x); on more: %d (mean %.2f x, %d over 1.5 x)\n",
                 n[1], (n[1] ? sum[1] / n[1] : 0), over[1], n[0], (n[0] ? sum[0] / n[0] : 0), over[0] }'
  echo "peak RssAnon over the sweep: $peak_anon MB"

  # A 5 s span, then Right held for two seconds.
  for _ in $(seq 40); do
    act ctrl+Right
    span=$(echo "$line" | field span_us)
    [ -z "$span" ] || [ "$span" -ge 4000000 ] && break
  done
  local before released
  take_lines
  before=$seen
  xdotool key --delay 2 --repeat 60 --repeat-delay 31 Right
  released=$(date +%s.%N)
  wait_for_frame "$before" 60 1.5
  sed -n "$((before + 1)),\$p" "$log" | grep '^latency ' | awk -v released="$released" '
    { for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      presses++; frames[v["painted_at_s"]] = 1; frame_ms[v["painted_at_s"]] = v["frame_ms"]
      if (v["painted_at_s"] > last) last = v["painted_at_s"] }
    END { n = 0; for (f in frames) n++
          printf "Right held 2 s at a %.0f s span: %d presses paged, %d frames drawn, last frame ended %.0f ms after the last press (that frame took %.0f ms)\n",
                 v["span_us"] / 1e6, presses, n, (last - released) * 1000, frame_ms[last] }'

  local start
  start=$(date +%s.%N)
  xdotool key ctrl+e
  for _ in $(seq 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.01; done
  if kill -0 "$app" 2>/dev/null; then echo "the viewer did not end on Ctrl+E"; exit 1; fi
  app=""
  unfollow_log
  awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "Exit took %.0f ms\n", (e - s) * 1000 }'

  # The first picture after opening, in a window already showing (its renderer started): the set
  # opened again from File > Recent Files, timed from that key to the picture. Then the same from the
  # command line, where the start of the renderer comes first.
  start_viewer ""
  sleep 2
  local before
  take_lines
  before=$seen
  send key alt+f; pause 0.1; send key f; pause 0.1; send key 1
  wait_for_frame "$before"
  local reopened
  reopened=$(sed -n "$((before + 1)),\$p" "$log" | grep -m1 'action="Recent Files"' || true)
  if [ -n "$reopened" ]; then
    echo "$reopened" | awk -v b="$base" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      printf "first_picture_ms=%.1f ratio=%.2f (File > Recent Files to the picture, against the one-record frame; target at most 2) frame_ms=%.1f span_us=%s\n",
             v["latency_ms"], v["latency_ms"] / b, v["frame_ms"], v["span_us"] }'
  else
    echo "first_picture_ms=none (File > Recent Files drew no frame)"
  fi
  stop_viewer
  if [ -n "$opened" ]; then
    echo "$opened" | awk -v b="$base" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      printf "from the command line: first picture %.1f ms after the files began to open, %s ms after the process started (its frame %.1f ms)\n",
             v["first_picture_ms"], v["since_process_start_ms"], v["frame_ms"] }'
  fi

  # Key press to picture against the frame of the paint that showed it, over the sweep's actions; the
  # three furthest from their frame with where their time went.
  for entry in "${results[@]}"; do
    l=${entry#*|}
    echo "$l" | awk -v name="${entry%%|*}" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      if (v["frame_ms"] > 0) printf "%.2f %s span_us=%s latency_ms=%s frame_ms=%s queued_ms=%s before_frame_ms=%s after_frame_ms=%s\n",
        v["latency_ms"] / v["frame_ms"], name, v["span_us"], v["latency_ms"], v["frame_ms"], v["queued_ms"], v["before_frame_ms"], v["after_frame_ms"] }'
  done | sort -rn | awk 'NR <= 3' | sed 's/^/key to picture /'
  for entry in "${results[@]}"; do
    l=${entry#*|}
    awk -v l="$(echo "$l" | field latency_ms)" -v f="$(echo "$l" | field frame_ms)" 'BEGIN { if (f > 0) printf "%.4f\n", l / f }'
  done | sort -n | awk '{ r[NR] = $1; if ($1 > 1.3) over++ }
    END { if (NR) {
            printf "key to picture over 1.3 x its frame: %d of %d actions (90th percentile %.2f)\n", over, NR, r[int(NR * 0.9)]
            printf "ratio key press to picture / canvas frame: median %.2f, worst %.2f (target at most 1.3)\n", r[int((NR + 1) / 2)], r[NR] } }'
  echo "log: $log"
}

for entry in "${sets[@]}"; do
  sweep_set "${entry%%=*}" "${entry#*=}"
done
