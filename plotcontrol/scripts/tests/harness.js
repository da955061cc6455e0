// Loads the plot page's scripts into a jsdom window in bundle order (jQuery, main.js, then the
// table order), with fake bindings that record every call and a recording 2D context.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { JSDOM } = require('jsdom');

const dir = path.join(__dirname, '..');
const JQUERY = process.env.VX_JQUERY || '/usr/share/javascript/jquery/jquery.js';

function bundleFiles(remote) {
  const all = fs.readFileSync(path.join(dir, 'files.txt'), 'utf8').split('\n').filter(Boolean);
  const rest = all.filter((f) => !['jquery.js', 'main.js', 'remote.js'].includes(f));
  return ['jquery.js', 'main.js'].concat(remote ? ['remote.js'] : [], rest);
}

function readScript(name) {
  return fs.readFileSync(name === 'jquery.js' ? JQUERY : path.join(dir, name), 'utf8');
}

// A 2D context that records every call and property set.
function recordingContext(log) {
  const target = {};
  return new Proxy(target, {
    get(t, k) {
      if (k in t) return t[k];
      return (...args) => { log.push([k, ...args]); };
    },
    set(t, k, v) { t[k] = v; log.push(['set', k, v]); return true; }
  });
}

// bindings: name (without the prefix) -> function(...args) returning the reply's result.
function load({ bindings = {}, remote = false, width = 600, height = 400 } = {}) {
  const dom = new JSDOM('<!doctype html><html><head></head><body><div id="local"></div></body></html>', {
    runScripts: 'outside-only', pretendToBeVisual: true });
  const w = dom.window;
  const calls = [];
  const draw = [];
  w.HTMLCanvasElement.prototype.getContext = function () { return recordingContext(draw); };
  Object.defineProperty(w.HTMLElement.prototype, 'clientWidth', { get() { return width; } });
  Object.defineProperty(w.HTMLElement.prototype, 'clientHeight', { get() { return height; } });
  w.__bindings = bindings;
  w.__calls = calls;
  if (!remote) {
    // The page's proxy: etch_proxy.Name(...) awaits window.etch_proxy_Name and takes .result.
    w.eval(`var etch_proxy = new Proxy({}, { get: (t, name) => async (...args) => {
      const f = window['etch_proxy_' + name];
      if (typeof f !== 'function') { console.warn(name + ' is not bound.'); return; }
      return (await f(...args)).result; } });`);
    const names = ['CompileMarkup', 'RequestPixData', 'MakeDropMenu', 'SetSVG', 'HasData', 'BoxResized',
      'XScalingChanged', 'YScalingChanged', 'ZoomLevelChanged', 'RequestLabelsData', 'RequestEquation',
      'BadPlotterProperty', 'IsZoomEnabled', 'SetZoomState', 'OnMouseClick', 'RegionPosChanged',
      'RegionTextChanged', 'VLinesDragged'];
    for (const n of names) {
      w['etch_proxy_' + n] = async (...args) => {
        calls.push([n, ...args]);
        const f = bindings[n];
        return { result: f ? await f(...args) : true };
      };
    }
  }
  w.eval(bundleFiles(remote).map(readScript).join('\r\n'));
  return { window: w, etch: w.etch, calls, draw, dom };
}

// Lets queued promise jobs and zero timers run.
async function settle(w, rounds = 6) {
  for (let i = 0; i < rounds; i++) await new Promise((r) => w.setTimeout(r, 0));
}

module.exports = { load, settle, bundleFiles, readScript };
