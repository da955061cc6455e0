// Plotter "drag_scroller": dragging in the plot area scrolls the x axis.
etch.DragScroller = function (plot, props, parent) {
  etch.init_plotter(this, plot, props, parent, 'drag_scroller', { id: ['string', 'drag_scroller'] }, 'none');
};
etch.DragScroller.prototype.hit = function (x, y, ctx) {
  if (!ctx.area.contains(x, y)) return null;
  var sc = this.plot.scales[0], s0 = sc.scaling(ctx.area), min0 = sc.min, max0 = sc.max;
  return {
    cursor: 'grabbing',
    move: function (mx) { var d = s0.to_val(mx) - s0.to_val(x); sc.set_range(min0 - d, max0 - d, false, false); },
    end: function () { sc.set_range(sc.min, sc.max, false, true); }
  };
};
etch.register_plotter(['drag_scroller'], etch.DragScroller);
