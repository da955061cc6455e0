// Plotter "zoom": zoom buttons on the plot (in, out, back), with the zoom history; every change
// is sent through ZoomLevelChanged (x min, x max, y min, y max) and SetZoomState.
etch.Zoom = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'zoom', { id: ['string', 'zoom'] }, 'none');
  var self = this;
  this.history = [];
  this.buttons = [];
  plot.events.on('layout', function (ctx) { self.layout(ctx); });
};
etch.Zoom.prototype.layout = function (ctx) {
  var self = this, plot = this.plot, a = ctx.area;
  this.buttons.forEach(function (b) { b.remove(); });
  this.buttons = [];
  if (!this.props.showzoombuttons) return;
  var x = a.right() - 54, y = Math.max(0, a.y - 18);
  this.buttons.push(new etch.Button(plot.root, x, y, '+', 'Zoom in', function () { self.zoom(0.5); }));
  this.buttons.push(new etch.Button(plot.root, x + 18, y, '\u2212', 'Zoom out', function () { self.zoom(2); }));
  this.back = new etch.Button(plot.root, x + 36, y, '\u21b6', 'Undo zoom', function () { self.undo(); });
  this.buttons.push(this.back);
  this.back.enable(this.history.length > 0);
};
etch.Zoom.prototype.state = function () {
  var s = this.plot.scales;
  return [s[0].min, s[0].max, s[1].min, s[1].max];
};
etch.Zoom.prototype.apply = function (r) {
  var s = this.plot.scales;
  s[0].set_range(r[0], r[1], false, true);
  s[1].set_range(r[2], r[3], false, true);
  if (this.back) this.back.enable(this.history.length > 0);
  etch.call('ZoomLevelChanged', this.props.id, this.state());
  etch.call('SetZoomState', this.props.id, this.history.length > 0, false);
};
etch.Zoom.prototype.zoom = function (f) {
  var r = this.state();
  this.history.push(r.slice());
  var cx = r[0] / 2 + r[1] / 2, cy = r[2] / 2 + r[3] / 2;
  this.apply([cx + (r[0] - cx) * f, cx + (r[1] - cx) * f, cy + (r[2] - cy) * f, cy + (r[3] - cy) * f]);
};
etch.Zoom.prototype.undo = function () { if (this.history.length) this.apply(this.history.pop()); };
etch.Zoom.prototype.cancel = function () { this.buttons.forEach(function (b) { b.remove(); }); };
etch.register_plotter(['zoom'], etch.Zoom);
