#!/usr/bin/env bash
# Stop to attached for recordings of speech of 1, 10 and 45 minutes at the
# default quality, with the voice brought to its loudness and without (the
# settings key's Normalise=0), against the encoder run alone with the same
# arguments on the same speech; and the CPU the add-in spends while it waits
# for the encoder.
# Usage: bench/encode.sh MAILHOST WAIT_CPU [MINUTES...]
# RUNS=N times each (default 3) in turns, so a drift of the machine's speed
# falls on all alike; the medians are printed.
# A run that records and stops is timed against one that records and quits
# without stopping; the difference is what Stop costs (save, loudness, rate
# conversion, encoding, attaching); the recorder's 500 ms before it saves
# is left out, as the clock of a scenario is virtual.
set -euo pipefail
mailhost=$1
wait_cpu=$2
shift 2
minutes=("$@")
[ $# -eq 0 ] && minutes=(1 10 45)
runs=${RUNS:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
espeak-ng -w "$work/speech.wav" "Testing one two three, this is a voice message for the benchmark."
key='Software\Microsoft\Office\Outlook\Addins\Sonvera.Amp'

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
timed() {
  local t0
  t0=$(now_ms)
  "$@" >/dev/null
  echo $(($(now_ms) - t0))
}

for m in "${minutes[@]}"; do
  for kind in quit on off; do
    {
      echo "registry set $key AQ sz 1"
      [ $kind = off ] && echo "registry set $key Normalise sz 0"
      echo "mic $work/speech.wav"
      echo "start"
      echo "new w1"
      echo "activate w1"
      echo "click w1 Record"
      # A second short of the length: at 45 minutes the limit stops the recording itself.
      echo "wait $((m * 60 - 1))s"
      if [ $kind != quit ]; then
        echo "click w1 Stop"
        echo "wait 500ms"
        echo "show-mail w1"
      fi
      echo "quit"
    } >"$work/$kind.scn"
  done
  # The same length of the same looped speech at the encoder's rate, encoded alone.
  sox -q -V1 "$work/speech.wav" -r 11025 -c 1 "$work/alone.wav" repeat 99999 trim 0 $((m * 60 - 1))
  quit=() on=() off=() alone=()
  for ((r = 0; r < runs; r++)); do
    for kind in quit on off; do
      rm -rf "$work/data"
      ms=$(timed "$mailhost" --script "$work/$kind.scn" --data "$work/data")
      eval "$kind+=($ms)"
    done
    alone+=("$(timed lame -s 11025 -m m -a --quiet -p -o "$work/alone.wav" "$work/alone.mp3")")
  done
  awk -v m="$m" -v q="$(median "${quit[@]}")" -v n="$(median "${on[@]}")" \
    -v f="$(median "${off[@]}")" -v a="$(median "${alone[@]}")" 'BEGIN {
      printf "%2d min: encoder alone %d ms; stop to attached %d ms normalised (%.2fx the encoder),", m, a, n - q, (n - q) / a
      printf " %d ms as recorded (%.2fx); normalised / as recorded %.3f\n", f - q, (f - q) / a, (n - q) / (f - q)
    }'
  [ "$m" = "${minutes[0]}" ] && "$wait_cpu" "$work/alone.wav"
  rm -rf "$work/data" "$work/alone.mp3"
done
