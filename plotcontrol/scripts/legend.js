// Plotter "legend": a movable box naming the data plotters with their colours. Its place is
// kept as fractions of the plot (x_percent, y_percent) and sent through RegionPosChanged.
etch.region_drag = function (self, x, y, ctx) {
  var r = self.box(ctx);
  if (!r.contains(x, y)) return null;
  var dx = x - r.x, dy = y - r.y;
  return {
    cursor: etch.cursor_css('cursor_all_stretch_r', 'move'),
    move: function (mx, my) {
      self.props.x_percent = etch.util.clamp((mx - dx) / Math.max(1, ctx.width), 0, 1);
      self.props.y_percent = etch.util.clamp((my - dy) / Math.max(1, ctx.height), 0, 1);
      self.plot.redraw();
    },
    end: function () { etch.call('RegionPosChanged', self.props.id, self.props.x_percent, self.props.y_percent); }
  };
};
etch.Legend = function (plot, props, parent) {
  this.free = true;
  etch.init_plotter(this, plot, props, parent, 'legend', {
    id: ['string', 'legend'], background: ['colour', function () { return etch.colours.white; }],
    x_percent: ['number', 0.7], y_percent: ['number', 0.05], titles: ['any', null]
  }, 'overlay');
};
etch.Legend.prototype.entries = function () {
  var t = this.props.titles, out = [];
  this.plot.plotters.forEach(function (p, i) {
    if (p.layer !== 'data' || !p.props.colour) return;
    var name = Array.isArray(t) && t[out.length] !== undefined ? String(t[out.length]) : (p.props.title || p.props.id || p.type);
    out.push({ name: name, colour: p.props.colour });
  });
  return out;
};
etch.Legend.prototype.box = function (ctx) {
  var e = this.entries(), fs = this.props.fontsize;
  var w = 24 + Math.max.apply(null, [20].concat(e.map(function (x) { return x.name.length * fs * 0.6; })));
  return new etch.Rect(this.props.x_percent * ctx.width, this.props.y_percent * ctx.height, w, e.length * (fs + 6) + 6);
};
etch.Legend.prototype.draw = function (g, ctx) {
  var r = this.box(ctx), p = this.props;
  g.rect(r.x, r.y, r.w, r.h, { fill: p.background });
  g.rect(r.x, r.y, r.w, r.h, { stroke: etch.colours.darkgrey });
  this.entries().forEach(function (e, i) {
    var y = r.y + 6 + i * (p.fontsize + 6) + p.fontsize / 2;
    g.line(r.x + 4, y, r.x + 18, y, { stroke: e.colour, width: 2 });
    g.text(e.name, r.x + 22, y, { fill: etch.colours.black, size: p.fontsize, family: p.fontfamily, baseline: 'middle' });
  });
};
etch.Legend.prototype.hit = function (x, y, ctx) { return etch.region_drag(this, x, y, ctx); };
etch.register_plotter(['legend'], etch.Legend);
