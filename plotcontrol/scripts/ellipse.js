// Plotter "ellipse": an ellipse in data units centred at (x, y) with half axes a and b,
// rotated by `rotate` degrees, optionally with its axes. Angles turn as on the screen, whose y
// grows downwards: a negative angle turns the `a` axis up from the x axis, so `rotate: -45` lays
// `a` along the line x = y and `b` across it.
etch.Ellipse = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'ellipse', {
    x: ['number', 0], y: ['number', 0], a: ['number', 1, 0], b: ['number', 1, 0], rotate: ['number', 0],
    colour: ['colour', function () { return etch.colours.black; }], width: ['number', 1], draw_axes: ['boolean', false]
  }, 'overlay');
};
// Drawn as a path through points of the rotated ellipse, so that unequal x and y scales keep
// the shape true to the data.
etch.Ellipse.prototype.draw = function (g, ctx) {
  var p = this.props, t = p.rotate * Math.PI / 180, c = Math.cos(t), s = Math.sin(t);
  var pt = function (u, v) { return [ctx.sx.to_pix(p.x + u * c + v * s), ctx.sy.to_pix(p.y - u * s + v * c)]; };
  var seg = [];
  for (var i = 0; i <= 96; i++) { var q = pt(p.a * Math.cos(i * Math.PI / 48), p.b * Math.sin(i * Math.PI / 48)); seg.push(q[0], q[1]); }
  var st = { stroke: p.colour, width: p.width };
  g.path([seg], st);
  if (p.draw_axes) {
    var a0 = pt(-p.a, 0), a1 = pt(p.a, 0), b0 = pt(0, -p.b), b1 = pt(0, p.b);
    g.path([[a0[0], a0[1], a1[0], a1[1]], [b0[0], b0[1], b1[0], b1[1]]], st);
  }
};
etch.register_plotter(['ellipse'], etch.Ellipse);
