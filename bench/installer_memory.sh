#!/usr/bin/env bash
# Peak memory of mailhost while the update check downloads a 250 MB installer
# from a loopback server, against an idle start (the offer answered No, so
# nothing is downloaded). Goal: the download adds less than 32 MiB.
# Usage: bench/installer_memory.sh MAILHOST [MEGABYTES]
# Needs python3 (the server) and GNU time (package `time`).
set -euo pipefail
mailhost=$1
megabytes=${2:-250}
goal_kib=$((32 * 1024))
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A script that marks that it ran, padded to size: the shell stops reading at
# its exit and never parses the padding.
mkdir -p "$work/srv/SonveraVersions" "$work/tmp"
printf '1.0.28' > "$work/srv/SonveraVersions/SonveraVersion.txt"
installer="$work/srv/SonveraVersions/Sonvera2000_Install.exe"
printf '#!/bin/sh\n: > "%s/installed"\nexit 0\n' "$work" > "$installer"
head -c "$((megabytes * 1024 * 1024))" /dev/zero >> "$installer"

python3 -u -m http.server --bind 127.0.0.1 --directory "$work/srv" 0 > "$work/server.log" 2>&1 &
server_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "installer_memory: the server did not start" >&2; exit 1; }

peak_kib() {  # answer
  cat > "$work/run.scn" <<SCN
registry set Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp AQ sz 1
answer $1
start
quit
SCN
  SONVERA_PRODUCT_HOST="http://127.0.0.1:$port" TMPDIR="$work/tmp" \
    /usr/bin/time -f %M -o "$work/peak" "$mailhost" --script "$work/run.scn" > "$work/out.txt" 2>&1 ||
    { echo "installer_memory: mailhost failed:" >&2; cat "$work/out.txt" >&2; exit 1; }
  cat "$work/peak"
}

idle=$(peak_kib No)
download=$(peak_kib Yes)
for _ in $(seq 100); do [ -e "$work/installed" ] && break; sleep 0.1; done
[ -e "$work/installed" ] || { echo "installer_memory: the installer never ran" >&2; exit 1; }
extra=$((download - idle))
echo "mailhost peak RSS, idle start:             ${idle} KiB"
echo "mailhost peak RSS, ${megabytes} MB installer download: ${download} KiB"
awk -v extra="$extra" -v goal="$goal_kib" 'BEGIN {
  printf "difference: %.1f MiB: %s the 32 MiB goal\n", extra / 1024, (extra < goal ? "within" : "OVER")
}'
