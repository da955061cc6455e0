// Stand-alone stub of the binding proxy, for pages without the native side: data comes from
// arrays registered with etch.remote.set_data(id, values); markup cannot be compiled here, so
// such a page calls setup() with the records itself. Calls are recorded in etch.remote.calls.
etch.remote = {
  data: {},
  labels: {},
  calls: [],
  set_data: function (id, values) { etch.remote.data[id] = values.slice(); },
  set_labels: function (id, texts) { etch.remote.labels[id] = texts.slice(); }
};
etch.remote_proxy = (function () {
  var slice = function (src, t, count) {
    if (!src || !(count > 0)) return [];
    var from = Math.max(0, Math.floor(t));
    return src.slice(from, from + count);
  };
  var impl = {
    CompileMarkup: function () { return false; },
    RequestPixData: function (expr, t, interval, count) { return slice(etch.remote.data[expr], t, count); },
    RequestLabelsData: function (expr, t, interval, count) { return slice(etch.remote.labels[expr], t, count); },
    HasData: function () { return Object.keys(etch.remote.data).length > 0; },
    IsZoomEnabled: function () { return false; },
    RequestEquation: function () { return ''; },
    OnMouseClick: function () { return 'someDataId'; },
    OnMouseMove: function () { return []; }
  };
  return new Proxy({}, {
    get: function (target, name) {
      return function () {
        var args = Array.prototype.slice.call(arguments);
        etch.remote.calls.push([String(name)].concat(args));
        return Promise.resolve(impl[name] ? impl[name].apply(null, args) : true);
      };
    }
  });
})();
