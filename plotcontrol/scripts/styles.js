// The plot's style sheet: error box, throbber, scales, buttons and menus.
etch.install_styles = function () {
  if (document.getElementById('etch-styles')) return;
  var s = document.createElement('style');
  s.id = 'etch-styles';
  s.type = 'text/css';
  s.textContent = [
    '.etch-plot { position: absolute; overflow: hidden; user-select: none; -webkit-user-select: none; }',
    '.etch-error { position: absolute; left: 10%; top: 30%; width: 80%; padding: 8px; box-sizing: border-box;',
    '  background: rgb(255,240,240); border: 1px solid rgb(200,0,0); color: rgb(120,0,0);',
    '  font: 12px sans-serif; text-align: center; z-index: 20; pointer-events: none; }',
    '.etch-throbber { position: absolute; left: 50%; top: 50%; width: 32px; height: 32px;',
    '  margin: -16px 0 0 -16px; background-repeat: no-repeat; background-size: contain; z-index: 15; }',
    '.etch-button { position: absolute; width: 16px; height: 16px; padding: 0; margin: 0;',
    '  font: 11px/14px sans-serif; text-align: center; border: 1px solid rgb(160,160,160);',
    '  border-radius: 2px; background: rgb(248,248,248); color: rgb(60,60,60); cursor: pointer; z-index: 12; }',
    '.etch-button:hover { background: rgb(230,238,250); }',
    '.etch-overlay { position: absolute; left: 0; top: 0; overflow: visible; }',
    '.etch-readout { position: absolute; padding: 1px 4px; background: rgba(255,255,255,0.85);',
    '  border: 1px solid rgb(180,180,180); font: 11px sans-serif; white-space: nowrap; pointer-events: none; z-index: 11; }'
  ].join('\n');
  (document.head || document.documentElement).appendChild(s);
};
// Cursor and throbber images come from the page's resource table.
etch.resource_url = function (name) {
  try {
    if (typeof etch_proxy_ResourceURLs === 'function') {   // eslint-disable-line no-undef
      var r = etch_proxy_ResourceURLs();                     // eslint-disable-line no-undef
      if (r && r.result && r.result[name]) return r.result[name];
    }
  } catch (e) { /* no resources: plain cursors */ }
  return null;
};
etch.cursor_css = function (name, fallback) {
  var u = etch.resource_url(name);
  return u ? 'url(' + u + '), ' + fallback : fallback;
};
