"use strict";
const $ = (id) => document.getElementById(id);
let state = null;
let listed = { folder: null, version: -1, total: 0, loaded: false, rows: new Map(), pending: new Set() };
let anchor = null;
let windowsMade = 0;
let boot = null;

function quote(word) {
  return '"' + String(word).replace(/\\/g, "\\\\").replace(/"/g, '\\"') + '"';
}

// What a refused request says: mailhost's words, in JSON or as text.
async function errorOf(reply) {
  const text = await reply.text();
  try { return JSON.parse(text).error || text; } catch { return text; }
}

async function run(line) {
  const reply = await fetch("/command", { method: "POST", body: line });
  $("error").textContent = reply.ok ? "" : await errorOf(reply);
  return reply.status;
}

function el(tag, props = {}, children = []) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (key === "text") node.textContent = value;
    else if (key === "style") node.style.cssText = value;  // the page's policy refuses style attributes
    else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
    else if (value !== undefined && value !== null && value !== false) node.setAttribute(key, value === true ? "" : value);
  }
  for (const child of children) node.append(child);
  return node;
}

// Draws `node` again only when what it shows changed, and gives the focus
// back to the control that had it: the state comes many times a second
// while the meter runs, and a redrawn button would lose the keyboard.
// Focus given back after a redraw is not the person moving to the main
// window, and must not deactivate a mail window.
let refocusing = false;
function refocus(node) {
  refocusing = true;
  try { node?.focus(); } finally { refocusing = false; }
}

function redraw(node, data, draw) {
  const key = JSON.stringify(data);
  if (node.dataset.drawn === key) return;
  node.dataset.drawn = key;
  const focusable = () => [...node.querySelectorAll("button, select, input, textarea")];
  const had = focusable().indexOf(document.activeElement);
  draw();
  if (had >= 0) refocus(focusable()[had]);
}

// Puts `nodes` into `container` in this order, moving only what is out of place.
function place(container, nodes) {
  for (const child of [...container.children]) if (!nodes.includes(child)) child.remove();
  nodes.forEach((node, i) => { if (container.children[i] !== node) container.insertBefore(node, container.children[i] || null); });
}

function renderBar(container, win, bar) {
  redraw(container, bar, () => drawBar(container, win, bar));
}

function drawBar(container, win, bar) {
  container.replaceChildren();
  container.classList.toggle("hidden", !bar || !bar.visible);
  if (!bar) return;
  for (const c of bar.controls) {
    if (!c.visible) continue;
    if (c.kind === "list") {
      const select = el("select", { "aria-label": c.caption || "list", disabled: !c.enabled,
        onchange: (e) => run(`choose ${win} ${e.target.selectedIndex + 1}`) },
        c.items.map((item, i) => el("option", { text: item, selected: i + 1 === c.listIndex })));
      container.append(select);
    } else {
      const face = c.picture !== undefined ? el("img", { src: `/picture/${c.picture}.png`, alt: "" }) : "";
      container.append(el("button", { title: c.tip || c.caption, disabled: !c.enabled,
        "data-caption": c.caption, onclick: () => run(`click ${win} #${c.position}`) }, [face, c.caption]));
    }
  }
}

// An attached mail opens in a window of its own, as any mail; a voice
// attachment has a player (player.js) below the list. `mail` is the mail's
// id or its window's name.
function attachmentList(attachments, mail) {
  const list = el("div", { class: "attachments", "aria-label": "Attachments" },
    attachments.map((a) => a.opens
      ? el("button", { class: "attachment", "data-opens": a.opens, title: "Open the attached mail",
        text: `${a.name} (${a.size} bytes)`, onclick: () => openItem(a.opens) })
      : el("span", { class: "attachment", text: `${a.name} (${a.size} bytes)` })));
  const players = attachments.flatMap((a, i) => !a.opens && voice.isVoice(a.name) ? [voice.player(mail, i + 1, a.name, a.size)] : []);
  return players.length ? el("div", { class: "attachments-and-players" }, [list, ...players]) : list;
}

// A listed mail's attachments, with the length of each voice message.
function attachmentNames(item) {
  return item.attachments.map((a, i) => {
    if (!voice.isVoice(a.name)) return a.name;
    const length = voice.lengthOf(item.id, i + 1, () => renderList(true));
    return length ? `${a.name} (${length})` : a.name;
  }).join(", ");
}

// The folders as a tree: "Archive/2024" is 2024 under Archive. A parent
// that is no folder itself (another program made only the subfolder) shows
// as a name that cannot be chosen.
function renderFolders() {
  const nav = $("folders");
  redraw(nav, [state.folders, state.folder], () => {
    const top = el("ul");
    const items = new Map();
    const itemOf = (path) => {
      if (items.has(path)) return items.get(path);
      const cut = path.lastIndexOf("/");
      const into = cut < 0 ? top : subfoldersOf(itemOf(path.slice(0, cut)));
      const item = el("li", {}, [el("span", { class: "parent", text: path.slice(cut + 1) })]);
      into.append(item);
      items.set(path, item);
      return item;
    };
    for (const name of state.folders) {
      const item = itemOf(name);
      item.firstChild.replaceWith(el("button", {
        text: name.slice(name.lastIndexOf("/") + 1), title: name,
        "aria-current": name === state.folder ? "true" : "false",
        onclick: () => run(`folder ${quote(name)}`) }));
    }
    nav.replaceChildren(top);
  });
}

function subfoldersOf(item) {
  if (item.lastChild.tagName !== "UL") item.append(el("ul"));
  return item.lastChild;
}

// The list shows only the rows in view, fetched a page at a time: a folder
// may hold tens of thousands of mails.
const ROW = 24, PAGE = 100;

// `stale`: the rows of the listing this one replaces, shown until their page
// comes again, so a row under the person's click or key does not vanish.
function emptyListing(folder, version, total, stale = new Map()) {
  return { folder, version, total, loaded: false, rows: new Map(), stale, pending: new Set() };
}

async function loadPage(p) {
  if (listed.pending.has(p)) return;
  listed.pending.add(p);
  const { folder, version } = listed;
  const reply = await fetch(`/folder?name=${encodeURIComponent(folder)}&offset=${p * PAGE}&limit=${PAGE}`);
  if (listed.folder !== folder || listed.version !== version) return;
  if (!reply.ok) {
    // The folder shown is gone (another program removed or renamed it): say
    // so where its mail was.
    if (reply.status === 400) listFailed(await errorOf(reply));
    return;
  }
  const body = await reply.json();
  if (listed.folder !== folder || listed.version !== version) return;  // a newer listing is under way
  listed.total = body.total;
  listed.loaded = true;
  body.items.forEach((item, i) => listed.rows.set(p * PAGE + i, item));
  renderList(true);
}

function listFailed(error) {
  if (listed.error === error) return;
  listed = { ...emptyListing(listed.folder, listed.version, 0), loaded: true, error };
  renderList(true);
}

function refreshList() {
  if (listed.folder !== state.folder || listed.version !== state.storeVersion) {
    const sameFolder = listed.folder === state.folder;
    listed = emptyListing(state.folder, state.storeVersion, sameFolder ? listed.total : 0,
      sameFolder ? new Map([...listed.stale, ...listed.rows]) : undefined);
    if (!sameFolder) $("list").scrollTop = 0;
  }
  renderList();
}

function rowOf(index, item, selected) {
  if (!item) return el("tr", { class: "placeholder", "data-index": index }, [el("td", { text: "\u2026", colspan: 4 })]);
  const mine = state.folder === "Sent" || state.folder === "Drafts";
  return el("tr", { tabindex: 0, "data-id": item.id, "data-index": index,
    "aria-selected": selected.has(item.id) ? "true" : "false", title: item.deleted ? DELETED : undefined,
    class: (selected.has(item.id) ? "selected " : "") + (item.read || state.folder !== "Inbox" ? "" : "unread") +
      (item.deleted ? " deleted" : ""),
    onclick: (e) => pick(index, e), ondblclick: () => openItem(item.id),
    onkeydown: (e) => rowKey(e, index, item.id) },
    [el("td", { text: (mine ? item.to : item.from) || "" }),
     el("td", { text: item.subject || "(no subject)" }),
     el("td", { class: "attached", text: attachmentNames(item) }),
     el("td", { text: item.date || "" })]);
}

let listKey = "";
function renderList(force) {
  const box = $("list");
  const first = Math.max(0, Math.floor(box.scrollTop / ROW) - 10);
  const last = Math.min(listed.total, first + Math.ceil((box.clientHeight || 400) / ROW) + 20);
  if (!listed.loaded) loadPage(0);
  for (let p = Math.floor(first / PAGE); p * PAGE < last; ++p) {
    if (!listed.rows.has(p * PAGE)) loadPage(p);
  }
  const key = [listed.folder, listed.version, listed.rows.size, first, last, state.selection.join("\n")].join("|");
  if (!force && key === listKey) return;
  listKey = key;
  const focused = document.activeElement?.dataset?.index;
  const selected = new Set(state.selection);
  if (listed.error) {
    $("messages").replaceChildren(el("tr", { class: "gone" }, [el("td", { text: listed.error, colspan: 4 })]));
    $("open-mail").disabled = true;
    return;
  }
  const rows = [el("tr", { class: "spacer", "aria-hidden": "true", style: `height:${first * ROW}px` })];
  for (let i = first; i < last; ++i) rows.push(rowOf(i, listed.rows.get(i) ?? listed.stale.get(i), selected));
  rows.push(el("tr", { class: "spacer", "aria-hidden": "true", style: `height:${(listed.total - last) * ROW}px` }));
  const body = $("messages");
  body.replaceChildren(...rows);
  if (listed.loaded) {
    body.dataset.folder = listed.folder;
    body.dataset.total = listed.total;
  }
  if (focused !== undefined) refocus(body.querySelector(`tr[data-index="${focused}"]`));
  $("open-mail").disabled = state.selection.length !== 1;
}

function pick(index, event) {
  const idAt = (i) => listed.rows.get(i)?.id;
  let chosen;
  if (event.shiftKey && anchor !== null) {
    chosen = [];
    for (let i = Math.min(anchor, index); i <= Math.max(anchor, index); ++i) if (idAt(i)) chosen.push(idAt(i));
  } else if (event.ctrlKey || event.metaKey) {
    const now = new Set(state.selection);
    now.has(idAt(index)) ? now.delete(idAt(index)) : now.add(idAt(index));
    chosen = [...now];
    anchor = index;
  } else {
    chosen = [idAt(index)];
    anchor = index;
  }
  run(["select", ...chosen.map(quote)].join(" "));
}

function rowKey(event, index, id) {
  const step = { ArrowDown: 1, ArrowUp: -1, PageDown: 10, PageUp: -10 }[event.key];
  if (step) {
    event.preventDefault();
    const target = Math.max(0, Math.min(listed.total - 1, index + step));
    const box = $("list");
    const top = target * ROW;
    if (top < box.scrollTop) box.scrollTop = top;
    else if (top + 2 * ROW > box.scrollTop + box.clientHeight) box.scrollTop = top + 2 * ROW - box.clientHeight;
    renderList(true);
    $("messages").querySelector(`tr[data-index="${target}"]`)?.focus();
  } else if (event.key === " ") { pick(index, event); event.preventDefault(); }
  else if (event.key === "Enter") openItem(id);
}

function nextWindowName() {
  const open = new Set(state.windows.map((w) => w.name));
  let name;
  do { name = `w${++windowsMade}`; } while (open.has(name));
  return name;
}

// 202: still opening on a busy machine; the activation queues behind it.
async function openWindow(command) {
  const name = nextWindowName();
  if ([200, 202].includes(await run(`${command} ${name}`))) run(`activate ${name}`);
}

const openItem = (id) => openWindow(`open ${quote(id)}`);

// The state carries the start of a long text; the whole is fetched when asked for.
async function wholeBody(mail) {
  const reply = await fetch(`/body?mail=${encodeURIComponent(mail)}`);
  if (!reply.ok) { $("error").textContent = await errorOf(reply); return null; }
  return (await reply.json()).body;
}

const cutNote = (mail) => `Show the whole text (${mail.bodySize} bytes)`;
const DELETED = "Deleted in another mail program, not yet expunged";
const REMOVED = "removed from the mail store by another program";
let readingWhole = { key: null, text: "" };

function renderReading() {
  const pane = $("reading");
  const mail = state.reading;
  if (!mail) { pane.textContent = state.selection.length > 1 ? `${state.selection.length} items selected` : "Select a message to read it."; return; }
  const key = `${mail.id}|${mail.bodySize}|${mail.body}`;
  const whole = readingWhole.key === key;
  const more = mail.bodyCut && !whole ? el("button", { class: "whole", text: cutNote(mail), onclick: async () => {
    const text = await wholeBody(mail.id);
    if (text !== null) { readingWhole = { key, text }; renderReading(); }
  } }) : "";
  const deleted = mail.deleted ? el("div", { class: "deleted-note", text: DELETED }) : "";
  pane.replaceChildren(deleted, el("strong", { class: mail.deleted ? "deleted" : "", text: mail.subject || "(no subject)" }), "\n",
    mail.from ? `From: ${mail.from}\n` : "", mail.to ? `To: ${mail.to}\n` : "", mail.date ? `Date: ${mail.date}\n` : "",
    attachmentList(mail.attachments, mail.id), "\n", whole ? readingWhole.text : mail.body, more);
}

// A file from the person's disk, attached to the window's mail. mailhost
// keeps it only up to its limit and says so above it.
async function upload(win, input) {
  const file = input.files[0];
  input.value = "";
  if (!file) return;
  $("error").textContent = "";
  const reply = await fetch(`/upload?window=${encodeURIComponent(win)}&name=${encodeURIComponent(file.name)}`,
    { method: "POST", body: file, headers: { "Content-Type": "application/octet-stream" } });
  if (!reply.ok) $("error").textContent = await errorOf(reply);
}

function renderWindows() {
  const area = $("windows");
  const focused = document.activeElement && document.activeElement.dataset.field;
  const focusedWindow = focused && document.activeElement.closest(".window")?.dataset.name;
  const kept = new Map([...area.children].map((node) => [node.dataset.name, node]));
  const nodes = state.windows.map((w) => {
    let node = kept.get(w.name);
    if (!node) {
      node = el("section", { class: "window", "data-name": w.name, "aria-label": `Mail window ${w.name}`,
        onfocusin: () => { if (state.windows.find((x) => x.name === w.name && !x.active)) run(`activate ${w.name}`); } });
      const title = el("div", { class: "title" }, [el("span", { class: "name" }),
        el("span", {}, [el("button", { text: "Close", onclick: () => run(`close ${w.name}`) })])]);
      const bar = el("div", { class: "bar", role: "toolbar", "aria-label": `Add-in bar of ${w.name}` });
      const to = el("input", { "data-field": "to", onchange: (e) => run(`to ${w.name} ${quote(e.target.value)}`) });
      const subject = el("input", { "data-field": "subject", onchange: (e) => run(`subject ${w.name} ${quote(e.target.value)}`) });
      const body = el("textarea", { "data-field": "body",
        onchange: (e) => run([`body ${w.name}`, ...e.target.value.split(/\r?\n/).map(quote)].join(" ")) });
      // A long text shows cut and read-only until the whole of it is fetched.
      const whole = el("button", { class: "whole", hidden: true, onclick: async () => {
        const text = await wholeBody(w.name);
        if (text === null) return;
        body.value = text;
        body.dataset.whole = "true";
        body.readOnly = false;
        whole.hidden = true;
      } });
      const send = el("button", { text: "Send", class: "send", onclick: () => run(`send ${w.name}`) });
      const picker = el("input", { type: "file", class: "picker", hidden: true, "aria-label": `Attach a file to ${w.name}`,
        onchange: (e) => upload(w.name, e.target) });
      const attach = el("button", { text: "Attach file\u2026", class: "attach", onclick: () => picker.click() });
      node.append(title, bar, el("label", {}, ["To", to]), el("label", {}, ["Subject", subject]), el("label", {}, ["Text", body]),
        whole, el("div", { class: "attachments" }), el("div", { class: "actions" }, [send, attach, picker]));
    }
    node.classList.toggle("active", w.active);
    const kind = !w.mail ? "" : !w.mail.sent ? "" : w.mail.folder === "Sent" ? " (sent)" : " (received)";
    const removed = Boolean(w.mail && w.mail.removed);
    node.classList.toggle("removed", removed);
    node.querySelector(".name").textContent = `${w.name}${kind}${removed ? ` - ${REMOVED}` : ""}` +
      `${w.mail && w.mail.deleted ? " - deleted" : ""}${w.sending ? " - Sending" : ""}${w.active ? " - active" : ""}`;
    renderBar(node.querySelector(".bar"), w.name, w.bar);
    const mail = w.mail || { to: "", subject: "", body: "", bodySize: 0, attachments: [], sent: false };
    for (const field of ["to", "subject", "body"]) {
      const input = node.querySelector(`[data-field=${field}]`);
      const server = field === "body" ? `${mail.bodySize}|${mail.body}` : mail[field];
      // Only what the server changed is written over what the person typed.
      if (input.dataset.server !== server) {
        input.dataset.server = server;
        delete input.dataset.whole;
        if (!(focusedWindow === w.name && focused === field)) input.value = mail[field];
      }
      input.disabled = mail.sent || !w.mail || removed;
    }
    const text = node.querySelector("[data-field=body]");
    const cut = Boolean(mail.bodyCut) && text.dataset.whole !== "true";
    text.readOnly = cut;
    node.querySelector(".whole").hidden = !cut;
    node.querySelector(".whole").textContent = cutNote(mail);
    for (const action of [".send", ".attach"]) node.querySelector(action).disabled = mail.sent || !w.mail || w.sending || removed;
    node.querySelector(".attachments, .attachments-and-players").replaceWith(attachmentList(mail.attachments, w.name));
    return node;
  });
  place(area, nodes);
}

function renderForms() {
  const layer = $("forms");
  const kept = new Map([...layer.children].map((node) => [node.dataset.form, node]));
  place(layer, state.forms.map((form) => {
    const node = kept.get(form.name) || el("section", { class: "form", "data-form": form.name });
    redraw(node, [form, onPage(form.x, form.y)], () => drawForm(node, form));
    return node;
  }));
}

// A point of the host's screen on the page: the add-in places its forms by
// the bars' screen positions, so the nearest bar above and left of the point
// says where it lies here.
function onPage(x, y) {
  const bars = [["#explorer-bar", state.explorerBar],
    ...state.windows.map((w) => [`.window[data-name="${w.name}"] .bar`, w.bar])];
  let best = null;
  for (const [selector, bar] of bars) {
    const node = document.querySelector(selector);
    if (!bar || !bar.origin || !node || node.classList.contains("hidden")) continue;
    const dx = x - bar.origin.left, dy = y - bar.origin.top;
    if (dx < -200 || dy < -200) continue;
    const distance = Math.hypot(dx, dy);
    if (!best || distance < best.distance) best = { distance, node, bar };
  }
  if (!best) return [x, y];
  const rect = best.node.getBoundingClientRect();
  return [rect.left + x - best.bar.origin.left, rect.top + y - best.bar.origin.top];
}

function drawForm(node, form) {
  const surface = el("div", { class: "surface", style: `width:${form.width}px;height:${form.height}px` });
  for (const p of form.painted) {
    surface.append(el("img", { src: `/picture/${p.picture}.png`, alt: p.face, "data-face": p.face,
      style: `left:${p.x}px;top:${p.y}px;width:${p.width}px;height:${p.height}px` }));
  }
  for (const c of form.controls) {
    if (!c.visible) continue;
    const where = `left:${c.x}px;top:${c.y}px;` + (c.kind === "label" ? "" : `width:${c.width}px;height:${c.height}px`);
    if (c.kind === "button" || c.kind === "link") {
      surface.append(el("button", { text: c.text, style: where, disabled: !c.enabled, "data-control": c.name,
        onclick: () => run(`form-click ${form.name} ${c.name}`) }));
    } else if (c.kind === "list") {
      surface.append(el("select", { style: where, disabled: !c.enabled, "data-control": c.name, "aria-label": c.name,
        onchange: (e) => run(`form-choose ${form.name} ${c.name} ${quote(e.target.value)}`) },
        c.items.map((item, i) => el("option", { text: item, value: item, selected: i === c.listIndex }))));
    } else {
      surface.append(el("span", { text: c.text, style: where, "data-control": c.name }));
    }
  }
  node.setAttribute("aria-label", form.caption || form.name);
  const [x, y] = onPage(form.x, form.y);
  node.style.left = `${Math.max(0, Math.min(x, innerWidth - form.width - 4))}px`;
  node.style.top = `${Math.max(0, Math.min(y, innerHeight - form.height - 24))}px`;
  node.replaceChildren(el("div", { class: "caption", text: form.caption || form.name }), surface);
}

function renderBox() {
  const dialog = $("box");
  const box = state.boxes[state.boxes.length - 1];
  if (!box) { if (dialog.open) dialog.close(); return; }
  const key = JSON.stringify(box);
  if (dialog.open && dialog.dataset.key === key) return;
  dialog.dataset.key = key;
  dialog.querySelector("h2").textContent = box.title;
  dialog.querySelector(".icon").textContent = { Question: "?", Critical: "\u2716", Exclamation: "!" }[box.icon] || "";
  dialog.querySelector(".lines").textContent = box.text.replace(/\r\n/g, "\n");
  dialog.querySelector(".buttons").replaceChildren(...box.buttons.map((name) =>
    el("button", { text: name, onclick: () => answer(name) })));
  if (!dialog.open) dialog.showModal();
  dialog.querySelector(".buttons button").focus();
}

async function answer(name) {
  const reply = await fetch("/answer", { method: "POST", body: name });
  if (!reply.ok) $("error").textContent = await errorOf(reply);
}

function render() {
  $("sound").textContent = state.sound || "";
  $("sending").textContent = state.sending ? `Send submits to ${state.sending}` : "Send files the mail in Sent only";
  if (state.error) $("error").textContent = state.error;
  renderFolders();
  renderBar($("explorer-bar"), "explorer", state.explorerBar);
  renderReading();
  renderWindows();
  renderForms();
  renderBox();
  const log = $("log");
  log.textContent = state.log.join("\n");
  log.scrollTop = log.scrollHeight;
  refreshList();
  voice.sweep();
  document.body.dataset.ready = "true";
}

$("list").addEventListener("scroll", () => requestAnimationFrame(() => renderList()));
// Working in the main window deactivates the mail window, as on a desktop.
$("explorer").addEventListener("focusin", () => {
  if (!refocusing && state && state.windows.some((w) => w.active)) run("activate explorer");
});
$("new-mail").addEventListener("click", () => openWindow("new"));
$("open-mail").addEventListener("click", () => openItem(state.selection[0]));
$("box").addEventListener("cancel", (e) => e.preventDefault());  // a box is answered, not dismissed
$("commandline").addEventListener("submit", (e) => {
  e.preventDefault();
  const input = $("command");
  if (input.value.trim()) run(input.value).then(() => { input.value = ""; });
});
fetch("/commands").then((r) => r.json()).then((commands) => {
  $("command-names").replaceChildren(...commands.map((c) => el("option", { value: c.name, text: `${c.usage} ${c.help}` })));
});

// The person's microphone and speaker are mailhost's sound devices. The
// state says what the page mailhost chose (the one that connected last)
// should do; this page acts only when it is the one named.
const pageName = crypto.randomUUID();
const CLEANUP = "mailhost-voice-cleanup";
const MOST_SAMPLES = 32000;  // a POST of samples stays under mailhost's 64 KiB
const REFUSED = "The browser refused the microphone: allow it for this page (the icon in the " +
  "address bar) and record again.";
const sound = { mine: false, serial: -1, input: -1, capture: null, at: 0, queue: [], sending: false,
  inputs: [], audio: null, play: 0 };

// The browser's own noise suppression, echo cancellation and gain control,
// unless the person turned them off.
const cleanup = () => localStorage.getItem(CLEANUP) !== "off";

async function tellSound(report) {
  try {
    await fetch(`/sound/report?page=${pageName}`, { method: "POST", body: JSON.stringify(report) });
  } catch { /* mailhost is away: it hears the page is gone */ }
}

function captureFailure(error) {
  if (error && (error.name === "NotAllowedError" || error.name === "SecurityError")) return REFUSED;
  if (error && error.name === "NotFoundError") return "The browser finds no microphone.";
  return `The page's microphone failed: ${(error && error.message) || error}`;
}

function closeCapture(capture) {
  if (capture.stream) capture.stream.getTracks().forEach((track) => track.stop());
  if (capture.context) capture.context.close();
}

function stopCapture() {
  const capture = sound.capture;
  sound.capture = null;
  if (capture) closeCapture(capture);
}

async function startCapture(input) {
  stopCapture();
  const capture = { stream: null, context: null };
  sound.capture = capture;
  sound.input = input;
  try {
    const audio = { echoCancellation: cleanup(), noiseSuppression: cleanup(), autoGainControl: cleanup() };
    const chosen = input >= 0 ? sound.inputs[input] : null;
    if (chosen) audio.deviceId = { exact: chosen.deviceId };
    capture.stream = await navigator.mediaDevices.getUserMedia({ audio });
    if (sound.capture !== capture) { closeCapture(capture); return; }
    capture.context = new AudioContext();
    await capture.context.audioWorklet.addModule("/pcm-worklet.js");
    if (sound.capture !== capture) { closeCapture(capture); return; }
    const rate = capture.context.sampleRate;
    const node = new AudioWorkletNode(capture.context, "pcm-chunks", { numberOfOutputs: 1,
      outputChannelCount: [1], processorOptions: { chunk: Math.round(rate / 10) } });
    node.port.onmessage = (e) => { if (sound.capture === capture) queueSamples(new Int16Array(e.data), rate); };
    capture.context.createMediaStreamSource(capture.stream).connect(node);
    node.connect(capture.context.destination);  // it runs only when pulled; it says nothing
    await capture.context.resume();
    tellSound({ event: "started" });
    listInputs();
  } catch (error) {
    if (sound.capture === capture) { sound.capture = null; closeCapture(capture); }
    tellSound({ event: "failed", message: captureFailure(error) });
  }
}

function queueSamples(samples, rate) {
  sound.queue.push({ samples, rate, at: sound.at });
  sound.at += samples.length;
  if (!sound.sending) sendSamples();
}

// One POST at a time, so they arrive in order; what waited meanwhile goes together.
async function sendSamples() {
  sound.sending = true;
  while (sound.queue.length) {
    const first = sound.queue[0];
    let count = 0, n = 0;
    while (n < sound.queue.length && sound.queue[n].rate === first.rate &&
           (n === 0 || count + sound.queue[n].samples.length <= MOST_SAMPLES)) count += sound.queue[n++].samples.length;
    const parts = sound.queue.splice(0, n);
    const body = new Int16Array(count);
    let offset = 0;
    for (const part of parts) { body.set(part.samples, offset); offset += part.samples.length; }
    try {
      await fetch(`/sound/pcm?page=${pageName}&at=${first.at}&rate=${first.rate}`, { method: "POST", body: body.buffer });
    } catch { /* lost on the way: mailhost hears the gap */ }
  }
  sound.sending = false;
}

// The inputs by label; the browser names them once the microphone is allowed.
async function listInputs() {
  if (!navigator.mediaDevices) return;
  const devices = await navigator.mediaDevices.enumerateDevices();
  const inputs = devices.filter((d) => d.kind === "audioinput" && d.label);
  if (!inputs.length) return;
  sound.inputs = inputs;
  tellSound({ event: "inputs", inputs: inputs.map((d) => d.label) });
}

function stopAudio() {
  const audio = sound.audio;
  sound.audio = null;
  sound.play = 0;
  if (!audio) return;
  audio.dataset.pausing = "true";
  audio.pause();
  audio.remove();
}

function followPlay(play) {
  if (!play) { if (sound.play) stopAudio(); return; }
  if (sound.play !== play.number) {
    stopAudio();
    const number = play.number;
    const audio = el("audio", { src: `/sound?play=${number}&page=${pageName}`, preload: "auto",
      "data-mailhost-sound": "", hidden: true });
    const over = (event, message) => {
      if (sound.audio !== audio) return;
      sound.audio = null;
      audio.remove();
      tellSound({ event, play: number, message });
    };
    audio.addEventListener("ended", () => over("ended"));
    // Paused by anything but mailhost (another sound of the page started): stopped.
    audio.addEventListener("pause", () => { if (!audio.ended && !audio.dataset.pausing) over("stopped"); });
    audio.addEventListener("error", () => over("stopped", "The browser cannot play this sound."));
    document.body.append(audio);
    sound.audio = audio;
    sound.play = number;
  }
  const audio = sound.audio;
  if (!audio) return;
  if (play.paused && !audio.paused) {
    audio.dataset.pausing = "true";
    audio.pause();
  } else if (!play.paused && audio.paused && !audio.ended) {
    delete audio.dataset.pausing;
    audio.play().catch((error) => {
      if (error.name === "AbortError" || sound.audio !== audio) return;
      sound.audio = null;
      audio.remove();
      tellSound({ event: "stopped", play: sound.play,
        message: "The browser would not play the sound: click on the page once, then play again." });
    });
  }
}

function followSound(device) {
  const mine = Boolean(device && device.page === pageName);
  if (mine && !sound.mine) listInputs();
  sound.mine = mine;
  if (mine && device.capture) {
    if (sound.serial !== device.serial) {
      sound.serial = device.serial;
      startCapture(device.input);
    }
  } else if (sound.serial !== -1 || sound.capture) {
    sound.serial = -1;
    stopCapture();
  }
  followPlay(mine ? device.play : null);
}

// One sound at a time on the page: a sound that starts pauses the others.
document.addEventListener("play", (e) => {
  for (const audio of document.querySelectorAll("audio")) if (audio !== e.target && !audio.paused) audio.pause();
}, true);
$("voice-cleanup").checked = cleanup();
$("voice-cleanup").addEventListener("change", (e) => {
  localStorage.setItem(CLEANUP, e.target.checked ? "on" : "off");
  if (sound.capture) startCapture(sound.input);
});

function showStatus(text, down) {
  $("status").textContent = text;
  $("status").className = down ? "down" : "";
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const RESTARTED = "mailhost was restarted: this page's address is no longer valid. " +
  "Open the new address mailhost printed at its start (page http://127.0.0.1:PORT/?token=\u2026).";

function onState(next) {
  state = next;
  if (!state.folders) return;
  followSound(state.soundDevice);
  if (state.boot !== boot) { boot = state.boot; listed.version = -1; }  // a restarted mailhost counts again
  render();
  if (state.quit) showStatus("mailhost has ended", true);
}

// The events of one stream, as they come.
async function readEvents(stream) {
  const reader = stream.pipeThrough(new TextDecoderStream()).getReader();
  let buffer = "";
  for (;;) {
    const { value, done } = await reader.read();
    if (done) return;
    buffer += value;
    for (let end = buffer.indexOf("\n\n"); end >= 0; end = buffer.indexOf("\n\n")) {
      const event = buffer.slice(0, end);
      buffer = buffer.slice(end + 2);
      const data = event.split("\n").filter((line) => line.startsWith("data: ")).map((line) => line.slice(6)).join("\n");
      if (data) onState(JSON.parse(data));
    }
  }
}

// Follows mailhost live. A mailhost that is gone is waited for; one that
// refuses says why, in its own words, and a restarted one (its secret is
// new, this page's cookie is not) is not asked again.
async function follow() {
  for (;;) {
    let reply = null;
    try {
      reply = await fetch(`/events?page=${pageName}`, { cache: "no-store" });
    } catch {
      // not there (yet)
    }
    if (reply && reply.ok) {
      showStatus("connected", false);
      try { await readEvents(reply.body); } catch { /* the stream broke */ }
      if (state && state.quit) return;
    } else if (reply && reply.status === 403) {
      showStatus(boot !== null ? RESTARTED.replace("PORT", location.port) : await reply.text(), true);
      return;
    } else if (reply) {
      showStatus(await reply.text(), true);
      await sleep(5000);
      continue;
    }
    showStatus("reconnecting", true);
    await sleep(1000);
  }
}
follow();
