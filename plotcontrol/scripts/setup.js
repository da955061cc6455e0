// The plot's setup from the translated markup: an array of {property_name, markup} records.
etch.plot_schema = function () {
  var c = etch.colours;
  return {
    rightmargin: ['number', 3], topmargin: ['number', 3],
    xscaleheight: ['number', 75, 0], yscalewidth: ['number', 75, 0],
    background: ['colour', c.white], fontfamily: ['string', '"Segoe UI", Tahoma, sans-serif'],
    fontsize: ['number', 9, 0], canvas_fontsize: ['number', 8, 0], labelsize: ['number', 10, 0],
    shadow: ['boolean', true], axesshadow: ['boolean', false], minticklabels: ['integer', 7, -1],
    majorticksize: ['number', 4], minorticksize: ['number', 2],
    yscaleticksmin: ['number', 0.0, 0], xscaleticksmin: ['number', 0.0, 0],
    yscalemin: ['number', null], yscalemax: ['number', null], xscalemin: ['number', null], xscalemax: ['number', null],
    fullrange_yscalemin: ['number', null], fullrange_yscalemax: ['number', null],
    fullrange_xscalemin: ['number', null], fullrange_xscalemax: ['number', null],
    do_initial_autoscale_x: ['boolean', false], do_initial_autoscale_y: ['boolean', false],
    title: ['string', undefined], xlabel: ['string', ''], ylabel: ['string', ''],
    show_x_scale_labels: ['boolean', true], show_y_scale_labels: ['boolean', true],
    minortickthreshold: ['integer', 60, -1], throbberdelay: ['integer', 350, -1],
    scalesigfigs: ['integer', 4, 0], hidewhiledrawing: ['boolean', false],
    throttleredraws: ['boolean', true], showzoombuttons: ['boolean', true], showmenubutton: ['boolean', true],
    dynamic_readout_pos: ['boolean', false], drag_scrolling: ['boolean', false]
  };
};
etch.plot_defaults = function () {
  var s = etch.plot_schema(), d = {};
  Object.keys(s).forEach(function (k) { d[k] = s[k][1]; });
  return d;
};

// Turns a record's value into what a plotter reads: provider forms become data providers,
// objects are walked (colours, legend values and titles pass unchanged).
etch.map_values = function (obj) {
  var out = {};
  Object.keys(obj || {}).forEach(function (k) {
    var v = obj[k];
    if (k === 'titles' || k === 'positions' || k === 'fillcolours' || k === 'plotcolours') out[k] = v;
    else if (etch.is_provider_form(v) || (Array.isArray(v) && k !== 'xlabels' && v.every(function (e) { return e === null || typeof e === 'number'; })))
      out[k] = etch.to_provider(v);
    else if (k === 'xlabels' && Array.isArray(v) && v[0] === 'text_generator') out[k] = etch.to_provider(v);
    else out[k] = v;
  });
  return out;
};

etch.Plot.prototype.setup = function (records) {
  var self = this;
  this.generation++;
  this.waiting = false;
  this.stop_throbber();
  this.clear_error();
  this.plotters.forEach(function (p) { if (p.cancel) p.cancel(); });
  this.plotters = [];
  this.buttons.forEach(function (b) { b.remove(); });
  this.buttons = [];
  records = Array.isArray(records) ? records : [];

  var given = {}, plotter_records = [];
  records.forEach(function (r) {
    if (!r || typeof r !== 'object') return;
    if (etch.is_plotter_type(r.property_name)) plotter_records.push(r);
    else if (typeof r.property_name === 'string') given[r.property_name] = r.markup;
  });
  this.props = etch.check_props(this.id, 'plot', given, etch.plot_schema());

  var grat_given = false;
  plotter_records.forEach(function (r) {
    var type = etch.plotter_types[r.property_name];
    if (type.name === 'graticule') {
      grat_given = true;
      if (r.markup === null) return;
    }
    self.add_plotter(type, r.markup, null);
  });
  if (!grat_given) this.add_plotter(etch.plotter_types.graticule, {}, null);
  this.add_plotter(etch.plotter_types.zoom, {}, null);
  this.apply_ranges();
  this.layout_buttons();
  this.fetch_all();
  this.redraw();
  return this;
};
// A plotter gets the plot's properties overlaid with its own; nested plotter objects (cursor,
// vlines, box, ellipse inside a data plotter) become plotters tied to it.
etch.Plot.prototype.add_plotter = function (type, own, parent) {
  var props = {}, self = this, children = [];
  Object.keys(this.props).forEach(function (k) { props[k] = self.props[k]; });
  var mapped = etch.map_values(own && typeof own === 'object' && !Array.isArray(own) ? own : {});
  Object.keys(mapped).forEach(function (k) {
    if (etch.is_plotter_type(k) && mapped[k] && typeof own[k] === 'object' && !Array.isArray(own[k])) {
      children.push([etch.plotter_types[k], own[k]]);
      delete props[k];
    } else props[k] = mapped[k];
  });
  var p = new type.ctor(this, props, parent);
  p.type = type.name;
  this.plotters.push(p);
  children.forEach(function (c) { self.add_plotter(c[0], c[1], p); });
  return p;
};
etch.Plot.prototype.apply_ranges = function () {
  var self = this;
  ['x', 'y'].forEach(function (axis, i) {
    var p = self.props, sc = self.scales[i];
    var lo = p[axis + 'scalemin'], hi = p[axis + 'scalemax'];
    var full = self.full_range(axis);
    var explicit = etch.util.finite(lo) && etch.util.finite(hi) && !p['do_initial_autoscale_' + axis];
    if (explicit) sc.set_range(lo, hi, false, false);
    else if (full) sc.set_range(full[0], full[1], true, false);
    else sc.set_range(0, 1, true, false);
    // Without a range of its own or a full range, the axis fits the data when it arrives.
    sc.initial_auto = !explicit && !full;
  });
};
etch.Plot.prototype.fetch_all = function () {
  var self = this, gen = this.generation;
  // With hidewhiledrawing the plot shows only once all its data has arrived.
  this.root.style.visibility = this.props.hidewhiledrawing ? 'hidden' : '';
  this.loading = this.plotters.filter(function (p) { return p.fetch; }).map(function (p) {
    return Promise.resolve(p.fetch()).then(function () {
      if (gen === self.generation) self.data_arrived();
    });
  });
  return Promise.all(this.loading).then(function () {
    if (gen === self.generation) self.root.style.visibility = '';
  });
};
etch.Plot.prototype.data_arrived = function () {
  var self = this;
  this.scales.forEach(function (sc) { if (sc.initial_auto && self.data_extent(sc.axis)) { sc.initial_auto = false; sc.auto_scale(false); } });
  this.redraw();
};
