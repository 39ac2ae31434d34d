#!/usr/bin/env bash
# The page's server under load and with large mail: /state latency with 20
# clients asking at once while 8 pages follow the event stream (and the state
# changes ten times a second), peak memory (VmHWM) after a 200 MB POST,
# mailhost's CPU while a mail with a 200 MB attachment is selected, and the
# size of /state with a 50 MB text selected.
# Usage: bench/page_limits.sh MAILHOST ADDIN [SECONDS]
set -euo pipefail
mailhost=$1
addin=$2
seconds=${3:-10}
work=$(mktemp -d /var/tmp/sonvera-limits.XXXXXX)
pid=
streams=()
cleanup() {
  for s in "${streams[@]}"; do kill "$s" 2>/dev/null || true; done
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A received mail with a 200 MB attachment and one with a 50 MB text, beside a small one.
# They are moved in after the POST is measured, so that its figure is its own.
/usr/bin/python3 - "$work/data/Maildir" "$work/later" <<'PY'
import base64, os, sys
root, later = sys.argv[1], sys.argv[2]
os.makedirs(later)
for sub in ("", ".Sent", ".Drafts"):
    for part in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(root, sub, part), exist_ok=True)
head = ("From: Kim <kim@example.org>\nTo: you@localhost\nSubject: {}\n"
        "Date: Tue, 14 Nov 2023 22:13:20 +0000\nMessage-ID: <{}@example.org>\nMIME-Version: 1.0\n")
with open(os.path.join(later, "1700000000.big.bench:2,S"), "w") as f:
    f.write(head.format("A long recording", "big") + "Content-Type: multipart/mixed; boundary=b\n\n"
            "--b\nContent-Type: text/plain\n\nListen.\n--b\n"
            "Content-Type: audio/mpeg; name=long.mp3\nContent-Disposition: attachment; filename=long.mp3\n"
            "Content-Transfer-Encoding: base64\n\n")
    chunk = base64.encodebytes(os.urandom(57 * 1024)).decode()
    for _ in range(200 * 1024 * 1024 // (57 * 1024)):
        f.write(chunk)
    f.write("--b--\n")
with open(os.path.join(later, "1700000001.text.bench:2,S"), "w") as f:
    f.write(head.format("A long text", "text") + "Content-Type: text/plain; charset=utf-8\n\n")
    line = "All work and no play makes a long mail; " * 2 + "\n"
    for _ in range(50 * 1024 * 1024 // len(line)):
        f.write(line)
with open(os.path.join(root, "cur", "1700000002.small.bench:2,S"), "w") as f:
    f.write(head.format("Short", "small") + "\nSee you.\n")
PY
source "$(dirname "$0")/page_start.sh"
start_page "$mailhost" "$addin" "$work/data" "$work/out"
post() { curl -s -o /dev/null -H "$auth" -X POST --data-binary "$2" "${base}$1"; }
kib() { awk '/^'"$1"':/ {print $2}' "/proc/$pid/status"; }
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }

# 8 pages following the state, which changes ten times a second, and 20
# clients asking for it as fast as they can.
for _ in $(seq 8); do
  curl -s -N -H "$auth" "${base}events" >/dev/null &
  streams+=($!)
done
sleep 1
latency=$(/usr/bin/python3 - "$base" "$token" "$seconds" <<'PY'
import http.client, sys, threading, time, urllib.parse
base, token, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
where = urllib.parse.urlsplit(base)
headers = {"Authorization": "Bearer " + token}
times, failures, end = [], [0], time.monotonic() + seconds
lock = threading.Lock()

def client():
    connection = http.client.HTTPConnection(where.hostname, where.port, timeout=30)
    while time.monotonic() < end:
        start = time.perf_counter()
        try:
            connection.request("GET", "/state", headers=headers)
            reply = connection.getresponse()
            reply.read()
            ok = reply.status == 200
        except OSError:
            connection.close()
            connection = http.client.HTTPConnection(where.hostname, where.port, timeout=30)
            ok = False
        with lock:
            if ok:
                times.append(time.perf_counter() - start)
            else:
                failures[0] += 1

def changer():  # the selection changes: every stream gets an event
    connection = http.client.HTTPConnection(where.hostname, where.port, timeout=30)
    flip = False
    while time.monotonic() < end:
        line = "select 1700000002.small.bench" if flip else "select"
        flip = not flip
        connection.request("POST", "/command", body=line, headers=headers)
        connection.getresponse().read()
        time.sleep(0.1)

threads = [threading.Thread(target=client) for _ in range(20)] + [threading.Thread(target=changer)]
for t in threads: t.start()
for t in threads: t.join()
times.sort()
pick = lambda q: times[min(len(times) - 1, int(q * len(times)))] * 1000
print(f"{len(times)} requests, {failures[0]} failed: p50 {pick(0.5):.1f} ms, p95 {pick(0.95):.1f} ms, max {times[-1] * 1000:.1f} ms")
PY
)
for s in "${streams[@]}"; do kill "$s" 2>/dev/null || true; done
streams=()

# A 200 MB POST, above every limit: read and dropped, never held.
before=$(kib VmHWM)
head -c $((200 * 1024 * 1024)) /dev/zero >"$work/post.bin"
status=$(curl -s -o /dev/null -w '%{http_code}' -H "$auth" -H 'Content-Type: application/octet-stream' \
  --data-binary @"$work/post.bin" "${base}command")
rm -f "$work/post.bin"
after=$(kib VmHWM)
mv "$work/later"/* "$work/data/Maildir/cur/"
sleep 2  # mailhost sees them come

# The mail with the 200 MB attachment selected, then nothing happening.
post command "select 1700000000.big.bench"
sleep 3
curl -s -H "$auth" "${base}state" >"$work/state.json"
shown=$(/usr/bin/python3 - "$work/state.json" <<'PY'
import json, os, sys
reading = json.load(open(sys.argv[1]))["reading"] or {}
listed = ", ".join("%s of %d bytes" % (a["name"], a["size"]) for a in reading.get("attachments", []))
print("/state %d bytes, the reading pane lists %s" % (os.path.getsize(sys.argv[1]), listed or "nothing"))
PY
)
t0=$(ticks)
sleep "$seconds"
t1=$(ticks)
cpu=$(awk -v t=$((t1 - t0)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN {printf "%.1f", 100 * t / hz / s}')

post command "select 1700000001.text.bench"
sleep 2
state_text=$(curl -s -H "$auth" -o /dev/null -w '%{size_download}' "${base}state")

echo "/state with 20 clients and 8 event streams over ${seconds} s: $latency"
echo "a 200 MB POST to /command: HTTP $status; VmHWM $((before / 1024)) MiB before, $((after / 1024)) MiB after"
echo "mailhost CPU with the 200 MB attachment selected: ${cpu}% of one core over ${seconds} s ($shown)"
echo "/state with the 50 MB text selected: ${state_text} bytes"
