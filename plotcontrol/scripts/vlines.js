// Plotter "vlines": vertical lines at x positions, optionally filled between pairs, with their
// values shown and draggable. A drag ends with the sorted values sent through VLinesDragged.
etch.VLines = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'vlines', {
    id: ['string', 'vlines'], colour: ['colour', function () { return etch.colours.darkgrey; }],
    positions: ['array', []], fillcolours: ['array', []], showvalues: ['boolean', false],
    textcolour: ['colour', function () { return etch.colours.black; }], draggable: ['boolean', false]
  }, 'overlay');
  var pos = Array.isArray(this.props.positions) ? this.props.positions : this.props.positions.data;
  // [[a, b], [c, d]] are filled pairs; a flat list is single lines.
  this.pairs = pos.every(Array.isArray);
  this.values = [].concat.apply([], pos).map(Number).filter(isFinite);
};
etch.VLines.prototype.draw = function (g, ctx) {
  var p = this.props, a = ctx.area, self = this;
  if (this.pairs) {
    for (var i = 0; i + 1 < this.values.length; i += 2) {
      var fc = etch.Colour.parse(p.fillcolours[i / 2]);
      if (!fc) continue;
      var x0 = ctx.sx.to_pix(this.values[i]), x1 = ctx.sx.to_pix(this.values[i + 1]);
      var l = etch.util.clamp(Math.min(x0, x1), a.x, a.right()), r = etch.util.clamp(Math.max(x0, x1), a.x, a.right());
      if (r > l) g.rect(l, a.y, r - l, a.h, { fill: fc });
    }
  }
  this.values.forEach(function (v, i) {
    var x = ctx.sx.to_pix(v);
    var shown = self.values.indexOf(v) === i;   // a value shared by two bands is labelled once
    if (x < a.x - 0.5 || x > a.right() + 0.5) return;
    g.line(x, a.y, x, a.bottom(), { stroke: p.colour, width: 1 });
    if (p.showvalues && shown) g.text(etch.Scaling.label(v, p.scalesigfigs), x + 2, a.y + 2, { fill: p.textcolour, size: p.fontsize, family: p.fontfamily });
  });
  self.last_ctx = ctx;
};
etch.VLines.prototype.hit = function (x, y, ctx) {
  if (!this.props.draggable || !ctx.area.contains(x, y)) return null;
  var self = this, best = -1, bd = 5;
  this.values.forEach(function (v, i) { var d = Math.abs(ctx.sx.to_pix(v) - x); if (d <= bd) { bd = d; best = i; } });
  if (best < 0) return null;
  return {
    cursor: etch.cursor_css('cursor_lr_move_t', 'ew-resize'),
    move: function (mx) { self.values[best] = ctx.sx.to_val(etch.util.clamp(mx, ctx.area.x, ctx.area.right())); self.plot.redraw(); },
    end: function () {
      var sorted = self.values.slice().sort(function (a, b) { return a - b; });
      etch.call('VLinesDragged', self.props.id, sorted);
    }
  };
};
etch.register_plotter(['vlines'], etch.VLines);
