// A per-plot event dispatcher: plotters and scales listen to the plot's events.
etch.EventDispatcher = function () { this.handlers = {}; };
etch.EventDispatcher.prototype.on = function (name, fn) {
  (this.handlers[name] = this.handlers[name] || []).push(fn);
  return fn;
};
etch.EventDispatcher.prototype.off = function (name, fn) {
  var l = this.handlers[name];
  if (l) this.handlers[name] = l.filter(function (h) { return h !== fn; });
};
etch.EventDispatcher.prototype.emit = function (name) {
  var args = Array.prototype.slice.call(arguments, 1);
  var handled = false;
  (this.handlers[name] || []).slice().forEach(function (h) {
    if (h.apply(null, args) === true) handled = true;
  });
  return handled;
};
etch.EventDispatcher.prototype.clear = function () { this.handlers = {}; };
