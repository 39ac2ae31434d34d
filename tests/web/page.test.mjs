// The page as a person uses it, in Debian's Chromium: mailhost --web with the
// add-in registered in a data folder of the test's own.
// The Maildir is seeded as scripts/run seeds it, and Send goes to a loopback
// SMTP server of the test's own.
// Environment: MAILHOST, ADDIN (the library), ARTIFACTS (screenshots go there).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { cpSync, existsSync, mkdtempSync, mkdirSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const root = join(dirname(fileURLToPath(import.meta.url)), "..", "..");
const python = "/usr/bin/python3";  // Debian's, which has aiosmtpd
import { chromium } from "playwright-core";

const mailhost = process.env.MAILHOST;
const addin = process.env.ADDIN;
const artifacts = process.env.ARTIFACTS || join(tmpdir(), "mailhost-page");
mkdirSync(artifacts, { recursive: true });
const data = mkdtempSync(join(tmpdir(), "mailhost-page-"));
const smtpOut = join(data, "smtp");
const maildir = join(data, "Maildir");
let browser, page, host, smtp, smtpPort, port = 0;

function must(command, args) {
  const done = spawnSync(command, args, { encoding: "utf8" });
  assert.equal(done.status, 0, `${command} ${args.join(" ")}: ${done.stderr}`);
  return done.stdout;
}

async function startSmtp() {
  mkdirSync(smtpOut, { recursive: true });
  smtp = spawn(python, [join(root, "tests/support/smtp_sink.py"), smtpOut, "--refuse-rcpt", "nobody@example.org"], { stdio: "inherit" });
  for (let i = 0; i < 100 && !existsSync(join(smtpOut, "port")); ++i) await new Promise((r) => setTimeout(r, 100));
  return Number(readFileSync(join(smtpOut, "port"), "utf8"));
}

// A received voice mail, as the main job's first start finds one, and two plain ones.
function seed() {
  must("espeak-ng", ["-w", join(data, "voice.wav"), "A voice message for the test."]);
  must("lame", ["--quiet", "-m", "m", join(data, "voice.wav"), join(data, "voice.mp3")]);
  must(python, [join(root, "scripts/seed_voice_mail.py"), maildir, join(data, "voice.mp3")]);
  for (const [name, subject] of [["1700000000.plain1.test", "Lunch on Friday?"], ["1700000001.plain2.test", "Quarterly report"]]) {
    writeFileSync(join(maildir, "new", name), `From: Kim <kim@example.org>\r\nTo: you@localhost\r\nSubject: ${subject}\r\nDate: Tue, 14 Nov 2023 22:13:20 +0000\r\nMessage-ID: <${name}@example.org>\r\n\r\nSee you.\r\n`);
  }
}

// The text part of a message file, decoded by Python's own mail parser.
function textOf(file) {
  const script = "import email,sys\nm=email.message_from_binary_file(open(sys.argv[1],'rb'))\n" +
    "p=[x for x in m.walk() if x.get_content_type()=='text/plain']\nprint(p[0].get_payload(decode=True).decode())";
  return must(python, ["-c", script, file]);
}

// What Python's own mail parser finds in a message file: its audio/mpeg part.
function mp3Of(file) {
  const script = "import email,sys\nm=email.message_from_binary_file(open(sys.argv[1],'rb'))\n" +
    "p=[x for x in m.walk() if x.get_content_type()=='audio/mpeg']\nd=p[0].get_payload(decode=True)\n" +
    "print(p[0].get_filename(), len(d), d[:2].hex())";
  const [name, size, head] = must(python, ["-c", script, file]).trim().split(" ");
  return { name, size: Number(size), head };
}

function startHost() {
  return new Promise((resolve, reject) => {
    // A closed loopback port: the update check fails fast and quietly.
    const env = { ...process.env, SONVERA_PRODUCT_HOST: "http://127.0.0.1:9" };
    const args = ["--web", String(port), "--data", data, "--smtp", `smtp://127.0.0.1:${smtpPort}`, "--from", "me@example.org"];
    const child = spawn(mailhost, args, { env, stdio: ["ignore", "pipe", "pipe"] });
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
  seed();
  smtpPort = await startSmtp();
  host = await startHost();
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium", args: ["--no-sandbox"] });
  page = await browser.newPage({ viewport: { width: 1280, height: 800 } });
  page.setDefaultTimeout(60000);  // shared machines and the sanitizer build are slow
  await page.goto(`http://127.0.0.1:${port}/`);
});

after(async () => {
  await browser?.close();
  if (host && host.exitCode === null) await stopHost();
  smtp?.kill();
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

test("the received voice mail plays from the main window and stops", async () => {
  const row = page.locator('#messages[data-folder="Inbox"] tr[data-id]', { hasText: "A voice message for you" });
  await row.waitFor();
  assert.match(await row.getAttribute("class"), /unread/);
  await row.click();
  const explorer = page.locator("#explorer-bar");
  await explorer.getByRole("button", { name: "Play" }).waitFor();
  await page.locator("#reading", { hasText: "Robin Example" }).waitFor();
  await explorer.getByRole("button", { name: "Play" }).click();
  await explorer.getByRole("button", { name: "Stop" }).waitFor();
  await page.locator('[data-form="Fx"]').waitFor();
  await shot("playing");
  await explorer.getByRole("button", { name: "Stop" }).click();
  await explorer.getByRole("button", { name: "Play" }).waitFor();
  // Read on disk, too: the S flag of the Maildir.
  assert.ok(readdirSync(join(maildir, "cur")).some((name) => /:2,[A-Z]*S/.test(name)), "the read mail has the S flag");
});

test("record a voice mail: the meter moves, Stop attaches the MP3, Send submits it and files it in Sent", async () => {
  await page.getByRole("button", { name: "New mail" }).click();
  const win = await page.locator(".window.active").getAttribute("data-name");
  const field = (name) => page.locator(`.window[data-name="${win}"] [data-field=${name}]`);
  await bar(win).getByRole("button", { name: "Record" }).waitFor();
  await field("to").fill("Friend <friend@example.org>");
  await field("subject").fill("Voice note");
  await field("subject").press("Tab");

  await bar(win).getByRole("button", { name: "Record" }).click();
  const meter = page.locator('[data-form="Fx"]');
  await meter.waitFor();
  await page.waitForFunction(() => [...document.querySelectorAll('[data-form="Fx"] span')].some((s) => s.textContent === "00:02"), null, { timeout: 60000 });
  assert.ok(await meter.locator("img").count() > 0, "the meter paints its bars");
  await shot("recording");

  await bar(win).getByRole("button", { name: "Stop" }).click();
  await bar(win).getByRole("button", { name: "Play" }).waitFor({ timeout: 60000 });
  await bar(win).getByRole("button", { name: "Delete" }).waitFor();
  const attachment = page.locator(`.window[data-name="${win}"] .attachment`, { hasText: "Sonvera.mp3" });
  await attachment.waitFor();
  const size = Number((await attachment.textContent()).match(/\((\d+) bytes\)/)[1]);
  assert.equal(await meter.count(), 0, "the meter is gone after Stop");
  await shot("recorded");

  await bar(win).getByRole("button", { name: "Play" }).click();
  await bar(win).getByRole("button", { name: "Stop" }).click();
  await bar(win).getByRole("button", { name: "Play" }).waitFor();
  await page.locator(`.window[data-name="${win}"] .send`).click();
  // A sent mail's window closes, as in any mail client.
  await page.locator(`.window[data-name="${win}"]`).waitFor({ state: "detached" });

  await page.locator("nav button", { hasText: "Sent" }).click();
  const row = page.locator('#messages[data-folder="Sent"] tr[data-id]', { hasText: "Voice note" });
  await row.waitFor();
  assert.match(await row.textContent(), /Sonvera\.mp3/);
  await row.click();
  await page.locator("#reading", { hasText: "To: Friend <friend@example.org>" }).waitFor();
  const footer = /Voice E-mail messages are created using Sonvera technology/;
  assert.match(await page.locator("#reading").textContent(), footer);
  await shot("sent");

  // The same MP3 reached the server and lies in .Sent as a MIME message.
  const received = mp3Of(join(smtpOut, "1.eml"));
  assert.deepEqual(received, { name: "Sonvera.mp3", size, head: received.head });
  assert.match(received.head, /^ff[ef]/, "an MPEG frame starts the attachment");
  assert.match(readFileSync(join(smtpOut, "1.env"), "utf8"), /from me@example\.org\nto friend@example\.org/);
  const sent = readdirSync(join(maildir, ".Sent", "cur")).concat(readdirSync(join(maildir, ".Sent", "new")));
  assert.equal(sent.length, 1);
  const file = join(maildir, ".Sent", existsSync(join(maildir, ".Sent", "cur", sent[0])) ? "cur" : "new", sent[0]);
  assert.deepEqual(mp3Of(file), received);
  assert.match(textOf(file), footer);
  assert.match(textOf(join(smtpOut, "1.eml")), footer);
  const headers = readFileSync(file, "latin1").split(/\r?\n\r?\n/)[0];
  for (const name of ["Message-Id", "Date", "From", "To", "Subject"]) assert.match(headers, new RegExp(`^${name}: `, "mi"));
});

test("a refused submission is a box, and the mail stays in Drafts", async () => {
  await page.getByRole("button", { name: "New mail" }).click();
  const win = await page.locator(".window.active").getAttribute("data-name");
  const field = (name) => page.locator(`.window[data-name="${win}"] [data-field=${name}]`);
  await field("to").fill("nobody@example.org");
  await field("subject").fill("Refused");
  await field("subject").press("Tab");
  await page.locator(`.window[data-name="${win}"] .send`).click();
  await box().waitFor();
  assert.match(await box().textContent(), /stays in Drafts[\s\S]*550/);
  await shot("refused");
  await box().getByRole("button", { name: "OK" }).click();
  await page.waitForFunction(() => !document.querySelector("dialog#box").open);
  assert.equal(await page.locator(`.window[data-name="${win}"]`).count(), 1, "the window stays open");
  await page.locator(`.window[data-name="${win}"] button`, { hasText: "Close" }).click();
  await page.locator("nav button", { hasText: "Drafts" }).click();
  await page.locator('#messages[data-folder="Drafts"] tr[data-id]', { hasText: "Refused" }).waitFor();
});

test("the Properties dialog keeps the quality chosen; the page's command line shows it", async () => {
  await page.getByRole("button", { name: "New mail" }).click();
  const win = await page.locator(".window.active").getAttribute("data-name");
  await bar(win).getByRole("button", { name: "Properties" }).click();
  const dialog = page.locator('[data-form="FrmProp"]');
  await dialog.waitFor();
  assert.match(await dialog.textContent(), /Version 1\.0\.1/);
  await dialog.locator("select").selectOption("8 Kbs High");
  await page.waitForFunction(() => document.querySelector('[data-form="FrmProp"] select').value === "8 Kbs High");
  await shot("properties");
  await dialog.getByRole("button", { name: "Ok" }).click();
  await dialog.waitFor({ state: "detached" });
  await page.locator("#command").fill("registry show Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp");
  await page.locator("#command").press("Enter");
  await page.locator("#log", { hasText: "Sonvera.Amp AQ=sz:3" }).waitFor();
  await page.locator(`.window[data-name="${win}"] button`, { hasText: "Close" }).click();
});

test("the list selects several mails with Ctrl and opens one with Enter", async () => {
  await page.locator("nav button", { hasText: "Inbox" }).click();
  const rows = page.locator('#messages[data-folder="Inbox"] tr[data-id]');
  await rows.nth(2).waitFor();
  await rows.nth(0).click();
  await rows.nth(1).click({ modifiers: ["Control"] });
  await page.waitForFunction(() => document.querySelectorAll("#messages tr.selected").length === 2);
  await page.locator("#reading", { hasText: "2 items selected" }).waitFor();
  await rows.nth(1).click();
  await rows.nth(1).press("Enter");
  await page.waitForFunction(() => document.querySelectorAll(".window.active").length === 1 &&
    document.querySelector(".window.active input[data-field=subject]").disabled);
  await shot("opened");
});

test("a restart of mailhost while the page is open: the page reconnects, an error box is answered No", async () => {
  await stopHost();
  await page.locator("#status", { hasText: "reconnecting" }).waitFor();
  // A face gone from the add-in's folder: its start asks whether to quit.
  rmSync(join(data, "addin", "PlayButton.bmp"));
  host = await startHost();
  await page.locator("#status", { hasText: "connected" }).waitFor({ timeout: 60000 });
  await box().waitFor();
  const text = await box().textContent();
  assert.match(text, /File not found[\s\S]*Do you want to quit Sonvera\?/);
  assert.doesNotMatch(text, /Tutorial/, "the same data folder: the tutorial is not offered again");
  await shot("error-box");
  await box().getByRole("button", { name: "No" }).click();
  await page.waitForFunction(() => !document.querySelector("dialog#box").open);
  await page.locator("#explorer-bar button", { hasText: "Sonvera" }).waitFor();
  // The mail sent before the restart is still there.
  await page.locator("nav button", { hasText: "Sent" }).click();
  await page.locator('#messages[data-folder="Sent"] tr[data-id]', { hasText: "Voice note" }).waitFor();
  await shot("restarted");
});
