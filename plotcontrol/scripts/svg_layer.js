// The SVG drawing layer: the same drawing calls as the canvas layer, written as SVG text that
// stays inside what the printable renderer reads: absolute M/L paths with plain decimals,
// translate(a b) with non-negative offsets, colours as #rrggbb with their opacity, `use` with
// xlink:href, and every element with its full style (the renderer keeps the last style it saw).
etch.SvgLayer = function (w, h) {
  this.w = w; this.h = h;
  this.parts = [];
  this.defs = [];
  this.marker_ids = {};
  this.clip_count = 0;
};
etch.SvgLayer.id_seed = 0;
etch.SvgLayer.prototype.clear = function () { this.parts = []; this.defs = []; this.marker_ids = {}; };
etch.SvgLayer.prototype._style = function (st, text) {
  var n = etch.util.num;
  var fill = st.fill || (text ? etch.colours.black : etch.colours.transparent);
  var stroke = st.stroke || etch.colours.transparent;
  var s = 'fill:' + (fill.a === 0 && !text ? 'none' : fill.hex()) + ';fill-opacity:' + fill.opacity() +
    ';stroke:' + stroke.hex() + ';stroke-opacity:' + stroke.opacity() +
    ';stroke-width:' + n(st.width || 1) +
    ';stroke-dasharray:' + (st.dash && st.dash.length ? st.dash.map(n).join(',') : '1,0') +
    ';font-size:' + n(st.size || 9) + ';font-family:' + etch.SvgLayer.families(st.family || 'Arial');
  return ' style="' + s + '"';
};
// The family list as the style holds it, ended by the face the host found for sans-serif
// (window.etch_font_fallback): WebKit draws SVG text only in a face it finds by name, so text
// whose families are all missing would not show.
etch.SvgLayer.families = function (family) {
  var fallback = typeof window !== 'undefined' && window.etch_font_fallback;
  return family.replace(/["';]/g, '') + (fallback ? ', ' + String(fallback).replace(/["';,]/g, '') : '');
};
etch.SvgLayer.prototype.line = function (x1, y1, x2, y2, st) {
  var n = etch.util.num, crisp = etch.CanvasLayer.crisp;
  if (x1 === x2) x1 = x2 = crisp(x1, st.width);
  if (y1 === y2) y1 = y2 = crisp(y1, st.width);
  this.parts.push('<line x1="' + n(x1) + '" y1="' + n(y1) + '" x2="' + n(x2) + '" y2="' + n(y2) + '"' + this._style(st) + '/>');
};
etch.SvgLayer.path_data = function (segs) {
  var n = etch.util.num, d = [];
  segs.forEach(function (s) {
    if (s.length < 2) return;
    d.push('M ' + n(s[0]) + ' ' + n(s[1]));
    for (var i = 2; i + 1 < s.length; i += 2) d.push('L ' + n(s[i]) + ' ' + n(s[i + 1]));
    if (s.length === 2) d.push('L ' + n(s[0] + 0.5) + ' ' + n(s[1]));
  });
  return d.join(' ');
};
etch.SvgLayer.prototype.path = function (segs, st) {
  var d = etch.SvgLayer.path_data(segs);
  if (d) this.parts.push('<path d="' + d + '"' + this._style({ stroke: st.stroke, width: st.width }) + '/>');
};
etch.SvgLayer.prototype.rect = function (x, y, w, h, st) {
  var n = etch.util.num;
  // The renderer either fills or outlines a rect, never both: an outline is drawn as a path.
  var filled = st.fill && st.fill.a > 0;
  if (filled)
    this.parts.push('<rect x="' + n(x) + '" y="' + n(y) + '" width="' + n(Math.abs(w)) + '" height="' + n(Math.abs(h)) + '"' + this._style({ fill: st.fill }) + '/>');
  if (st.stroke && st.stroke.a > 0)
    this.path([[x, y, x + w, y, x + w, y + h, x, y + h, x, y]], st);
};
etch.SvgLayer.prototype.text = function (s, x, y, st) {
  var n = etch.util.num;
  var base = st.baseline === 'middle' ? 'middle' : (st.baseline === 'bottom' ? 'text-after-edge' : 'text-before-edge');
  var t = '<text x="' + n(x) + '" y="' + n(y) + '" text-anchor="' + (st.anchor || 'start') + '" dominant-baseline="' + base + '"';
  if (st.angle) t += ' transform="rotate(' + n(st.angle) + ' ' + n(x) + ' ' + n(y) + ')"';
  this.parts.push(t + this._style(st, true) + '>' + etch.util.escape_xml(s) + '</text>');
};
etch.SvgLayer.prototype.ellipse = function (cx, cy, rx, ry, angle, st) {
  var n = etch.util.num;
  this.parts.push('<ellipse cx="' + n(cx) + '" cy="' + n(cy) + '" rx="' + n(Math.abs(rx)) + '" ry="' + n(Math.abs(ry)) + '"' +
    (angle ? ' transform="rotate(' + n(angle) + ' ' + n(cx) + ' ' + n(cy) + ')"' : '') + this._style({ stroke: st.stroke, width: st.width }) + '/>');
};
etch.SvgLayer.prototype.circle = function (cx, cy, r, st) {
  var n = etch.util.num;
  this.parts.push('<circle cx="' + n(cx) + '" cy="' + n(cy) + '" r="' + n(Math.abs(r)) + '"' + this._style({ stroke: st.stroke, width: st.width }) + '/>');
};
// Point markers are defined once and placed with `use`.
etch.SvgLayer.prototype.markers = function (kind, pts, size, st) {
  var n = etch.util.num, d = size;
  var key = kind + '/' + size + '/' + (st.stroke || etch.colours.black).css() + '/' + (st.width || 1);
  var id = this.marker_ids[key];
  if (!id) {
    id = 'etchm' + Date.now().toString(36) + '_' + (++etch.SvgLayer.id_seed);
    this.marker_ids[key] = id;
    var segs = kind === '+' ? [[-d, 0, d, 0], [0, -d, 0, d]] :
      kind === '.' ? [[0, 0, 1, 0]] :
      kind === 'o' ? [(function () { var s = []; for (var i = 0; i <= 12; i++) s.push(d * Math.cos(i * Math.PI / 6), d * Math.sin(i * Math.PI / 6)); return s; })()] :
      [[-d, -d, d, d], [-d, d, d, -d]];
    this.defs.push('<path id="' + id + '" d="' + etch.SvgLayer.path_data(segs) + '"' + this._style({ stroke: st.stroke, width: st.width }) + '/>');
  }
  for (var i = 0; i + 1 < pts.length; i += 2)
    this.parts.push('<use xlink:href="#' + id + '" x="' + n(pts[i]) + '" y="' + n(pts[i + 1]) + '"' + this._style({ stroke: st.stroke, width: st.width }) + '/>');
};
etch.SvgLayer.prototype.clip = function (r, fn) {
  var n = etch.util.num;
  var id = 'etchc' + Date.now().toString(36) + '_' + (++etch.SvgLayer.id_seed);
  this.parts.push('<clipPath id="' + id + '"><rect x="' + n(r.x) + '" y="' + n(r.y) + '" width="' + n(r.w) + '" height="' + n(r.h) + '"/></clipPath>');
  this.parts.push('<g clip-path="url(#' + id + ')">');
  try { fn(); } finally { this.parts.push('</g>'); }
};
etch.SvgLayer.prototype.translate = function (dx, dy, fn) {
  var n = etch.util.num;
  this.parts.push('<g transform="translate(' + n(Math.max(0, dx)) + ' ' + n(Math.max(0, dy)) + ')">');
  try { fn(); } finally { this.parts.push('</g>'); }
};
// The layer's elements, without the root.
etch.SvgLayer.prototype.body = function () {
  return (this.defs.length ? '<defs>' + this.defs.join('') + '</defs>' : '') + this.parts.join('');
};
etch.SvgLayer.prototype.document = function () {
  var n = etch.util.num;
  return '<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="' + n(this.w) +
    '" height="' + n(this.h) + '">' + this.body() + '</svg>';
};
// On screen: the layer's elements shown in an svg element over the canvas.
etch.SvgLayer.prototype.show_in = function (svg_element) {
  svg_element.innerHTML = this.body();
};
