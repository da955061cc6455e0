// Plotter "box": a draggable box defining an area (x and y ranges). Dragging inside moves it,
// dragging an edge resizes it; the new ranges go out through BoxResized.
etch.Box = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'box', {
    id: ['string', 'box'], colour: ['colour', function () { return etch.colours.red; }],
    showvalues: ['boolean', false], draggable: ['boolean', false],
    range_x: ['any', null], range_y: ['any', null], plotcolours: ['array', []]
  }, 'overlay');
  var r = function (o) { return o && typeof o === 'object' && isFinite(o.min) && isFinite(o.max) ? [Math.min(o.min, o.max), Math.max(o.min, o.max)] : [0, 0]; };
  this.rx = r(this.props.range_x); this.ry = r(this.props.range_y);
};
etch.Box.prototype.range = function () { return [this.rx[0], this.rx[1], this.ry[0], this.ry[1]]; };
etch.Box.prototype.pix = function (ctx) {
  var x0 = ctx.sx.to_pix(this.rx[0]), x1 = ctx.sx.to_pix(this.rx[1]), y0 = ctx.sy.to_pix(this.ry[0]), y1 = ctx.sy.to_pix(this.ry[1]);
  return new etch.Rect(Math.min(x0, x1), Math.min(y0, y1), Math.abs(x1 - x0), Math.abs(y1 - y0));
};
etch.Box.prototype.draw = function (g, ctx) {
  var p = this.props, r = this.pix(ctx);
  g.rect(r.x, r.y, r.w, r.h, { stroke: p.colour, width: 2 });
  if (p.showvalues) {
    var st = { fill: p.colour, size: p.fontsize, family: p.fontfamily };
    var L = function (v) { return etch.Scaling.label(v, p.scalesigfigs); };
    g.text(L(this.rx[0]), r.x + 2, r.bottom() - 2, Object.assign({ baseline: 'bottom' }, st));
    g.text(L(this.rx[1]), r.right() - 2, r.bottom() - 2, Object.assign({ anchor: 'end', baseline: 'bottom' }, st));
    g.text(L(this.ry[1]), r.x + 2, r.y + 2, st);
  }
};
etch.Box.prototype.hit = function (x, y, ctx) {
  if (!this.props.draggable) return null;
  var r = this.pix(ctx), e = 4, self = this;
  if (x < r.x - e || x > r.right() + e || y < r.y - e || y > r.bottom() + e) return null;
  var edges = { l: Math.abs(x - r.x) <= e, r: Math.abs(x - r.right()) <= e, t: Math.abs(y - r.y) <= e, b: Math.abs(y - r.bottom()) <= e };
  var moving = !(edges.l || edges.r || edges.t || edges.b);
  var rx0 = this.rx.slice(), ry0 = this.ry.slice(), vx = ctx.sx.to_val(x), vy = ctx.sy.to_val(y);
  return {
    cursor: moving ? etch.cursor_css('cursor_all_stretch_t', 'move') : 'crosshair',
    move: function (mx, my) {
      var dx = ctx.sx.to_val(mx) - vx, dy = ctx.sy.to_val(my) - vy;
      var xl = ctx.sx.to_pix(rx0[0]) < ctx.sx.to_pix(rx0[1]) ? 0 : 1;   // pixel-left end
      var yt = ctx.sy.to_pix(ry0[1]) < ctx.sy.to_pix(ry0[0]) ? 1 : 0;   // pixel-top end
      self.rx = rx0.slice(); self.ry = ry0.slice();
      if (moving || edges.l) self.rx[xl] += dx;
      if (moving || edges.r) self.rx[1 - xl] += dx;
      if (moving || edges.t) self.ry[yt] += dy;
      if (moving || edges.b) self.ry[1 - yt] += dy;
      self.rx.sort(function (a, b) { return a - b; }); self.ry.sort(function (a, b) { return a - b; });
      self.plot.redraw();
    },
    // A press that moved nothing (a click on a point inside the box) changes no ranges.
    end: function () {
      var r = self.range();
      if (r[0] !== rx0[0] || r[1] !== rx0[1] || r[2] !== ry0[0] || r[3] !== ry0[1]) etch.call('BoxResized', self.props.id, r);
    }
  };
};
etch.register_plotter(['box'], etch.Box);
