#!/usr/bin/env bash
# Start-up of mailhost with the add-in, against the same host without it.
# Usage: bench/startup.sh MAILHOST [RUNS]
# Prints the median wall time of each and their ratio, measured in one run.
set -euo pipefail
mailhost=$1
runs=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat > "$work/with.scn" <<'SCN'
registry set Software\Microsoft\Office\Outlook\Addins\Sonvera.Amp AQ sz 1
start
quit
SCN
cat > "$work/without.scn" <<'SCN'
start
quit
SCN

median_ms() {  # scenario, extra args...
  local scn=$1
  shift
  local times=()
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    "$mailhost" --script "$scn" "$@" >/dev/null
    t1=$(date +%s%N)
    times+=($(((t1 - t0) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

with=$(median_ms "$work/with.scn")
without=$(median_ms "$work/without.scn" --no-register)
echo "mailhost start to running add-in: median ${with} ms over ${runs} runs"
echo "mailhost start without add-in:    median ${without} ms over ${runs} runs"
awk -v a="$with" -v b="$without" 'BEGIN {printf "ratio with/without add-in: %.2f\n", a / b}'
