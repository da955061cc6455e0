// The plot object and the functions the native side calls: make_plot, get_plot, and on a plot
// set_markup, setup, plotter_data_changed, dblclick_ms, show_error, copy and get_scales.
etch.Plot = function (id, el) {
  etch.install_styles();
  this.id = id;
  this.el = el;
  this.events = new etch.EventDispatcher();
  this.props = etch.plot_defaults();
  this.plotters = [];
  this.generation = 0;
  this.dblclick_time = 500;
  this.error = null;
  this.scales = [new etch.DragScale(this, 'x', 0), new etch.DragScale(this, 'y', 1)];
  this.root = document.createElement('div');
  this.root.className = 'etch-plot';
  this.root.style.cssText = 'position:absolute;left:0;top:0;width:100%;height:100%;overflow:hidden;';
  el.appendChild(this.root);
  var w = el.clientWidth || 640, h = el.clientHeight || 400;
  this.width = w; this.height = h;
  this.canvas = new etch.CanvasLayer(this.root, w, h);
  this.overlay_el = document.createElementNS('http://www.w3.org/2000/svg', 'svg');
  this.overlay_el.setAttribute('class', 'etch-overlay');
  this.overlay_el.setAttribute('width', w); this.overlay_el.setAttribute('height', h);
  this.root.appendChild(this.overlay_el);
  this.overlay = new etch.SvgLayer(w, h);
  this.text = new etch.TextLayer(this.root);
  this.buttons = [];
  etch.attach_input(this);
};
etch.Plot.prototype.get_scales = function () { return this.scales; };
etch.Plot.prototype.dblclick_ms = function (ms) {
  ms = +ms;
  if (isFinite(ms) && ms > 0) this.dblclick_time = ms;
  return this;
};
// Asks the native side to compile the markup; its set-up script then calls setup(). The reply
// may come before or after setup; a reply other than true shows the error.
etch.Plot.prototype.set_markup = function (markup) {
  var self = this, gen = ++this.generation;
  this.markup = markup;
  this.waiting = true;
  this.start_throbber();
  return etch.call('CompileMarkup', this.id, markup).then(function (ok) {
    if (ok !== true && gen === self.generation) {
      self.waiting = false;
      self.stop_throbber();
      self.show_error('The plot description could not be read.');
    }
    return ok === true;
  });
};
etch.Plot.prototype.show_error = function (message) {
  this.error = String(message);
  if (!this.error_el) {
    this.error_el = document.createElement('div');
    this.error_el.className = 'etch-error';
    this.root.appendChild(this.error_el);
  }
  this.error_el.textContent = this.error;
  this.error_el.style.display = '';
  return this;
};
etch.Plot.prototype.clear_error = function () {
  this.error = null;
  if (this.error_el) this.error_el.style.display = 'none';
};
etch.Plot.prototype.start_throbber = function () {
  var self = this, delay = this.props.throbberdelay;
  if (this.throbber_timer || delay < 0) return;
  this.throbber_timer = setTimeout(function () {
    self.throbber_timer = null;
    if (!self.waiting) return;
    if (!self.throbber_el) {
      self.throbber_el = document.createElement('div');
      self.throbber_el.className = 'etch-throbber';
      var u = etch.resource_url('throbber');
      if (u) self.throbber_el.style.backgroundImage = 'url(' + u + ')';
      self.root.appendChild(self.throbber_el);
    }
    self.throbber_el.style.display = '';
  }, delay);
};
etch.Plot.prototype.stop_throbber = function () {
  if (this.throbber_timer) { clearTimeout(this.throbber_timer); this.throbber_timer = null; }
  if (this.throbber_el) this.throbber_el.style.display = 'none';
};
// New data for one plotter from `start` on; a count of 2147483647 means to the end.
etch.Plot.prototype.plotter_data_changed = function (plotter_id, start, count) {
  var self = this;
  var targets = this.plotters.filter(function (p) { return p.props.id === plotter_id && p.refetch; });
  return Promise.all(targets.map(function (p) { return p.refetch(start, count); })).then(function () {
    self.data_arrived();
  });
};
etch.Plot.prototype.full_range = function (axis) {
  var lo = this.props['fullrange_' + axis + 'scalemin'], hi = this.props['fullrange_' + axis + 'scalemax'];
  return etch.util.finite(lo) && etch.util.finite(hi) && lo !== hi ? [Math.min(lo, hi), Math.max(lo, hi)] : null;
};
// The extent of the data of every plotter that takes part in auto-scaling.
etch.Plot.prototype.data_extent = function (axis) {
  var lo = Infinity, hi = -Infinity;
  this.plotters.forEach(function (p) {
    if (!p.extent || p.props.affects_autoscale === false) return;
    var e = p.extent(axis);
    if (e && isFinite(e[0]) && isFinite(e[1])) { lo = Math.min(lo, e[0]); hi = Math.max(hi, e[1]); }
  });
  return lo <= hi ? [lo, hi] : null;
};
etch.Plot.prototype.find_plotter = function (id) {
  for (var i = 0; i < this.plotters.length; i++) if (this.plotters[i].props.id === id) return this.plotters[i];
  return null;
};
etch.Plot.prototype.copy = function (kind) {
  var svg = this.svg();
  return etch.call('SetSVG', this.id, kind, svg).then(function () { return svg; });
};

etch.get_plot = function (id) { return etch.plots[id] || null; };
// Creates the plot of this id once and hands it its markup; a later call returns that plot.
etch.make_plot = function (id, markup) {
  var ready = typeof window !== 'undefined' && window.documentready ? window.documentready : Promise.resolve();
  return Promise.resolve(ready).then(function () {
    var plot = etch.plots[id];
    if (plot) return plot;
    var el = document.getElementById(id);
    if (!el) { el = document.createElement('div'); el.id = id; document.body.appendChild(el); }
    plot = etch.plots[id] = new etch.Plot(id, el);
    plot.set_markup(markup);
    return plot;
  });
};
// The paint loop's methods (loaded before this file).
Object.keys(etch.plot_drawing).forEach(function (k) { etch.Plot.prototype[k] = etch.plot_drawing[k]; });
