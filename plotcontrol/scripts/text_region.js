// Plotter "text_region": a movable text box; a double click edits its text, which goes out
// through RegionTextChanged, and a move through RegionPosChanged.
etch.TextRegion = function (plot, props, parent) {
  this.free = true;
  etch.init_plotter(this, plot, props, parent, 'text_region', {
    text: ['string', ''], font_size: ['number', 16], background: ['colour', function () { return etch.colours.white; }],
    x_percent: ['number', 0.5], y_percent: ['number', 0.0], id: ['string', 'text_region']
  }, 'overlay');
  var self = this;
  plot.events.on('dblclick', function (x, y, ctx) {
    if (!self.box(ctx).contains(x, y) || typeof window.prompt !== 'function') return;
    var t = window.prompt('Text', self.props.text);
    if (t === null || t === undefined) return;
    self.props.text = String(t);
    etch.call('RegionTextChanged', self.props.id, self.props.text);
    plot.redraw();
  });
};
etch.TextRegion.prototype.lines = function () { return String(this.props.text).split('\n'); };
etch.TextRegion.prototype.box = function (ctx) {
  var fs = this.props.font_size, l = this.lines();
  var w = Math.max(20, Math.max.apply(null, l.map(function (s) { return s.length; })) * fs * 0.55 + 8);
  return new etch.Rect(this.props.x_percent * ctx.width, this.props.y_percent * ctx.height, w, l.length * (fs + 4) + 4);
};
etch.TextRegion.prototype.draw = function (g, ctx) {
  var p = this.props, r = this.box(ctx);
  if (!p.text) return;
  g.rect(r.x, r.y, r.w, r.h, { fill: p.background });
  this.lines().forEach(function (s, i) {
    g.text(s, r.x + 4, r.y + 2 + i * (p.font_size + 4), { fill: etch.colours.black, size: p.font_size, family: p.fontfamily });
  });
};
etch.TextRegion.prototype.hit = function (x, y, ctx) { return etch.region_drag(this, x, y, ctx); };
etch.register_plotter(['text_region'], etch.TextRegion);
