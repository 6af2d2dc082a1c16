// The station's page. Everything shown goes in with textContent: a port or slot may be
// named anything, and its name must stay text.
"use strict";
const words = {
  en: { title: "Orvane station", image: "Image", stop: "Stop the station", records: "Last records",
    started: "Started", port: "Port", ending: "Ending", reason: "Reason", seconds: "Seconds",
    waiting: "waiting", flashing: "flashing", succeeded: "succeeded", failed: "failed", unusable: "unusable",
    cancelled: "cancelled", unplugged: "unplugged", step: "Step", percent: "Done", speed: "Speed",
    left: "Time left", resends: "Resends", last: "Last result", ok: "Succeeded", notOk: "Not succeeded",
    yield: "Yield", shift: "Shift", live: "Live", lost: "Connection lost, reconnecting…",
    pause: "Pause", resume: "Resume", other: "中文" },
  zh: { title: "Orvane 升级工位", image: "固件", stop: "停止工位", records: "最近记录",
    started: "开始", port: "端口", ending: "结果", reason: "原因", seconds: "秒",
    waiting: "等待", flashing: "升级中", succeeded: "成功", failed: "失败", unusable: "不可用",
    cancelled: "已取消", unplugged: "已拔出", step: "步骤", percent: "进度", speed: "速度",
    left: "剩余时间", resends: "重发", last: "上次结果", ok: "成功", notOk: "未成功",
    yield: "良率", shift: "本班", live: "已连接", lost: "连接中断，正在重连…",
    pause: "暂停", resume: "继续", other: "English" },
};
let lang = (navigator.language || "en").toLowerCase().startsWith("zh") ? "zh" : "en";
let station = { slots: [], total: {} };
let lost = false;
const t = (key) => words[lang][key] || key;
const $ = (id) => document.getElementById(id);

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

function counters(tally) {
  const y = tally.yield === null || tally.yield === undefined ? "–" : tally.yield + "%";
  return t("ok") + " " + (tally.succeeded || 0) + " · " + t("notOk") + " " + (tally.notSucceeded || 0) +
    " · " + t("yield") + " " + y;
}

function speed(bps) {
  if (!bps) return "–";
  return bps >= 1024 ? (bps / 1024).toFixed(1) + " KiB/s" : Math.round(bps) + " B/s";
}

function row(dl, key, value) {
  dl.append(el("dt", "", t(key)), el("dd", "", value === "" || value === null ? "–" : value));
}

function tile(slot) {
  const node = el("article", "tile " + slot.state);
  node.dataset.state = slot.state;
  node.append(el("div", "name", slot.slot), el("div", "state", t(slot.state)));
  if (slot.state === "flashing") {
    const bar = el("div", "bar"), fill = el("div");
    fill.style.width = Math.min(100, slot.percent) + "%";
    bar.append(fill);
    node.append(bar);
  }
  const dl = el("dl");
  row(dl, "step", slot.step);
  row(dl, "percent", slot.percent + "%");
  row(dl, "speed", speed(slot.bytesPerSecond));
  row(dl, "left", slot.etaSeconds === null ? "" : Math.round(slot.etaSeconds) + " s");
  row(dl, "resends", slot.resends);
  const last = slot.lastResult ? t(slot.lastResult) + (slot.lastReason ? " (" + slot.lastReason + ")" : "") : "";
  row(dl, "last", last);
  row(dl, "shift", counters(slot.tally));
  node.append(dl);
  if (station.pause) {
    const button = el("button", "", t(slot.paused ? "resume" : "pause"));
    button.type = "button";
    button.onclick = () => post((slot.paused ? "/api/resume" : "/api/pause") + "?slot=" + encodeURIComponent(slot.slot));
    node.append(button);
  }
  return node;
}

function render() {
  document.documentElement.lang = lang === "zh" ? "zh-CN" : "en";
  document.querySelectorAll("[data-text]").forEach((node) => { node.textContent = t(node.dataset.text); });
  $("lang").textContent = t("other");
  $("image-name").textContent = station.image || "";
  $("image-sha").textContent = station.sha256 || "";
  $("shift").textContent = t("shift") + ": " + counters(station.total || {});
  $("stop").hidden = !station.control;
  const link = $("link");
  link.textContent = t(lost ? "lost" : "live");
  link.classList.toggle("lost", lost);
  $("slots").replaceChildren(...station.slots.map(tile));
}

function renderRecords(records) {
  const body = $("records").tBodies[0];
  body.replaceChildren(...records.map((r) => {
    const tr = el("tr");
    const sha = r.sha256 ? String(r.sha256).slice(0, 12) : "";
    [r.started, r.port, r.ending ? t(r.ending) : "", r.reason, r.seconds, sha].forEach((v, i) => {
      tr.append(el("td", i === 2 ? String(r.ending) : "", v));
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
  $("lang").onclick = () => { lang = lang === "zh" ? "en" : "zh"; render(); };
  $("stop").onclick = () => post("/api/stop");
  render();
  connect();
  setInterval(loadRecords, 5000); // an attempt's record is completed a moment after its tile
});
