// Axis scaling between data values and pixels, and the choice of ticks.
etch.Scaling = function (min, max, pix0, pix1) { this.set(min, max, pix0, pix1); };
etch.Scaling.prototype.set = function (min, max, pix0, pix1) {
  var r = etch.Scaling.sane(min, max);
  this.min = r[0]; this.max = r[1]; this.pix0 = pix0; this.pix1 = pix1;
  // Halves first so that spans near the largest double do not overflow.
  this.k = (pix1 - pix0) / 2 / (this.max / 2 - this.min / 2);
};
etch.Scaling.prototype.to_pix = function (v) { return this.pix0 + (v / 2 - this.min / 2) * (2 * this.k); };
etch.Scaling.prototype.to_val = function (p) { return this.min + (p - this.pix0) / this.k; };

// A usable range from any pair: non-finite ends are clamped, an empty span is widened. An
// inverted pair stays inverted (the axis then runs the other way).
etch.Scaling.sane = function (min, max) {
  var big = Number.MAX_VALUE;
  var fix = function (v, d) { return isNaN(v) || v === null || v === undefined ? d : Math.max(-big, Math.min(big, v)); };
  min = fix(+min, 0); max = fix(+max, 1);
  if (min === max || Math.abs(max / 2 - min / 2) < Math.abs(min) * 1e-12) {
    var d = min === 0 ? 1 : Math.abs(min) * 0.1;
    return [Math.max(-big, min - d), Math.min(big, min + d)];
  }
  return [min, max];
};

// Ticks for a range: major ticks at 1, 2 or 5 times a power of ten, the largest such step
// that still gives at least `target` ticks (at most `limit` when given, which wins), and the
// minor step. Never more than a bounded number, whatever the range.
etch.Scaling.ticks = function (min, max, target, limit) {
  var r = etch.Scaling.sane(min, max);
  var lo = Math.min(r[0], r[1]), hi = Math.max(r[0], r[1]);
  target = Math.max(1, Math.min(50, target || 7));
  limit = limit >= 2 ? Math.min(200, limit) : 200;
  var span = hi / 2 - lo / 2;                 // half span, never overflows
  var raw = span * 2 / target;
  if (!isFinite(raw)) raw = Number.MAX_VALUE / target;
  var count = function (st) { return Math.floor(hi / st) - Math.ceil(lo / st) + 1; };
  var e = Math.floor(Math.log10(raw)), steps = [];
  for (var k = e - 1; k <= e + 2; k++)
    [[1, 5], [2, 4], [5, 5]].forEach(function (m) { steps.push([m[0] * Math.pow(10, k), m[1]]); });
  steps = steps.filter(function (st) { return isFinite(st[0]) && st[0] > 0; });
  var pick = -1;
  for (var j = 0; j < steps.length; j++) if (count(steps[j][0]) >= target) pick = j;
  if (pick < 0) pick = 0;
  while (pick + 1 < steps.length && count(steps[pick][0]) > limit) pick++;
  var step = steps.length ? steps[pick][0] : Number.MAX_VALUE, minor = steps.length ? step / steps[pick][1] : step;
  if (!isFinite(step) || step <= 0) { step = Number.MAX_VALUE; minor = step; }
  var first = Math.ceil(lo / step);
  var major = [];
  for (var i = 0; i < 200; i++) {
    var v = (first + i) * step;
    if (!isFinite(v) || v > hi) break;
    if (major.length && v === major[major.length - 1]) break;   // step below the resolution
    major.push(Math.abs(v) < step * 1e-9 ? 0 : v);
  }
  return { major: major, step: step, minor_step: minor };
};

// A tick label with the given number of significant figures.
etch.Scaling.label = function (v, sigfigs, step) {
  if (v === 0) return '0';
  var digits = Math.max(1, sigfigs || 4);
  if (step && isFinite(step) && Math.abs(v) < 1e6 && Math.abs(v) >= 1e-4) {
    var dec = Math.max(0, -Math.floor(Math.log10(step) + 1e-9));
    return v.toFixed(Math.min(dec, 12));
  }
  return String(+v.toPrecision(digits));
};
