'use strict';
// The markup the HRV views write, with the persisted state appended, compiled by the plot
// compiler (etch_markup_compile) and run as the native side runs it: every property is known
// to the scripts, and the plots draw.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const { load, settle } = require('./harness');

const compiler = process.env.VX_ETCH_COMPILE;
const { STATE, MARKUP, DATA } = require('./fixtures');

function compile(markup) {
  return execFileSync(compiler, ['local'], { input: markup, encoding: 'utf8' });
}

test('the HRV views\' markup compiles and every plot sets up without a bad property', { skip: !compiler && 'run through ctest' }, async () => {
  for (const [name, markup] of Object.entries(MARKUP)) {
    const env = load({ bindings: { RequestPixData: (e, t, i, n) => (n > 0 ? (DATA[e] || []).slice(t, t + n) : []) } });
    const plot = await env.etch.make_plot('local', markup);
    env.window.eval(compile(markup));
    await settle(env.window, 10);
    plot.paint();
    assert.deepStrictEqual(env.calls.filter((c) => c[0] === 'BadPlotterProperty'), [], name);
    const data = plot.plotters.find((p) => p.props.id && p.props.id.startsWith('hrv_'));
    assert.ok(data && (data.ys || data.heights).length > 0, `${name}: data fetched`);
    const y = plot.get_scales()[1];
    assert.ok(y.max > y.min, name);
    assert.ok(plot.svg().length > 1000, name);
  }
});

test('the full ranges of the writers set the initial scales; a markup range overrides them', { skip: !compiler && 'run through ctest' }, async () => {
  const env = load({ bindings: { RequestPixData: (e, t, i, n) => (n > 0 ? DATA.$RR.slice(t, t + n) : []) } });
  const plot = await env.etch.make_plot('local', '');
  env.window.eval(compile(MARKUP.tachogram));
  await settle(env.window);
  assert.deepStrictEqual([plot.get_scales()[0].min, plot.get_scales()[0].max, plot.get_scales()[1].min, plot.get_scales()[1].max], [0, 300, 0.7, 0.95]);
  const persisted = MARKUP.tachogram.replace(STATE, 'yscalemin: 0.75,yscalemax: 0.9, do_initial_autoscale_y: false, ' +
    'xscalemin: 0.0, xscalemax: 1.0, do_initial_autoscale_x: true, ');
  env.window.eval(compile(persisted));
  await settle(env.window);
  assert.deepStrictEqual([plot.get_scales()[1].min, plot.get_scales()[1].max], [0.75, 0.9]);
});
