// Plotter "timeplot" (also "tplot"): data that is a function of x, drawn as a line.
etch.TimePlot = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'timeplot', etch.with_data_schema({
    compression: ['boolean', false], colour: ['colour', function () { return etch.colours.red; }],
    width: ['number', 1], xdata: ['any', function () { return new etch.PixInterval(1, 1, null, 0); }],
    ydata: ['provider'], affects_autoscale: ['boolean', true], equation: ['string', undefined]
  }), 'data');
  if (!(this.props.xdata instanceof etch.DataProvider)) this.props.xdata = new etch.PixInterval(1, 1, null, 0);
  this.xs = []; this.ys = [];
};
etch.TimePlot.prototype.fetch = function (start, count) {
  var self = this, p = this.props;
  if (!(p.ydata instanceof etch.DataProvider)) return Promise.resolve();
  return Promise.resolve(p.ydata.fetch(start, count)).then(function (ys) {
    if (self.cancelled) return;
    self.ys = ys;
    if (p.xdata instanceof etch.PixInterval) { self.xs = p.xdata.values(ys.length); return; }
    return Promise.resolve(p.xdata.fetch()).then(function (xs) { if (!self.cancelled) self.xs = xs; });
  });
};
etch.TimePlot.prototype.refetch = function (start, count) { return this.fetch(start, count); };
etch.TimePlot.prototype.draw = function (g, ctx) {
  var n = Math.min(this.xs.length, this.ys.length);
  if (!n) return;
  var st = { stroke: this.props.colour, width: this.props.width };
  if (this.props.compression || n > 4 * ctx.area.w) { g.path(etch.compress_line(this.xs, this.ys, ctx.sx, ctx.sy), st); return; }
  var segs = [], seg = [];
  for (var i = 0; i < n; i++) {
    var x = this.xs[i], y = this.ys[i];
    if (!(isFinite(x) && isFinite(y))) { if (seg.length) segs.push(seg); seg = []; continue; }
    seg.push(ctx.sx.to_pix(x), ctx.sy.to_pix(y));
  }
  if (seg.length) segs.push(seg);
  g.path(segs, st);
};
etch.data_plotter.install(etch.TimePlot);
etch.register_plotter(['timeplot', 'tplot'], etch.TimePlot);
