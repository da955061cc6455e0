'use strict';
// The page the module embeds (written by etch_page_dump), run in jsdom with fake native
// bindings: the resource table, the binding proxy and the bundle work together.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const { JSDOM, VirtualConsole } = require('jsdom');

const tool = process.env.VX_ETCH_PAGE_DUMP;

test('the embedded page sets up a plot through CompileMarkup and the binding proxy', { skip: !tool && 'run through ctest' }, async () => {
  const html = execFileSync(tool, { encoding: 'utf8', maxBuffer: 8 << 20 });
  const errors = [];
  const vc = new VirtualConsole();
  vc.on('jsdomError', (e) => errors.push(String(e.message || e)));
  const calls = [];
  const dom = new JSDOM(html, {
    runScripts: 'dangerously', pretendToBeVisual: true, virtualConsole: vc,
    beforeParse(w) {
      w.HTMLCanvasElement.prototype.getContext = () => new Proxy({}, { get: (t, k) => (k in t ? t[k] : () => {}), set: (t, k, v) => { t[k] = v; return true; } });
      const bind = (name, fn) => { w['etch_proxy_' + name] = async (...a) => { calls.push([name, ...a]); return { result: await fn(...a) }; }; };
      // The native side replies true, then runs the compiled set-up script.
      bind('CompileMarkup', (id) => {
        w.setTimeout(() => w.eval(`etch.get_plot('${id}').setup([{property_name: 'tplot', markup: {id: 'p', ydata: ['generator', '$RR', ['interval', 0, 1, 2147483647, etch.kClosedInterval]]}}]);`), 0);
        return true;
      });
      bind('RequestPixData', (e, t, i, n) => (n > 0 ? [0.8, 0.9, null, 0.85].slice(t, t + n) : []));
      bind('BadPlotterProperty', () => true);
      bind('SetSVG', () => true);
    }
  });
  const w = dom.window;
  await new Promise((r) => w.setTimeout(r, 0));
  assert.deepStrictEqual(errors, []);
  assert.strictEqual(typeof w.etch_proxy_ResourceURLs().result.cursor_lr_move_t, 'string');
  w.eval(`(async () => { (await etch.make_plot('local', 'tplot: {}')).dblclick_ms('500');})();`);
  for (let i = 0; i < 20 && !calls.some((c) => c[0] === 'RequestPixData' && c[4] === 0); i++) await new Promise((r) => w.setTimeout(r, 5));
  const plot = w.etch.get_plot('local');
  assert.ok(plot, 'plot made in the page\'s division');
  assert.strictEqual(w.document.getElementById('local').querySelector('canvas') !== null, true);
  assert.deepStrictEqual(plot.plotters.find((p) => p.props.id === 'p').ys.length, 4);
  assert.deepStrictEqual(calls.filter((c) => c[0] === 'BadPlotterProperty'), []);
  assert.strictEqual(typeof w.etch.remote, 'undefined', 'the page bundle leaves the remote stub out');
  assert.deepStrictEqual(errors, []);
});
