'use strict';
// Runs the page a plot control loaded (its text as the web view received it) in jsdom, with every
// bound function passed to the test process: each call is written to stdout as one JSON line, and
// the answer comes back on stdin with the scripts the control evaluated meanwhile. When the page
// has nothing left to do, one "idle" line reports what it shows.
//   node page_bridge.js <page.html> <start-scripts.json> <bindings.json> <plot scripts folder>
const fs = require('node:fs');
const path = require('node:path');
const readline = require('node:readline');
const { createRequire } = require('node:module');

const [htmlPath, initPath, bindingsPath, scriptsDir] = process.argv.slice(2);
const { JSDOM, VirtualConsole } = createRequire(path.join(scriptsDir, 'package.json'))('jsdom');

const errors = [];
const vc = new VirtualConsole();
vc.on('jsdomError', (e) => errors.push(String(e.message || e)));
const send = (o) => process.stdout.write(JSON.stringify(o) + '\n');
const pending = new Map();
let next = 0;
let draws = 0;
let activity = 0;

const dom = new JSDOM(fs.readFileSync(htmlPath, 'utf8'), {
  runScripts: 'dangerously', pretendToBeVisual: true, virtualConsole: vc,
  beforeParse(w) {
    w.HTMLCanvasElement.prototype.getContext = () => new Proxy({}, {
      get: (t, k) => (k in t ? t[k] : () => { draws++; }),
      set: (t, k, v) => { t[k] = v; return true; }
    });
    for (const name of JSON.parse(fs.readFileSync(bindingsPath, 'utf8'))) {
      w[name] = (...args) => new Promise((resolve, reject) => {
        const id = ++next;
        pending.set(id, { resolve, reject });
        activity++;
        send({ call: name, id, args });
      });
    }
    for (const script of JSON.parse(fs.readFileSync(initPath, 'utf8'))) w.eval(script);
  }
});
const w = dom.window;

function report() {
  const plot = w.etch && w.etch.get_plot('local');
  const shown = w.document.getElementById('local');
  send({
    idle: true, errors, draws,
    plot: !!plot,
    canvases: shown ? shown.querySelectorAll('canvas').length : 0,
    text: shown ? shown.textContent.replace(/\s+/g, ' ').trim() : ''
  });
}

// Idle: no call waiting for its answer and nothing new for a few turns of the page's timers.
let idleTimer = null;
function watchIdle() {
  clearTimeout(idleTimer);
  const seen = activity;
  idleTimer = setTimeout(() => {
    if (pending.size === 0 && seen === activity) report();
    else watchIdle();
  }, 100);
}

// As in the web view, the reply and each evaluated script run as tasks of their own, in order, so
// the page's promise jobs run between them.
const tasks = [];
let running = false;
function runTasks() {
  if (running) return;
  running = true;
  (function step() {
    const task = tasks.shift();
    if (!task) { running = false; watchIdle(); return; }
    task();
    setImmediate(step);
  })();
}

readline.createInterface({ input: process.stdin }).on('line', (line) => {
  const m = JSON.parse(line);
  if (m.quit) process.exit(0);
  activity++;
  if (m.id) {
    tasks.push(() => {
      const p = pending.get(m.id);
      pending.delete(m.id);
      if (m.status === 0) p.resolve(JSON.parse(m.result));
      else p.reject(new Error(m.result));
    });
  }
  for (const script of m.evals || []) {
    tasks.push(() => {
      try { w.eval(script); } catch (e) { errors.push('eval: ' + e.message); }
    });
  }
  runTasks();
});
