// Push and menu buttons drawn on the plot.
etch.Button = function (parent, x, y, label, title, on_click) {
  var b = document.createElement('button');
  b.className = 'etch-button';
  b.type = 'button';
  b.textContent = label;
  if (title) b.title = title;
  b.style.left = x + 'px'; b.style.top = y + 'px';
  b.addEventListener('mousedown', function (e) { e.stopPropagation(); });
  b.addEventListener('click', function (e) {
    e.stopPropagation();
    if (!b.disabled) on_click(b.getBoundingClientRect());
  });
  parent.appendChild(b);
  this.el = b;
};
etch.Button.prototype.enable = function (on) { this.el.disabled = !on; this.el.style.opacity = on ? '1' : '0.4'; };
etch.Button.prototype.remove = function () { if (this.el.parentNode) this.el.parentNode.removeChild(this.el); };
// A menu button opens the native scale menu below itself.
etch.MenuButton = function (parent, x, y, title, on_open) {
  etch.Button.call(this, parent, x, y, '\u25be', title, on_open);
};
etch.MenuButton.prototype = Object.create(etch.Button.prototype);
