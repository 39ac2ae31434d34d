#!/usr/bin/env bash
# Peak resident memory of a media device recording to disk, against an idle
# process: the fake device recording 45 virtual minutes of the fake
# microphone, and the ALSA device recording 60 s from the null device.
# Goal: a recording adds less than 8 MiB, whatever its length.
# Usage: bench/record_memory.sh RECORD_MEMORY [FAKE_SECONDS] [ALSA_SECONDS]
set -euo pipefail
program=$1
fake_seconds=${2:-2700}
alsa_seconds=${3:-60}
goal_kib=$((8 * 1024))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

read -r idle _ < <("$program" idle "$work")
read -r fake fake_time < <("$program" fake "$fake_seconds" "$work")
fake_bytes=$(stat -c %s "$work/Temp.wav")
rm -f "$work/Temp.wav" "$work/R.wav"
read -r alsa alsa_time < <("$program" alsa "$alsa_seconds" "$work")
alsa_bytes=$(stat -c %s "$work/Temp.wav")

echo "idle:                         ${idle} KiB peak"
echo "fake, ${fake_seconds} virtual s:    ${fake} KiB peak (+$((fake - idle))), ${fake_bytes} bytes written in ${fake_time} s"
echo "alsa null, ${alsa_seconds} s:          ${alsa} KiB peak (+$((alsa - idle))), ${alsa_bytes} bytes written in ${alsa_time} s"
status=0
for added in $((fake - idle)) $((alsa - idle)); do
  if [ "$added" -ge "$goal_kib" ]; then
    echo "record_memory: a recording added ${added} KiB, goal < ${goal_kib} KiB" >&2
    status=1
  fi
done
exit $status
