'use strict';
const C = (r, g, b, a) => `new etch.Colour(${r}, ${g}, ${b}, ${a})`;
// The translated markup of each plotter type, as the compiler writes it.
const FIXTURES = {
  timeplot: `[{property_name: 'tplot', markup: {id: 't1', cursor: {readout: 'RR {0} = {1} s'}, xdata: ['interval', 0, 1, null, etch.kClosedInterval], ydata: ['generator', '$RR', ['interval', 0, 1, 2147483647, etch.kClosedInterval]], colour: ${C(0, 0, 255, 255)}}}]`,
  scatter: `[{property_name: 'xy', markup: {id: 's1', ellipse: {x: 0.8, y: 0.8, a: 0.1, b: 0.05, rotate: -45, colour: ${C(0, 0, 0, 255)}, draw_axes: true}, box: {id: 'classifier_box', colour: ${C(255, 0, 0, 255)}, showvalues: true, draggable: true, range_x: {min: 0.5, max: 1}, range_y: {min: 0.2, max: 0.8}, plotcolours: [${C(0, 80, 255, 255)}, ${C(255, 0, 170, 255)}, ${C(255, 0, 0, 255)}, ${C(255, 170, 0, 255)}]}, xdata: ['generator', '$X', ['interval', 0, 1, 2147483647, etch.kClosedInterval]], ydata: ['generator', '$Y', ['interval', 0, 1, 2147483647, etch.kClosedInterval]]}}]`,
  histogram: `[{property_name: 'hist', markup: {id: 'h1', cursor: {readout: 'bin = [{0}, {1}) s, count = {2}'}, bins: ['interval', 0.5, 0.05, null, etch.kClosedInterval], heights: [1, 4, 9, null, 3], colour: ${C(0, 0, 0, 255)}, fillcolour: ${C(0, 0, 255, 204)}}}]`,
  bar: `[{property_name: 'bar', markup: {heightsgroup: [3, 1, 2], xlabels: ['a', 'b', 'c'], centered_xlabels: true}}]`,
  vlines: `[{property_name: 'tplot', markup: {id: 'sp', vlines: {id: 'spectrum_freq_bands', colour: ${C(120, 120, 120, 255)}, fillcolours: [${C(0, 0, 255, 32)}, ${C(0, 255, 0, 32)}], showvalues: true, textcolour: 'blue', draggable: true, positions: [[0, 0.04], [0.04, 0.15]]}, xdata: ['interval', 0, 0.01, null, etch.kClosedInterval], ydata: ['generator', '$P', ['interval', 0, 1, null, etch.kClosedInterval]]}}]`,
  legend: `[{property_name: 'legend', markup: {id: 'lg', x_percent: 0.5, y_percent: 0.2}}, {property_name: 'tplot', markup: {ydata: [1, 2, 3]}}]`,
  text_region: `[{property_name: 'text_region', markup: {id: 'tr', text: 'Note', x_percent: 0.3}}]`,
  fractal: `[{property_name: 'frac', markup: {iterations: 12}}, {property_name: 'xscalemin', markup: -2}, {property_name: 'xscalemax', markup: 1}, {property_name: 'yscalemin', markup: -1}, {property_name: 'yscalemax', markup: 1}]`,
  drag_scroller: `[{property_name: 'drag_scroller', markup: {}}, {property_name: 'tplot', markup: {ydata: [1, 3, 2]}}]`,
  graticule: `[{property_name: 'grat', markup: {colour: ${C(200, 200, 200, 255)}, style: 'dashed'}}, {property_name: 'tplot', markup: {ydata: [1, 3, 2]}}]`
};

// The markup the HRV views write (persisted state appended), and the data of its sources.
const STATE = 'yscalemin: 0.0, yscalemax: 1.0, do_initial_autoscale_y: true, xscalemin: 0.0, xscalemax: 1.0, do_initial_autoscale_x: true, ';
const full = (y0, y1, x0, x1) => `fullrange_yscalemin: ${y0},fullrange_yscalemax: ${y1},fullrange_xscalemin: ${x0},fullrange_xscalemax: ${x1},`;
const MARKUP = {
  tachogram: "topmargin: 40, rightmargin: 40, tplot: {id: 'hrv_tachogram_view', cursor: { readout: 'RR Interval {0} = {1} s' }, " +
    "xdata: [0:1:end], ydata: '$RR' [0:1:2147483647], colour: #1f3fbfff}, graticule: { colour:#c8c8c8ff }, " +
    "xlabel: 'Interval Number', ylabel: 'RR Interval (s)', " + full(0.7, 0.95, 0, 300) + ' ' + STATE,
  spectrum: "topmargin: 40, rightmargin: 40, tplot: {id: 'hrv_spectrum_view', cursor: { readout: 'Power spectrum at {0} Hz = {1} s^2/Hz'}, " +
    "vlines: {id: 'spectrum_freq_bands', colour: #787878ff, fillcolours: [#0000ff20, #00ff0020, #ff000020], showvalues: true, " +
    "textcolour: 'blue', draggable: true, positions: [[0, 0.04], [0.04, 0.15], [0.15, 0.4]]}, xdata: [0:0.01:end], " +
    "ydata: '$PSD' [0:1:end], colour: #1f3fbfff}, graticule: { colour:#c8c8c8ff }, xlabel: 'Frequency (Hz)', ylabel: 'Power (s^2/Hz)', " +
    full(0, 0.001, 0, 0.5) + ' ' + STATE,
  histogram: "topmargin: 40, rightmargin: 40, histogram: {id: 'hrv_rr_histogram_view', cursor: { readout: 'RR Interval: bin = [{0}, {1}) s, count = {2}' }, " +
    "bins: [0.6:0.02:end], heights: '$HIST' [0:1:end], colour: #000000ff, fillcolour: #1f3fbfcc}, graticule: { colour: #c8c8c8ff }, " +
    "xlabel: 'RR Interval (s)', ylabel: 'Count', " + full(0, 60, 0.6, 1.1) + ' ' + STATE,
  classifier: "topmargin: 40, rightmargin: 40, scatter: {id: 'hrv_classifier_view', cursor: { readout: 'RR Interval = {0} ms, Complexity = {1} ' }, " +
    "box: {id: 'classifier_box', colour: #ff0000ff, showvalues: true, draggable: true, range_x: { min:600, max:1000}, range_y: { min:0, max:0.5}, " +
    "plotcolours: [#0050ffff, #ff00aaff, #ff0000ff, #ffaa00ff]}, xdata: '$CX' [0:1:2147483647], ydata: '$CY' [0:1:2147483647], colour: #1f3fbfff}, " +
    "graticule: { colour:#c8c8c8ff }, xlabel: 'RR Interval (ms)', ylabel: 'Complexity', " + full(-0.1, 1, 500, 1100) + ' ' + STATE,
  poincare: "topmargin: 40, rightmargin: 40, scatter: {id: 'hrv_poincare_view', cursor: { readout: 'RR Interval: {0} s, Next RR Interval: {1} s' }, " +
    "ellipse: {x:0.82, y:0.82, a:0.08, b:0.03, rotate: -45, colour: #000000ff, draw_axes: true}, xdata: '$PX' [0:1:2147483647], " +
    "ydata: '$PY' [0:1:2147483647], colour: #1f3fbfff}, graticule: { colour:#c8c8c8ff, style: 'dashed' }, " +
    "xlabel: 'RR Interval (s)', ylabel: 'Next RR Interval (s)', " + full(0.6, 1.05, 0.6, 1.05) + ' ' + STATE
};

const series = (n, f) => Array.from({ length: n }, (_, i) => f(i));
const DATA = {
  $RR: series(300, (i) => 0.82 + 0.06 * Math.sin(i / 9)),
  $PSD: series(50, (i) => 0.0008 * Math.exp(-((i - 10) ** 2) / 10)),
  $HIST: series(25, (i) => Math.round(50 * Math.exp(-((i - 11) ** 2) / 18))),
  $CX: series(200, (i) => 820 + 120 * Math.sin(i)), $CY: series(200, (i) => 0.3 + 0.25 * Math.cos(i * 1.3)),
  $PX: series(200, (i) => 0.82 + 0.06 * Math.sin(i / 5)), $PY: series(200, (i) => 0.82 + 0.06 * Math.sin((i + 1) / 5))
};

module.exports = { FIXTURES, STATE, MARKUP, DATA };
