'use strict';
// Many thin point markers are stamped into the canvas pixels inside the clip rectangle.
const test = require('node:test');
const assert = require('node:assert');
const { load } = require('./harness');

const { etch } = load();

// A layer over a w x h RGBA buffer, white and opaque.
function pixelLayer(w, h) {
  const data = new Uint8ClampedArray(w * h * 4).fill(255);
  const ctx = {
    getImageData: (x, y, cw, ch) => {
      const out = new Uint8ClampedArray(cw * ch * 4);
      for (let r = 0; r < ch; r++) out.set(data.subarray(4 * ((y + r) * w + x), 4 * ((y + r) * w + x + cw)), 4 * r * cw);
      return { data: out, width: cw, height: ch };
    },
    putImageData: (img, x, y) => {
      for (let r = 0; r < img.height; r++) data.set(img.data.subarray(4 * r * img.width, 4 * (r + 1) * img.width), 4 * ((y + r) * w + x));
    },
    save() {}, restore() {}, beginPath() {}, rect() {}, clip() {}
  };
  const layer = Object.create(etch.CanvasLayer.prototype);
  Object.assign(layer, { ctx, w, h });
  const at = (x, y) => Array.from(data.subarray(4 * (y * w + x), 4 * (y * w + x) + 3));
  return { layer, at };
}

test('crosses, pluses and dots are stamped at their rounded centres, clipped and blended', () => {
  const { layer, at } = pixelLayer(20, 20);
  const red = new etch.Colour(255, 0, 0), halfBlue = new etch.Colour(0, 0, 255, 128);
  layer.clip(new etch.Rect(0, 0, 12, 20), () => {
    layer.stamp_markers('x', [5.2, 4.8, 11, 10], 2, red);
    layer.stamp_markers('+', [5, 15], 1, halfBlue);
    layer.stamp_markers('.', [15, 15], 3, red);
  });
  for (const [x, y] of [[5, 5], [3, 3], [7, 7], [3, 7], [7, 3], [9, 8], [11, 10]]) assert.deepStrictEqual(at(x, y), [255, 0, 0], `${x},${y}`);
  for (const [x, y] of [[5, 3], [4, 5], [13, 12], [12, 8]]) assert.deepStrictEqual(at(x, y), [255, 255, 255], `${x},${y} untouched`);
  const blended = at(5, 14);
  assert.ok(blended[0] > 120 && blended[0] < 135 && blended[2] === 255, `half blue over white: ${blended}`);
  assert.deepStrictEqual(at(15, 15), [255, 255, 255], 'outside the clip rectangle');
});

test('only many thin markers take the stamped path', () => {
  const { layer } = pixelLayer(50, 50);
  let stamped = 0;
  layer.stamp_markers = () => { stamped++; };
  layer.ctx.stroke = () => {}; layer.ctx.moveTo = () => {}; layer.ctx.lineTo = () => {}; layer.ctx.arc = () => {};
  layer.ctx.setLineDash = () => {};
  const many = Array.from({ length: 3000 }, (_, i) => i % 50);
  layer.clip(new etch.Rect(0, 0, 50, 50), () => {
    layer.markers('x', many.slice(0, 200), 3, { stroke: etch.colours.red, width: 1 });
    layer.markers('x', many, 3, { stroke: etch.colours.red, width: 2 });
    layer.markers('x', many, 3, { stroke: etch.colours.red, width: 1 });
  });
  assert.strictEqual(stamped, 1);
  assert.deepStrictEqual(Array.from(etch.CanvasLayer.marker_pixels('.', 3)), [0, 0]);
  const ring = etch.CanvasLayer.marker_pixels('o', 3);
  for (let i = 0; i < ring.length; i += 2) assert.ok(Math.abs(Math.hypot(ring[i], ring[i + 1]) - 3) < 0.8, 'on the circle');
});
