// What the browser tests share: their folders, running a program that must
// succeed, starting and stopping mailhost's page, and writing a new mail.
import assert from "node:assert/strict";
import { spawn, spawnSync } from "node:child_process";
import { cpSync, mkdirSync, mkdtempSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";

// The environment's MAILHOST and ADDIN (the library), ARTIFACTS (where
// screenshots go, made when missing), and a fresh data folder named after the
// test, with the path of its Maildir.
export function testFolders(name) {
  const artifacts = process.env.ARTIFACTS || join(tmpdir(), "mailhost-page");
  mkdirSync(artifacts, { recursive: true });
  const data = mkdtempSync(join(tmpdir(), `mailhost-${name}-`));
  return { mailhost: process.env.MAILHOST, addin: process.env.ADDIN, artifacts, data, maildir: join(data, "Maildir") };
}

export function must(command, args) {
  const done = spawnSync(command, args, { encoding: "utf8", maxBuffer: 1 << 28 });
  assert.equal(done.status, 0, `${command} ${args.join(" ")}: ${done.stderr}`);
  return done.stdout;
}

// Starts `mailhost ARGS` and resolves once it printed its page's address:
// { child, address, port }. A closed loopback port as the product server
// makes the update check fail fast and quietly.
export function startMailhost(mailhost, args) {
  return new Promise((resolve, reject) => {
    const env = { ...process.env, SONVERA_PRODUCT_HOST: "http://127.0.0.1:9" };
    const child = spawn(mailhost, args, { env, stdio: ["ignore", "pipe", "pipe"] });
    let out = "";
    child.stdout.on("data", (chunk) => {
      out += chunk;
      const found = out.match(/^page (http:\/\/127\.0\.0\.1:(\d+)\/\?token=[0-9a-f]{64})$/m);
      if (found) resolve({ child, address: found[1], port: Number(found[2]) });
    });
    child.stderr.on("data", (chunk) => process.stderr.write(chunk));
    child.on("exit", (code) => reject(new Error(`mailhost ended with ${code} before it served: ${out}`)));
  });
}

export function stopMailhost(child) {
  return new Promise((resolve) => {
    child.once("exit", resolve);
    child.kill("SIGTERM");
  });
}

// A copy of the add-in folder in DATA, registered there: recordings land
// beside the library, never in the build's folder.
export function registerAddinCopy(mailhost, addin, data) {
  cpSync(dirname(addin), join(data, "addin"), { recursive: true });
  must(mailhost, ["--register", join(data, "addin", "libsonvera.so"), "--data", data]);
}

// Clicks New mail on PAGE and gives the name of the window it opened, once
// that window is the active one (another window may be active until then).
export async function newMail(page) {
  const open = await page.locator(".window").evaluateAll((windows) => windows.map((w) => w.dataset.name));
  await page.getByRole("button", { name: "New mail" }).click();
  const made = await page.waitForFunction((names) => {
    const active = document.querySelector(".window.active");
    return active && !names.includes(active.dataset.name) && active.dataset.name;
  }, open);
  return made.jsonValue();
}

// Fills To and Subject of window WIN and leaves the subject, as a person does.
export async function addressMail(page, win, to, subject) {
  const field = (name) => page.locator(`.window[data-name="${win}"] [data-field=${name}]`);
  await field("to").fill(to);
  await field("subject").fill(subject);
  await field("subject").press("Tab");
}
