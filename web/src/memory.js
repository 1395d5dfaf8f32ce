// All 64 KiB as a hex grid, 16 bytes a row (8 where the stylesheet's
// --memory-columns says so: a phone; fewer when large text would not fit).
// Only the rows in view (and a few around them) exist as elements;
// scrolling rebuilds them.

import { hex } from './notation.js';

const kOverscan = 8;

export class MemoryGrid {
  constructor(viewport) {
    this.viewport = viewport;
    this.spacer = document.createElement('div');
    this.spacer.className = 'memory-spacer';
    this.rows = document.createElement('div');
    this.rows.className = 'memory-rows';
    this.spacer.append(this.rows);
    viewport.append(this.spacer);
    this.rowHeight = 20;
    this.columns = 16;
    this.memory = new Uint8Array(0); // until the first update
    this.image = new Uint8Array(0);
    this.lastChanged = new Set();
    this.pc = 0;
    this.hl = 0;
    this.vocabulary = null; // the engine's words, with the first update
    // The viewport's height and scroll position, as last read when the
    // layout was fresh (a resize, a scroll) or set here: an update reads no
    // layout, which after the page changed elsewhere (thousands of rows of
    // generated assembly) would have to be done again at once.
    this.viewHeight = 0;
    this.scrollTop = 0;
    this.measured = false; // the row height was read off a row
    viewport.addEventListener('scroll', () => {
      this.scrollTop = viewport.scrollTop;
      this.render();
    });
    new ResizeObserver(() => {
      this.viewHeight = viewport.clientHeight;
      this.measure();
      this.render();
    }).observe(viewport);
  }

  // memory: the whole 64 KiB; image: what was loaded (bytes that differ
  // from it are the program's doing); lastChanged: addresses the last
  // step wrote; vocabulary: the engine's (each byte's title names its address).
  update({ memory, image, pc, hl, lastChanged, vocabulary }) {
    this.vocabulary = vocabulary;
    this.memory = memory;
    this.image = image;
    this.pc = pc;
    this.hl = hl;
    this.lastChanged = lastChanged;
    if (!this.measured) this.measure();
    this.render();
  }

  get rowCount() {
    return Math.ceil(this.memory.length / this.columns);
  }

  measure() {
    const probe = this.rows.firstElementChild;
    let columns = Number(getComputedStyle(this.viewport).getPropertyValue('--memory-columns')) || 16;
    // Halved, down to 4, while a row would be wider than the view: large
    // text on a narrow screen would otherwise widen the page.
    const bytes = probe?.getElementsByClassName('memory-byte') ?? [];
    if (bytes.length >= 2 && bytes[0].offsetWidth > 0) {
      const pitch = bytes[1].offsetLeft - bytes[0].offsetLeft;
      const room = this.viewport.clientWidth - bytes[0].offsetLeft;
      while (columns > 4 && columns * pitch > room) columns /= 2;
    }
    this.columns = columns;
    if (probe && probe.offsetHeight > 0) {
      this.rowHeight = probe.offsetHeight;
      this.measured = true;
    }
    this.spacer.style.height = `${this.rowCount * this.rowHeight}px`;
    this.viewHeight = this.viewport.clientHeight;
    this.scrollTop = this.viewport.scrollTop;
  }

  scrollTo(top) {
    this.viewport.scrollTop = top;
    this.scrollTop = this.viewport.scrollTop;
  }

  scrollToAddress(address) {
    this.measure();
    this.scrollTo(Math.floor(address / this.columns) * this.rowHeight);
    this.render();
  }

  // Scrolls address into view, to the middle, unless it is in view already.
  reveal(address) {
    const top = Math.floor(address / this.columns) * this.rowHeight;
    const { scrollTop, viewHeight } = this;
    if (top >= scrollTop && top + this.rowHeight <= scrollTop + viewHeight) return;
    this.scrollTo(Math.max(0, top - Math.floor(viewHeight / 2)));
    this.render();
  }

  // The rows in view, from the measures last taken.
  render() {
    const first = Math.max(0, Math.floor(this.scrollTop / this.rowHeight) - kOverscan);
    const count = Math.ceil(this.viewHeight / this.rowHeight) + 2 * kOverscan;
    const last = Math.min(this.rowCount, first + count);
    this.rows.style.transform = `translateY(${first * this.rowHeight}px)`;
    const fragment = document.createDocumentFragment();
    for (let row = first; row < last; ++row) fragment.append(this.renderRow(row));
    this.rows.replaceChildren(fragment);
  }

  renderRow(row) {
    const line = document.createElement('div');
    line.className = 'memory-row';
    const label = document.createElement('span');
    label.className = 'memory-address';
    label.textContent = hex(row * this.columns, 4);
    line.append(label);
    for (let column = 0; column < this.columns; ++column) {
      const address = row * this.columns + column;
      const cell = document.createElement('span');
      const value = this.memory[address];
      cell.textContent = hex(value, 2);
      const classes = ['memory-byte'];
      const loaded = address < this.image.length ? this.image[address] : 0;
      if (value !== loaded) classes.push('is-changed');
      if (this.lastChanged.has(address)) classes.push('is-last');
      if (address === this.hl) classes.push('is-hl');
      if (address === this.pc) classes.push('is-pc');
      cell.className = classes.join(' ');
      cell.title = `${this.vocabulary.address(address)}: ${value}`;
      line.append(cell);
    }
    return line;
  }
}
