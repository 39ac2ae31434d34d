"use strict";
// The player of voice attachments: the sound from mailhost over the page's
// session, its waveform to click or drag in, 1x, 1.5x and 2x with the pitch
// kept, and the place where the listener stopped, kept by mailhost across
// reloads and restarts. page.js places the players; this file makes them.

const voice = (() => {
  const SPEEDS = [1, 1.5, 2];
  const SAVE_EVERY = 3000;  // ms while playing; a pause or a seek saves at once
  const players = new Map();  // "mail\nnumber" -> player node, kept across renders
  const lengths = new Map();  // "id\nnumber" -> seconds, or null while asked

  const isVoice = (name) => /mp3$/i.test(name || "");
  const query = (mail, number) => `mail=${encodeURIComponent(mail)}&n=${number}`;

  function clock(seconds) {
    if (!Number.isFinite(seconds) || seconds < 0) seconds = 0;
    const whole = Math.floor(seconds);
    const h = Math.floor(whole / 3600), m = Math.floor(whole / 60) % 60, s = whole % 60;
    const mm = h ? String(m).padStart(2, "0") : String(m);
    return `${h ? h + ":" : ""}${mm}:${String(s).padStart(2, "0")}`;
  }

  function make(tag, props = {}, children = []) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(props)) {
      if (key === "text") node.textContent = value;
      else if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
      else node.setAttribute(key, value);
    }
    node.append(...children);
    return node;
  }

  // One sound at a time: page.js pauses the others when a player starts.

  function create(mail, number, name) {
    const audio = make("audio", { preload: "metadata" });
    audio.preservesPitch = true;  // Chromium's default, said outright: 2x must not squeak
    const canvas = make("canvas", { class: "wave", width: 400, height: 48, role: "slider",
      "aria-label": `Position in ${name}`, tabindex: 0 });
    const play = make("button", { class: "play", text: "Play", title: `Play ${name} here`, "aria-label": `Play ${name}` });
    const time = make("span", { class: "time", text: "0:00 / \u2026" });
    const speeds = SPEEDS.map((speed) => make("button", { class: "speed", "data-speed": speed, text: `${speed}x`,
      "aria-pressed": speed === 1 ? "true" : "false", onclick: () => setSpeed(speed) }));
    const note = make("span", { class: "player-note", role: "status" });
    const node = make("div", { class: "player", "data-mail": mail, "data-n": number, "aria-label": `Player of ${name}` },
      [play, canvas, time, make("span", { class: "speeds" }, speeds), note, audio]);
    let wave = null, saved = -1, lastSave = 0, dragging = false;

    function duration() {
      return Number.isFinite(audio.duration) ? audio.duration : wave ? wave.durationMs / 1000 : 0;
    }

    function draw() {
      const g = canvas.getContext("2d");
      const { width, height } = canvas;
      g.clearRect(0, 0, width, height);
      if (!wave) return;
      const played = duration() ? audio.currentTime / duration() : 0;
      const bars = wave.peaks.length;
      for (let x = 0; x < width; x += 3) {
        // The loudest of the peaks under this bar: a short word stays visible.
        const from = Math.floor(x / width * bars), to = Math.max(from + 1, Math.floor((x + 3) / width * bars));
        const peak = Math.max(...wave.peaks.slice(from, Math.min(bars, to))) / 1000;
        const h = Math.max(1, Math.round(peak * (height - 2)));
        g.fillStyle = x / width < played ? "#2f6fd0" : "#9aa5b3";
        g.fillRect(x, Math.round((height - h) / 2), 2, h);
      }
      g.fillStyle = "#1d232b";
      g.fillRect(Math.min(width - 1, Math.round(played * width)), 0, 1, height);
      time.textContent = `${clock(audio.currentTime)} / ${clock(duration())}`;
      canvas.setAttribute("aria-valuenow", Math.round(audio.currentTime));
      canvas.setAttribute("aria-valuemax", Math.round(duration()));
    }

    // One at a time, in order: two in flight could arrive the wrong way round
    // and keep the older place. A page going away sends at once.
    let sending = Promise.resolve();
    function save(force, leaving) {
      if (!wave) return;
      const at = audio.ended ? 0 : audio.currentTime;
      if (Math.abs(at - saved) < 0.05 || (!force && Date.now() - lastSave < SAVE_EVERY)) return;
      lastSave = Date.now();
      saved = at;
      const send = () => fetch(`/voice/position?key=${wave.key}`, { method: "POST", body: at.toFixed(2), keepalive: true })
        .then(async (reply) => { if (!reply.ok) note.textContent = await reply.text(); })
        .catch(() => {});
      sending = leaving ? send() : sending.then(send);
    }

    function setSpeed(speed) {
      audio.playbackRate = speed;
      audio.preservesPitch = true;
      for (const button of speeds) button.setAttribute("aria-pressed", String(Number(button.dataset.speed) === speed));
    }

    function seekTo(event) {
      const rect = canvas.getBoundingClientRect();
      const share = Math.min(1, Math.max(0, (event.clientX - rect.left) / rect.width));
      if (duration()) audio.currentTime = share * duration();
      draw();
    }

    canvas.addEventListener("pointerdown", (e) => { dragging = true; canvas.setPointerCapture(e.pointerId); seekTo(e); });
    canvas.addEventListener("pointermove", (e) => { if (dragging) seekTo(e); });
    canvas.addEventListener("pointerup", () => { dragging = false; save(true); });
    canvas.addEventListener("keydown", (e) => {
      const step = { ArrowLeft: -5, ArrowRight: 5 }[e.key];
      if (step) { audio.currentTime = Math.max(0, Math.min(duration(), audio.currentTime + step)); e.preventDefault(); }
    });
    play.addEventListener("click", () => { if (audio.paused) audio.play().catch((e) => { note.textContent = e.message; }); else audio.pause(); });
    audio.addEventListener("play", () => { play.textContent = "Pause"; play.setAttribute("aria-label", `Pause ${name}`); });
    audio.addEventListener("pause", () => { play.textContent = "Play"; play.setAttribute("aria-label", `Play ${name}`); save(true); });
    audio.addEventListener("ended", () => save(true));
    audio.addEventListener("seeked", () => { draw(); if (audio.paused) save(true); });
    audio.addEventListener("timeupdate", () => { draw(); if (!audio.paused) save(false); });
    audio.addEventListener("loadedmetadata", () => {
      // Where the listener stopped, unless that was the very end.
      if (wave && wave.position > 0 && wave.position < duration() - 0.5) audio.currentTime = wave.position;
      draw();
    });
    audio.addEventListener("error", () => { note.textContent = "The sound could not be loaded."; });
    // A paused player has said where it is; a sound torn down with the page
    // would say 0.
    node.keepPosition = () => { if (!audio.paused && audio.readyState > 0) save(true, true); };

    fetch(`/voice/wave?${query(mail, number)}`).then(async (reply) => {
      if (!reply.ok) { note.textContent = await reply.text().then((t) => { try { return JSON.parse(t).error; } catch { return t; } }); return; }
      wave = await reply.json();
      saved = wave.position;
      node.dataset.key = wave.key;
      node.dataset.duration = (wave.durationMs / 1000).toFixed(2);
      audio.src = `/voice/sound?${query(mail, number)}`;
      draw();
      canvas.dataset.drawn = "true";
    }).catch((e) => { note.textContent = e.message; });
    return node;
  }

  // The player of attachment `number` (from 1) of `mail` (an id or a
  // window's name), `size` bytes: the same node each render, so that the
  // sound plays on.
  function player(mail, number, name, size) {
    const key = `${mail}\n${number}\n${size}`;  // a draft's recording made again is another sound
    if (!players.has(key)) players.set(key, create(mail, number, name));
    return players.get(key);
  }

  // A reload or a closed tab keeps where each player was.
  addEventListener("pagehide", () => { for (const node of players.values()) node.keepPosition(); });

  // After a render: the players no longer shown stop and go.
  function sweep() {
    for (const [key, node] of players) {
      if (node.isConnected) continue;
      node.querySelector("audio").pause();  // which keeps its position
      players.delete(key);
    }
  }

  // "0:42" for a listed mail's voice attachment, or "" until mailhost has
  // said; `known` runs once it has.
  function lengthOf(id, number, known) {
    const key = `${id}\n${number}`;
    if (lengths.has(key)) return lengths.get(key) === null ? "" : clock(lengths.get(key));
    lengths.set(key, null);
    fetch(`/voice/length?${query(id, number)}`).then(async (reply) => {
      if (!reply.ok) return;
      lengths.set(key, (await reply.json()).durationMs / 1000);
      known();
    }).catch(() => {});
    return "";
  }

  return { isVoice, player, sweep, lengthOf };
})();
