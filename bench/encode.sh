#!/usr/bin/env bash
# Stop to attached for recordings of 1, 10 and 45 minutes, against the
# encoder run alone with the same arguments on the same WAV, and the CPU the
# add-in spends while it waits for the encoder.
# Usage: bench/encode.sh MAILHOST WAIT_CPU [MINUTES...]
# A run that records and stops is timed against one that records and quits
# without stopping; the difference is what Stop costs (save, rate
# conversion, encoding, attaching), the specified 500 ms delay excluded
# because the clock of a scenario is virtual.
set -euo pipefail
mailhost=$1
wait_cpu=$2
shift 2
minutes=("$@")
[ $# -eq 0 ] && minutes=(1 10 45)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
espeak-ng -w "$work/speech.wav" "Testing one two three, this is a voice message for the benchmark."

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
for m in "${minutes[@]}"; do
  for kind in stop quit; do
    {
      echo "registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp AQ sz 1"
      echo "mic $work/speech.wav"
      echo "start"
      echo "new w1"
      echo "activate w1"
      echo "click w1 Record"
      # A second short of the length: at 45 minutes the limit stops the recording itself.
      echo "wait $((m * 60 - 1))s"
      if [ $kind = stop ]; then echo "click w1 Stop"; echo "wait 500ms"; echo "show-mail w1"; fi
      echo "quit"
    } > "$work/$kind.scn"
  done
  t0=$(now_ms); "$mailhost" --script "$work/quit.scn" --data "$work/q" >/dev/null; t1=$(now_ms)
  "$mailhost" --script "$work/stop.scn" --data "$work/s" >/dev/null; t2=$(now_ms)
  quit_ms=$((t1 - t0)); stop_ms=$((t2 - t1)); cost=$((stop_ms - quit_ms))
  # The same length of the same looped speech at the encoder's rate, encoded alone.
  sox -q -V1 "$work/speech.wav" -r 11025 -c 1 "$work/alone.wav" repeat 99999 trim 0 $((m * 60 - 1))
  t3=$(now_ms); lame -s 11025 -m m -a --quiet -p -o "$work/alone.wav" "$work/alone.mp3"; t4=$(now_ms)
  alone=$((t4 - t3))
  awk -v m="$m" -v c="$cost" -v a="$alone" \
    'BEGIN {printf "%2d min: stop to attached %d ms, lame alone %d ms, ratio %.2f\n", m, c, a, c / a}'
  [ "$m" = "${minutes[0]}" ] && "$wait_cpu" "$work/alone.wav"
  rm -rf "$work/q" "$work/s" "$work/alone.mp3"
done
