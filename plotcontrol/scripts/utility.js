// Small helpers shared by the plot's files.
etch.util = {
  finite: function (v) { return typeof v === 'number' && isFinite(v); },
  clamp: function (v, lo, hi) { return v < lo ? lo : (v > hi ? hi : v); },
  // A number for SVG and CSS: plain decimal, at most three decimals, never an exponent.
  num: function (v) {
    if (!isFinite(v)) v = 0;
    v = etch.util.clamp(v, -1e7, 1e7);
    var s = (Math.round(v * 1000) / 1000).toFixed(3).replace(/\.?0+$/, '');
    return s === '-0' ? '0' : s;
  },
  escape_xml: function (s) {
    return String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
  },
  format: function (text, args) {
    return String(text).replace(/\{(\d+)\}/g, function (m, i) { return args[+i] !== undefined ? String(args[+i]) : m; });
  }
};
