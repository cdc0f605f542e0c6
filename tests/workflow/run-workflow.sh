#!/usr/bin/env bash
# Runs workflow/Snakefile as a lab would, from an unrelated working directory with relative paths, on
# two synthetic sessions (one nested a folder deeper), and checks the spike files and out/summary.csv.
#   run-workflow.sh SKELVANE_CLI SOURCE_DIR WORK_DIR
# Exits 77 (skipped) only when snakemake is not installed.
set -euo pipefail
cli=$1
source_dir=$2
work=$3
if ! command -v snakemake >/dev/null; then
  echo "snakemake is not installed (scripts/install-deps.sh installs it): workflow test skipped"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/archive/ratA/day1" "$work/archive/ratB" "$work/elsewhere"
"$cli" synth --out "$work/archive/ratA/day1" --prefix TT1 --channels 4 --seconds 2 --seed 1 >/dev/null
"$cli" synth --out "$work/archive/ratB" --prefix TT2 --channels 4 --seconds 2 --seed 2 >/dev/null
# Four more files in the nested session make it two tetrodes.
"$cli" synth --out "$work/archive/ratA/day1" --prefix TT3 --channels 4 --seconds 2 --seed 3 >/dev/null

cd "$work/elsewhere"
snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet \
  --config archive=../archive out=../out channels=4 threshold=60 cli="$cli"

fail() { echo "FAILED: $*"; exit 1; }
out=$work/out
[ -f "$out/summary.csv" ] || fail "no out/summary.csv"
header=$(head -1 "$out/summary.csv")
[[ $header == session,* ]] || fail "summary.csv does not start with a session column: $header"
spike_files=$(find "$out" -name '*.ktt' | wc -l)
[ "$spike_files" -eq 3 ] || fail "expected 3 tetrode files, found $spike_files"
rows=$(($(wc -l <"$out/summary.csv") - 1))
[ "$rows" -eq "$spike_files" ] || fail "summary.csv has $rows rows for $spike_files spike files"
[ "$(grep -c '^ratA/day1,' "$out/summary.csv")" -eq 2 ] || fail "ratA/day1 should have 2 rows"
[ "$(grep -c '^ratB,' "$out/summary.csv")" -eq 1 ] || fail "ratB should have 1 row"
[ -z "$(find "$work/elsewhere" -mindepth 1 -not -path '*/.snakemake*')" ] || fail "files written in the working directory"

# The same archive with a threshold from each group's noise level, two cores per session.
snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet \
  --config archive=../archive out=../out-noise channels=4 noise_threshold=5 session_cores=2 cli="$cli"
noise_rows=$(($(wc -l <"$work/out-noise/summary.csv") - 1))
[ "$noise_rows" -eq 3 ] || fail "noise-threshold summary has $noise_rows rows, not 3"
column=$(head -1 "$work/out-noise/summary.csv" | tr ',' '\n' | grep -n '^noise_level$' | cut -d: -f1)
[ -n "$column" ] && [ -n "$(tail -n +2 "$work/out-noise/summary.csv" | cut -d, -f"$column" | grep -v '^$')" ] ||
  fail "noise-threshold summary gives no noise levels"

# The same sessions saved as .skvs files (the recordings in name order, the extraction properties in
# each): the same spike files and summary.
mkdir -p "$work/sessions/ratA"
write_session() {  # FILE FOLDER_OF_RECORDINGS
  python3 - "$1" "$2" <<'SESSION'
import glob, json, os, sys
recordings = sorted(glob.glob(os.path.join(sys.argv[2], "*.kcs")))
json.dump({"format": "skelvane-session", "version": 1, "recordings": [{"path": p} for p in recordings],
           "extraction": {"channels": 4, "threshold": 60}}, open(sys.argv[1], "w"))
SESSION
}
write_session "$work/sessions/ratA/day1.skvs" "$work/archive/ratA/day1"
write_session "$work/sessions/ratB.skvs" "$work/archive/ratB"
snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet \
  --config sessions=../sessions out=../out-sessions cli="$cli"
cmp -s "$out/summary.csv" <(sed 's|/out-sessions/|/out/|g' "$work/out-sessions/summary.csv") ||
  fail "the sessions' summary differs from the archive's"

# Through the Slurm profile, with an sbatch that records its arguments and runs the job script here.
mkdir -p "$work/bin"
cat >"$work/bin/sbatch" <<'SBATCH'
#!/usr/bin/env bash
echo "$*" >>"$(dirname "$0")/submitted"
bash "${@: -1}" >/dev/null 2>&1 &
echo "Submitted batch job $$"
SBATCH
chmod +x "$work/bin/sbatch"
PATH="$work/bin:$PATH" snakemake -s "$source_dir/workflow/Snakefile" --profile "$source_dir/workflow/slurm" --quiet \
  --latency-wait 5 --config archive=../archive out=../out-slurm channels=4 threshold=60 cli="$cli" >/dev/null
cmp -s "$out/summary.csv" <(sed 's|/out-slurm/|/out/|g' "$work/out-slurm/summary.csv") ||
  fail "the Slurm profile's summary differs from the workstation run's"
[ "$(grep -c -- '--mem=.* --time=' "$work/bin/submitted")" -eq 2 ] || fail "expected one sbatch job per session"
# Session folders and recordings named with blanks, quotes, $(), a line break and other scripts, beside
# a session whose name a shell would make of one of them: each session's spike files land in its own
# folder, and nothing in a name is run.
hostile=$work/hostile
names=('s1' 's1$(touch PWNED)' "it's \"quoted\"" 'two  words' $'line\nbreak' 'Überblick/日本語 ёж')
for i in "${!names[@]}"; do
  mkdir -p "$hostile/archive/${names[$i]}"
  "$cli" synth --out "$hostile/archive/${names[$i]}" --prefix "T$i \$(touch PWNED)'\"" --channels 1 --seconds 1 \
    --seed $((i + 10)) >/dev/null
done
(cd "$hostile" && snakemake -s "$source_dir/workflow/Snakefile" --cores 2 --quiet \
  --config archive=archive out=out channels=1 threshold=60 cli="$cli" >/dev/null)
[ -z "$(find "$work" -name PWNED)" ] || fail "a name was run as a command"
python3 - "$hostile" "${names[@]}" <<'CHECK' || fail "hostile names: spike files or summary rows out of place"
import csv, os, sys
hostile, names = sys.argv[1], sys.argv[2:]
out = os.path.join(hostile, "out")
for name in names:
    recordings = sorted(f for f in os.listdir(os.path.join(hostile, "archive", name)) if f.endswith(".kcs"))
    expected = sorted("SpikeFile_" + f.split(".")[0] + ".kse" for f in recordings)
    found = sorted(f for f in os.listdir(os.path.join(out, name)) if f.endswith(".kse"))
    assert found == expected, (name, found, expected)
with open(os.path.join(out, "summary.csv"), newline="", encoding="utf-8") as f:
    sessions = [row["session"] for row in csv.DictReader(f)]
assert sorted(sessions) == sorted(names), sessions
CHECK

echo "workflow: 2 sessions, $spike_files spike files, $rows summary rows; with noise thresholds $noise_rows rows;"
echo "through the Slurm profile: $(wc -l <"$work/bin/submitted") sbatch jobs; ${#names[@]} sessions with hostile names"
