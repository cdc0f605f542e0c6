#!/usr/bin/env bash
# Writes the seed corpus of every fuzz target into OUT/<target>/, generated afresh each time from
# `skelvane-cli synth` (small recordings: with and without header, gaps, late starts, corrupt tails)
# and header variants cut from them. Nothing of it is committed.
#   fuzz/make-corpus.sh SKELVANE_CLI OUT
set -euo pipefail
cli=$1
out=$2
rm -rf "$out"
mkdir -p "$out"/{recordings,header_lookup,file_type,data_source,csc_plot,extraction,detection_preview,settings_file,spike_file,summary_columns,column_bars,summary_file,summary_cache}
rec=$out/recordings

# A few hundred samples a second keeps each seed a few records long: fast to run, all paths reached.
synth() { "$cli" synth --out "$rec/$1" --channels 1 --units 2 --spike-rate 20 "${@:2}" >/dev/null; }
slow=(--seconds 2 --rate 2048)
synth plain "${slow[@]}" --seed 1
synth noheader "${slow[@]}" --seed 2 --no-header
synth partial "${slow[@]}" --seed 3 --partial 300
synth gaps "${slow[@]}" --seed 4 --gap 1:250000 --gap 2:1
synth late "${slow[@]}" --seed 5 --start 9223372036000000000
synth early "${slow[@]}" --seed 6 --start -9223372036000000000
synth fast --seconds 1 --rate 48000 --seed 7 --noise 400

files=("$rec"/*/*.kcs)
header_size=16384
# Header variants: cut inside the header, the header alone, a key pushed to its very last bytes.
head -c 5000 "$rec/plain/TT1a.kcs" >"$rec/short-header.kcs"
head -c "$header_size" "$rec/plain/TT1a.kcs" >"$rec/header-only.kcs"
{
  printf '######## Kestrelon Data File Header\r\n'
  printf -- '-SamplingFrequency 2048\r\n'
  head -c $((header_size - 37 - 25 - 14)) /dev/zero | tr '\0' ' '
  printf -- '-ADMaxValue 77'
  tail -c +$((header_size + 1)) "$rec/plain/TT1a.kcs"
} >"$rec/key-at-end.kcs"
: >"$rec/empty.kcs"
files+=("$rec/short-header.kcs" "$rec/header-only.kcs" "$rec/key-at-end.kcs" "$rec/empty.kcs")

n=0
for f in "${files[@]}"; do
  n=$((n + 1))
  for target in data_source csc_plot extraction detection_preview; do cp "$f" "$out/$target/seed$n"; done
  # The file type target reads a first byte that picks the extension (0: .kcs, 8: .txt).
  { printf '\000'; cat "$f"; } >"$out/file_type/seed$n"
  { printf '\010'; head -c 20000 "$f"; } >"$out/file_type/seed$n-txt"
done

# Header lookup: first byte = key length (+64 for the end layout, +192 to repeat the body), the key,
# then the header's bytes.
for key in -SamplingFrequency -ADMaxValue -ADBitVolts -Missing; do
  len=${#key}
  for layout in 0 64 192; do
    {
      printf "\\$(printf '%03o' $((len + layout)))"
      printf '%s' "$key"
      head -c "$header_size" "$rec/key-at-end.kcs"
    } >"$out/header_lookup/$key-$layout"
  done
done

# Settings: the 104-byte section, whole, cut short and with extremes in every field.
head -c 104 /dev/zero >"$out/settings_file/zeros"
head -c 104 /dev/zero | tr '\0' '\377' >"$out/settings_file/all-ones"
head -c 50 /dev/zero | tr '\0' '\001' >"$out/settings_file/short"
for i in $(seq 1 26); do printf '\024\000\000\000'; done >"$out/settings_file/twenties"
# Summary columns: runs of four bytes (records, timing, its amount, samples). Short runs of every kind,
# then long runs that reach the coarsest nodes, then recordings cut from the generated files' bytes.
runs() { for r in "$@"; do printf "\\$(printf '%03o' "${r%%,*}")\\$(printf '%03o' "$(echo "$r" | cut -d, -f2)")\\001\\$(printf '%03o' "${r##*,}")"; done; }
runs 15,0,0 3,3,1 9,4,2 2,5,3 1,6,4 4,7,0 >"$out/summary_columns/short-runs"
runs 200,0,0 255,1,3 130,6,1 220,2,2 >"$out/summary_columns/long-runs"
runs 250,0,4 5,7,0 250,0,1 >"$out/summary_columns/going-back"
head -c 400 "$rec/plain/TT1a.kcs" | tail -c 200 >"$out/summary_columns/from-plain"
# Bar masks: bars of four bytes (column step, two ends, their spread); quiet bands, wide swings, jumps.
head -c 3000 /dev/zero | tr '\0' '\001' >"$out/column_bars/quiet-band"
head -c 3000 "$rec/fast/TT1a.kcs" | tail -c 2000 >"$out/column_bars/from-samples"
{ for i in $(seq 1 300); do printf '\001\200\177\377\371\005\003\020'; done; } >"$out/column_bars/swings-and-jumps"
# Spike files of every group size, extracted from a small tetrode with a low threshold; the first byte
# picks the extension (0: .ktt, 1: .kst, 2: .kse, 3: .dat), as whole files, cut inside a record and as
# the header alone.
"$cli" synth --out "$rec/tetrode" --channels 4 --seconds 2 --rate 4096 --spike-rate 20 --seed 8 >/dev/null
for group in 1 2 4; do
  mkdir -p "$rec/spikes$group"
  "$cli" extract "$rec"/tetrode/*.kcs --channels "$group" --threshold 40 --type both --outdir "$rec/spikes$group" \
    --quiet >/dev/null
done
for f in "$rec"/spikes*/*; do
  case "$f" in *.ktt) code='\000' ;; *.kst) code='\001' ;; *.kse) code='\002' ;; *) code='\003' ;; esac
  name=$(basename "$f")
  { printf "$code"; cat "$f"; } >"$out/spike_file/$name"
  { printf "$code"; head -c -7 "$f"; } >"$out/spike_file/$name-cut"
  { printf "$code"; head -c "$header_size" "$f"; } >"$out/spike_file/$name-header"
done
{ printf '\004'; head -c 20000 "$rec/plain/TT1a.kcs"; } >"$out/spike_file/recording"
# Kept summaries: the snapshot of a recording long enough to need one keeps it in a cache of our own.
# A first byte of 0 leaves the file as it is, 1 makes its checksums right after the fuzzer's changes.
"$cli" synth --out "$rec/long" --channels 1 --seconds 1300 --rate 2048 --seed 8 >/dev/null
XDG_CACHE_HOME="$(cd "$rec" && pwd)/cache" "$cli" snapshot --width 300 --height 200 -o "$rec/long.bmp" "$rec/long/TT1a.kcs" >/dev/null
for kept in "$rec"/cache/skelvane/*.sum; do
  { printf '\000'; cat "$kept"; } >"$out/summary_file/kept"
  { printf '\001'; cat "$kept"; } >"$out/summary_file/kept-resealed"
  { printf '\000'; head -c 5000 "$kept"; } >"$out/summary_file/kept-short"
  { printf '\001'; head -c 4096 "$kept"; } >"$out/summary_file/header-only"
done
# The summary cache: a handful of layouts of a hostile folder, each input's hash choosing what lies
# where; the bytes written over the recording's own summary come from a kept one.
for n in 1 2 3 4 5 6 7 8; do
  head -c $((n * 37)) "$rec/plain/TT1a.kcs" | tail -c 29 >"$out/summary_cache/layout$n"
done
for kept in "$rec"/cache/skelvane/*.sum; do head -c 300 "$kept" >"$out/summary_cache/kept-header"; done
rm -rf "$rec"
