// The HTML text layer: titles, axis labels, readouts and error messages above the drawing.
etch.TextLayer = function (parent) {
  this.el = document.createElement('div');
  this.el.className = 'etch-text-layer';
  this.el.style.position = 'absolute';
  this.el.style.left = '0px'; this.el.style.top = '0px';
  this.el.style.width = '100%'; this.el.style.height = '100%';
  this.el.style.pointerEvents = 'none';
  parent.appendChild(this.el);
  this.items = [];
};
etch.TextLayer.prototype.clear = function () {
  this.items = [];
  while (this.el.firstChild) this.el.removeChild(this.el.firstChild);
};
// Same call as the drawing layers; other drawing calls do nothing on this layer.
etch.TextLayer.prototype.text = function (s, x, y, st) {
  this.items.push({ s: String(s), x: x, y: y, st: st });
  // A span: the page's style sheet gives every div the full size of its parent.
  var d = document.createElement('span');
  d.className = 'etch-label';
  d.textContent = String(s);
  var tx = st.anchor === 'middle' ? '-50%' : (st.anchor === 'end' ? '-100%' : '0');
  var ty = st.baseline === 'middle' ? '-50%' : (st.baseline === 'bottom' ? '-100%' : '0');
  d.style.cssText = 'position:absolute;white-space:nowrap;left:' + etch.util.num(x) + 'px;top:' + etch.util.num(y) +
    'px;font-size:' + (st.size || 9) + 'px;font-family:' + (st.family || 'sans-serif') + ';color:' +
    (st.fill || etch.colours.black).css() + ';transform-origin:0 0;transform:rotate(' + (st.angle || 0) +
    'deg) translate(' + tx + ',' + ty + ');';
  this.el.appendChild(d);
  return d;
};
['line', 'path', 'rect', 'ellipse', 'circle', 'markers'].forEach(function (m) {
  etch.TextLayer.prototype[m] = function () {};
});
etch.TextLayer.prototype.clip = function (r, fn) { fn(); };
etch.TextLayer.prototype.translate = function (dx, dy, fn) { fn(); };
// Replays the layer's texts into another layer (the SVG copy).
etch.TextLayer.prototype.replay = function (g) {
  this.items.forEach(function (t) { g.text(t.s, t.x, t.y, t.st); });
};
