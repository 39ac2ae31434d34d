#!/usr/bin/env bash
# The waveform of a 45-minute voice message, uncached (goal: under 1 s): the
# add-in's own format (11,025 Hz mono) and a 128 kbit/s stereo file from
# elsewhere. Usage: bench/waveform.sh WAVEFORM
set -euo pipefail
waveform=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
espeak-ng -w "$work/speech.wav" "Testing one two three, this is a voice message for the benchmark."
sox -q -V1 "$work/speech.wav" -r 11025 -c 1 "$work/voice.wav" repeat 99999 trim 0 2700
lame --quiet -m m "$work/voice.wav" "$work/voice.mp3"
sox -q -V1 "$work/speech.wav" -r 44100 -c 2 "$work/music.wav" repeat 99999 trim 0 2700
lame --quiet -b 128 "$work/music.wav" "$work/music.mp3"
rm "$work"/*.wav
for file in voice music; do
  echo "$file.mp3 ($(( $(stat -c %s "$work/$file.mp3") / 1024 )) KiB): $("$waveform" "$work/$file.mp3")"
done
