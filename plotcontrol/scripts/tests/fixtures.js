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

module.exports = { FIXTURES };
