// Draggable axis scales: ticks and labels, drag to pan, wheel to zoom, auto-scale, unipolar and
// bipolar modes, and the native scale menu. Index 0 is the x scale, 1 the y scale.
etch.DragScale = function (plot, axis, index) {
  this.plot = plot;
  this.axis = axis;
  this.index = index;
  this.min = 0; this.max = 1;
  this.autoscaled = false;
  this.menu_open = false;
};
etch.DragScale.prototype.vertical = function () { return this.axis === 'y'; };
etch.DragScale.prototype.scaling = function (area) {
  return this.vertical() ? new etch.Scaling(this.min, this.max, area.bottom(), area.y)
    : new etch.Scaling(this.min, this.max, area.x, area.right());
};
// Sets the displayed range; `report` tells the native side (which persists it).
etch.DragScale.prototype.set_range = function (min, max, auto, report) {
  var r = etch.Scaling.sane(min, max);
  this.min = r[0]; this.max = r[1];
  this.autoscaled = !!auto;
  if (report)
    etch.call(this.vertical() ? 'YScalingChanged' : 'XScalingChanged', this.plot.id, [this.min, this.max, auto ? 1 : 0]);
  this.plot.redraw();
};
etch.DragScale.prototype.extent = function () { return this.plot.data_extent(this.axis); };
// Fits the range to the data; `report` false for the fit a new plot makes by itself.
etch.DragScale.prototype.auto_scale = function (report) {
  report = report !== false;
  var e = this.extent();
  if (!e) { var f = this.plot.full_range(this.axis); if (f) e = f; }
  if (!e) return;
  var lo = e[0], hi = e[1];
  if (lo === hi) { var r = etch.Scaling.sane(lo, hi); lo = r[0]; hi = r[1]; }
  // Values pad the axis they are drawn against (x too for points of paired data, so that
  // markers at the edges show whole); data that starts or ends at zero keeps zero as its edge.
  var pad = (hi / 2 - lo / 2) * 0.1;
  var xy = this.plot.plotters.some(function (p) { return p.xy && p.props.affects_autoscale !== false; });
  if (this.vertical() || xy) {
    var lo0 = lo, hi0 = hi;
    lo -= pad; hi += pad;
    if (lo0 >= 0 && lo < 0) lo = 0;
    if (hi0 <= 0 && hi > 0) hi = 0;
  }
  // An inverted axis stays inverted.
  if (this.min > this.max) this.set_range(hi, lo, true, report);
  else this.set_range(lo, hi, true, report);
};
etch.DragScale.prototype.set_unipolar = function () {
  var e = this.extent() || [Math.min(this.min, this.max), Math.max(this.min, this.max)];
  var lo = Math.min(0, e[0]), hi = Math.max(0, e[1]);
  if (lo < 0 && hi > 0) hi = Math.max(Math.abs(lo), hi), lo = 0;
  this.set_range(lo, hi === lo ? lo + 1 : hi, false, true);
};
etch.DragScale.prototype.set_bipolar = function () {
  var e = this.extent() || [this.min, this.max];
  var m = Math.max(Math.abs(e[0]), Math.abs(e[1])) || 1;
  this.set_range(-m, m, false, true);
};
etch.DragScale.prototype.menu_closed = function () { this.menu_open = false; this.plot.redraw(); };
etch.DragScale.prototype.open_menu = function (rect) {
  this.menu_open = true;
  var host = this.plot.el.getBoundingClientRect();
  return etch.call('MakeDropMenu', this.plot.id, this.index, rect.left - host.left, rect.top - host.top,
    rect.right - host.left, rect.bottom - host.top, this.vertical(), this.min, this.max);
};
// The strip beside the plot area in which this scale is drawn.
etch.DragScale.prototype.strip = function (ctx) {
  var a = ctx.area;
  return this.vertical() ? new etch.Rect(0, a.y, a.x, a.h) : new etch.Rect(a.x, a.bottom(), a.w, ctx.height - a.bottom());
};
// The ticks of this scale for the plot area: at least `minticklabels` labels where the strip
// has room for them (18 pixels a label upright, 40 across). The graticule draws at the same ticks.
etch.DragScale.prototype.ticks = function (ctx) {
  var p = ctx.props, a = ctx.area;
  var span_pix = this.vertical() ? a.h : a.w;
  var room = Math.max(2, Math.floor(span_pix / (this.vertical() ? 18 : 40)));
  var wanted = p.minticklabels < 0 ? 7 : Math.max(2, p.minticklabels);
  return etch.Scaling.ticks(this.min, this.max, Math.min(wanted, room), room);
};
etch.DragScale.prototype.draw = function (g, ctx) {
  var p = ctx.props, a = ctx.area, s = this.scaling(a);
  var st = { stroke: etch.colours.black, width: 1 };
  var lab = { fill: etch.colours.black, size: p.canvas_fontsize, family: p.fontfamily };
  var t = this.ticks(ctx);
  var show = this.vertical() ? p.show_y_scale_labels : p.show_x_scale_labels;
  var step_pix = Math.abs(s.to_pix(t.step) - s.to_pix(0));
  var self = this, fs = p.canvas_fontsize;
  this.label_width = 0;
  if (this.vertical()) g.line(a.x, a.y, a.x, a.bottom(), st);
  else g.line(a.x, a.bottom(), a.right(), a.bottom(), st);
  if (p.minortickthreshold >= 0 && step_pix > p.minortickthreshold && t.major.length) {
    var lo = Math.min(this.min, this.max), hi = Math.max(this.min, this.max);
    for (var k = -5; k < t.major.length * 5 + 5 && k < 2000; k++) {
      var v = t.major[0] + k * t.minor_step;
      if (v < lo || v > hi) continue;
      var q = s.to_pix(v);
      if (this.vertical()) g.line(a.x - p.minorticksize, q, a.x, q, st);
      else g.line(q, a.bottom(), q, a.bottom() + p.minorticksize, st);
    }
  }
  t.major.forEach(function (v) {
    var q = s.to_pix(v);
    var text = etch.Scaling.label(v, p.scalesigfigs, t.step);
    var w = text.length * fs * 0.6;
    self.label_width = Math.max(self.label_width, w);
    if (self.vertical()) {
      g.line(a.x - p.majorticksize, q, a.x, q, st);
      // Labels at the ends stay whole inside the plot.
      var y = etch.util.clamp(q, fs / 2 + 1, ctx.height - fs / 2 - 1);
      if (show) g.text(text, a.x - p.majorticksize - 2, y, Object.assign({ anchor: 'end', baseline: 'middle' }, lab));
    } else {
      g.line(q, a.bottom(), q, a.bottom() + p.majorticksize, st);
      var anchor = q + w / 2 > ctx.width - 1 ? 'end' : (q - w / 2 < 1 ? 'start' : 'middle');
      var x = anchor === 'end' ? ctx.width - 1 : (anchor === 'start' ? 1 : q);
      if (show) g.text(text, x, a.bottom() + p.majorticksize + 2, Object.assign({ anchor: anchor, baseline: 'top' }, lab));
    }
  });
  if (!show) this.label_width = 0;
};
// A drag in the strip pans the scale; the range is reported when the drag ends.
etch.DragScale.prototype.hit = function (x, y, ctx) {
  if (!this.strip(ctx).contains(x, y)) return null;
  var self = this, a = ctx.area;
  var s0 = this.scaling(a), min0 = this.min, max0 = this.max;
  var start = this.vertical() ? y : x;
  return {
    cursor: this.vertical() ? 'ns-resize' : 'ew-resize',
    move: function (mx, my) {
      var d = s0.to_val(self.vertical() ? my : mx) - s0.to_val(start);
      self.set_range(min0 - d, max0 - d, false, false);
    },
    end: function () { self.set_range(self.min, self.max, false, true); }
  };
};
etch.DragScale.prototype.wheel = function (x, y, delta, ctx) {
  if (!this.strip(ctx).contains(x, y)) return false;
  var s = this.scaling(ctx.area), c = s.to_val(this.vertical() ? y : x);
  var f = delta > 0 ? 1.25 : 0.8;
  this.set_range(c + (this.min - c) * f, c + (this.max - c) * f, false, true);
  return true;
};
