#!/usr/bin/env bash
# Usage: run_scenario.sh MAILHOST FILE.scn
# Plays FILE.scn with `MAILHOST --script`, compares its standard output with
# FILE.expected (a unified diff on mismatch) and its exit status with 0, or
# with N when one of the scenario's first comment lines is `# exit: N`.
# `# maildir: SCRIPT` there plays it on a Maildir of its own instead of the
# memory store: SCRIPT (relative to the scenario's folder) is run with the
# Maildir's path first, to make what the scenario finds there.
set -u
if [ $# -ne 2 ]; then
  echo "usage: $0 MAILHOST FILE.scn" >&2
  exit 2
fi
mailhost=$1
scenario=$2
expected=${scenario%.scn}.expected

wanted=0
maker=
while IFS= read -r line; do
  line=${line%$'\r'}
  [[ $line == \#* ]] || break
  if [[ $line =~ ^#[[:space:]]*exit:[[:space:]]*([0-9]+)[[:space:]]*$ ]]; then
    wanted=${BASH_REMATCH[1]}
  elif [[ $line =~ ^#[[:space:]]*maildir:[[:space:]]*([^[:space:]]+)[[:space:]]*$ ]]; then
    maker=$(dirname "$scenario")/${BASH_REMATCH[1]}
  fi
done <"$scenario"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
actual=$work/printed
options=()
if [ -n "$maker" ]; then
  if ! bash "$maker" "$work/Maildir"; then
    echo "$maker could not make the Maildir"
    exit 1
  fi
  options=(--maildir "$work/Maildir")
fi
"$mailhost" --script "$scenario" "${options[@]}" >"$actual"
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
