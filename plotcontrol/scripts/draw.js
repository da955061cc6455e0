// The paint loop and the copy of the plot as SVG (copy and print). Every plotter draws through
// the same calls into the canvas (data), the SVG overlay (interactive plotters) or, for the
// copy, one SVG document.
etch.plot_drawing = {};
etch.plot_drawing.context = function () {
  var p = this.props;
  var title_h = p.title ? p.labelsize + 8 : 0;
  var x = Math.max(0, p.yscalewidth), y = Math.max(0, p.topmargin) + title_h;
  var area = new etch.Rect(x, y, this.width - x - Math.max(0, p.rightmargin), this.height - y - Math.max(0, p.xscaleheight));
  var ctx = { plot: this, props: p, area: area, width: this.width, height: this.height };
  ctx.sx = this.scales[0].scaling(area);
  ctx.sy = this.scales[1].scaling(area);
  return ctx;
};
// Redraws are coalesced into one paint per frame unless throttling is off.
etch.plot_drawing.redraw = function () {
  var self = this;
  if (!this.props.throttleredraws) { this.paint(); return; }
  if (this.paint_pending) return;
  this.paint_pending = true;
  var later = typeof requestAnimationFrame === 'function' ? requestAnimationFrame : function (f) { return setTimeout(f, 0); };
  later(function () { self.paint_pending = false; self.paint(); });
};
etch.plot_drawing.resize_if_needed = function () {
  var w = this.el.clientWidth || this.width, h = this.el.clientHeight || this.height;
  if (w === this.width && h === this.height) return;
  this.width = w; this.height = h;
  this.canvas.resize(w, h);
  this.overlay_el.setAttribute('width', w); this.overlay_el.setAttribute('height', h);
  this.layout_buttons();
};
etch.plot_drawing.draw_back = function (g, ctx) {
  var p = ctx.props, a = ctx.area;
  g.rect(0, 0, ctx.width, ctx.height, { fill: p.background });
  if (p.shadow) g.rect(a.x + 2, a.y + 2, a.w, a.h, { fill: new etch.Colour(0, 0, 0, 24) });
  g.rect(a.x, a.y, a.w, a.h, { fill: etch.colours.white });
  var layers = ['back', 'data'];
  var self = this;
  layers.forEach(function (layer) {
    g.clip(a, function () {
      self.plotters.forEach(function (pl) { if (pl.layer === layer && pl.draw) pl.draw(g, ctx); });
    });
  });
  g.rect(a.x, a.y, a.w, a.h, { stroke: etch.colours.darkgrey, width: 1 });
  this.scales.forEach(function (s) { s.draw(g, ctx); });
};
etch.plot_drawing.draw_overlay = function (g, ctx) {
  var list = this.plotters.filter(function (pl) { return pl.layer === 'overlay' && pl.draw; });
  // Plotters in data units stay inside the plot area; regions (legend, text) may lie anywhere.
  g.clip(ctx.area, function () { list.forEach(function (pl) { if (!pl.free) pl.draw(g, ctx); }); });
  list.forEach(function (pl) { if (pl.free) pl.draw(g, ctx); });
};
etch.plot_drawing.draw_labels = function (g, ctx) {
  var p = ctx.props, a = ctx.area;
  var st = { fill: etch.colours.black, size: p.labelsize, family: p.fontfamily };
  if (p.title) g.text(p.title, a.x + a.w / 2, Math.max(0, p.topmargin), Object.assign({ anchor: 'middle', baseline: 'top' }, st));
  // The axis labels sit just outside their scale's tick labels, inside the plot.
  var sc = this.scales, tick = p.majorticksize + 2;
  var x_labels = p.show_x_scale_labels ? p.canvas_fontsize + 4 : 0;
  var ly = Math.min(ctx.height - p.labelsize - 2, a.bottom() + tick + x_labels + 4);
  var lx = Math.max(2, a.x - tick - (sc[1].label_width || 0) - 6 - p.labelsize);
  if (p.xlabel) g.text(p.xlabel, a.x + a.w / 2, ly, Object.assign({ anchor: 'middle', baseline: 'top' }, st));
  if (p.ylabel) g.text(p.ylabel, lx, a.y + a.h / 2, Object.assign({ anchor: 'middle', baseline: 'top', angle: -90 }, st));
};
etch.plot_drawing.paint = function () {
  this.resize_if_needed();
  var ctx = this.context();
  this.canvas.clear();
  this.draw_back(this.canvas, ctx);
  this.overlay = new etch.SvgLayer(this.width, this.height);
  this.draw_overlay(this.overlay, ctx);
  this.overlay.show_in(this.overlay_el);
  this.text.clear();
  this.draw_labels(this.text, ctx);
  this.events.emit('painted', ctx);
};
// The whole plot as one SVG document.
etch.plot_drawing.svg = function () {
  var ctx = this.context();
  var g = new etch.SvgLayer(this.width, this.height);
  this.draw_back(g, ctx);
  this.draw_overlay(g, ctx);
  this.draw_labels(g, ctx);
  return g.document();
};
etch.plot_drawing.layout_buttons = function () {
  var self = this, p = this.props;
  this.buttons.forEach(function (b) { b.remove(); });
  this.buttons = [];
  var ctx = this.context(), a = ctx.area;
  if (p.showmenubutton) {
    this.buttons.push(new etch.MenuButton(this.root, Math.max(0, a.x - 18), Math.max(0, a.y - 18) , 'Y scale', function (r) { self.scales[1].open_menu(r); }));
    this.buttons.push(new etch.MenuButton(this.root, Math.min(this.width - 17, a.right() + 1), a.bottom() + p.majorticksize + p.canvas_fontsize + 8, 'X scale', function (r) { self.scales[0].open_menu(r); }));
  }
  this.events.emit('layout', ctx);
};

// Mouse input: the topmost plotter that takes the point gets the drag, then the scales.
etch.attach_input = function (plot) {
  var root = plot.root, drag = null;
  function pos(e) {
    var r = root.getBoundingClientRect();
    return [e.clientX - r.left, e.clientY - r.top];
  }
  var down = null;  // where the last press was: a click is a press and release in one place
  root.addEventListener('mousedown', function (e) {
    var q = pos(e), ctx = plot.context();
    down = q;
    var list = plot.plotters.slice().reverse();
    for (var i = 0; i < list.length && !drag; i++) if (list[i].hit) drag = list[i].hit(q[0], q[1], ctx, e);
    for (var k = 0; k < plot.scales.length && !drag; k++) drag = plot.scales[k].hit(q[0], q[1], ctx);
    if (drag) { e.preventDefault(); if (drag.cursor) root.style.cursor = drag.cursor; }
  });
  root.addEventListener('mousemove', function (e) {
    var q = pos(e);
    if (drag) { drag.move(q[0], q[1]); return; }
    plot.events.emit('hover', q[0], q[1], plot.context());
  });
  var finish = function () {
    if (!drag) return;
    var d = drag; drag = null; root.style.cursor = '';
    if (d.end) d.end();
  };
  root.addEventListener('mouseup', finish);
  root.addEventListener('mouseleave', function () { finish(); plot.events.emit('leave'); });
  root.addEventListener('click', function (e) {
    var q = pos(e), ctx = plot.context(), at = down;
    down = null;
    plot.events.emit('click', q[0], q[1], ctx, e);
    if (!at || Math.abs(q[0] - at[0]) > 2 || Math.abs(q[1] - at[1]) > 2) return;
    // The topmost plotter with a point there takes the click.
    var list = plot.plotters.slice().reverse();
    for (var i = 0; i < list.length; i++) if (list[i].click && list[i].click(q[0], q[1], ctx)) return;
  });
  root.addEventListener('dblclick', function (e) { var q = pos(e); plot.events.emit('dblclick', q[0], q[1], plot.context(), e); });
  root.addEventListener('wheel', function (e) {
    var q = pos(e), ctx = plot.context();
    for (var k = 0; k < plot.scales.length; k++) if (plot.scales[k].wheel(q[0], q[1], e.deltaY, ctx)) { e.preventDefault(); return; }
  });
};
