#!/usr/bin/env bash
# mailhost's CPU while the page records: Chromium's microphone is a spoken
# WAV, the page captures and sends it, mailhost resamples it into the
# recording and the meter. The figure is mailhost's user and system time
# over the wall time of SECONDS of recording (goal: under 5% of a core).
# Usage: bench/page_record_cpu.sh MAILHOST ADDIN [SECONDS]
set -euo pipefail
source "$(dirname "$0")/page_start.sh"
page_bench pagecpu "$@"
seconds=${3:-20}

espeak-ng -w "$work/speech.wav" "Testing one two three, this is a voice message for the benchmark."
# A copy of the add-in's folder: the recording lands beside the library.
cp -r "$(dirname "$addin")" "$work/addin"
start_page "$mailhost" "$work/addin/$(basename "$addin")" "$work/data" "$work/out"
ticks=$(getconf CLK_TCK)

(cd "$root/tests/web" && node --input-type=module - "$address" "$work/speech.wav" "$seconds" "$pid" "$ticks" <<'JS'
import { chromium } from "playwright-core";
import { readFileSync } from "node:fs";
const [address, speech, seconds, pid, ticks] = process.argv.slice(2);
// utime + stime of mailhost, in clock ticks.
const cpu = () => { const f = readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" "); return Number(f[11]) + Number(f[12]); };
const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--use-fake-ui-for-media-stream", "--use-fake-device-for-media-stream",
    `--use-file-for-fake-audio-capture=${speech}`] });
const page = await (await browser.newContext()).newPage();
page.setDefaultTimeout(60000);
await page.goto(address);
await page.getByRole("button", { name: "New mail" }).click();
const win = await page.locator(".window.active").getAttribute("data-name");
const bar = page.locator(`.window[data-name="${win}"] .bar`);
await bar.getByRole("button", { name: "Record" }).click();
await page.locator('[data-form="Fx"]').waitFor();
await page.waitForTimeout(1000);  // the capture has started
const before = cpu(), start = Date.now();
await page.waitForTimeout(Number(seconds) * 1000);
const used = (cpu() - before) / Number(ticks), wall = (Date.now() - start) / 1000;
await bar.getByRole("button", { name: "Stop" }).click();
await page.locator(`.window[data-name="${win}"] .attachment`, { hasText: "Sonvera.mp3" }).waitFor();
console.log(`mailhost while the page records: ${used.toFixed(2)} s of CPU in ${wall.toFixed(1)} s, ` +
  `${(100 * used / wall).toFixed(1)}% of a core`);
await browser.close();
JS
)
