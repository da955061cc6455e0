'use strict';
// The ellipse plotter lays its axes where the markup's angle says, in data units whatever the
// scales: the Poincare plot's `rotate: -45` puts `a` (SD2) along the line of identity.
const test = require('node:test');
const assert = require('node:assert');
const { load, settle } = require('./harness');

async function ellipseOn(xmax, ymax, ellipse) {
  const env = load({ width: 600, height: 400 });
  const plot = await env.etch.make_plot('local', '');
  plot.setup([{ property_name: 'xscalemin', markup: 0 }, { property_name: 'xscalemax', markup: xmax },
    { property_name: 'yscalemin', markup: 0 }, { property_name: 'yscalemax', markup: ymax },
    { property_name: 'scatter', markup: { id: 'p', xdata: [0.5], ydata: [0.5], ellipse: Object.assign({ draw_axes: true }, ellipse) } }]);
  await settle(env.window);
  assert.strictEqual(plot.error, null);
  const ctx = plot.context();
  const paths = [];
  const g = { path: (segs) => paths.push(segs.map((s) => {
    const pts = [];
    for (let i = 0; i < s.length; i += 2) pts.push([ctx.sx.to_val(s[i]), ctx.sy.to_val(s[i + 1])]);
    return pts;
  })) };
  plot.plotters.find((p) => p.type === 'ellipse' || p.name === 'ellipse').draw(g, ctx);
  return paths;
}

const near = (got, want, what) => assert.ok(Math.abs(got - want) < 1e-6, `${what}: ${got} is not ${want}`);

test('rotate turns the a axis as on the screen: -45 lays it along x = y, at any scales', async () => {
  const r = Math.SQRT1_2;
  const cases = [
    // rotate, direction of a in data units (x, y), scales
    { rotate: -45, a: [r, r], xmax: 1, ymax: 1 },
    { rotate: -45, a: [r, r], xmax: 2, ymax: 0.8 },
    { rotate: 45, a: [r, -r], xmax: 1, ymax: 1 },
    { rotate: 0, a: [1, 0], xmax: 1, ymax: 1 },
    { rotate: -90, a: [0, 1], xmax: 1.5, ymax: 1 },
  ];
  for (const c of cases) {
    const what = `rotate ${c.rotate} on 0..${c.xmax} x 0..${c.ymax}`;
    const [outline, axes] = await ellipseOn(c.xmax, c.ymax, { x: 0.5, y: 0.5, a: 0.2, b: 0.05, rotate: c.rotate });
    // The a axis runs from centre - a to centre + a along its direction; b across it.
    const [[a0, a1], [b0, b1]] = axes;
    near(a0[0], 0.5 - 0.2 * c.a[0], `${what}: a starts`); near(a0[1], 0.5 - 0.2 * c.a[1], `${what}: a starts`);
    near(a1[0], 0.5 + 0.2 * c.a[0], `${what}: a ends`); near(a1[1], 0.5 + 0.2 * c.a[1], `${what}: a ends`);
    near(b1[0], 0.5 - 0.05 * c.a[1], `${what}: b ends`); near(b1[1], 0.5 + 0.05 * c.a[0], `${what}: b ends`);
    near(b0[0], 0.5 + 0.05 * c.a[1], `${what}: b starts`); near(b0[1], 0.5 - 0.05 * c.a[0], `${what}: b starts`);
    // The outline reaches a along the a axis and no further than b across it.
    let along = 0, across = 0;
    for (const [x, y] of outline[0]) {
      along = Math.max(along, Math.abs((x - 0.5) * c.a[0] + (y - 0.5) * c.a[1]));
      across = Math.max(across, Math.abs(-(x - 0.5) * c.a[1] + (y - 0.5) * c.a[0]));
    }
    near(along, 0.2, `${what}: outline along a`);
    near(across, 0.05, `${what}: outline across a`);
  }
});
