// The canvas drawing layer. Every layer offers the same drawing calls, so that a plotter draws
// the same way on screen and into the SVG copy:
//   line(x1, y1, x2, y2, st), path(segments, st), rect(x, y, w, h, st), text(s, x, y, st),
//   ellipse(cx, cy, rx, ry, angle, st), circle(cx, cy, r, st), markers(kind, points, size, st),
//   clip(rect, fn), translate(dx, dy, fn).
// A style st has stroke and fill (etch.Colour), width, dash ([on, off]), size, family,
// anchor ('start', 'middle', 'end'), baseline ('top', 'middle', 'bottom') and angle (degrees).
etch.CanvasLayer = function (parent, w, h) {
  this.canvas = document.createElement('canvas');
  this.canvas.className = 'etch-canvas';
  parent.appendChild(this.canvas);
  this.resize(w, h);
};
etch.CanvasLayer.prototype.resize = function (w, h) {
  this.w = w; this.h = h;
  this.canvas.width = w; this.canvas.height = h;
  this.canvas.style.position = 'absolute';
  this.canvas.style.left = '0px'; this.canvas.style.top = '0px';
  this.ctx = this.canvas.getContext('2d');
};
etch.CanvasLayer.prototype.clear = function () { if (this.ctx) this.ctx.clearRect(0, 0, this.w, this.h); };
etch.CanvasLayer.prototype._stroke = function (st) {
  var c = this.ctx;
  c.strokeStyle = (st.stroke || etch.colours.black).css();
  c.lineWidth = st.width || 1;
  if (c.setLineDash) c.setLineDash(st.dash || []);
};
// Upright and level lines of an odd width lie on pixel centres, so that axes, ticks, grid
// lines and markers are one crisp pixel wide instead of two half-toned ones.
etch.CanvasLayer.crisp = function (v, width) {
  return Math.round(width || 1) % 2 === 1 ? Math.floor(v) + 0.5 : Math.round(v);
};
etch.CanvasLayer.prototype.line = function (x1, y1, x2, y2, st) {
  var c = this.ctx; if (!c) return;
  var crisp = etch.CanvasLayer.crisp;
  if (x1 === x2) x1 = x2 = crisp(x1, st.width);
  if (y1 === y2) y1 = y2 = crisp(y1, st.width);
  this._stroke(st); c.beginPath(); c.moveTo(x1, y1); c.lineTo(x2, y2); c.stroke();
};
etch.CanvasLayer.prototype.path = function (segs, st) {
  var c = this.ctx; if (!c) return;
  this._stroke(st); if (c.setLineDash) c.setLineDash([]);
  c.beginPath();
  segs.forEach(function (s) {
    if (s.length < 2) return;
    c.moveTo(s[0], s[1]);
    for (var i = 2; i + 1 < s.length; i += 2) c.lineTo(s[i], s[i + 1]);
    if (s.length === 2) c.lineTo(s[0] + 0.5, s[1]);
  });
  c.stroke();
};
etch.CanvasLayer.prototype.rect = function (x, y, w, h, st) {
  var c = this.ctx; if (!c) return;
  if (st.fill && st.fill.a > 0) { c.fillStyle = st.fill.css(); c.fillRect(x, y, w, h); }
  if (st.stroke && st.stroke.a > 0) {
    var crisp = etch.CanvasLayer.crisp, x0 = crisp(x, st.width), y0 = crisp(y, st.width);
    this._stroke(st); c.strokeRect(x0, y0, crisp(x + w, st.width) - x0, crisp(y + h, st.width) - y0);
  }
};
etch.CanvasLayer.prototype.text = function (s, x, y, st) {
  var c = this.ctx; if (!c) return;
  c.save();
  c.font = (st.size || 9) + 'px ' + (st.family || 'sans-serif');
  c.fillStyle = (st.fill || etch.colours.black).css();
  c.textAlign = st.anchor === 'middle' ? 'center' : (st.anchor === 'end' ? 'right' : 'left');
  c.textBaseline = st.baseline === 'middle' ? 'middle' : (st.baseline === 'bottom' ? 'bottom' : 'top');
  c.translate(x, y);
  if (st.angle) c.rotate(st.angle * Math.PI / 180);
  c.fillText(String(s), 0, 0);
  c.restore();
};
etch.CanvasLayer.prototype.ellipse = function (cx, cy, rx, ry, angle, st) {
  var c = this.ctx; if (!c) return;
  this._stroke(st); c.beginPath();
  c.ellipse(cx, cy, Math.abs(rx), Math.abs(ry), (angle || 0) * Math.PI / 180, 0, 2 * Math.PI);
  c.stroke();
};
etch.CanvasLayer.prototype.circle = function (cx, cy, r, st) {
  var c = this.ctx; if (!c) return;
  this._stroke(st); c.beginPath(); c.arc(cx, cy, Math.abs(r), 0, 2 * Math.PI); c.stroke();
};
// The pixels of a marker of one pixel's width around its centre.
etch.CanvasLayer.marker_pixels = function (kind, d) {
  var out = [], seen = {};
  var add = function (x, y) { var k = x + ',' + y; if (!seen[k]) { seen[k] = true; out.push(x, y); } };
  d = Math.max(0, Math.round(d));
  if (kind === '.') add(0, 0);
  else if (kind === 'o') for (var i = 0; i < 8 * d + 8; i++) add(Math.round(d * Math.cos(i * Math.PI / (4 * d + 4))), Math.round(d * Math.sin(i * Math.PI / (4 * d + 4))));
  else for (var k = -d; k <= d; k++) { if (kind === '+') { add(k, 0); add(0, k); } else { add(k, k); add(k, -k); } }
  return out;
};
// Many thin markers are stamped into the pixels of the clip rectangle in one pass: stroking a
// path of tens of thousands of small crosses costs far more than the plot is worth.
etch.CanvasLayer.prototype.stamp_markers = function (kind, pts, size, colour) {
  var c = this.ctx, r = this.clip_rect;
  var x0 = Math.max(0, Math.floor(r.x)), y0 = Math.max(0, Math.floor(r.y));
  var x1 = Math.min(this.w, Math.ceil(r.x + r.w)), y1 = Math.min(this.h, Math.ceil(r.y + r.h));
  var w = x1 - x0, h = y1 - y0;
  if (w <= 0 || h <= 0) return;
  var img = c.getImageData(x0, y0, w, h), d = img.data, offs = etch.CanvasLayer.marker_pixels(kind, size);
  var a = colour.a / 255, cr = colour.r, cg = colour.g, cb = colour.b;
  for (var i = 0; i + 1 < pts.length; i += 2) {
    var px = Math.round(pts[i]) - x0, py = Math.round(pts[i + 1]) - y0;
    for (var k = 0; k < offs.length; k += 2) {
      var x = px + offs[k], y = py + offs[k + 1];
      if (x < 0 || y < 0 || x >= w || y >= h) continue;
      var j = 4 * (y * w + x);
      d[j] = d[j] + (cr - d[j]) * a; d[j + 1] = d[j + 1] + (cg - d[j + 1]) * a; d[j + 2] = d[j + 2] + (cb - d[j + 2]) * a;
      d[j + 3] = d[j + 3] + (255 - d[j + 3]) * a;
    }
  }
  c.putImageData(img, x0, y0);
};
etch.CanvasLayer.prototype.markers = function (kind, pts, size, st) {
  var c = this.ctx; if (!c) return;
  if (pts.length > 2000 && (st.width || 1) <= 1 && this.clip_rect && c.getImageData) {
    this.stamp_markers(kind, pts, size, st.stroke || etch.colours.black);
    return;
  }
  this._stroke(st); if (c.setLineDash) c.setLineDash([]);
  c.beginPath();
  var d = size;
  for (var i = 0; i + 1 < pts.length; i += 2) {
    var x = pts[i], y = pts[i + 1];
    if (kind === '+') { c.moveTo(x - d, y); c.lineTo(x + d, y); c.moveTo(x, y - d); c.lineTo(x, y + d); }
    else if (kind === 'o') { c.moveTo(x + d, y); c.arc(x, y, d, 0, 2 * Math.PI); }
    else if (kind === '.') { c.moveTo(x, y); c.lineTo(x + 1, y); }
    else { c.moveTo(x - d, y - d); c.lineTo(x + d, y + d); c.moveTo(x - d, y + d); c.lineTo(x + d, y - d); }
  }
  c.stroke();
};
etch.CanvasLayer.prototype.clip = function (r, fn) {
  var c = this.ctx; if (!c) return;
  var outer = this.clip_rect;
  c.save(); c.beginPath(); c.rect(r.x, r.y, r.w, r.h); c.clip();
  if (outer) {
    var x = Math.max(r.x, outer.x), y = Math.max(r.y, outer.y);
    this.clip_rect = new etch.Rect(x, y, Math.min(r.x + r.w, outer.x + outer.w) - x, Math.min(r.y + r.h, outer.y + outer.h) - y);
  } else this.clip_rect = r;
  try { fn(); } finally { c.restore(); this.clip_rect = outer; }
};
etch.CanvasLayer.prototype.translate = function (dx, dy, fn) {
  var c = this.ctx; if (!c) return;
  c.save(); c.translate(dx, dy);
  try { fn(); } finally { c.restore(); }
};
