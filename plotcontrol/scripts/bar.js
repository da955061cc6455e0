// Plotter "bar": bars over bins with optional labels under them (needs heightsgroup).
etch.Bar = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'bar', etch.with_data_schema({
    compression: ['boolean', false], colour: ['colour', function () { return etch.colours.red; }],
    fillcolour: ['colour', function (v) { return v.colour; }], width: ['number', 1],
    bins: ['interval', function () { return new etch.PixInterval(1, 1, null, 0); }], style: ['string', 'clustered'],
    heightsgroup: ['provider'], xlabels: ['any', null], bar_width_ratio: ['number', 0.8],
    centered_xlabels: ['boolean', false], titles: ['any', null]
  }), 'data');
  this.heights = []; this.labels = [];
};
etch.Bar.prototype.fetch = function () {
  var self = this, p = this.props, jobs = [];
  if (p.heightsgroup instanceof etch.DataProvider)
    jobs.push(Promise.resolve(p.heightsgroup.fetch()).then(function (h) { self.heights = h; }));
  if (p.xlabels instanceof etch.DataProvider)
    jobs.push(Promise.resolve(p.xlabels.fetch()).then(function (l) { self.labels = l.map(String); }));
  else if (Array.isArray(p.xlabels)) self.labels = p.xlabels.map(String);
  return Promise.all(jobs);
};
etch.Bar.prototype.refetch = function () { return this.fetch(); };
etch.Bar.prototype.extent = function (axis) {
  var n = this.heights.length, b = this.props.bins;
  if (!n) return null;
  if (axis === 'x') { var a = b.value(0) - b.step / 2, z = b.value(n - 1) + b.step / 2; return [Math.min(a, z), Math.max(a, z)]; }
  var f = this.heights.filter(isFinite);
  return f.length ? [Math.min(0, Math.min.apply(null, f)), Math.max(0, Math.max.apply(null, f))] : null;
};
etch.Bar.prototype.draw = function (g, ctx) {
  var p = this.props, b = p.bins, y0 = ctx.sy.to_pix(0), half = b.step * etch.util.clamp(p.bar_width_ratio, 0, 1) / 2;
  for (var i = 0; i < this.heights.length; i++) {
    var h = this.heights[i];
    if (!isFinite(h)) continue;
    var c = b.value(i), x0 = ctx.sx.to_pix(c - half), x1 = ctx.sx.to_pix(c + half), y1 = ctx.sy.to_pix(h);
    g.rect(Math.min(x0, x1), Math.min(y0, y1), Math.abs(x1 - x0), Math.abs(y1 - y0), { fill: p.fillcolour, stroke: p.colour, width: p.width });
    if (this.labels[i] !== undefined)
      g.text(this.labels[i], ctx.sx.to_pix(p.centered_xlabels ? c : c - half), ctx.area.bottom() - 2,
        { fill: etch.colours.black, size: p.canvas_fontsize, family: p.fontfamily, anchor: p.centered_xlabels ? 'middle' : 'start', baseline: 'bottom' });
  }
};
etch.data_plotter.install(etch.Bar);
etch.register_plotter(['bar'], etch.Bar);
