'use strict';
// Draws every plotter type with the stand-alone etch_remote.js bundle and inline data in
// Debian's chromium (--headless), catching script errors with window.onerror and reading the
// results back from the dumped DOM. With --screenshot FILE it also writes a picture.
//   node tests/chromium/run.js <etch_page_dump> <etch_markup_compile> [--screenshot FILE]
// The HRV views' markup is compiled by the plot compiler first, as the native side does.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { FIXTURES, MARKUP, DATA } = require('../fixtures');

const tool = process.argv[2];
const compiler = process.argv[3];
const shotAt = process.argv.indexOf('--screenshot');
const shot = shotAt > 0 ? process.argv[shotAt + 1] : null;
const chromium = ['/usr/bin/chromium', '/usr/bin/chromium-browser'].find((p) => fs.existsSync(p));
if (!tool || !compiler || !chromium) {
  console.error('usage: run.js <etch_page_dump> <etch_markup_compile> [--screenshot FILE]; needs Debian\'s chromium');
  process.exit(2);
}
const bundle = execFileSync(tool, ['etch_remote.js'], { encoding: 'utf8', maxBuffer: 8 << 20 });
if (bundle.includes('</script')) throw new Error('bundle would end its script element');

const series = (n, f) => Array.from({ length: n }, (_, i) => f(i));
const data = {
  $RR: series(400, (i) => (i === 200 ? null : 0.8 + 0.1 * Math.sin(i / 15) + 0.02 * Math.sin(i * 1.7))),
  $X: series(300, (i) => 0.75 + 0.12 * Math.sin(i * 0.37)),
  $Y: series(300, (i) => 0.75 + 0.12 * Math.sin(i * 0.37 + 0.4)),
  $P: series(60, (i) => Math.exp(-((i - 10) ** 2) / 30) + 0.4 * Math.exp(-((i - 25) ** 2) / 20))
};
// Each fixture is a function returning the records: the compiled markup's setup argument for
// the HRV views (the compiler writes "etch.get_plot('<id>').setup(<records>);").
const fixtures = {};
for (const [n, f] of Object.entries(FIXTURES)) fixtures[n] = f;
for (const [n, markup] of Object.entries(MARKUP)) {
  const script = execFileSync(compiler, ['x'], { input: markup, encoding: 'utf8' });
  fixtures['hrv_' + n] = script.replace(/^etch\.get_plot\('x'\)\.setup\(/, '').replace(/\);$/, '');
}
Object.assign(data, DATA);
const names = Object.keys(fixtures);
const cells = names.map((n, i) => `<div class="cell" style="left:${(i % 5) * 400}px;top:${Math.floor(i / 5) * 300}px">` +
  `<div id="plot_${n}" style="position:absolute;width:400px;height:300px"></div></div>`).join('');

const html = `<!doctype html><html><head><style>body{margin:0} .cell{position:absolute;width:400px;height:300px}</style>
<script>window.__errors = []; window.onerror = function (m, s, l) { window.__errors.push(m + ' @' + l); };
window.addEventListener('unhandledrejection', function (e) { window.__errors.push('rejection: ' + (e.reason && e.reason.message || e.reason)); });</script>
<script>${bundle}</script></head><body>${cells}<pre id="result"></pre>
<script>
(async function () {
  var data = ${JSON.stringify(data)};
  Object.keys(data).forEach(function (k) { etch.remote.set_data(k, data[k]); });
  var fixtures = {${names.map((n) => `${JSON.stringify(n)}: function () { return ${fixtures[n]}; }`).join(',\n')}};
  var out = {};
  for (var name of Object.keys(fixtures)) {
    var plot = await etch.make_plot('plot_' + name, '');
    plot.props.title = name;
    plot.setup(fixtures[name]());
    await Promise.all(plot.loading);
    plot.paint();
    if (name === 'hrv_tachogram') {   // the cursor and its readout, as under the mouse
      var r = plot.root.getBoundingClientRect(), ar = plot.context().area;
      plot.root.dispatchEvent(new MouseEvent('mousemove', { clientX: r.left + ar.x + ar.w * 0.4, clientY: r.top + ar.y + 20, bubbles: true }));
      plot.paint();
    }
    var a = plot.context().area, c = plot.canvas.ctx;
    var img = c.getImageData(a.x + 1, a.y + 1, a.w - 2, a.h - 2).data, inked = 0;
    for (var i = 0; i < img.length; i += 4) if (img[i] < 240 || img[i + 1] < 240 || img[i + 2] < 240) inked++;
    var svg = plot.svg();
    out[name] = { inked: inked, svg: svg.length, error: plot.error,
      bad: etch.remote.calls.filter(function (k) { return k[0] === 'BadPlotterProperty' && k[1] === 'plot_' + name; }).length };
  }
  document.getElementById('result').textContent = JSON.stringify({ errors: window.__errors, plots: out });
})().catch(function (e) { document.getElementById('result').textContent = JSON.stringify({ errors: ['setup: ' + e.message] }); });
</script></body></html>`;

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'etch-chromium-'));
const file = path.join(dir, 'plots.html');
fs.writeFileSync(file, html);
const args = ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-extensions',
  '--allow-file-access-from-files', `--user-data-dir=${path.join(dir, 'profile')}`, '--virtual-time-budget=10000'];
let dom;
try {
  // Watchdog: a hung browser fails the test instead of stalling the run.
  dom = execFileSync('timeout', ['-k', '5', '90', chromium, ...args, '--dump-dom', 'file://' + file],
    { encoding: 'utf8', maxBuffer: 32 << 20, stdio: ['ignore', 'pipe', 'ignore'] });
  if (shot)
    execFileSync('timeout', ['-k', '5', '90', chromium, ...args, '--window-size=2000,900', `--screenshot=${path.resolve(shot)}`, 'file://' + file],
      { stdio: 'ignore' });
} finally {
  fs.rmSync(dir, { recursive: true, force: true });
}
const m = /<pre id="result">([^<]*)<\/pre>/.exec(dom);
if (!m || !m[1]) { console.error('no result in the dumped page'); process.exit(1); }
const result = JSON.parse(m[1].replace(/&quot;/g, '"').replace(/&amp;/g, '&').replace(/&lt;/g, '<').replace(/&gt;/g, '>'));
let failed = result.errors.map((e) => 'script error: ' + e);
for (const n of names) {
  const r = result.plots && result.plots[n];
  if (!r) { failed.push(`${n}: not drawn`); continue; }
  if (r.error) failed.push(`${n}: error shown: ${r.error}`);
  if (r.bad) failed.push(`${n}: ${r.bad} bad properties`);
  if (r.inked < 50) failed.push(`${n}: plot area blank (${r.inked} pixels)`);
  console.log(`${n}: ${r.inked} inked pixels, svg ${r.svg} bytes`);
}
for (const f of failed) console.error(f);
console.log(failed.length ? 'FAILED' : 'all plotter types drawn in chromium');
process.exit(failed.length ? 1 : 0);
