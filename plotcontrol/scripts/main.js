// The global plotting object: plotter registry, the mapping of property values to data
// providers, constants, and a few jQuery plug-ins the plot uses.
var etch = (function () {
  'use strict';
  var etch = {
    kClosedInterval: 0,
    kOpenInterval: 1,
    kToTheEnd: 2147483647,
    click_radius: 5,     // pixels from a point within which a click takes it
    plotter_types: {},   // accepted name -> {name, ctor}
    plots: {}
  };

  // Plotters register themselves under their name and aliases when their file loads.
  etch.register_plotter = function (names, ctor) {
    names.forEach(function (n) { etch.plotter_types[n] = { name: names[0], ctor: ctor }; });
  };
  etch.is_plotter_type = function (name) {
    return typeof name === 'string' && Object.prototype.hasOwnProperty.call(etch.plotter_types, name);
  };

  // The binding proxy of the page, or the stand-alone stub when the page has none.
  etch.proxy = function () {
    if (typeof etch_proxy !== 'undefined') return etch_proxy;  // eslint-disable-line no-undef
    if (etch.remote_proxy) return etch.remote_proxy;
    return null;
  };
  // Calls a binding; never throws: a missing binding or a failing call settles with undefined.
  etch.call = function (name) {
    var args = Array.prototype.slice.call(arguments, 1);
    var p = etch.proxy();
    if (!p) return Promise.resolve(undefined);
    try {
      return Promise.resolve(p[name].apply(p, args)).catch(function () { return undefined; });
    } catch (e) {
      return Promise.resolve(undefined);
    }
  };

  // A translated property value becomes a data provider; anything else passes unchanged.
  etch.is_provider_form = function (v) {
    return Array.isArray(v) && v.length > 0 &&
      (v[0] === 'interval' || v[0] === 'generator' || v[0] === 'text_generator');
  };
  etch.to_provider = function (v) {
    if (v instanceof etch.DataProvider) return v;
    if (Array.isArray(v)) {
      if (v[0] === 'interval') return etch.PixInterval.from_markup(v);
      if (v[0] === 'generator')
        return new etch.NativeProvider(v[1], Array.isArray(v[2]) ? etch.PixInterval.from_markup(v[2]) : new etch.PixInterval(0, 1, null, 0));
      if (v[0] === 'text_generator') return new etch.TextProvider(v[1], v[2]);
      return new etch.PixArray(v);
    }
    return v;
  };

  if (typeof jQuery !== 'undefined') {
    // $(el).etch_pos(x, y, w, h): absolute placement in pixels.
    jQuery.fn.etch_pos = function (x, y, w, h) {
      var css = { position: 'absolute', left: x + 'px', top: y + 'px' };
      if (w !== undefined) css.width = w + 'px';
      if (h !== undefined) css.height = h + 'px';
      return this.css(css);
    };
  }
  return etch;
})();

// Shared start of every plotter: checked properties, its plot and the plotter it belongs to.
etch.init_plotter = function (self, plot, props, parent, name, schema, layer) {
  self.plot = plot;
  self.parent = parent || null;
  self.name = name;
  self.layer = layer;
  self.props = etch.check_props(plot.id, name, props, schema);
  return self;
};
// Data plotters: fetched x and y values, extent, nearest point and refetch from an index.
etch.data_plotter = {
  extent: function (axis) {
    var v = axis === 'x' ? this.xs : this.ys;
    if (!v || !v.length) return null;
    var lo = Infinity, hi = -Infinity;
    for (var i = 0; i < v.length; i++) { var t = v[i]; if (t < lo) lo = t; if (t > hi) hi = t; }
    return lo <= hi ? [lo, hi] : null;
  },
  nearest: function (px, py, ctx) {
    var best = -1, bd = Infinity, xs = this.xs || [], ys = this.ys || [];
    for (var i = 0; i < Math.min(xs.length, ys.length); i++) {
      if (!(isFinite(xs[i]) && isFinite(ys[i]))) continue;
      var dx = ctx.sx.to_pix(xs[i]) - px, dy = this.xy ? ctx.sy.to_pix(ys[i]) - py : 0;
      var d = dx * dx + dy * dy;
      if (d < bd) { bd = d; best = i; }
    }
    return best < 0 ? null : { index: best, x: xs[best], y: ys[best], values: [xs[best], ys[best]] };
  },
  install: function (ctor) {
    ['extent', 'nearest'].forEach(function (m) { if (!ctor.prototype[m]) ctor.prototype[m] = etch.data_plotter[m]; });
    ctor.prototype.cancel = function () { this.cancelled = true; };
    // A click on one of the plotter's points (within etch.click_radius pixels) is reported with
    // the point's index; the native side tells what the point stands for. `selectable` only says
    // whether the click selects the point.
    ctor.prototype.click = function (x, y, ctx) {
      if (!ctx.area.contains(x, y)) return false;
      var n = this.nearest(x, y, ctx);
      if (!n || !isFinite(n.x) || !isFinite(n.y)) return false;
      var dx = ctx.sx.to_pix(n.x) - x, dy = ctx.sy.to_pix(n.y) - y, r = etch.click_radius;
      if (dx * dx + dy * dy > r * r) return false;
      etch.call('OnMouseClick', n.index, this.props.id, this.props.selectable);
      return true;
    };
  }
};
