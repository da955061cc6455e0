// Plotter "graticule" (also "grat"): the grid behind the data, at the scales' ticks.
etch.Graticule = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'graticule', {
    colour: ['colour', function () { return etch.colours.cyan; }],
    minor_colour: ['colour', function (v) { return etch.Colour.parse(v.colour).lighten(64); }],
    background: ['colour', function () { return etch.colours.transparent; }],
    vertical_lines: ['boolean', true], minor_ticks: ['boolean', true], width: ['number', 1],
    style: ['string', 'solid'], dashlength: ['number', 1, 0]
  }, 'back');
};
etch.Graticule.prototype.draw = function (g, ctx) {
  var p = this.props, a = ctx.area;
  if (p.background.a > 0) g.rect(a.x, a.y, a.w, a.h, { fill: p.background });
  var dash = p.style === 'dashed' ? [4 * p.dashlength, 3 * p.dashlength] : (p.style === 'dotted' ? [p.dashlength, 2 * p.dashlength] : null);
  var sc = ctx.plot.scales;
  var lines = function (scale, s, colour, minor) {
    var t = scale.ticks(ctx);
    var vals = t.major;
    if (minor) {
      vals = [];
      var lo = Math.min(scale.min, scale.max), hi = Math.max(scale.min, scale.max);
      if (Math.abs(s.to_pix(t.minor_step) - s.to_pix(0)) < 6 || !t.major.length) return;
      for (var k = -5; k < t.major.length * 5 + 5 && k < 2000; k++) {
        var v = t.major[0] + k * t.minor_step;
        if (v >= lo && v <= hi) vals.push(v);
      }
    }
    vals.forEach(function (v) {
      var q = s.to_pix(v);
      if (scale.vertical()) g.line(a.x, q, a.right(), q, { stroke: colour, width: p.width, dash: dash });
      else g.line(q, a.y, q, a.bottom(), { stroke: colour, width: p.width, dash: dash });
    });
  };
  if (p.minor_ticks) { lines(sc[1], ctx.sy, p.minor_colour, true); if (p.vertical_lines) lines(sc[0], ctx.sx, p.minor_colour, true); }
  lines(sc[1], ctx.sy, p.colour, false);
  if (p.vertical_lines) lines(sc[0], ctx.sx, p.colour, false);
};
etch.register_plotter(['graticule', 'grat'], etch.Graticule);
