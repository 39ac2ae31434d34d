#!/usr/bin/env bash
# Usage: run_scenario.sh MAILHOST FILE.scn
# Plays FILE.scn with `MAILHOST --script`, compares its standard output with
# FILE.expected (a unified diff on mismatch) and its exit status with 0, or
# with N when one of the scenario's first comment lines is `# exit: N`.
# `# maildir: SCRIPT` there plays it on a Maildir of its own instead of the
# memory store: SCRIPT (relative to the scenario's folder) is run with the
# Maildir's path first, to make what the scenario finds there. `# addin:
# probe` plays it with the probe add-in ($MAILHOST_PROBE) instead of the
# add-in built with mailhost. Each line of FILE.err, when there is one, must
# be in what the run wrote to standard error; a line that starts with ! must
# not be.
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
options=()
while IFS= read -r line; do
  line=${line%$'\r'}
  [[ $line == \#* ]] || break
  if [[ $line =~ ^#[[:space:]]*exit:[[:space:]]*([0-9]+)[[:space:]]*$ ]]; then
    wanted=${BASH_REMATCH[1]}
  elif [[ $line =~ ^#[[:space:]]*maildir:[[:space:]]*([^[:space:]]+)[[:space:]]*$ ]]; then
    maker=$(dirname "$scenario")/${BASH_REMATCH[1]}
  elif [[ $line =~ ^#[[:space:]]*addin:[[:space:]]*probe[[:space:]]*$ ]]; then
    options+=(--addin "$MAILHOST_PROBE")
  fi
done <"$scenario"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
actual=$work/printed
if [ -n "$maker" ]; then
  if ! bash "$maker" "$work/Maildir"; then
    echo "$maker could not make the Maildir"
    exit 1
  fi
  options+=(--maildir "$work/Maildir")
fi
"$mailhost" --script "$scenario" "${options[@]}" >"$actual" 2>"$work/stderr"
status=$?

failed=0
if [ ! -f "$expected" ]; then
  echo "missing $expected; the run printed:"
  cat "$actual"
  failed=1
elif ! diff -u --label "$expected" --label "printed" "$expected" "$actual"; then
  failed=1
fi
if [ -f "${scenario%.scn}.err" ]; then
  while IFS= read -r said; do
    if [[ $said == '!'* ]]; then
      if grep -qF -- "${said#!}" "$work/stderr"; then
        echo "standard error has: ${said#!}"
        failed=1
      fi
    elif [ -n "$said" ] && ! grep -qF -- "$said" "$work/stderr"; then
      echo "standard error lacks: $said"
      failed=1
    fi
  done <"${scenario%.scn}.err"
fi
if [ "$status" -ne "$wanted" ]; then
  echo "exit status $status, expected $wanted"
  failed=1
fi
if [ "$failed" -ne 0 ]; then
  echo "standard error:"
  cat "$work/stderr"
fi
exit $failed
