#!/usr/bin/env bash
# A user's first start (the add-in is registered, loads, writes its defaults
# and offers the tutorial) against a later start of the same user, where the
# registry already holds all of it and nothing is written. Data folders are
# on the disk under /var/tmp (not tmpfs: the registry's fsyncs count).
# Usage: bench/first_start.sh MAILHOST [RUNS]
set -euo pipefail
mailhost=$1
runs=${2:-20}
work=$(mktemp -d /var/tmp/sonvera-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
printf 'answer No\nstart\nquit\n' > "$work/first.scn"
printf 'start\nquit\n' > "$work/again.scn"
# The update check must not wait on a network this machine lacks.
export SONVERA_PRODUCT_HOST=http://127.0.0.1:9

first=() again=()
for i in $(seq "$runs"); do
  fresh=$work/first-$i
  t0=$(date +%s%N)
  "$mailhost" --script "$work/first.scn" --data "$fresh" </dev/null >/dev/null
  t1=$(date +%s%N)
  first+=($(((t1 - t0) / 1000)))
  # The same user again: registered, defaults written, tutorial answered.
  t0=$(date +%s%N)
  "$mailhost" --script "$work/again.scn" --data "$fresh" --no-register </dev/null >/dev/null
  t1=$(date +%s%N)
  again+=($(((t1 - t0) / 1000)))
  rm -rf "$fresh"
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'; }
a=$(median "${first[@]}")
b=$(median "${again[@]}")
echo "first start (register, defaults, tutorial offered): median ${a} ms over ${runs} runs"
echo "later start, nothing to write:                      median ${b} ms over ${runs} runs"
awk -v a="$a" -v b="$b" 'BEGIN {printf "ratio: %.2f\n", a / b}'
