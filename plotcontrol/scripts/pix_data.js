// Data providers: pixel intervals, arrays and enumerations of the native side, and the
// compression of pixel data before drawing.
etch.DataProvider = function () {};
etch.DataProvider.prototype.is_text = false;

// begin, step, end with null for "unbounded"; end type closed (0) or open (1). A sampled
// interval arrives with no bounds and no step and reads as 0, 1, 2, ...
etch.PixInterval = function (begin, step, end, end_type) {
  this.begin = etch.util.finite(begin) ? begin : 0;
  this.step = etch.util.finite(step) && step !== 0 ? step : 1;
  this.end = etch.util.finite(end) && end !== etch.kToTheEnd ? end : null;
  this.end_type = end_type === etch.kOpenInterval ? etch.kOpenInterval : etch.kClosedInterval;
};
etch.PixInterval.prototype = Object.create(etch.DataProvider.prototype);
etch.PixInterval.from_markup = function (v) {
  return new etch.PixInterval(v[1], v[2], v[3], v[4]);
};
// Number of values; Infinity when unbounded or when the end lies on the wrong side.
etch.PixInterval.prototype.length = function () {
  if (this.end === null) return Infinity;
  var n = (this.end - this.begin) / this.step;
  if (!(n >= 0)) return 0;
  var whole = Math.floor(n + 1e-9);
  var on_end = Math.abs(n - whole) < 1e-9;
  n = whole + 1;
  if (on_end && this.end_type === etch.kOpenInterval) n -= 1;
  return Math.min(n, 1e8);
};
etch.PixInterval.prototype.value = function (i) { return this.begin + i * this.step; };
etch.PixInterval.prototype.values = function (n) {
  n = Math.min(n, this.length());
  var out = new Array(n);
  for (var i = 0; i < n; i++) out[i] = this.begin + i * this.step;
  return out;
};
etch.PixInterval.prototype.fetch = function () {
  var n = this.length();
  return Promise.resolve(this.values(isFinite(n) ? n : 0));
};

// A plain array from the markup; null is a gap.
etch.PixArray = function (a) {
  this.data = a.map(function (v) { return v === null || v === undefined ? NaN : (typeof v === 'number' ? v : +v); });
};
etch.PixArray.prototype = Object.create(etch.DataProvider.prototype);
etch.PixArray.prototype.length = function () { return this.data.length; };
etch.PixArray.prototype.fetch = function () { return Promise.resolve(this.data.slice()); };

// Values the native side computes or enumerates (binding RequestPixData), fetched in chunks.
// A reply shorter than asked ends the data; the native side may send up to 255 values more
// than asked, which are sliced off. A count of 0 tells it the request is finished.
etch.NativeProvider = function (expression, interval) {
  this.expression = expression;
  this.interval = interval instanceof etch.PixInterval ? interval : new etch.PixInterval(0, 1, null, 0);
  this.data = [];
};
etch.NativeProvider.prototype = Object.create(etch.DataProvider.prototype);
etch.NativeProvider.chunk = 8192;
// A formula without an end would never run short: it is sampled at this many points.
etch.NativeProvider.unbounded_formula_points = 1000;
etch.NativeProvider.prototype.length = function () { return this.data.length; };
etch.NativeProvider.prototype.fetch = function (start, count) {
  var self = this, iv = this.interval;
  start = Math.max(0, Math.floor(start || 0));
  var total = iv.length();
  if (isFinite(total)) total = Math.max(0, total - start);
  else if (this.expression.charAt(0) !== '$') total = etch.NativeProvider.unbounded_formula_points;
  if (count !== undefined && count !== null && count !== etch.kToTheEnd) total = Math.min(total, Math.max(0, count));
  var got = [];
  var chunk = etch.NativeProvider.chunk;
  var t0 = iv.value(start);
  function next() {
    var remaining = total - got.length;
    if (remaining <= 0) return Promise.resolve();
    var ask = Math.min(chunk, remaining);
    return etch.call('RequestPixData', self.expression, iv.value(start + got.length), iv.step, ask)
      .then(function (reply) {
        if (!Array.isArray(reply)) return;
        var take = reply.length > ask ? reply.slice(0, ask) : reply;
        for (var i = 0; i < take.length; i++) got.push(take[i] === null ? NaN : +take[i]);
        if (reply.length >= ask) return next();
      });
  }
  return next().then(function () {
    return etch.call('RequestPixData', self.expression, t0, iv.step, 0);
  }).then(function () {
    self.data = self.data.slice(0, start).concat(got);
    return self.data.slice();
  });
};

// Labels the native side gives (binding RequestLabelsData), over 0, 1, 2, ... to the end.
etch.TextProvider = function (expression, colour) {
  this.expression = expression;
  this.colour = colour;
  this.data = [];
};
etch.TextProvider.prototype = Object.create(etch.DataProvider.prototype);
etch.TextProvider.prototype.is_text = true;
etch.TextProvider.prototype.length = function () { return this.data.length; };
etch.TextProvider.prototype.fetch = function () {
  var self = this, got = [], chunk = 1024;
  function next() {
    return etch.call('RequestLabelsData', self.expression, got.length, 1, chunk).then(function (reply) {
      if (!Array.isArray(reply)) return;
      var take = reply.slice(0, chunk);
      for (var i = 0; i < take.length; i++) got.push(take[i] === null ? '' : String(take[i]));
      if (reply.length >= chunk && got.length < 1e7) return next();
    });
  }
  return next().then(function () { self.data = got; return got.slice(); });
};

// Compression of a line to what the pixels can show: per pixel column the first, lowest,
// highest and last point, in their order. A NaN on either axis is a gap that ends a segment.
etch.compress_line = function (xs, ys, sx, sy) {
  var segs = [], seg = [];
  var n = Math.min(xs.length, ys.length);
  var col = null, first = -1, lo = -1, hi = -1, last = -1;
  var px = new Float64Array(n), py = new Float64Array(n);
  function flush() {
    if (first < 0) return;
    var idx = [first, lo, hi, last].sort(function (a, b) { return a - b; });
    var prev = -1;
    idx.forEach(function (i) { if (i !== prev) { seg.push(px[i], py[i]); prev = i; } });
    first = -1;
  }
  for (var i = 0; i < n; i++) {
    var x = xs[i], y = ys[i];
    if (!(isFinite(x) && isFinite(y))) {
      flush();
      if (seg.length) segs.push(seg);
      seg = []; col = null;
      continue;
    }
    px[i] = sx.to_pix(x); py[i] = sy.to_pix(y);
    var c = Math.floor(px[i]);
    if (c !== col) { flush(); col = c; first = lo = hi = last = i; continue; }
    last = i;
    if (py[i] < py[lo]) lo = i;
    if (py[i] > py[hi]) hi = i;
  }
  flush();
  if (seg.length) segs.push(seg);
  return segs;
};

// Points of a scatter reduced to one per pixel; NaN points are dropped. Returns flat [x, y, ...]
// with the index of each kept point.
etch.compress_points = function (xs, ys, sx, sy, compress) {
  var out = [], index = [], seen = compress ? new Set() : null;
  var n = Math.min(xs.length, ys.length);
  for (var i = 0; i < n; i++) {
    if (!(isFinite(xs[i]) && isFinite(ys[i]))) continue;
    var x = sx.to_pix(xs[i]), y = sy.to_pix(ys[i]);
    if (seen) {
      var key = Math.round(x) * 65536 + Math.round(y);
      if (seen.has(key)) continue;
      seen.add(key);
    }
    out.push(x, y); index.push(i);
  }
  return { points: out, index: index };
};
