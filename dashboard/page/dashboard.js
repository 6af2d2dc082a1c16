// The station's page. Everything shown goes in with textContent: a port or slot may be
// named anything, and its name must stay text. Fields the station adds later (yield, attempt,
// retries, unit) may be absent or null: each is shown only when it is there.
"use strict";
const words = {
  en: { title: "Orvane station", image: "Image", stop: "Stop the station", records: "Last records",
    started: "Started", slotName: "Slot", ending: "Ending", reason: "Reason", seconds: "Seconds",
    waiting: "waiting", flashing: "flashing", succeeded: "succeeded", failed: "failed", unusable: "unusable",
    cancelled: "cancelled", unplugged: "unplugged", waitingForLabel: "waiting for its label", waitingForJob: "waiting: the job is retired",
    running: "running", interrupted: "interrupted", paused: "paused", unit: "Unit",
    step: "Step", speed: "Speed", left: "Time left", resends: "Resends", last: "Last result",
    ok: "Succeeded", notOk: "Not succeeded", yield: "Yield", firstPass: "First pass yield",
    finalYield: "Final yield", shift: "Shift", attention: "Need a person",
    retry: "retry {n} of {r}", retryOnly: "retry {n}", live: "Live", lost: "Connection lost, reconnecting…",
    pause: "Pause", resume: "Resume", other: "中文" },
  zh: { title: "Orvane 升级工位", image: "固件", stop: "停止工位", records: "最近记录",
    started: "开始", slotName: "槽位", ending: "结果", reason: "原因", seconds: "秒",
    waiting: "等待", flashing: "升级中", succeeded: "成功", failed: "失败", unusable: "不可用",
    cancelled: "已取消", unplugged: "已拔出", waitingForLabel: "等待产品标签", waitingForJob: "等待：作业已停用",
    running: "进行中", interrupted: "已中断", paused: "已暂停", unit: "产品标签",
    step: "步骤", speed: "速度", left: "剩余时间", resends: "重发", last: "上次结果",
    ok: "成功", notOk: "未成功", yield: "良率", firstPass: "一次通过率", finalYield: "最终良率",
    shift: "本班", attention: "需要人工处理",
    retry: "第 {n} 次重试，共 {r} 次", retryOnly: "第 {n} 次重试", live: "已连接", lost: "连接中断，正在重连…",
    pause: "暂停", resume: "继续", other: "English" },
};
// The job's steps as the station names them.
const steps = {
  en: { image: "image", port: "port", enter: "entering", start: "start", header: "header", block: "blocks",
    end: "end frame", done: "done" },
  zh: { image: "固件", port: "端口", enter: "进入升级", start: "开始", header: "文件头", block: "数据块",
    end: "结束帧", done: "完成" },
};
// Slot states a person has to act on: shown on the tile and counted at the top.
const needsPerson = new Set(["failed", "unusable", "waitingForLabel", "waitingForJob"]);
// More slots than this and the tiles go compact, so a wall screen holds 32 of them.
const compactFrom = 9;

let lang = (navigator.language || "en").toLowerCase().startsWith("zh") ? "zh" : "en";
let station = { slots: [], total: {} };
let lost = false;
const opened = new Set(); // compact tiles whose details were tapped open
const own = (table, key) => (Object.hasOwn(table, key) ? table[key] : key); // a station's word is never a method
const t = (key) => own(words[lang], key);
const $ = (id) => document.getElementById(id);

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

// A name from outside (slot, unit): its own direction, cut to one line, whole on hover.
function named(tag, cls, text) {
  const node = el(tag, cls);
  node.title = String(text);
  node.append(el("bdi", "", text));
  return node;
}

function yieldText(value) {
  return typeof value === "number" && isFinite(value) ? value.toFixed(1) + " %" : "–";
}

// Each word kept with its figure when the line wraps.
function counters(tally) {
  return t("ok") + "\u00a0" + (tally.succeeded || 0) + " · " + t("notOk") + "\u00a0" + (tally.notSucceeded || 0) +
    " · " + t("firstPass") + "\u00a0" + yieldText(tally.firstPassYield) +
    " · " + t("finalYield") + "\u00a0" + yieldText(tally.finalYield);
}

function speed(bps) {
  return bps ? (bps / 1024).toFixed(1) + " KiB/s" : "–";
}

function retryText(attempt) {
  if (!(attempt > 1)) return "";
  const r = station.retries;
  const text = t(typeof r === "number" ? "retry" : "retryOnly");
  return text.replace("{n}", attempt - 1).replace("{r}", r);
}

function attention(slot) {
  return needsPerson.has(slot.state) || slot.paused === true;
}

function row(dl, key, value) {
  dl.append(el("dt", "", t(key)), el("dd", "", value === "" || value === null || value === undefined ? "–" : value));
}

function details(slot) {
  const dl = el("dl");
  row(dl, "step", slot.step ? own(steps[lang], slot.step) : "");
  row(dl, "speed", speed(slot.bytesPerSecond));
  row(dl, "left", typeof slot.etaSeconds === "number" ? Math.round(slot.etaSeconds) + " s" : "");
  row(dl, "resends", slot.resends);
  const reason = slot.lastReason === "unplugged" ? t("unplugged") : slot.lastReason;
  row(dl, "last", slot.lastResult ? t(slot.lastResult) + (reason ? " (" + reason + ")" : "") : "");
  row(dl, "shift", counters(slot.tally || {}));
  return dl;
}

function notes(slot) {
  const line = el("div", "notes");
  if (typeof slot.unit === "string" && slot.unit) {
    const unit = el("span", "note", t("unit") + " ");
    unit.append(named("span", "unit cut", slot.unit));
    line.append(unit);
  }
  [retryText(slot.attempt), slot.paused ? t("paused") : ""].filter(Boolean)
    .forEach((text) => line.append(el("span", "note", text)));
  return line;
}

function tile(slot) {
  const node = el("article", "tile " + slot.state + (attention(slot) ? " attention" : ""));
  node.dataset.state = slot.state;
  const head = el("div", "head");
  head.append(el("span", "state", t(slot.state)), el("span", "percent", (slot.percent || 0) + "%"));
  node.append(named("div", "name cut", slot.slot), head);
  if (slot.state === "flashing") {
    const bar = el("div", "bar"), fill = el("div");
    fill.style.width = Math.min(100, slot.percent || 0) + "%";
    bar.append(fill);
    node.append(bar);
  }
  node.append(notes(slot), details(slot));
  node.classList.toggle("open", opened.has(slot.slot));
  node.onclick = (e) => {
    if (e.target.closest("button")) return;
    if (!node.classList.toggle("open")) opened.delete(slot.slot); else opened.add(slot.slot);
  };
  if (station.pause) {
    const button = el("button", "", t(slot.paused ? "resume" : "pause"));
    button.type = "button";
    button.onclick = () => post((slot.paused ? "/api/resume" : "/api/pause") + "?slot=" + encodeURIComponent(slot.slot));
    node.append(button);
  }
  return node;
}

function renderAttention(slots) {
  const waiting = slots.filter(attention);
  const strip = $("attention");
  strip.classList.toggle("some", waiting.length > 0);
  strip.replaceChildren(el("span", "count", t("attention") + ": " + waiting.length),
    ...waiting.map((slot) => named("span", "who cut", slot.slot)));
}

function render() {
  document.documentElement.lang = lang === "zh" ? "zh-CN" : "en";
  document.querySelectorAll("[data-text]").forEach((node) => { node.textContent = t(node.dataset.text); });
  $("lang").textContent = t("other");
  $("image-name").textContent = station.image || "";
  $("image-sha").textContent = station.sha256 || "";
  $("image-sha").title = station.sha256 || "";
  $("shift").textContent = t("shift") + ": " + counters(station.total || {});
  $("stop").hidden = !station.control;
  const link = $("link");
  link.textContent = t(lost ? "lost" : "live");
  link.classList.toggle("lost", lost);
  const slots = station.slots || [];
  renderAttention(slots);
  $("slots").classList.toggle("compact", slots.length >= compactFrom);
  $("slots").replaceChildren(...slots.map(tile));
}

let shownRecords = [];
function renderRecords(records) {
  shownRecords = Array.isArray(records) ? records : [];
  const labels = ["started", "slotName", "ending", "reason", "seconds"].map(t).concat("SHA-256");
  const body = $("records").tBodies[0];
  body.replaceChildren(...shownRecords.map((r) => {
    const tr = el("tr");
    const sha = r.sha256 ? String(r.sha256).slice(0, 12) : "";
    const cells = [r.started, r.slot || r.port, r.ending ? t(r.ending) : "", r.reason, r.seconds, sha];
    cells.forEach((v, i) => {
      const td = el("td", i === 2 ? String(r.ending) : "", i === 1 ? null : v);
      if (i === 1 && v) td.append(named("span", "cut", v));
      td.dataset.label = labels[i];
      tr.append(td);
    });
    return tr;
  }));
}

let recordsDue = null;
function loadRecords() {
  if (recordsDue) return;
  recordsDue = setTimeout(() => {
    recordsDue = null;
    fetch("/api/records?limit=50").then((r) => r.ok ? r.json() : []).then(renderRecords).catch(() => {});
  }, 300);
}

function post(path) {
  fetch(path, { method: "POST" }).catch(() => {});
}

function updateSlot(data) {
  const at = station.slots.findIndex((s) => s.slot === data.slot.slot);
  if (at < 0) station.slots.push(data.slot); else station.slots[at] = data.slot;
  station.total = data.total;
  const ended = ["succeeded", "failed", "unusable", "cancelled"].includes(data.slot.state);
  if (ended) loadRecords();
  render();
}

let source = null;
function connect() {
  source = new EventSource("/api/events");
  source.addEventListener("snapshot", (e) => { lost = false; station = JSON.parse(e.data); render(); loadRecords(); });
  source.addEventListener("state", (e) => { lost = false; updateSlot(JSON.parse(e.data)); });
  source.onerror = () => {
    lost = true;
    render();
    if (source.readyState === EventSource.CLOSED) {
      setTimeout(connect, 3000); // refused outright: the browser does not try again by itself
    }
  };
}

document.addEventListener("DOMContentLoaded", () => {
  if (location.search.includes("token=")) history.replaceState(null, "", location.pathname);
  $("lang").onclick = () => {
    lang = lang === "zh" ? "en" : "zh";
    render();
    renderRecords(shownRecords); // the records' endings and labels are words too
  };
  $("stop").onclick = () => post("/api/stop");
  render();
  connect();
  setInterval(loadRecords, 5000); // an attempt's record is completed a moment after its tile
});
