// The player of voice attachments, in Debian's Chromium: mailhost --web with
// the add-in registered, a received voice mail (speech, then silence) in the
// Inbox. The sound plays in the page, 2x runs about twice as fast as 1x, the
// waveform shows the speech and the silence, the place where the listener
// stopped survives a reload and a restart, and the list shows the length.
// Environment: MAILHOST, ADDIN (the library), ARTIFACTS (screenshots go
// there), DOCS_SHOT (when set, the player's screenshot is also written there).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { copyFileSync, rmSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { chromium } from "playwright-core";
import { must, registerAddinCopy, startMailhost, stopMailhost, testFolders } from "./mailhost.mjs";

const root = join(dirname(fileURLToPath(import.meta.url)), "..", "..");
const python = "/usr/bin/python3";
const { mailhost, addin, artifacts, data, maildir } = testFolders("player");
const silence = 12;  // seconds after the speech
let browser, page, host, address, speech, total;

// Speech, then silence, delivered as scripts/run delivers its voice mail.
function seed() {
  must("espeak-ng", ["-w", join(data, "speech.wav"), "A voice message for the player test, then some silence."]);
  speech = Number(must("soxi", ["-D", join(data, "speech.wav")]));
  must("sox", [join(data, "speech.wav"), join(data, "voice.wav"), "pad", "0", String(silence)]);
  total = speech + silence;
  must("lame", ["--quiet", "-m", "m", join(data, "voice.wav"), join(data, "voice.mp3")]);
  must(python, [join(root, "scripts/seed_voice_mail.py"), maildir, join(data, "voice.mp3")]);
}

async function startHost() {
  const started = await startMailhost(mailhost, ["--web", "0", "--data", data]);
  address = started.address;
  return started.child;
}

const stopHost = () => stopMailhost(host);

const player = () => page.locator("#reading .player");
const audio = (script) => page.evaluate(`(() => { const a = document.querySelector("#reading .player audio"); return ${script}; })()`);

// How far the sound got over about 1.5 s of the page's clock, per second of it.
async function rate() {
  return page.evaluate(async () => {
    const a = document.querySelector("#reading .player audio");
    const t0 = performance.now(), p0 = a.currentTime;
    await new Promise((resolve) => setTimeout(resolve, 1500));
    return (a.currentTime - p0) / ((performance.now() - t0) / 1000);
  });
}

// The player goes to `at` once it has the sound's length.
async function resumesAt(at, when) {
  const started = await page.waitForFunction(() => {
    const a = document.querySelector("#reading .player audio");
    return a.readyState >= 1 && !a.seeking && a.currentTime;
  }, null, { timeout: 30000 }).then((value) => value.jsonValue(), () => null);
  assert.ok(started !== null && Math.abs(started - at) < 1, `${when} the player started at ${started} s, not at ${at} s`);
}

// Opens the page at this start's address and shows the voice mail.
async function showVoiceMail() {
  await page.goto(address);
  const box = page.locator("dialog#box[open]");
  // The first start offers the add-in's tutorial; the person declines.
  if (await box.waitFor({ timeout: 5000 }).then(() => true, () => false)) {
    await box.getByRole("button", { name: "No" }).click();
    await page.waitForFunction(() => !document.querySelector("dialog#box").open);
  }
  const row = page.locator('#messages[data-folder="Inbox"] tr[data-id]', { hasText: "A voice message for you" });
  await row.waitFor();
  if (await row.getAttribute("aria-selected") !== "true") await row.click();
  await player().locator("canvas[data-drawn]").waitFor();
  await page.waitForFunction(() => document.querySelector("#reading .player audio").readyState >= 1);
}

before(async () => {
  registerAddinCopy(mailhost, addin, data);
  seed();
  host = await startHost();
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium", args: ["--no-sandbox"] });
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  page = await context.newPage();
  page.setDefaultTimeout(60000);  // shared machines and the sanitizer build are slow
  await showVoiceMail();
});

after(async () => {
  await browser?.close();
  if (host && host.exitCode === null) await stopHost();
  rmSync(data, { recursive: true, force: true });
});

test("the list shows the voice mail's length, and the player the same", async () => {
  const cell = page.locator('#messages tr[data-id] td.attached', { hasText: /Sonvera\.mp3 \(\d+:\d\d\)/ });
  await cell.waitFor();
  const [, m, s] = (await cell.textContent()).match(/\((\d+):(\d\d)\)/);
  assert.ok(Math.abs(Number(m) * 60 + Number(s) - total) <= 1, `listed ${m}:${s}, the sound lasts ${total.toFixed(1)} s`);
  const played = Number(await player().getAttribute("data-duration"));
  assert.ok(Math.abs(played - total) < 0.2, `the player says ${played} s, the sound lasts ${total.toFixed(1)} s`);
  assert.match(await player().locator(".time").textContent(), new RegExp(`/ 0:${String(Math.floor(played)).padStart(2, "0")}$`));
});

test("the waveform shows the speech, then the silence", async () => {
  // The height of the drawn bar in each column of the canvas.
  const heights = await page.evaluate(() => {
    const canvas = document.querySelector("#reading .player canvas");
    const { width, height } = canvas;
    const pixels = canvas.getContext("2d").getImageData(0, 0, width, height).data;
    const drawn = [];
    for (let x = 0; x < width; x += 3) {
      let count = 0;
      for (let y = 0; y < height; ++y) if (pixels[(y * width + x) * 4 + 3] > 0) ++count;
      drawn.push(count);
    }
    return drawn;
  });
  const mean = (list) => list.reduce((a, b) => a + b, 0) / list.length;
  const spoken = heights.slice(0, Math.floor(heights.length * speech / total * 0.9));
  const silent = heights.slice(Math.ceil(heights.length * (speech + 1) / total));
  assert.ok(mean(spoken) > 8 && mean(spoken) > 4 * mean(silent),
    `bars over the speech ${mean(spoken).toFixed(1)} px high, over the silence ${mean(silent).toFixed(1)} px`);
});

test("the sound plays in the page, 2x runs about twice as fast as 1x with the pitch kept, the waveform seeks", async () => {
  await player().locator("button.play").click();
  await page.waitForFunction(() => document.querySelector("#reading .player audio").currentTime > 0.2);
  const normal = await rate();
  await player().locator("button.speed[data-speed='2']").click();
  assert.equal(await player().locator("button.speed[data-speed='2']").getAttribute("aria-pressed"), "true");
  const fast = await rate();
  assert.ok(normal > 0.3, `at 1x the sound moved ${normal.toFixed(2)} s a second`);
  assert.ok(fast / normal > 1.5 && fast / normal < 2.6, `2x against 1x: ${(fast / normal).toFixed(2)}`);
  assert.equal(await audio("a.preservesPitch"), true);
  await shot("player");
  await player().locator("button.speed[data-speed='1']").click();
  await player().locator("button.play").click();
  await page.waitForFunction(() => document.querySelector("#reading .player audio").paused);

  // A click halfway along the waveform goes halfway into the sound.
  const box = await player().locator("canvas").boundingBox();
  await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
  const half = await audio("a.currentTime");
  assert.ok(Math.abs(half - total / 2) < 0.5, `a click halfway went to ${half.toFixed(2)} s of ${total.toFixed(2)}`);
});

test("the player starts where the listener stopped, after a reload and after a restart of mailhost", async () => {
  const saved = page.waitForResponse((r) => r.url().includes("/voice/position") && r.request().postData() === "7.25");
  await page.evaluate(() => { document.querySelector("#reading .player audio").currentTime = 7.25; });
  assert.ok((await saved).ok());  // a seek while paused is kept at once
  const stopped = await audio("a.currentTime");

  await page.reload();
  await showVoiceMail();
  await resumesAt(stopped, "after a reload");

  await stopHost();
  host = await startHost();
  await showVoiceMail();
  await resumesAt(stopped, "after a restart");
  assert.match(await player().locator(".time").textContent(), /^0:07 \//);
});

test("a mail window has the player too, at the same place; without the page's secret the sound is refused", async () => {
  const key = await player().getAttribute("data-key");
  const at = await audio("a.currentTime");
  await page.locator('#messages tr[data-id]', { hasText: "A voice message for you" }).dblclick();
  const windowed = page.locator(".window .player");
  await windowed.locator("canvas[data-drawn]").waitFor();
  assert.equal(await windowed.getAttribute("data-key"), key, "the same sound");
  await page.waitForFunction((stopped) => {
    const a = document.querySelector(".window .player audio");
    return a.readyState >= 1 && Math.abs(a.currentTime - stopped) < 1;
  }, at);

  const sound = await page.evaluate(() => document.querySelector(".window .player audio").src);
  assert.equal((await fetch(sound)).status, 403, "the sound is the page's alone");
  const ranged = await page.evaluate(async (url) => {
    const reply = await fetch(url, { headers: { Range: "bytes=10-19" } });
    return { status: reply.status, type: reply.headers.get("Content-Type"), size: (await reply.arrayBuffer()).byteLength };
  }, sound);
  assert.deepEqual(ranged, { status: 206, type: "audio/mpeg", size: 10 });
});

// The player's screenshot is the README's too, when DOCS_SHOT names where.
async function shot(name) {
  const file = join(artifacts, `${name}.png`);
  await page.screenshot({ path: file });
  if (process.env.DOCS_SHOT) copyFileSync(file, process.env.DOCS_SHOT);
}

// Kept out of the way of the timings above: the one-sound rule is checked last.
test("only one sound at a time: a player that starts pauses any other sound of the page", async () => {
  const other = await page.evaluate(async () => {
    const a = document.querySelector("#reading .player audio");
    const b = new Audio(a.src);
    document.body.append(b);
    await b.play();
    await a.play();
    await new Promise((resolve) => setTimeout(resolve, 200));
    const result = { otherPaused: b.paused, playerPlaying: !a.paused };
    a.pause();
    b.remove();
    return result;
  });
  assert.deepEqual(other, { otherPaused: true, playerPlaying: true });
});
