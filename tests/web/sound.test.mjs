// The person's own microphone and speaker: mailhost --web with the page's
// sound, in Debian's Chromium whose microphone is a spoken WAV. A voice mail
// is recorded from it (Record, Pause, Continue, Stop) and sent; the MP3 that
// arrives in Sent carries the speech.
// Environment: MAILHOST, ADDIN (the library), ARTIFACTS (screenshots go there).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { readdirSync, readFileSync, rmSync } from "node:fs";
import { request } from "node:http";
import { join } from "node:path";
import { chromium } from "playwright-core";
import { addressMail, must, newMail, registerAddinCopy, startMailhost, stopMailhost, testFolders } from "./mailhost.mjs";

const { mailhost, addin, artifacts, data, maildir } = testFolders("sound");
const speech = join(data, "speech.wav");
let browser, page, host, address;

// Mono 16-bit samples of a PCM WAV file, and its rate.
function readWav(file) {
  const bytes = readFileSync(file);
  let at = 12, rate = 0, channels = 1;
  while (at + 8 <= bytes.length) {
    const id = bytes.toString("ascii", at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    if (id === "fmt ") { channels = bytes.readUInt16LE(at + 10); rate = bytes.readUInt32LE(at + 12); }
    if (id === "data") {
      const end = Math.min(bytes.length, at + 8 + size);
      const frames = Math.floor((end - at - 8) / (2 * channels));
      const samples = new Float64Array(frames);
      for (let i = 0; i < frames; ++i) samples[i] = bytes.readInt16LE(at + 8 + i * 2 * channels) / 32768;
      return { rate, samples };
    }
    at += 8 + size + (size % 2);
  }
  throw new Error(`${file} holds no PCM`);
}

// Loudness in dB per 50 ms.
function envelope({ rate, samples }) {
  const step = Math.round(rate / 20);
  const out = [];
  for (let i = 0; i + step <= samples.length; i += step) {
    let sum = 0;
    for (let j = i; j < i + step; ++j) sum += samples[j] * samples[j];
    out.push(10 * Math.log10(sum / step + 1e-10));
  }
  return out;
}

function pearson(a, b) {
  const n = Math.min(a.length, b.length);
  let ma = 0, mb = 0;
  for (let i = 0; i < n; ++i) { ma += a[i]; mb += b[i]; }
  ma /= n; mb /= n;
  let ab = 0, aa = 0, bb = 0;
  for (let i = 0; i < n; ++i) { ab += (a[i] - ma) * (b[i] - mb); aa += (a[i] - ma) ** 2; bb += (b[i] - mb) ** 2; }
  return ab / Math.sqrt(aa * bb);
}

// The best correlation of `part` with the looped source at any lag.
function bestCorrelation(part, source) {
  const looped = [];
  while (looped.length < source.length + part.length) looped.push(...source);
  let best = -1;
  for (let lag = 0; lag < source.length; ++lag) best = Math.max(best, pearson(part, looped.slice(lag, lag + part.length)));
  return best;
}

// Integrated loudness (ITU-R BS.1770: K-weighting, 400 ms blocks, both gates), in LUFS.
function integratedLoudness({ rate, samples }) {
  const biquad = (b, a) => { let x1 = 0, x2 = 0, y1 = 0, y2 = 0; return (x) => {
    const y = b[0] * x + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2; x2 = x1; x1 = x; y2 = y1; y1 = y; return y; }; };
  const shelf = (() => { const G = 3.999843853973347, Q = 0.7071752369554196, fc = 1681.974450955533;
    const K = Math.tan(Math.PI * fc / rate), Vh = 10 ** (G / 20), Vb = Vh ** 0.4996667741545416;
    const a0 = 1 + K / Q + K * K;
    return biquad([(Vh + Vb * K / Q + K * K) / a0, 2 * (K * K - Vh) / a0, (Vh - Vb * K / Q + K * K) / a0],
      [1, 2 * (K * K - 1) / a0, (1 - K / Q + K * K) / a0]); })();
  const highpass = (() => { const Q = 0.5003270373238773, fc = 38.13547087602444, K = Math.tan(Math.PI * fc / rate);
    const a0 = 1 + K / Q + K * K;
    return biquad([1, -2, 1], [1, 2 * (K * K - 1) / a0, (1 - K / Q + K * K) / a0]); })();
  const weighted = samples.map((x) => highpass(shelf(x)));
  const block = Math.round(rate * 0.4), hop = Math.round(rate * 0.1);
  const powers = [];
  for (let i = 0; i + block <= weighted.length; i += hop) {
    let sum = 0;
    for (let j = i; j < i + block; ++j) sum += weighted[j] ** 2;
    powers.push(sum / block);
  }
  const lufs = (p) => -0.691 + 10 * Math.log10(p);
  const mean = (list) => list.reduce((s, p) => s + p, 0) / list.length;
  const loud = powers.filter((p) => lufs(p) > -70);
  const relative = lufs(mean(loud)) - 10;
  return lufs(mean(loud.filter((p) => lufs(p) > relative)));
}

// The audio/mpeg part of a message file, as Python's own mail parser finds it.
function saveMp3Of(file, target) {
  const script = "import email,sys\nm=email.message_from_binary_file(open(sys.argv[1],'rb'))\n" +
    "p=[x for x in m.walk() if x.get_content_type()=='audio/mpeg']\nopen(sys.argv[2],'wb').write(p[0].get_payload(decode=True))";
  must("/usr/bin/python3", ["-c", script, file, target]);
}

async function startHost() {
  const started = await startMailhost(mailhost, ["--web", "0", "--data", data]);
  address = started.address;
  return started.child;
}

const shot = (name) => page.screenshot({ path: join(artifacts, `${name}.png`) });
const bar = (win) => page.locator(`.window[data-name="${win}"] .bar`);
// What the meter's bars show now.
const bars = () => page.evaluate(() => [...document.querySelectorAll('[data-form="Fx"] img')]
  .map((img) => `${img.dataset.face}@${img.style.left},${img.style.top},${img.style.height}`).join(" "));

before(async () => {
  registerAddinCopy(mailhost, addin, data);
  must("espeak-ng", ["-w", speech, "-s", "150", "Hello, this is a voice message recorded in the browser. " +
    "The microphone hears every word, and mailhost keeps it. Call me back tomorrow morning."]);
  host = await startHost();
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--use-fake-ui-for-media-stream", "--use-fake-device-for-media-stream",
      `--use-file-for-fake-audio-capture=${speech}`] });
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  page = await context.newPage();
  page.setDefaultTimeout(60000);
  await page.goto(address);
  // The first start offers the tutorial.
  await page.locator("dialog#box[open]").getByRole("button", { name: "No" }).click();
});

after(async () => {
  await browser?.close();
  if (host && host.exitCode === null) await stopMailhost(host);
  rmSync(data, { recursive: true, force: true });
});

test("a voice mail recorded from the browser's microphone carries the speech, and the meter follows the voice", async () => {
  const win = await newMail(page);
  await bar(win).getByRole("button", { name: "Record" }).waitFor();
  await addressMail(page, win, "Friend <friend@example.org>", "From the browser");

  await bar(win).getByRole("button", { name: "Record" }).click();
  await page.locator('[data-form="Fx"]').waitFor();
  const seen = new Set();
  const started = Date.now();
  while (Date.now() - started < 5000) {
    seen.add(await bars());
    await page.waitForTimeout(100);
  }
  await shot("sound-recording");
  await bar(win).getByRole("button", { name: "Pause" }).click();
  await page.waitForTimeout(1000);
  await bar(win).getByRole("button", { name: "Continue" }).click();
  await page.waitForTimeout(2500);
  await bar(win).getByRole("button", { name: "Stop" }).click();
  await page.locator(`.window[data-name="${win}"] .attachment`, { hasText: "Sonvera.mp3" }).waitFor();
  await shot("sound-recorded");
  assert.ok(seen.size >= 5, `the meter's bars barely moved while recording: ${seen.size} pictures`);

  // The recording plays on the page: to its end, when the bar offers Play
  // again, and stopped halfway.
  const playing = page.locator("audio[data-mailhost-sound]");
  await bar(win).getByRole("button", { name: "Play" }).click();
  await playing.waitFor({ state: "attached" });
  await page.waitForFunction(() => document.querySelector("audio[data-mailhost-sound]")?.currentTime > 1);
  await shot("sound-playing");
  await playing.waitFor({ state: "detached", timeout: 30000 });
  await bar(win).getByRole("button", { name: "Play" }).waitFor();
  await bar(win).getByRole("button", { name: "Play" }).click();
  await page.waitForFunction(() => document.querySelector("audio[data-mailhost-sound]")?.currentTime > 0.5);
  await bar(win).getByRole("button", { name: "Stop" }).click();
  await playing.waitFor({ state: "detached" });
  await bar(win).getByRole("button", { name: "Play" }).waitFor();

  await page.locator(`.window[data-name="${win}"] .send`).click();
  await page.locator(`.window[data-name="${win}"]`).waitFor({ state: "detached" });
  const sent = join(maildir, ".Sent", "cur");
  const file = readdirSync(sent).map((name) => join(sent, name)).find((path) => /From the browser/.test(readFileSync(path, "latin1")));
  assert.ok(file, "the voice mail is in Sent");
  const mp3 = join(data, "sent.mp3");
  saveMp3Of(file, mp3);
  must("lame", ["--quiet", "--decode", mp3, join(data, "sent.wav")]);
  const recorded = readWav(join(data, "sent.wav"));
  const seconds = recorded.samples.length / recorded.rate;
  assert.ok(seconds > 5.5 && seconds < 10, `the recording lasts ${seconds.toFixed(1)} s, not the 7.5 s recorded`);

  // Before and after the pause, the loudness follows the speech's.
  const source = envelope(readWav(speech));
  const heard = envelope(recorded);
  const before = bestCorrelation(heard.slice(4, 4 + 80), source);
  const afterPause = bestCorrelation(heard.slice(heard.length - 44, heard.length - 4), source);
  console.log(`envelope correlation: ${before.toFixed(3)} before the pause, ${afterPause.toFixed(3)} after; ` +
    `integrated loudness ${integratedLoudness(recorded).toFixed(1)} LUFS`);
  assert.ok(before >= 0.7, `the recording does not carry the speech: correlation ${before.toFixed(3)}`);
  assert.ok(afterPause >= 0.7, `after the pause the recording does not carry the speech: correlation ${afterPause.toFixed(3)}`);
});

test("a browser that refuses the microphone: Record says so; once that page closed, the page still open records again", async () => {
  // The same browser, without the fake question that allows everything: the
  // headless browser answers no.
  const refusing = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--use-fake-device-for-media-stream", `--use-file-for-fake-audio-capture=${speech}`] });
  try {
    const other = await (await refusing.newContext()).newPage();
    other.setDefaultTimeout(60000);
    await other.goto(address);
    const win = await newMail(other);
    const record = other.locator(`.window[data-name="${win}"] .bar`).getByRole("button", { name: "Record" });
    await record.click();
    const refused = other.locator("dialog#box[open]");
    await refused.waitFor();
    assert.match(await refused.textContent(), /browser refused the microphone/);
    await shot("sound-refused");
    await refused.getByRole("button", { name: "No" }).click();  // keep the add-in
    await other.close();
  } finally {
    await refusing.close();
  }
  // The page that held the sound closed: the one still open holds it again.
  const win = await newMail(page);
  await bar(win).getByRole("button", { name: "Record" }).click();
  await bar(win).getByRole("button", { name: "Stop" }).waitFor();
  await page.waitForTimeout(1500);
  await bar(win).getByRole("button", { name: "Stop" }).click();
  await page.locator(`.window[data-name="${win}"] .attachment`, { hasText: "Sonvera.mp3" }).waitFor();
  assert.equal(await page.locator("dialog#box[open]").count(), 0, "the page still open could not record");
});

// A request as a script makes it, with the token of the data folder.
function ask(path, body) {
  const { port } = new URL(address);
  const token = readFileSync(join(data, "page-token"), "utf8").trim();
  return new Promise((resolve, reject) => {
    const req = request({ host: "127.0.0.1", port, path, method: body === undefined ? "GET" : "POST",
      headers: { Authorization: `Bearer ${token}` } }, (res) => {
      let text = "";
      res.setEncoding("utf8");
      res.on("data", (chunk) => { text += chunk; });
      res.on("end", () => resolve(text));
    });
    req.on("error", reject);
    req.end(body);
  });
}

test("with no page open, Record says so in the add-in's box", async () => {
  await page.close();
  let state = null;
  for (let i = 0; i < 100 && (!state || state.soundDevice.page !== null); ++i) {
    state = JSON.parse(await ask("/state"));
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.equal(state.soundDevice.page, null, "mailhost did not notice the page closed");
  for (const line of ["new w9", "activate w9", "click w9 Record"]) await ask("/command", line);
  let text = "";
  for (let i = 0; i < 100 && !text.includes("No page is open"); ++i) {
    text = await ask("/state");
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.match(text, /No page is open to record from/);
  await ask("/answer", "No");
});

test("the recording is brought to a voice's loudness", () => {
  const loudness = integratedLoudness(readWav(join(data, "sent.wav")));
  assert.ok(Math.abs(loudness + 16) <= 1.5, `integrated loudness ${loudness.toFixed(1)} LUFS, not -16`);
});
