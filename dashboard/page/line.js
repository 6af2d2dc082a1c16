// The line's page: every station of the line with its slots. Everything shown goes in with
// textContent or title: a station, slot or unit may be named anything, and its name must stay
// text. A station's state is its own page's JSON: fields a newer station adds are ignored,
// fields an older one lacks are shown as "–".
"use strict";
const words = {
  en: { title: "Orvane line", records: "Latest records", jobs: "Yields by job version (day)",
    started: "Started", stationName: "Station", slotName: "Slot", ending: "Ending", reason: "Reason", job: "Job",
    waiting: "waiting", flashing: "flashing", succeeded: "succeeded", failed: "failed", unusable: "unusable",
    cancelled: "cancelled", unplugged: "unplugged", waitingForLabel: "waiting for its label",
    running: "running", interrupted: "interrupted", paused: "paused", unit: "Unit", attempt: "Attempt",
    step: "Step", percent: "Done", resends: "Resends", last: "Last result", host: "Host",
    ok: "Succeeded", notOk: "Not succeeded", firstPass: "First pass yield", finalYield: "Final yield",
    shift: "Shift", day: "Day", attention: "Need a person", notHeardFrom: "not heard from",
    stoppedAt: "stopped at {t}", silentSince: "not heard from since {t}", noJob: "no job",
    live: "Live", lost: "Connection lost, reconnecting…", database: "Database",
    pause: "Pause", resume: "Resume", close: "Close", other: "中文" },
  zh: { title: "Orvane 产线", records: "最近记录", jobs: "各任务版本良率（当日）",
    started: "开始", stationName: "工位", slotName: "槽位", ending: "结果", reason: "原因", job: "任务",
    waiting: "等待", flashing: "升级中", succeeded: "成功", failed: "失败", unusable: "不可用",
    cancelled: "已取消", unplugged: "已拔出", waitingForLabel: "等待产品标签",
    running: "运行中", interrupted: "已中断", paused: "已暂停", unit: "产品标签", attempt: "尝试",
    step: "步骤", percent: "进度", resends: "重发", last: "上次结果", host: "主机",
    ok: "成功", notOk: "未成功", firstPass: "一次通过率", finalYield: "最终良率",
    shift: "本班", day: "当日", attention: "需要人工处理", notHeardFrom: "失去联系",
    stoppedAt: "已于 {t} 停止", silentSince: "自 {t} 起失去联系", noJob: "无任务",
    live: "已连接", lost: "连接中断，正在重连…", database: "数据库",
    pause: "暂停", resume: "继续", close: "关闭", other: "English" },
};
const needsPerson = new Set(["failed", "unusable", "waitingForLabel"]);
const kinds = ["failed", "unusable", "waitingForLabel", "paused", "notHeardFrom"];

let line = { stations: {} };
let lang = null;
let lost = false;
let current = null; // the station a phone shows
const own = (table, key) => (Object.hasOwn(table, key) ? table[key] : key);
const t = (key) => own(words[lang || "en"], key);
const $ = (id) => document.getElementById(id);

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}
function named(tag, cls, text) {
  const node = el(tag, "cut " + (cls || ""));
  node.title = String(text);
  node.append(el("bdi", "", text));
  return node;
}
function yieldText(value) {
  return typeof value === "number" && isFinite(value) ? value.toFixed(1) + " %" : "–";
}
function counters(c) {
  c = c || {};
  return t("ok") + "\u00a0" + (c.succeeded || 0) + " · " + t("notOk") + "\u00a0" + (c.notSucceeded || 0) + " · " +
    t("firstPass") + "\u00a0" + yieldText(c.firstPassYield) + " · " + t("finalYield") + "\u00a0" + yieldText(c.finalYield);
}
function when(iso) {
  const d = new Date(iso);
  return isNaN(d) ? String(iso) : d.toLocaleString(lang === "zh" ? "zh-CN" : "en-GB");
}
function statusText(entry) {
  if (entry.status === "stopped") return t("stoppedAt").replace("{t}", when(entry.stopped));
  if (entry.status === "notHeardFrom") return t("silentSince").replace("{t}", when(entry.lastSeen));
  return t("running");
}
function slotState(slot) {
  return typeof slot.state === "string" ? slot.state : "waiting";
}
function slotNeeds(entry, slot) {
  return entry.status !== "stopped" && (needsPerson.has(slotState(slot)) || slot.paused === true);
}

function details(entry, slot) {
  const box = el("div", "details");
  const dl = el("dl");
  const row = (key, value) => dl.append(el("dt", "", t(key)),
    el("dd", "", value === "" || value === null || value === undefined ? "–" : value));
  row("stationName", entry.name);
  row("slotName", slot.slot);
  row("unit", slot.unit);
  row("attempt", slot.attempt);
  row("step", slot.step);
  row("percent", typeof slot.percent === "number" ? slot.percent + "%" : "");
  row("resends", slot.resends);
  row("last", slot.lastResult ? t(slot.lastResult) + (slot.lastReason ? " (" + slot.lastReason + ")" : "") : "");
  row("shift", counters(slot.tally));
  const close = el("button", "", t("close"));
  close.type = "button";
  close.onclick = () => box.remove();
  box.append(dl, close);
  return box;
}

function cell(entry, slot) {
  const state = slotState(slot);
  const node = el("div", "cell " + state + (slotNeeds(entry, slot) ? " attention" : ""));
  node.dataset.slot = String(slot.slot);
  node.dataset.state = state;
  node.append(named("span", "slot", slot.slot), el("span", "word", slot.paused ? t("paused") : t(state)));
  if (state === "flashing") {
    const bar = el("div", "bar");
    bar.style.width = Math.min(100, Number(slot.percent) || 0) + "%";
    node.append(bar);
  }
  node.title = String(slot.slot) + " · " + t(state) + (slot.unit ? " · " + slot.unit : "") +
    (typeof slot.percent === "number" ? " · " + slot.percent + "%" : "");
  node.onclick = () => {
    document.querySelectorAll(".details").forEach((d) => d.remove());
    document.body.append(details(entry, slot));
  };
  return node;
}

function panel(entry) {
  const state = entry.state || {};
  const node = el("article", "station " + entry.status + (entry.name === current ? " current" : ""));
  node.dataset.station = entry.name;
  const top = el("div", "top");
  top.append(named("span", "name", entry.name), el("span", "status", statusText(entry)));
  const job = entry.job ? entry.job + (entry.jobVersion !== null ? "@" + entry.jobVersion : "") : t("noJob");
  top.append(named("span", "job", job));
  if (line.control && entry.status === "running") {
    const button = el("button", "", t(state.paused ? "resume" : "pause"));
    button.type = "button";
    button.onclick = () => fetch((state.paused ? "/api/resume" : "/api/pause") + "?station=" +
      encodeURIComponent(entry.name), { method: "POST" }).catch(() => {});
    top.append(button);
  }
  top.append(el("div", "counts", t("shift") + ": " + counters(entry.shift)),
    el("div", "counts", t("day") + ": " + counters(entry.day)));
  const slots = el("div", "slots");
  slots.append(...(Array.isArray(state.slots) ? state.slots : []).map((slot) => cell(entry, slot)));
  node.append(top, slots);
  return node;
}

function names() {
  return Object.keys(line.stations || {}).sort();
}

function renderHead() {
  document.documentElement.lang = lang === "zh" ? "zh-CN" : "en";
  document.querySelectorAll("[data-text]").forEach((node) => { node.textContent = t(node.dataset.text); });
  $("lang").textContent = t("other");
  const needs = line.needsPerson || {};
  const strip = $("attention");
  strip.classList.toggle("some", needs.total > 0);
  strip.replaceChildren(el("span", "count", t("attention") + ": " + (needs.total || 0)),
    ...kinds.filter((k) => needs[k] > 0).map((k) => el("span", "kind", t(k) + " " + needs[k])),
    ...names().filter((n) => (line.stations[n].needsPerson || {}).total > 0).map((n) => named("span", "who", n)));
  $("shift").textContent = t("shift") + ": " + counters(line.shift);
  $("day").textContent = t("day") + ": " + counters(line.day);
  const link = $("link");
  link.textContent = lost ? t("lost") : line.database ? t("database") + ": " + line.database : t("live");
  link.classList.toggle("lost", lost || !!line.database);
  const pick = $("pick");
  pick.replaceChildren(...names().map((n) => { const o = el("option", "", n); o.value = n; return o; }));
  if (current !== null) pick.value = current;
  $("jobs").tBodies[0].replaceChildren(...(line.jobs || []).map((j) => {
    const tr = el("tr");
    tr.append(el("td", "", j.job ? j.job + (j.jobVersion !== null ? "@" + j.jobVersion : "") : t("noJob")),
      el("td", "", counters(j.day)));
    return tr;
  }));
}

function renderStation(name) {
  const old = document.querySelector('article.station[data-station="' + CSS.escape(name) + '"]');
  const entry = line.stations[name];
  if (!entry) { if (old) old.remove(); return; }
  const fresh = panel(entry);
  if (old) { old.replaceWith(fresh); return; }
  const after = names().find((n) => n > name);
  const next = after && document.querySelector('article.station[data-station="' + CSS.escape(after) + '"]');
  $("stations").insertBefore(fresh, next || null);
}

function render() {
  if (current === null || !line.stations[current]) current = names()[0] ?? null;
  renderHead();
  $("stations").replaceChildren(...names().map((n) => panel(line.stations[n])));
}

let shownRecords = [];
function renderRecords(records) {
  shownRecords = Array.isArray(records) ? records : [];
  const labels = ["started", "stationName", "slotName", "ending", "reason", "job"].map(t);
  $("records").tBodies[0].replaceChildren(...shownRecords.map((r) => {
    const tr = el("tr");
    const job = r.job ? r.job + (r.jobVersion !== null && r.jobVersion !== undefined ? "@" + r.jobVersion : "") : "";
    [r.started, r.station, r.slot || r.port, r.ending ? t(r.ending) : "", r.reason, job].forEach((v, i) => {
      const td = el("td", i === 3 ? String(r.ending) : "");
      if (v !== undefined && v !== null && v !== "") td.append(i === 1 || i === 2 ? named("span", "", v) : el("span", "", v));
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
    fetch("/api/records?limit=30").then((r) => (r.ok ? r.json() : [])).then(renderRecords).catch(() => {});
  }, 300);
}

function update(data) {
  if (data.entry) line.stations[data.station] = data.entry; else delete line.stations[data.station];
  for (const key of ["needsPerson", "shift", "day", "jobs"]) if (key in data) line[key] = data[key];
  if (current === null || !line.stations[current]) {
    render(); // the phone's station is gone: the first one now
  } else {
    renderHead();
    renderStation(data.station);
  }
  loadRecords();
}

function connect() {
  const source = new EventSource("/api/events");
  source.addEventListener("snapshot", (e) => {
    lost = false;
    line = JSON.parse(e.data);
    if (lang === null) {
      const first = line.lang || (navigator.language || "en").toLowerCase();
      lang = first.startsWith("zh") ? "zh" : "en";
    }
    render();
    loadRecords();
  });
  source.addEventListener("state", (e) => { lost = false; update(JSON.parse(e.data)); });
  source.onerror = () => {
    lost = true;
    renderHead();
    if (source.readyState === EventSource.CLOSED) setTimeout(connect, 3000);
  };
}

document.addEventListener("DOMContentLoaded", () => {
  if (location.search.includes("token=")) history.replaceState(null, "", location.pathname);
  const asked = new URLSearchParams(location.search).get("lang");
  if (asked === "zh" || asked === "en") lang = asked;
  $("lang").onclick = () => {
    lang = lang === "zh" ? "en" : "zh";
    render();
    renderRecords(shownRecords);
  };
  $("pick").onchange = () => { current = $("pick").value; render(); };
  render();
  connect();
  setInterval(loadRecords, 5000);
});
