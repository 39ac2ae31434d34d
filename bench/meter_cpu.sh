#!/usr/bin/env bash
# CPU used by mailhost while the level meter captures from the real device
# (ALSA; its null device on a machine without a sound card) for a while,
# against the same time with a mail window open and nothing recording.
# Usage: bench/meter_cpu.sh MAILHOST ADDIN [SECONDS]
set -euo pipefail
mailhost=$1
addin=$2
seconds=${3:-60}
work=$(mktemp -d)
export XDG_DATA_HOME=$work/data
trap 'exec 3>&- || true; rm -rf "$work"' EXIT
"$mailhost" --register "$addin" >/dev/null
hz=$(getconf CLK_TCK)

ticks() {  # pid: user + system clock ticks so far
  awk '{print $14 + $15}' "/proc/$1/stat"
}

cpu_share() {  # commands after the window opens
  mkfifo "$work/in"
  "$mailhost" <"$work/in" >"$work/out" 2>&1 &
  local pid=$!
  exec 3>"$work/in"
  printf 'new w1\nactivate w1\n%s\n' "$1" >&3
  sleep 2
  local before
  before=$(ticks "$pid")
  sleep "$seconds"
  local after
  after=$(ticks "$pid")
  printf 'click w1 Stop\n' >&3
  sleep 2
  printf 'show-mail w1\nquit\n' >&3
  exec 3>&-
  wait "$pid" || true
  rm -f "$work/in"
  awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}'
}

idle=$(cpu_share "show-mail w1")
meter=$(cpu_share "click w1 Record")
grep -q "Sonvera.mp3" "$work/out" || { echo "the recording was not attached" >&2; exit 1; }
echo "mailhost CPU over ${seconds} s: ${meter}% of one core with the meter capturing, ${idle}% idle"
