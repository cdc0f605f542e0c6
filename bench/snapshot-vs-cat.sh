#!/usr/bin/env bash
# Times `skelvane-cli snapshot` of whole recordings against `cat` of the same files, warm, in one run,
# and prints the ratio and the snapshot's peak resident set. Every run builds its summaries in memory
# (--no-cache): the user's summary cache is neither read nor written.
#   bench/snapshot-vs-cat.sh CLI FOLDER [runs]   e.g. bench/snapshot-vs-cat.sh build-release/cli/skelvane-cli data/spiky
set -euo pipefail
cli=$1
folder=$2
runs=${3:-3}
files=("$folder"/*.kcs)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe

cat "${files[@]}" > /dev/null  # warm the page cache
best() { sort -n | head -1; }
cat_s=$(for _ in $(seq "$runs"); do /usr/bin/time -f %e cat "${files[@]}" 2>&1 >/dev/null; done | best)
snap_s=$(for _ in $(seq "$runs"); do
  /usr/bin/time -f '%e %M' -o "$out/time" "$cli" snapshot --no-cache --width 1600 --height 1000 -o "$out/frame.bmp" "${files[@]}" >/dev/null
  cat "$out/time"
done | sort -n | head -1)
read -r snap_e snap_kb <<<"$snap_s"
echo "cat of ${#files[@]} files: ${cat_s} s (best of $runs)"
echo "snapshot 1600x1000 of the whole recording: ${snap_e} s (best of $runs), peak resident set ${snap_kb} KB"
awk -v s="$snap_e" -v c="$cat_s" 'BEGIN { printf "snapshot / cat = %.2f\n", s / c }'
