'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { load, settle } = require('./harness');

const { FIXTURES } = require('./fixtures');

function dataBindings() {
  return {
    RequestPixData: (e, t, iv, n) => {
      if (n <= 0) return [];
      const len = 300;
      const out = [];
      for (let i = Math.floor(t); i < len && out.length < n; i++) out.push(e === '$X' || e === '$Y' ? 0.6 + 0.3 * Math.sin(i * (e === '$X' ? 1 : 1.3)) : 1 + Math.sin(i / 10));
      return out;
    }
  };
}

async function setUp(records, opts = {}) {
  const env = load({ bindings: dataBindings(), ...opts });
  const plot = await env.etch.make_plot('local', 'markup');
  env.window.eval(`etch.get_plot('local').setup(${records});`);
  await settle(env.window, 10);
  plot.paint();
  return { ...env, plot };
}

test('each plotter type sets up from translated markup, draws, and copies without bad properties', async () => {
  for (const [name, records] of Object.entries(FIXTURES)) {
    const { plot, calls, draw } = await setUp(records);
    const bad = calls.filter((c) => c[0] === 'BadPlotterProperty');
    assert.deepStrictEqual(bad, [], `${name}: no property reported`);
    assert.ok(draw.length > 20, `${name}: the canvas was drawn`);
    assert.strictEqual(plot.error, null, name);
    const svg = plot.svg();
    assert.ok(svg.startsWith('<svg '), name);
  }
});

test('make_plot creates the plot once and set_markup asks CompileMarkup only then', async () => {
  const { etch, calls } = load({ bindings: dataBindings() });
  const a = await etch.make_plot('local', 'a: 1');
  const b = await etch.make_plot('local', 'a: 2');
  assert.strictEqual(a, b);
  assert.deepStrictEqual(calls.filter((c) => c[0] === 'CompileMarkup'), [['CompileMarkup', 'local', 'a: 1']]);
  assert.strictEqual(etch.get_plot('local').dblclick_ms(250), a);
});

test('a false CompileMarkup reply shows the error; a true one after setup leaves the plot alone', async () => {
  let reply = false;
  const { etch, window } = load({ bindings: { CompileMarkup: () => reply } });
  const plot = await etch.make_plot('local', 'bad');
  await new Promise((r) => window.setTimeout(r, 0));
  assert.ok(plot.error && plot.error.length > 0, 'error shown');
  assert.ok(window.document.querySelector('.etch-error').textContent.length > 0);
  // setup arriving before the reply: the later true reply keeps the plot as set up.
  reply = true;
  const done = plot.set_markup('good');
  plot.setup([{ property_name: 'tplot', markup: { ydata: [1, 2] } }]);
  assert.strictEqual(await done, true);
  assert.strictEqual(plot.error, null);
});

test('bad properties take their defaults and are reported with type and default', async () => {
  const { plot, calls } = await setUp(`[{property_name: 'fontsize', markup: 'big'}, {property_name: 'minticklabels', markup: 2.5},
    {property_name: 'tplot', markup: {colour: 'nonsense', width: 'x'}}, {property_name: 'hist', markup: {bins: 3, heights: [1]}}]`);
  const bad = calls.filter((c) => c[0] === 'BadPlotterProperty').map((c) => c.slice(2));
  assert.strictEqual(plot.props.fontsize, 9);
  assert.deepStrictEqual(bad, [
    ['plot', 'fontsize', 'number greater than 0', '9'],
    ['plot', 'minticklabels', 'integer greater than -1', '7'],
    ['timeplot', 'colour', 'colour', '#ff0000ff'],
    ['timeplot', 'width', 'number', '1'],
    ['timeplot', 'ydata', 'interval, array, or generator'],
    ['histogram', 'bins', 'interval', '[1:1:end]']
  ]);
});

test('grat: null leaves out the graticule; without a record there is the default one', async () => {
  const count = (p) => p.plotters.filter((q) => q.type === 'graticule').length;
  assert.strictEqual(count((await setUp(`[{property_name: 'grat', markup: null}]`)).plot), 0);
  const dflt = (await setUp(`[{property_name: 'title', markup: 'T'}]`)).plot;
  assert.strictEqual(count(dflt), 1);
  assert.deepStrictEqual(dflt.plotters.find((q) => q.type === 'graticule').props.colour, dflt.plotters.find((q) => q.type === 'graticule').props.colour);
  const g = dflt.plotters.find((q) => q.type === 'graticule').props;
  assert.deepStrictEqual([g.colour.r, g.colour.g, g.colour.b, g.minor_colour.r, g.minor_colour.g], [152, 255, 255, 216, 255]);
});

test('plotter_data_changed refetches the plotter from the index to the end', async () => {
  const { etch, calls, plot } = await setUp(FIXTURES.timeplot);
  calls.length = 0;
  await etch.get_plot('local').plotter_data_changed('t1', 100, 2147483647);
  const req = calls.find((c) => c[0] === 'RequestPixData');
  assert.deepStrictEqual(req.slice(1, 3), ['$RR', 100]);
  assert.strictEqual(plot.plotters.find((p) => p.props.id === 't1').ys.length, 300);
});

test('scales: auto-scale, unipolar and bipolar report the range with its auto flag', async () => {
  const { plot, calls } = await setUp(`[{property_name: 'tplot', markup: {ydata: [-1, 4, 2]}}]`);
  const y = plot.get_scales()[1];
  calls.length = 0;
  y.set_bipolar();
  y.set_unipolar();
  y.auto_scale();
  const sent = calls.filter((c) => c[0] === 'YScalingChanged').map((c) => Array.from(c[2]));
  assert.deepStrictEqual(sent[0], [-4, 4, 0]);
  assert.deepStrictEqual(sent[1], [0, 4, 0]);
  assert.strictEqual(sent[2][2], 1);
  assert.ok(sent[2][0] < -1 && sent[2][1] > 4);
});

test('the copy of every plotter type stays inside the SVG the printable renderer reads', async () => {
  const { check } = require('./svg_subset');
  for (const [name, records] of Object.entries(FIXTURES)) {
    const { plot, window, calls } = await setUp(records);
    plot.get_scales()[1].set_range(-Number.MAX_VALUE, Number.MAX_VALUE, false, false);   // huge numbers too
    const svg = await plot.copy('copy');
    const bad = check(svg, window.DOMParser);
    assert.deepStrictEqual(bad.slice(0, 5), [], `${name}: ${bad.length} violations`);
    const sent = calls.filter((c) => c[0] === 'SetSVG');
    assert.deepStrictEqual(sent[0].slice(1, 3), ['local', 'copy']);
    assert.strictEqual(sent[0][3], svg);
    assert.ok(/<(path|rect|use)/.test(svg), `${name}: something drawn`);
  }
});

test('the subset check itself rejects what the renderer cannot read', () => {
  const { check } = require('./svg_subset');
  const { window } = load();
  const bad = check('<svg xmlns="http://www.w3.org/2000/svg" width="10" height="1e3"><path d="m 1 2 l 3 4" style="fill:none"/><g transform="translate(-1 2)"/></svg>', window.DOMParser);
  assert.ok(bad.some((b) => b.startsWith('root height')));
  assert.ok(bad.some((b) => b.startsWith('path d=')));
  assert.ok(bad.some((b) => b.startsWith('g transform')));
  assert.ok(bad.some((b) => b.includes('without stroke')));
});

test('initial ranges: markup range, full range, or a quiet fit to the data', async () => {
  const cases = [
    [`{property_name: 'yscalemin', markup: 2}, {property_name: 'yscalemax', markup: 3}`, [2, 3]],
    [`{property_name: 'yscalemin', markup: 0.0}, {property_name: 'yscalemax', markup: 1.0}, {property_name: 'do_initial_autoscale_y', markup: true}, {property_name: 'fullrange_yscalemin', markup: -5}, {property_name: 'fullrange_yscalemax', markup: 5}`, [-5, 5]],
    [`{property_name: 'title', markup: 'no range'}`, 'fit']
  ];
  for (const [props, want] of cases) {
    const { plot, calls } = await setUp(`[${props}, {property_name: 'tplot', markup: {ydata: [10, 30, 20]}}]`);
    const y = plot.get_scales()[1];
    if (want === 'fit') assert.ok(y.min < 10 && y.max > 30 && y.max < 40, `${y.min}..${y.max}`);
    else assert.deepStrictEqual([y.min, y.max], want);
    assert.deepStrictEqual(calls.filter((c) => /ScalingChanged/.test(c[0])), [], 'nothing reported');
  }
});
