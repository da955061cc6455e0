'use strict';
// The markup the HRV views write, with the persisted state appended, compiled by the plot
// compiler (etch_markup_compile) and run as the native side runs it: every property is known
// to the scripts, and the plots draw.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const { load, settle } = require('./harness');

const compiler = process.env.VX_ETCH_COMPILE;
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

function compile(markup) {
  return execFileSync(compiler, ['local'], { input: markup, encoding: 'utf8' });
}

test('the HRV views\' markup compiles and every plot sets up without a bad property', { skip: !compiler && 'run through ctest' }, async () => {
  for (const [name, markup] of Object.entries(MARKUP)) {
    const env = load({ bindings: { RequestPixData: (e, t, i, n) => (n > 0 ? (DATA[e] || []).slice(t, t + n) : []) } });
    const plot = await env.etch.make_plot('local', markup);
    env.window.eval(compile(markup));
    await settle(env.window, 10);
    plot.paint();
    assert.deepStrictEqual(env.calls.filter((c) => c[0] === 'BadPlotterProperty'), [], name);
    const data = plot.plotters.find((p) => p.props.id && p.props.id.startsWith('hrv_'));
    assert.ok(data && (data.ys || data.heights).length > 0, `${name}: data fetched`);
    const y = plot.get_scales()[1];
    assert.ok(y.max > y.min, name);
    assert.ok(plot.svg().length > 1000, name);
  }
});

test('the full ranges of the writers set the initial scales; a markup range overrides them', { skip: !compiler && 'run through ctest' }, async () => {
  const env = load({ bindings: { RequestPixData: (e, t, i, n) => (n > 0 ? DATA.$RR.slice(t, t + n) : []) } });
  const plot = await env.etch.make_plot('local', '');
  env.window.eval(compile(MARKUP.tachogram));
  await settle(env.window);
  assert.deepStrictEqual([plot.get_scales()[0].min, plot.get_scales()[0].max, plot.get_scales()[1].min, plot.get_scales()[1].max], [0, 300, 0.7, 0.95]);
  const persisted = MARKUP.tachogram.replace(STATE, 'yscalemin: 0.75,yscalemax: 0.9, do_initial_autoscale_y: false, ' +
    'xscalemin: 0.0, xscalemax: 1.0, do_initial_autoscale_x: true, ');
  env.window.eval(compile(persisted));
  await settle(env.window);
  assert.deepStrictEqual([plot.get_scales()[1].min, plot.get_scales()[1].max], [0.75, 0.9]);
});
