// Plotter "scatter" (also "xy"): points of paired x and y data, with optional lines.
etch.Scatter = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'scatter', etch.with_data_schema({
    compression: ['boolean', false], colour: ['colour', function () { return etch.colours.red; }],
    width: ['number', 1], xdata: ['provider'], ydata: ['provider'], style: ['string', 'x'],
    show_points: ['boolean', true], show_lines: ['boolean', false]
  }), 'data');
  this.xs = []; this.ys = []; this.xy = true;
};
etch.Scatter.prototype.fetch = function (start, count) {
  var self = this, p = this.props;
  if (!(p.xdata instanceof etch.DataProvider && p.ydata instanceof etch.DataProvider)) return Promise.resolve();
  return Promise.all([p.xdata.fetch(start, count), p.ydata.fetch(start, count)]).then(function (r) {
    if (self.cancelled) return;
    self.xs = r[0]; self.ys = r[1];
    if (p.xdata instanceof etch.PixInterval && !isFinite(p.xdata.length())) self.xs = p.xdata.values(r[1].length);
  });
};
etch.Scatter.prototype.refetch = function (start, count) { return this.fetch(start, count); };
// A box tied to this plotter colours the points by where they lie relative to it: a function
// of the point's index, or null when there is no such box.
etch.Scatter.prototype.point_colours = function () {
  var self = this, box = null;
  this.plot.plotters.forEach(function (q) { if (q.parent === self && q.type === 'box') box = q; });
  if (!box || !Array.isArray(box.props.plotcolours) || box.props.plotcolours.length < 4) return null;
  var pc = box.props.plotcolours.map(etch.Colour.parse), b = box.range(), xs = this.xs, ys = this.ys;
  return function (i) {
    var x = xs[i], y = ys[i];
    if (x < b[0]) return pc[1];
    if (x > b[1]) return pc[2];
    if (y < b[2] || y > b[3]) return pc[3];
    return pc[0];
  };
};
etch.Scatter.prototype.draw = function (g, ctx) {
  var p = this.props, n = Math.min(this.xs.length, this.ys.length);
  if (!n) return;
  var st = { stroke: p.colour, width: p.width };
  if (p.show_lines) {
    var segs = [], seg = [];
    for (var i = 0; i < n; i++) {
      if (!(isFinite(this.xs[i]) && isFinite(this.ys[i]))) { if (seg.length) segs.push(seg); seg = []; continue; }
      seg.push(ctx.sx.to_pix(this.xs[i]), ctx.sy.to_pix(this.ys[i]));
    }
    if (seg.length) segs.push(seg);
    g.path(segs, st);
  }
  if (!p.show_points) return;
  // Many points are reduced to one per pixel before they are drawn, as a line is.
  var c = etch.compress_points(this.xs, this.ys, ctx.sx, ctx.sy, p.compression || n > 4 * ctx.area.w);
  var groups = {}, colour_of = this.point_colours();
  for (var k = 0; k < c.index.length; k++) {
    var col = (colour_of && colour_of(c.index[k])) || p.colour, key = col.css();
    (groups[key] = groups[key] || { col: col, pts: [] }).pts.push(c.points[2 * k], c.points[2 * k + 1]);
  }
  Object.keys(groups).forEach(function (k) {
    g.markers(p.style, groups[k].pts, 3, { stroke: groups[k].col, width: p.width });
  });
};
etch.data_plotter.install(etch.Scatter);
etch.register_plotter(['scatter', 'xy'], etch.Scatter);
