#!/usr/bin/env bash
# Usage: run_scenario.sh MAILHOST FILE.scn
# Plays FILE.scn with `MAILHOST --script`, compares its standard output with
# FILE.expected (a unified diff on mismatch) and its exit status with 0, or
# with N when the scenario's first line is `# exit: N`.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 MAILHOST FILE.scn" >&2
  exit 2
fi
mailhost=$1
scenario=$2
expected=${scenario%.scn}.expected

wanted=0
first=$(head -n 1 "$scenario" | tr -d '\r')
if [[ $first =~ ^#[[:space:]]*exit:[[:space:]]*([0-9]+)[[:space:]]*$ ]]; then
  wanted=${BASH_REMATCH[1]}
fi

actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
"$mailhost" --script "$scenario" >"$actual"
status=$?

failed=0
if [ ! -f "$expected" ]; then
  echo "missing $expected; the run printed:"
  cat "$actual"
  failed=1
elif ! diff -u --label "$expected" --label "printed" "$expected" "$actual"; then
  failed=1
fi
if [ "$status" -ne "$wanted" ]; then
  echo "exit status $status, expected $wanted"
  failed=1
fi
exit $failed
