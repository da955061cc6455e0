'use strict';
// What the user does in a plot reaches the native side through its binding, with the values in
// the order the native side reads them.
const test = require('node:test');
const assert = require('node:assert');
const { load, settle } = require('./harness');

async function plotWith(records) {
  const env = load({ width: 600, height: 400 });
  const plot = await env.etch.make_plot('local', '');
  plot.setup(records);
  await settle(env.window);
  plot.paint();
  return { ...env, plot, ctx: plot.context() };
}

function drag(w, el, from, to) {
  const ev = (type, [x, y]) => el.dispatchEvent(new w.MouseEvent(type, { clientX: x, clientY: y, bubbles: true }));
  ev('mousedown', from);
  ev('mousemove', to);
  ev('mouseup', to);
}

const axes = [{ property_name: 'xscalemin', markup: 0 }, { property_name: 'xscalemax', markup: 1 },
  { property_name: 'yscalemin', markup: 0 }, { property_name: 'yscalemax', markup: 1 }];

test('dragging a band line sends the line values sorted', async () => {
  const { window, plot, ctx, calls } = await plotWith(axes.concat([{ property_name: 'vlines',
    markup: { id: 'bands', draggable: true, positions: [[0.2, 0.4], [0.4, 0.6]] } }]));
  const y = ctx.area.y + 50;
  drag(window, plot.root, [ctx.sx.to_pix(0.2), y], [ctx.sx.to_pix(0.9), y]);
  const sent = calls.filter((c) => c[0] === 'VLinesDragged');
  assert.strictEqual(sent.length, 1);
  assert.strictEqual(sent[0][1], 'bands');
  const v = Array.from(sent[0][2]);
  assert.deepStrictEqual(v.slice(0, 3), [0.4, 0.4, 0.6]);
  assert.ok(Math.abs(v[3] - 0.9) < 0.01);
});

test('a box moved by dragging sends x min, x max, y min, y max; a box not draggable stays', async () => {
  const box = (draggable) => axes.concat([{ property_name: 'box', markup: { id: 'classifier_box', draggable,
    range_x: { min: 0.2, max: 0.4 }, range_y: { min: 0.2, max: 0.4 } } }]);
  const { window, plot, ctx, calls } = await plotWith(box(true));
  const c = [ctx.sx.to_pix(0.3), ctx.sy.to_pix(0.3)];
  drag(window, plot.root, c, [ctx.sx.to_pix(0.5), ctx.sy.to_pix(0.4)]);
  const v = Array.from(calls.find((k) => k[0] === 'BoxResized')[2]);
  [0.4, 0.6, 0.3, 0.5].forEach((want, i) => assert.ok(Math.abs(v[i] - want) < 0.01, `${v}`));
  const still = await plotWith(box(false));
  drag(still.window, still.plot.root, c, [c[0] + 50, c[1]]);
  assert.strictEqual(still.calls.filter((k) => k[0] === 'BoxResized').length, 0);
});

test('a legend moved sends its place as fractions of the plot', async () => {
  const { window, plot, calls } = await plotWith(axes.concat([{ property_name: 'legend', markup: { id: 'lg', x_percent: 0.5, y_percent: 0.5 } },
    { property_name: 'tplot', markup: { ydata: [0.1, 0.2] } }]));
  drag(window, plot.root, [305, 205], [65, 45]);
  const sent = calls.find((c) => c[0] === 'RegionPosChanged');
  assert.deepStrictEqual(sent.slice(1), ['lg', 0.1, 0.1]);
});

test('the scale menu button asks for the menu with the scale\'s index, place and range', async () => {
  const { window, plot, calls } = await plotWith(axes);
  const buttons = window.document.querySelectorAll('.etch-button');
  const yMenu = Array.from(buttons).find((b) => b.title === 'Y scale');
  yMenu.dispatchEvent(new window.MouseEvent('click', { bubbles: true }));
  const m = calls.find((c) => c[0] === 'MakeDropMenu');
  assert.deepStrictEqual([m[1], m[2], m[7], m[8], m[9]], ['local', 1, true, 0, 1]);
  plot.get_scales()[1].menu_closed(10, 10);
  assert.strictEqual(plot.get_scales()[1].menu_open, false);
});

test('dragging a scale pans it and reports the new range once, at the end', async () => {
  const { window, plot, ctx, calls } = await plotWith(axes);
  const x = ctx.area.x + 100, y = ctx.area.bottom() + 10;
  drag(window, plot.root, [x, y], [x - ctx.area.w / 2, y]);
  const sent = calls.filter((c) => c[0] === 'XScalingChanged').map((c) => Array.from(c[2]));
  assert.strictEqual(sent.length, 1);
  assert.ok(Math.abs(sent[0][0] - 0.5) < 1e-9 && Math.abs(sent[0][1] - 1.5) < 1e-9 && sent[0][2] === 0, `${sent[0]}`);
});

test('zoom buttons zoom about the centre, report the four scale ends, and undo', async () => {
  const { window, plot, calls } = await plotWith(axes);
  const button = (t) => Array.from(window.document.querySelectorAll('.etch-button')).find((b) => b.title === t);
  button('Zoom in').dispatchEvent(new window.MouseEvent('click', { bubbles: true }));
  const z = calls.filter((c) => c[0] === 'ZoomLevelChanged');
  assert.deepStrictEqual([z[0][1], Array.from(z[0][2])], ['zoom', [0.25, 0.75, 0.25, 0.75]]);
  assert.deepStrictEqual(calls.filter((c) => c[0] === 'SetZoomState')[0].slice(1), ['zoom', true, false]);
  button('Undo zoom').dispatchEvent(new window.MouseEvent('click', { bubbles: true }));
  assert.deepStrictEqual([plot.get_scales()[0].min, plot.get_scales()[0].max], [0, 1]);
});

test('the cursor readout fills {0}, {1} and {2}: a histogram\'s bin and count', async () => {
  const { window, plot, ctx } = await plotWith(axes.concat([{ property_name: 'hist', markup: {
    cursor: { readout: 'bin = [{0}, {1}) s, count = {2}' }, bins: ['interval', 0, 0.25, null, 0], heights: [0.1, 0.9, 0.5] } }]));
  plot.root.dispatchEvent(new window.MouseEvent('mousemove', { clientX: ctx.sx.to_pix(0.3), clientY: ctx.area.y + 5, bubbles: true }));
  plot.paint();
  assert.strictEqual(plot.plotters.find((p) => p.type === 'cursor').text(), 'bin = [0.25, 0.5) s, count = 0.9');
  assert.ok(plot.overlay_el.innerHTML.includes('count = 0.9'));
});

// A press and release at `from` and `to`, and the click the browser then sends on the root.
function press(w, el, from, to = from) {
  const ev = (type, [x, y]) => el.dispatchEvent(new w.MouseEvent(type, { clientX: x, clientY: y, bubbles: true }));
  ev('mousedown', from);
  if (to !== from) ev('mousemove', to);
  ev('mouseup', to);
  ev('click', to);
}

test('a click on a data point reports its index and plotter, select = selectable; no other press does', async () => {
  const scatter = (selectable) => axes.concat([{ property_name: 'scatter', markup: Object.assign({ id: 'hrv_poincare_view',
    xdata: [0.2, 0.5, 0.8], ydata: [0.3, 0.6, 0.4],
    box: { id: 'classifier_box', draggable: true, range_x: { min: 0.1, max: 0.9 }, range_y: { min: 0.1, max: 0.9 } } },
  selectable === undefined ? {} : { selectable }) }]);
  const tplot = [{ property_name: 'xscalemin', markup: 0 }, { property_name: 'xscalemax', markup: 3 },
    { property_name: 'yscalemin', markup: 0 }, { property_name: 'yscalemax', markup: 1 },
    { property_name: 'tplot', markup: { id: 'hrv_tachogram_view', xdata: ['interval', 0, 1, null, 0], ydata: [0.2, 0.7, 0.5, 0.9] } }];
  const cases = [
    // what, records, the point pressed (index) and pixels off it, the point a drag starts from,
    // the click reported
    { what: 'a point (selectable by default false)', records: scatter(), at: 1, want: [1, 'hrv_poincare_view', false] },
    { what: 'a point 3 pixels off', records: scatter(), at: 2, off: [3, -3], want: [2, 'hrv_poincare_view', false] },
    { what: 'a selectable plot\'s point', records: scatter(true), at: 0, want: [0, 'hrv_poincare_view', true] },
    { what: 'a point of a time plot', records: tplot, at: 2, want: [2, 'hrv_tachogram_view', false] },
    { what: 'beside every point', records: scatter(), at: 1, off: [6, 4], want: null },
    { what: 'above a time plot\'s point', records: tplot, at: 1, off: [0, -20], want: null },
    { what: 'a drag that ends on a point', records: scatter(), at: 1, from: 0, want: null, box: true },
  ];
  for (const c of cases) {
    const { window, plot, ctx, calls } = await plotWith(c.records);
    const data = plot.plotters.find((p) => p.type === 'scatter' || p.type === 'timeplot');
    const pix = (i, [dx, dy] = [0, 0]) => [ctx.sx.to_pix(data.xs[i]) + dx, ctx.sy.to_pix(data.ys[i]) + dy];
    const at = pix(c.at, c.off);
    press(window, plot.root, c.from === undefined ? at : pix(c.from), at);
    await settle(window);
    const clicks = calls.filter((k) => k[0] === 'OnMouseClick').map((k) => k.slice(1));
    assert.deepStrictEqual(clicks, c.want ? [c.want] : [], c.what);
    // Only a drag moves the box; a click on a point inside it leaves the ranges alone.
    assert.strictEqual(calls.filter((k) => k[0] === 'BoxResized').length, c.box ? 1 : 0, c.what);
  }
});
