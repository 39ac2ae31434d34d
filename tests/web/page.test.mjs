// The page as a person uses it, in Debian's Chromium: mailhost --web with the
// add-in registered in a data folder of the test's own.
// Environment: MAILHOST, ADDIN (the library), ARTIFACTS (screenshots go there).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { cpSync, mkdtempSync, mkdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { chromium } from "playwright-core";

const mailhost = process.env.MAILHOST;
const addin = process.env.ADDIN;
const artifacts = process.env.ARTIFACTS || join(tmpdir(), "mailhost-page");
mkdirSync(artifacts, { recursive: true });
const data = mkdtempSync(join(tmpdir(), "mailhost-page-"));
let browser, page, host, port = 0;

function startHost() {
  return new Promise((resolve, reject) => {
    // A closed loopback port: the update check fails fast and quietly.
    const env = { ...process.env, SONVERA_PRODUCT_HOST: "http://127.0.0.1:9" };
    const child = spawn(mailhost, ["--web", String(port), "--data", data], { env, stdio: ["ignore", "pipe", "pipe"] });
    let out = "";
    child.stdout.on("data", (chunk) => {
      out += chunk;
      const found = out.match(/^page http:\/\/127\.0\.0\.1:(\d+)\/$/m);
      if (found) { port = Number(found[1]); resolve(child); }
    });
    child.stderr.on("data", (chunk) => process.stderr.write(chunk));
    child.on("exit", (code) => reject(new Error(`mailhost ended with ${code} before it served: ${out}`)));
  });
}

function stopHost() {
  return new Promise((resolve) => {
    host.once("exit", resolve);
    host.kill("SIGTERM");
  });
}

async function shot(name) {
  await page.screenshot({ path: join(artifacts, `${name}.png`) });
}

const bar = (win) => page.locator(`.window[data-name="${win}"] .bar`);
const box = () => page.locator("dialog#box[open]");

before(async () => {
  // A copy of the add-in folder: recordings land beside the library.
  cpSync(dirname(addin), join(data, "addin"), { recursive: true });
  const library = join(data, "addin", "libsonvera.so");
  const registered = spawnSync(mailhost, ["--register", library, "--data", data], { encoding: "utf8" });
  assert.equal(registered.status, 0, registered.stderr);
  host = await startHost();
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium", args: ["--no-sandbox"] });
  page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  await page.goto(`http://127.0.0.1:${port}/`);
});

after(async () => {
  await browser?.close();
  if (host && host.exitCode === null) await stopHost();
  rmSync(data, { recursive: true, force: true });
});

test("the first start offers the tutorial in a box; No closes it and opens nothing", async () => {
  await box().waitFor();
  assert.match(await box().locator("h2").textContent(), /Sonvera Tutorial/);
  await shot("tutorial-box");
  await box().getByRole("button", { name: "No" }).click();
  await box().waitFor({ state: "detached" }).catch(() => {});
  await page.waitForFunction(() => !document.querySelector("dialog#box").open);
  assert.doesNotMatch(await page.locator("#log").textContent(), /^open /m);
  await page.locator("#explorer-bar button", { hasText: "Sonvera" }).waitFor();
});

test("record a voice mail: the meter moves, Stop attaches the MP3, it plays and is sent", async () => {
  await page.getByRole("button", { name: "New mail" }).click();
  const win = await page.locator(".window").first().getAttribute("data-name");
  await bar(win).getByRole("button", { name: "Record" }).waitFor();
  await page.locator(`.window[data-name="${win}"] [data-field=subject]`).fill("Voice note");
  await page.locator(`.window[data-name="${win}"] [data-field=subject]`).press("Tab");

  await bar(win).getByRole("button", { name: "Record" }).click();
  const meter = page.locator('[data-form="Fx"]');
  await meter.waitFor();
  const clock = meter.locator("span", { hasText: /^\d\d:\d\d$/ });
  await page.waitForFunction(() => [...document.querySelectorAll('[data-form="Fx"] span')].some((s) => s.textContent === "00:02"), null, { timeout: 10000 });
  assert.ok(await meter.locator("img").count() > 0, "the meter paints its bars");
  await shot("recording");

  await bar(win).getByRole("button", { name: "Stop" }).click();
  await bar(win).getByRole("button", { name: "Play" }).waitFor({ timeout: 15000 });
  await bar(win).getByRole("button", { name: "Delete" }).waitFor();
  const attachments = page.locator(`.window[data-name="${win}"] .attachment`);
  await attachments.filter({ hasText: "Sonvera.mp3" }).waitFor();
  assert.equal(await clock.count(), 0, "the meter is gone after Stop");
  await shot("recorded");

  await bar(win).getByRole("button", { name: "Play" }).click();
  await page.locator(`.window[data-name="${win}"] .bar button`).first().waitFor();
  await page.locator(`.window[data-name="${win}"] .send`).click();
  // A sent mail's window closes, as in any mail client.
  await page.locator(`.window[data-name="${win}"]`).waitFor({ state: "detached" });

  await page.locator("nav button", { hasText: "Sent" }).click();
  const row = page.locator('#messages[data-folder="Sent"] tr', { hasText: "Voice note" });
  await row.waitFor();
  assert.match(await row.textContent(), /Sonvera\.mp3/);
  await row.click();
  await page.locator("#reading", { hasText: "Voice note" }).waitFor();
  await shot("sent");
});

test("the list selects several mails with Ctrl and opens one with Enter", async () => {
  await page.locator("nav button", { hasText: "Inbox" }).click();
  const rows = page.locator('#messages[data-folder="Inbox"] tr');
  await rows.first().waitFor();
  assert.ok(await rows.count() >= 2, "the samples are listed");
  await rows.nth(0).click();
  await rows.nth(1).click({ modifiers: ["Control"] });
  await page.waitForFunction(() => document.querySelectorAll("#messages tr.selected").length === 2);
  await page.locator("#reading", { hasText: "2 items selected" }).waitFor();
  await rows.nth(1).click();
  await rows.nth(1).press("Enter");
  await page.waitForFunction(() => document.querySelectorAll(".window.active").length === 1 &&
    document.querySelector(".window.active input[data-field=subject]").disabled);
});

test("a restart of mailhost while the page is open: the page reconnects and shows the state", async () => {
  await stopHost();
  await page.locator("#status", { hasText: "reconnecting" }).waitFor();
  host = await startHost();
  await page.locator("#status", { hasText: "connected" }).waitFor({ timeout: 15000 });
  await page.locator("#explorer-bar button", { hasText: "Sonvera" }).waitFor();
  // The same data folder: the tutorial is not offered again.
  assert.equal(await box().count(), 0);
  await shot("restarted");
});
