#!/usr/bin/env bash
# The dialog's quality samples: one spoken sentence at each recording rate.
set -euo pipefail
dir=$1
speech=$(mktemp --suffix=.wav)
trap 'rm -f "$speech"' EXIT
espeak-ng -v en -s 150 -w "$speech" "This is how your voice messages will sound at this quality."
for pair in 1:8000 2:11025 4:22050 8:44100; do
  sox -q "$speech" -r "${pair#*:}" -b 16 -c 1 "$dir/Probe${pair%%:*}.wav"
done
