'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { load } = require('./harness');

// A native source of n values (index i has value i), answering like the native side: blocks of
// 256, so a reply may hold up to 255 values more than asked.
function source(n, gaps = []) {
  return (expr, t, interval, count) => {
    if (count <= 0) return [];
    const out = [];
    let i = Math.floor(t);
    for (;;) {
      const block = [];
      for (let k = 0; k < 256 && i < n; k++, i++) block.push(gaps.includes(i) ? null : i);
      out.push(...block);
      count -= block.length;
      if (block.length < 256 || count <= 0) break;
    }
    return out;
  };
}

test('a native source is read in chunks to its end, extra values sliced off, null a gap', async () => {
  const { etch, calls } = load({ bindings: { RequestPixData: source(20000, [5]) } });
  etch.NativeProvider.chunk = 1000;
  const p = etch.to_provider(['generator', '$RR', ['interval', 0, 1, 2147483647, etch.kClosedInterval]]);
  const v = await p.fetch();
  assert.strictEqual(v.length, 20000);
  assert.ok(Number.isNaN(v[5]));
  assert.strictEqual(v[19999], 19999);
  const reqs = calls.filter((c) => c[0] === 'RequestPixData');
  assert.deepStrictEqual(reqs[1].slice(1), ['$RR', 1000, 1, 1000], 'second chunk starts where the first ended');
  assert.strictEqual(reqs[reqs.length - 1][4], 0, 'a count of 0 ends the request');
  // From an index on, to the end: the values before it are kept.
  const again = await p.fetch(19990, 2147483647);
  assert.strictEqual(again.length, 20000);
  assert.strictEqual(again[19995], 19995);
});

test('a short reply ends the data and a missing binding gives no data without hanging', async () => {
  const { etch } = load({ bindings: { RequestPixData: source(10) } });
  const p = etch.to_provider(['generator', '$X', ['interval', 0, 1, null, etch.kClosedInterval]]);
  assert.deepStrictEqual(Array.from(await p.fetch()), [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]);
  const { etch: bare } = load({ bindings: { RequestPixData: () => undefined } });
  const q = bare.to_provider(['generator', 'sin(t)', ['interval', 0, 0.1, 1, bare.kClosedInterval]]);
  assert.strictEqual((await q.fetch()).length, 0);
});

test('a formula over a closed interval asks for exactly its points', async () => {
  let asked = null;
  const { etch } = load({ bindings: { RequestPixData: (e, t, iv, n) => { if (n > 0) asked = [t, iv, n]; return new Array(n).fill(1); } } });
  const p = etch.to_provider(['generator', 'sin(t)', ['interval', 0, 0.5, 10, etch.kClosedInterval]]);
  assert.strictEqual((await p.fetch()).length, 21);
  assert.deepStrictEqual(asked, [0, 0.5, 21]);
});

test('intervals: closed, open, unbounded and the sampled form without bounds', () => {
  const { etch } = load();
  const cases = [
    [['interval', 0, 0.5, 2, 0], 5, [0, 0.5, 1, 1.5, 2]],
    [['interval', 0, 0.5, 2, 1], 4, [0, 0.5, 1, 1.5]],
    [['interval', 1, 1, null, 0], Infinity, [1, 2, 3]],
    [['interval', null, null, null, 1], Infinity, [0, 1, 2]],
    [['interval', 5, 1, 0, 0], 0, []]
  ];
  for (const [m, len, first] of cases) {
    const p = etch.to_provider(m);
    assert.strictEqual(p.length(), len, JSON.stringify(m));
    assert.deepStrictEqual(Array.from(p.values(3)), first.slice(0, 3), JSON.stringify(m));
  }
  assert.ok(Number.isNaN(etch.to_provider([1, null, 3]).data[1]), 'null in an array is a gap');
});

test('compression keeps each column\'s extremes and breaks lines at gaps', () => {
  const { etch } = load();
  const n = 100000, xs = [], ys = [];
  for (let i = 0; i < n; i++) { xs.push(i); ys.push(i === 500 ? NaN : Math.sin(i)); }
  ys[70000] = 5; ys[70001] = -5;
  const sx = new etch.Scaling(0, n, 0, 500), sy = new etch.Scaling(-5, 5, 100, 0);
  const segs = etch.compress_line(xs, ys, sx, sy);
  assert.strictEqual(segs.length, 2, 'the gap splits the line');
  const pts = segs.reduce((a, s) => a + s.length / 2, 0);
  assert.ok(pts <= 4 * 502, `${pts} points for 500 columns`);
  const yPix = segs.flatMap((s) => s.filter((v, i) => i % 2 === 1));
  assert.ok(yPix.includes(sy.to_pix(5)) && yPix.includes(sy.to_pix(-5)), 'peaks survive');
});

test('labels come from RequestLabelsData from index 0 by 1 until a short reply', async () => {
  const labels = Array.from({ length: 1500 }, (_, i) => `beat ${i}`);
  const { etch, calls } = load({ bindings: { RequestLabelsData: (e, t, iv, n) => labels.slice(t, t + n) } });
  const p = etch.to_provider(['text_generator', '$LABELS', new etch.Colour(0, 0, 0)]);
  assert.ok(p.is_text);
  const got = await p.fetch();
  assert.strictEqual(got.length, 1500);
  assert.strictEqual(got[1499], 'beat 1499');
  assert.deepStrictEqual(calls.map((c) => c.slice(1, 4)), [['$LABELS', 0, 1], ['$LABELS', 1024, 1]]);
});
