// Value types of the plot: colours and rectangles.
etch.Colour = function (r, g, b, a) {
  if (!(this instanceof etch.Colour)) return new etch.Colour(r, g, b, a);
  var c = function (v) { v = Math.round(+v); return isFinite(v) ? Math.max(0, Math.min(255, v)) : 0; };
  this.r = c(r); this.g = c(g); this.b = c(b);
  this.a = a === undefined || a === null ? 255 : c(a);
};
etch.Colour.prototype.hex = function () {
  var h = function (v) { return (v < 16 ? '0' : '') + v.toString(16); };
  return '#' + h(this.r) + h(this.g) + h(this.b);
};
etch.Colour.prototype.opacity = function () { return Math.round(this.a / 255 * 1000) / 1000; };
etch.Colour.prototype.css = function () {
  return 'rgba(' + this.r + ',' + this.g + ',' + this.b + ',' + this.opacity() + ')';
};
etch.Colour.prototype.lighten = function (d) {
  return new etch.Colour(Math.min(255, this.r + d), Math.min(255, this.g + d), Math.min(255, this.b + d), this.a);
};
etch.Colour.prototype.toString = etch.Colour.prototype.css;
etch.Colour.is = function (v) { return v instanceof etch.Colour; };
// Named colours of the markup writers ('blue') and CSS hex texts are accepted where a colour is.
etch.Colour.parse = function (v) {
  if (v instanceof etch.Colour) return v;
  if (typeof v !== 'string') return null;
  var named = { black: [0, 0, 0], white: [255, 255, 255], red: [255, 0, 0], green: [0, 128, 0],
    blue: [0, 0, 255], grey: [128, 128, 128], gray: [128, 128, 128], cyan: [0, 255, 255] };
  var n = named[v.toLowerCase()];
  if (n) return new etch.Colour(n[0], n[1], n[2]);
  var m = /^#([0-9a-f]{6})([0-9a-f]{2})?$/i.exec(v);
  if (!m) return null;
  var p = function (i) { return parseInt((m[1] + (m[2] || 'ff')).substr(i, 2), 16); };
  return new etch.Colour(p(0), p(2), p(4), p(6));
};
etch.colours = {
  white: new etch.Colour(255, 255, 255), offwhite: new etch.Colour(252, 252, 252),
  darkgrey: new etch.Colour(128, 128, 128), grey: new etch.Colour(238, 238, 238),
  red: new etch.Colour(255, 0, 0), black: new etch.Colour(0, 0, 0),
  cyan: new etch.Colour(152, 255, 255), transparent: new etch.Colour(0, 0, 0, 0)
};

etch.Rect = function (x, y, w, h) { this.x = x; this.y = y; this.w = Math.max(0, w); this.h = Math.max(0, h); };
etch.Rect.prototype.contains = function (px, py) {
  return px >= this.x && px <= this.x + this.w && py >= this.y && py <= this.y + this.h;
};
etch.Rect.prototype.right = function () { return this.x + this.w; };
etch.Rect.prototype.bottom = function () { return this.y + this.h; };
