// Plotter "histogram" (also "hist"): bars over bins of equal width.
etch.Histogram = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'histogram', etch.with_data_schema({
    compression: ['boolean', false], colour: ['colour', function () { return etch.colours.red; }],
    fillcolour: ['colour', function (v) { return v.colour; }], width: ['number', 1],
    bins: ['interval', function () { return new etch.PixInterval(1, 1, null, 0); }], heights: ['provider']
  }), 'data');
  this.heights = [];
};
etch.Histogram.prototype.fetch = function () {
  var self = this;
  if (!(this.props.heights instanceof etch.DataProvider)) return Promise.resolve();
  return Promise.resolve(this.props.heights.fetch()).then(function (h) { if (!self.cancelled) self.heights = h; });
};
etch.Histogram.prototype.refetch = function () { return this.fetch(); };
etch.Histogram.prototype.bin = function (i) { var b = this.props.bins; return [b.value(i), b.value(i + 1)]; };
etch.Histogram.prototype.extent = function (axis) {
  var n = this.heights.length;
  if (!n) return null;
  if (axis === 'x') { var a = this.bin(0)[0], b = this.bin(n - 1)[1]; return [Math.min(a, b), Math.max(a, b)]; }
  var f = this.heights.filter(isFinite);
  return f.length ? [Math.min(0, Math.min.apply(null, f)), Math.max(0, Math.max.apply(null, f))] : null;
};
etch.Histogram.prototype.nearest = function (px, py, ctx) {
  var x = ctx.sx.to_val(px);
  for (var i = 0; i < this.heights.length; i++) {
    var b = this.bin(i);
    if (x >= Math.min(b[0], b[1]) && x < Math.max(b[0], b[1]))
      return { index: i, x: (b[0] + b[1]) / 2, y: this.heights[i], values: [b[0], b[1], this.heights[i]] };
  }
  return null;
};
etch.Histogram.prototype.draw = function (g, ctx) {
  var p = this.props, y0 = ctx.sy.to_pix(0);
  for (var i = 0; i < this.heights.length; i++) {
    var h = this.heights[i];
    if (!isFinite(h)) continue;
    var b = this.bin(i), x0 = ctx.sx.to_pix(b[0]), x1 = ctx.sx.to_pix(b[1]), y1 = ctx.sy.to_pix(h);
    g.rect(Math.min(x0, x1), Math.min(y0, y1), Math.abs(x1 - x0), Math.abs(y1 - y0), { fill: p.fillcolour, stroke: p.colour, width: p.width });
  }
};
etch.data_plotter.install(etch.Histogram);
etch.register_plotter(['histogram', 'hist'], etch.Histogram);
