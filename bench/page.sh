#!/usr/bin/env bash
# The page over a Maildir of 10,000 voice mails: listing the Inbox for the
# page the first time ever (every file read), the first time after a restart
# (cold: from the summary cache the first run left), and again (warm: from
# memory); opening the page in Chromium until the list shows its rows, and
# mailhost's memory with that folder open.
# Usage: bench/page.sh MAILHOST ADDIN [MESSAGES]
set -euo pipefail
source "$(dirname "$0")/page_start.sh"
page_bench page "$@"
count=${3:-10000}

/usr/bin/python3 - "$work/data/Maildir" "$count" <<'PY'
import base64, os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
for sub in ("", ".Sent", ".Drafts"):
    for part in ("tmp", "new", "cur"):
        os.makedirs(os.path.join(root, sub, part), exist_ok=True)
sound = base64.encodebytes(random.Random(1).randbytes(16 * 1024)).decode()
for i in range(count):
    with open(os.path.join(root, "cur", f"1700000000.{i:05d}.bench:2,S"), "w") as f:
        f.write(f"From: Sender {i} <s{i}@example.org>\nTo: you@localhost\nSubject: Voice mail {i}\n"
                f"Date: Tue, 14 Nov 2023 22:13:20 +0000\nMessage-ID: <{i}@example.org>\n"
                "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=b\n\n"
                "--b\nContent-Type: text/plain\n\nListen.\n--b\n"
                "Content-Type: audio/mpeg; name=Sonvera.mp3\nContent-Disposition: attachment; filename=Sonvera.mp3\n"
                f"Content-Transfer-Encoding: base64\n\n{sound}--b--\n")
PY
start_page "$mailhost" "$addin" "$work/data" "$work/out"

# The whole folder listed and its first page of rows, as the page asks for them.
listing() { curl -s -H "$auth" -o /dev/null -w '%{time_total}' "${base}folder?name=Inbox&offset=0&limit=100"; }
first=$(listing)
# A new start over the same Maildir: what a person sees every morning.
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
start_page "$mailhost" "$addin" "$work/data" "$work/out2"
cold=$(listing)
cached=()
for _ in $(seq 5); do cached+=("$(listing)"); done
median=$(printf '%s\n' "${cached[@]}" | sort -n | sed -n 3p)

page=$(cd "$root/tests/web" && node --input-type=module - "$address" "$count" <<'JS'
import { chromium } from "playwright-core";
const [address, count] = process.argv.slice(2);
const browser = await chromium.launch({ executablePath: "/usr/bin/chromium", args: ["--no-sandbox"] });
const times = [];
for (let i = 0; i < 3; ++i) {
  const page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  const t0 = Date.now();
  await page.goto(address);
  await page.waitForFunction(() => document.body.dataset.ready === "true", null, { timeout: 60000 });
  const ready = Date.now() - t0;
  // Usable: the list knows its length and shows the rows in view.
  await page.waitForFunction((n) => document.querySelector(`#messages[data-folder="Inbox"][data-total="${n}"] tr[data-id]`), count, { timeout: 60000 });
  times.push(Date.now() - t0);
  console.error(`page ${i}: first state ${ready} ms, rows ${times[times.length - 1]} ms`);
  await page.close();
}
await browser.close();
console.log(times.sort((a, b) => a - b)[1]);
JS
)
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
echo "Inbox of $count messages, first listing ever (no cache):   $(awk -v t="$first" 'BEGIN {printf "%.0f", t * 1000}') ms"
echo "first listing after a restart (cold, summary cache):     $(awk -v t="$cold" 'BEGIN {printf "%.0f", t * 1000}') ms"
echo "the same again (warm, median of 5):                      $(awk -v t="$median" 'BEGIN {printf "%.1f", t * 1000}') ms"
echo "page opened until the list shows its rows (median of 3): ${page} ms"
echo "mailhost with the folder open: VmHWM $((hwm / 1024)) MiB, VmRSS $((rss / 1024)) MiB"
