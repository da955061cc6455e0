// Checks of plot and plotter properties. A property that is absent takes its default quietly;
// one of the wrong type takes its default and is reported through BadPlotterProperty.
//
// A schema maps a property name to [type, default, minimum]; types: 'colour', 'string',
// 'number', 'integer', 'boolean', 'interval', 'array', 'generator', 'provider' (interval,
// array or generator, required), 'any'. A default that is a function gets the checked values so
// far (for defaults such as "the colour").
etch.type_text = function (type, min) {
  if (type === 'number' && min !== undefined) return 'number greater than ' + min;
  if (type === 'integer') return 'integer greater than ' + (min === undefined ? -1 : min);
  if (type === 'provider') return 'interval, array, or generator';
  return type;
};

etch.markup_text = function (v) {
  if (v instanceof etch.Colour) {
    var h = function (c) { return (c < 16 ? '0' : '') + c.toString(16); };
    return '#' + h(v.r) + h(v.g) + h(v.b) + h(v.a);
  }
  if (typeof v === 'string') return "'" + v.replace(/'/g, "\\'") + "'";
  if (v === null || v === undefined) return 'null';
  if (v instanceof etch.PixInterval)
    return '[' + v.begin + ':' + v.step + ':' + (v.end === null ? 'end' : v.end) + (v.end_type === etch.kOpenInterval ? ')' : ']');
  if (Array.isArray(v)) return '[' + v.map(etch.markup_text).join(', ') + ']';
  return String(v);
};

etch.type_ok = function (type, v, min) {
  switch (type) {
    case 'colour': return v instanceof etch.Colour || etch.Colour.parse(v) !== null;
    case 'string': return typeof v === 'string';
    case 'number': return etch.util.finite(v) && (min === undefined || v >= min);
    case 'integer': return etch.util.finite(v) && Math.floor(v) === v && (min === undefined || v >= min);
    case 'boolean': return typeof v === 'boolean';
    case 'interval': return v instanceof etch.PixInterval;
    case 'array': return Array.isArray(v) || v instanceof etch.PixArray;
    case 'generator': return v instanceof etch.NativeProvider || v instanceof etch.TextProvider;
    case 'provider': return v instanceof etch.DataProvider;
    default: return true;
  }
};

// Returns the checked values; reports every bad one. `props` is left unchanged.
etch.check_props = function (plot_id, plotter_name, props, schema) {
  var out = {};
  Object.keys(props).forEach(function (k) { out[k] = props[k]; });
  Object.keys(schema).forEach(function (name) {
    var s = schema[name], type = s[0], min = s[2];
    var def = typeof s[1] === 'function' ? s[1](out) : s[1];
    var v = props[name];
    var absent = v === undefined;
    if (absent && type !== 'provider') { out[name] = def; return; }
    if (!absent && v === null && def === null) { out[name] = null; return; }
    if (etch.type_ok(type, v, min)) {
      out[name] = type === 'colour' ? etch.Colour.parse(v) : v;
      return;
    }
    out[name] = def;
    var args = ['BadPlotterProperty', plot_id, plotter_name, name, etch.type_text(type, min)];
    if (type !== 'provider') args.push(etch.markup_text(def));
    etch.call.apply(null, args);
  });
  return out;
};

// Properties every data plotter reads.
etch.data_plotter_schema = {
  fitcolour: ['colour', function () { return etch.colours.red; }],
  selectable: ['boolean', false],
  id: ['string', '']
};
etch.with_data_schema = function (own) {
  var s = {};
  Object.keys(etch.data_plotter_schema).forEach(function (k) { s[k] = etch.data_plotter_schema[k]; });
  Object.keys(own).forEach(function (k) { s[k] = own[k]; });
  return s;
};
