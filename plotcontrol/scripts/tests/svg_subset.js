// The subset of SVG that the printable renderer reads; returns the list of violations.
'use strict';
const ALLOWED = new Set(['svg', 'g', 'rect', 'path', 'clipPath', 'defs', 'use', 'circle', 'line', 'ellipse', 'text']);
const NUM = /^-?\d+(\.\d+)?$/;
const COLOUR = /^(#[0-9a-f]{6}|rgba\(\d+,\d+,\d+,[0-9.]+\)|none)$/;

function check(svgText, DOMParser) {
  const bad = [];
  const doc = new DOMParser().parseFromString(svgText, 'image/svg+xml');
  const root = doc.documentElement;
  if (root.nodeName !== 'svg' || doc.getElementsByTagName('parsererror').length) return ['not an svg document'];
  for (const a of ['width', 'height']) if (!NUM.test(root.getAttribute(a) || '')) bad.push(`root ${a}`);
  const walk = (el, inClip) => {
    for (const c of Array.from(el.children)) {
      const n = c.nodeName;
      if (!ALLOWED.has(n)) { bad.push(`element ${n}`); continue; }
      if (inClip && n !== 'rect') bad.push(`${n} inside clipPath`);
      for (const a of ['x', 'y', 'width', 'height', 'x1', 'y1', 'x2', 'y2', 'cx', 'cy', 'r', 'rx', 'ry'])
        if (c.hasAttribute(a) && !NUM.test(c.getAttribute(a))) bad.push(`${n} ${a}=${c.getAttribute(a)}`);
      if (n === 'path' && !/^M -?\d+(\.\d+)? -?\d+(\.\d+)?( [ML] -?\d+(\.\d+)? -?\d+(\.\d+)?)*$/.test(c.getAttribute('d') || ''))
        bad.push(`path d=${(c.getAttribute('d') || '').slice(0, 40)}`);
      if (n === 'g' && c.hasAttribute('transform') && !/^translate\(\d+(\.\d+)? \d+(\.\d+)?\)$/.test(c.getAttribute('transform')))
        bad.push(`g transform ${c.getAttribute('transform')}`);
      if ((n === 'text' || n === 'ellipse') && c.hasAttribute('transform') &&
          !/^rotate\(-?\d+(\.\d+)? -?\d+(\.\d+)? -?\d+(\.\d+)?\)$/.test(c.getAttribute('transform')))
        bad.push(`${n} transform ${c.getAttribute('transform')}`);
      if (n === 'use' && !/^#.+/.test(c.getAttribute('xlink:href') || c.getAttributeNS('http://www.w3.org/1999/xlink', 'href') || ''))
        bad.push('use without xlink:href');
      const drawn = ['rect', 'path', 'use', 'circle', 'line', 'ellipse', 'text'].includes(n) && !inClip && el.nodeName !== 'defs';
      if (drawn) {
        const st = {};
        for (const part of (c.getAttribute('style') || '').split(';')) {
          const i = part.indexOf(':');
          if (i > 0) st[part.slice(0, i).trim()] = part.slice(i + 1).trim();
        }
        for (const k of ['fill', 'fill-opacity', 'stroke', 'stroke-opacity', 'stroke-width', 'font-size', 'font-family', 'stroke-dasharray'])
          if (!(k in st)) bad.push(`${n} style without ${k}`);
        for (const k of ['fill', 'stroke']) if (k in st && !COLOUR.test(st[k])) bad.push(`${n} ${k}:${st[k]}`);
        for (const k of ['fill-opacity', 'stroke-opacity', 'stroke-width', 'font-size'])
          if (k in st && !NUM.test(st[k])) bad.push(`${n} ${k}:${st[k]}`);
      }
      walk(c, inClip || n === 'clipPath');
    }
  };
  walk(root, false);
  return bad;
}
module.exports = { check };
