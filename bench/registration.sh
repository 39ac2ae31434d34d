#!/usr/bin/env bash
# Registering the add-in against unregistering it where it was never
# registered (the same start, the same library loaded, nothing written), each
# in a fresh data folder on the disk under /var/tmp (not tmpfs: the registry's
# fsyncs are what is measured).
# Usage: bench/registration.sh MAILHOST ADDIN [RUNS]
set -euo pipefail
mailhost=$1
addin=$2
runs=${3:-20}
work=$(mktemp -d /var/tmp/sonvera-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

median_ms() {  # command...
  local times=()
  for i in $(seq "$runs"); do
    local t0 t1
    export XDG_DATA_HOME=$work/$RANDOM-$i
    t0=$(date +%s%N)
    "$@" </dev/null >/dev/null 2>&1
    t1=$(date +%s%N)
    times+=($(((t1 - t0) / 1000)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

registering=$(median_ms "$mailhost" --register "$addin")
plain=$(median_ms "$mailhost" --unregister "$addin")
echo "first start registering the add-in: median ${registering} ms over ${runs} runs"
echo "the same with nothing to write:     median ${plain} ms over ${runs} runs"
awk -v a="$registering" -v b="$plain" 'BEGIN {printf "ratio: %.2f\n", a / b}'
