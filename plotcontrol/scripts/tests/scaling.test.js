'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { load } = require('./harness');

const { etch } = load();

test('ticks are round numbers inside the range, for ordinary, zero, inverted and huge ranges', () => {
  const cases = [
    [0, 10, [0, 2, 4, 6, 8, 10]],
    [10, 0, [0, 2, 4, 6, 8, 10]],
    [-1, 1, null],
    [0, 0, null],
    [5, 5, null],
    [-1.8e308, 1.8e308, null],
    [-Number.MAX_VALUE, Number.MAX_VALUE, null],
    [1e15, 1e15 + 1, null],
    [NaN, NaN, null],
    [0, Infinity, null],
    [1e-300, 2e-300, null]
  ];
  for (const [lo, hi, want] of cases) {
    const t = etch.Scaling.ticks(lo, hi, 6);
    assert.ok(t.major.length >= 1 && t.major.length <= 200, `${lo}..${hi}: ${t.major.length} ticks`);
    assert.ok(t.major.every(Number.isFinite), `${lo}..${hi} finite`);
    for (let i = 1; i < t.major.length; i++) assert.ok(t.major[i] > t.major[i - 1], `${lo}..${hi} increasing`);
    if (want) assert.deepStrictEqual(Array.from(t.major), want);
  }
});

test('scaling maps both ends to the pixels and back, also inverted and near the largest double', () => {
  for (const [lo, hi] of [[0, 10], [10, 0], [-Number.MAX_VALUE, Number.MAX_VALUE], [3, 3]]) {
    const s = new etch.Scaling(lo, hi, 100, 500);
    assert.ok(Math.abs(s.to_pix(s.min) - 100) < 1e-6);
    assert.ok(Math.abs(s.to_pix(s.max) - 500) < 1e-6);
    assert.ok(Number.isFinite(s.to_pix((s.min / 2 + s.max / 2))));
  }
  const inv = new etch.Scaling(10, 0, 0, 100);
  assert.ok(inv.to_pix(2) > inv.to_pix(8), 'an inverted range runs the other way');
  assert.strictEqual(new etch.Scaling(0, 10, 0, 100).to_val(50), 5);
});

test('tick labels use the step for decimals and significant figures otherwise', () => {
  assert.strictEqual(etch.Scaling.label(0.30000000000000004, 4, 0.1), '0.3');
  assert.strictEqual(etch.Scaling.label(1200, 4, 200), '1200');
  assert.strictEqual(etch.Scaling.label(1.23456e12, 4, 1e11), '1235000000000');
});
