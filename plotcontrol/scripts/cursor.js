// Plotter "cursor": a cross at the data point nearest the mouse, with a readout whose {0}, {1}
// and {2} are the point's values (x and y; a histogram's bin start, end and count).
etch.Cursor = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'cursor', {
    readout: ['string', '{0}, {1}'], colour: ['colour', function () { return etch.colours.darkgrey; }]
  }, 'overlay');
  var self = this;
  this.point = null;
  plot.events.on('hover', function (x, y, ctx) { self.track(x, y, ctx); });
  plot.events.on('leave', function () { self.point = null; plot.redraw(); });
};
etch.Cursor.prototype.track = function (x, y, ctx) {
  var src = this.parent;
  if (!src || !src.nearest || !ctx.area.contains(x, y)) { if (this.point) { this.point = null; this.plot.redraw(); } return; }
  this.point = src.nearest(x, y, ctx);
  this.plot.redraw();
};
etch.Cursor.prototype.text = function () {
  var sig = this.props.scalesigfigs || 4;
  return etch.util.format(this.props.readout, this.point.values.map(function (v) { return isFinite(v) ? +(+v).toPrecision(sig + 1) : v; }));
};
etch.Cursor.prototype.draw = function (g, ctx) {
  if (!this.point || !ctx.area) return;
  var a = ctx.area, x = ctx.sx.to_pix(this.point.x), y = ctx.sy.to_pix(this.point.y);
  if (!isFinite(x) || !isFinite(y)) return;
  var st = { stroke: this.props.colour, width: 1, dash: [3, 3] };
  g.line(x, a.y, x, a.bottom(), st);
  g.line(a.x, y, a.right(), y, st);
  g.circle(x, y, 4, { stroke: etch.colours.black, width: 1 });
  var p = this.props, t = this.text();
  var tx = p.dynamic_readout_pos ? Math.min(x + 8, a.right() - 4) : a.right() - 4;
  var ty = p.dynamic_readout_pos ? Math.max(y - 8, a.y + 2) : a.y + 4;
  g.rect(tx - t.length * p.fontsize * 0.6 - 6, ty - 2, t.length * p.fontsize * 0.6 + 8, p.fontsize + 6, { fill: new etch.Colour(255, 255, 255, 220), stroke: etch.colours.darkgrey });
  g.text(t, tx, ty, { fill: etch.colours.black, size: p.fontsize, family: p.fontfamily, anchor: 'end', baseline: 'top' });
};
etch.register_plotter(['cursor'], etch.Cursor);
