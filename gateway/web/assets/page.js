// The gateway's page: actions as POSTs with the page's token, and the state polled every 500 ms.
"use strict";
(function () {
  var token = document.querySelector('meta[name="token"]').getAttribute("content");
  var logAfter = 0;
  var logLines = [];
  var el = function (id) { return document.getElementById(id); };
  var setText = function (id, text) {
    var e = el(id);
    if (e && e.textContent !== text) e.textContent = text;
  };

  function post(path, fields) {
    var body = new URLSearchParams(fields || {});
    return fetch(path, {
      method: "POST",
      headers: { "X-Token": token, "Content-Type": "application/x-www-form-urlencoded" },
      body: body.toString(),
      credentials: "same-origin",
      cache: "no-store"
    }).then(function (r) {
      return r.json().catch(function () { return { error: "HTTP " + r.status }; });
    });
  }

  function showPanel(p) {
    setText("panel-status", p.status);
    setText("panel-verdict", p.verdict);
    setText("panel-readback-waveform", p.waveform);
    setText("panel-readback-frequency", p.frequency);
    setText("panel-readback-amplitude", p.amplitude);
    el("panel-on").disabled = p.output_on;
    el("panel-off").disabled = !p.output_on;
  }

  function showIdn(i) {
    setText("idn", i.reply);
    setText("idn-manufacturer", i.manufacturer);
    setText("idn-model", i.model);
    setText("idn-serial", i.serial);
    setText("idn-firmware", i.firmware);
  }

  function cell(row, text, header) {
    var c = document.createElement(header ? "th" : "td");
    c.textContent = text;
    row.appendChild(c);
  }

  function table(id, headings, rows) {
    var t = el(id);
    var fresh = document.createElement("tbody");
    var head = document.createElement("tr");
    headings.forEach(function (h) { cell(head, h, true); });
    fresh.appendChild(head);
    rows.forEach(function (values) {
      var row = document.createElement("tr");
      values.forEach(function (v) { cell(row, v, false); });
      fresh.appendChild(row);
    });
    t.replaceChildren(fresh);
  }

  function duration(ms) {
    if (ms < 1000) return ms + " ms";
    var s = Math.floor(ms / 1000);
    if (s < 120) return s + " s";
    var m = Math.floor(s / 60);
    if (m < 120) return m + " min";
    return Math.floor(m / 60) + " h " + (m % 60) + " min";
  }

  function showFind(f) {
    if (f.running) setText("find-progress", "asking address " + f.next + " of 0-30 ...");
    else if (f.done) setText("find-progress", f.found.length + " found");
    el("find-start").disabled = f.running;
    var host = location.hostname;
    table("find-results", ["Address", "*IDN? reply", "Resource string"], f.found.map(function (d) {
      return [String(d.address), d.reply, "TCPIP0::" + host + "::gpib0," + d.address + "::INSTR"];
    }));
  }

  function showState(s) {
    var c = s.counts;
    setText("uptime", duration(c.uptime_s * 1000));
    setText("count-connections", String(c.connections));
    setText("count-web-connections", String(c.web_connections));
    setText("count-links", String(c.links));
    setText("count-locks", String(c.locks));
    setText("count-transactions", String(c.transactions));
    setText("count-failed", String(c.failed));
    showIdn(s.idn);
    showPanel(s.panel);
    showFind(s.find);
    table("clients", ["Peer", "Protocol", "Device or address", "Lock held", "Last request"], s.clients.map(function (k) {
      return [k.peer, k.protocol, k.device, k.lock, k.at_work ? "now" : duration(k.idle_ms) + " ago"];
    }));
    if (s.log.last < logAfter) logLines = [];   // the gateway was started again
    logLines = logLines.concat(s.log.lines).slice(-100);
    logAfter = s.log.last;
    if (s.log.lines.length > 0 || el("log").textContent === "") setText("log", logLines.join("\n"));
  }

  var polling = false;
  function poll() {
    if (polling) return;
    polling = true;
    fetch("/api/state?log_after=" + logAfter, { cache: "no-store" })
      .then(function (r) { return r.json(); })
      .then(showState)
      .catch(function () {})
      .then(function () { polling = false; });
  }

  function panelAction(path, fields) {
    return function () {
      post(path, fields ? fields() : {}).then(function (r) {
        if (r.panel) showPanel(r.panel);
        else setText("panel-status", r.error || "refused");
      });
    };
  }

  function ioAction(kind) {
    return function () {
      setText("io-reply", "...");
      post("/api/io/" + kind, { address: el("io-address").value, message: el("io-message").value }).then(function (r) {
        setText("io-reply", r.text !== undefined ? r.text : (r.error || "refused"));
      });
    };
  }

  function copyFrom(input) {
    input.select();
    if (navigator.clipboard && window.isSecureContext) {
      navigator.clipboard.writeText(input.value).catch(function () { document.execCommand("copy"); });
    } else {
      document.execCommand("copy");
    }
  }

  document.addEventListener("DOMContentLoaded", function () {
    el("panel-on").addEventListener("click", panelAction("/api/panel/on", function () {
      return { waveform: el("panel-waveform").value, frequency: el("panel-frequency").value,
               amplitude: el("panel-amplitude").value };
    }));
    el("panel-off").addEventListener("click", panelAction("/api/panel/off"));
    el("panel-self-test").addEventListener("click", panelAction("/api/panel/self-test"));
    ["write", "query", "read", "clear", "remote", "local"].forEach(function (kind) {
      el("io-" + kind).addEventListener("click", ioAction(kind));
    });
    el("find-start").addEventListener("click", function () {
      el("find-start").disabled = true;
      setText("find-progress", "starting ...");
      post("/api/find").then(function (r) { if (r.error) setText("find-progress", r.error); });
    });
    el("idn-refresh").addEventListener("click", function () {
      post("/api/idn").then(function (r) { if (r.idn) showIdn(r.idn); });
    });
    Array.prototype.forEach.call(document.querySelectorAll("button.copy"), function (b) {
      b.addEventListener("click", function () { copyFrom(b.previousElementSibling); });
    });
    poll();
    setInterval(poll, 500);
  });
})();
