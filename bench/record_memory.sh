#!/usr/bin/env bash
# Peak resident memory of mailhost over a 45-minute recording (virtual
# time, real samples from a spoken microphone file, written to disk and
# encoded at the end), against a start that records nothing.
# Usage: bench/record_memory.sh MAILHOST [MINUTES]
set -euo pipefail
mailhost=$1
minutes=${2:-45}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
espeak-ng -w "$work/speech.wav" "Testing the memory of a long recording, one two three."

cat > "$work/idle.scn" <<SCN
registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp AQ sz 1
start
new w1
activate w1
quit
SCN
cat > "$work/record.scn" <<SCN
registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp AQ sz 1
mic $work/speech.wav
start
new w1
activate w1
click w1 Record
wait ${minutes}m
$([ "$minutes" -lt 45 ] && echo "click w1 Stop")
wait 500ms
show-mail w1
quit
SCN

peak_kib() {  # scenario
  /usr/bin/time -f '%M' -o "$work/peak" "$mailhost" --script "$1" >"$work/out" 2>/dev/null
  cat "$work/peak"
}
idle=$(peak_kib "$work/idle.scn")
recording=$(peak_kib "$work/record.scn")
grep -q 'Sonvera.mp3' "$work/out" || { echo "the recording was not attached" >&2; exit 1; }
echo "peak RSS idle: ${idle} KiB; over a ${minutes}-minute recording: ${recording} KiB"
awk -v a="$recording" -v b="$idle" 'BEGIN {printf "difference %.1f MiB (ratio %.2f)\n", (a - b) / 1024, a / b}'
