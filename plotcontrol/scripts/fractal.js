// Plotter "fractal" (also "frac"): a Mandelbrot set over the plot's ranges, computed in slices
// off the main loop; a test of asynchronous drawing.
etch.Fractal = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'fractal', {
    background: ['colour', function () { return etch.colours.transparent; }],
    colour: ['colour', function () { return etch.colours.black; }],
    edge: ['colour', function () { return etch.colours.red; }], iterations: ['integer', 30, 0]
  }, 'data');
  this.cells = null;
};
etch.Fractal.cell = 4;
etch.Fractal.prototype.escape = function (cx, cy) {
  var x = 0, y = 0, n = this.props.iterations;
  for (var i = 0; i < n; i++) {
    var t = x * x - y * y + cx; y = 2 * x * y + cy; x = t;
    if (x * x + y * y > 4) return i;
  }
  return n;
};
// Computes the grid a row band at a time, yielding between bands.
etch.Fractal.prototype.fetch = function () {
  var self = this, plot = this.plot;
  return new Promise(function (resolve) {
    var ctx = plot.context(), a = ctx.area, c = etch.Fractal.cell;
    var cols = Math.max(1, Math.ceil(a.w / c)), rows = Math.max(1, Math.ceil(a.h / c));
    var grid = new Uint16Array(cols * rows), row = 0;
    (function band() {
      if (self.cancelled) return resolve();
      for (var k = 0; k < 16 && row < rows; k++, row++)
        for (var col = 0; col < cols; col++)
          grid[row * cols + col] = self.escape(ctx.sx.to_val(a.x + (col + 0.5) * c), ctx.sy.to_val(a.y + (row + 0.5) * c));
      if (row < rows) { setTimeout(band, 0); return; }
      self.cells = { grid: grid, cols: cols, rows: rows, area: a };
      resolve();
    })();
  });
};
etch.Fractal.prototype.draw = function (g, ctx) {
  var p = this.props, f = this.cells;
  if (p.background.a > 0) g.rect(ctx.area.x, ctx.area.y, ctx.area.w, ctx.area.h, { fill: p.background });
  if (!f) return;
  var c = etch.Fractal.cell, n = p.iterations;
  for (var r = 0; r < f.rows; r++)
    for (var k = 0; k < f.cols; k++) {
      var v = f.grid[r * f.cols + k];
      var col = v >= n ? p.colour : (v > n / 3 ? p.edge : null);
      if (col) g.rect(f.area.x + k * c, f.area.y + r * c, c, c, { fill: col });
    }
};
etch.register_plotter(['fractal', 'frac'], etch.Fractal);
