// Where the program in the editor comes from and where it is kept: the
// examples, share links, files from the disk, and the programs kept in the
// browser (store.js) as they are typed, listed under Program. The DOM side
// only; what is kept and what wins lives in store.js.
import { decodeShare, shareLink } from './share.js';
import { ProgramStore } from './store.js';

const $ = (id) => document.getElementById(id);

// ms after the last keystroke before the text is saved, and more for a long
// text (writing a megabyte to the browser's storage takes a few ms).
const saveDelay = (length) => 300 + Math.min(2000, length / 1000);

export class Programs {
  // editor: the SourceEditor; opened(name): a new program is in the editor.
  constructor({ editor, opened }) {
    this.editor = editor;
    this.opened = opened;
    this.store = new ProgramStore(localStorage, sessionStorage);
    this.quiet = false; // the editor is being filled, not typed in
    this.saveTimer = 0;
    this.examples = this.loadExamples();

    $('examples').addEventListener('change', () => {
      const name = $('examples').value;
      if (name) this.openExample(name);
    });
    $('recent').addEventListener('change', () => this.showKept($('recent').value));
    $('open').addEventListener('click', () => $('open-file').click());
    $('open-file').addEventListener('change', () => this.openFile());
    $('save').addEventListener('click', () => this.download());
    $('share').addEventListener('click', () => this.share());
    window.addEventListener('hashchange', () => this.openLink());
    // Another tab saved: the list changes, and this tab's program may have.
    window.addEventListener('storage', (event) => {
      if (this.store.changedElsewhere(event.key)) {
        this.notice(
          `${this.name} was changed in another tab. What you type here is kept as a copy of it; ` +
            'both are under Program.',
        );
      }
      this.drawList();
    });
    // A closing tab saves what it has at once.
    window.addEventListener('pagehide', () => this.saveNow());
    document.addEventListener('visibilitychange', () => {
      if (document.visibilityState === 'hidden') this.saveNow();
    });
  }

  // The editor changed: typed text is saved shortly.
  edited() {
    if (this.quiet) return;
    clearTimeout(this.saveTimer);
    this.saveTimer = setTimeout(() => this.saveNow(), saveDelay(this.editor.length));
    $('saved').textContent = '';
  }

  saveNow() {
    if (this.saveTimer === 0) return;
    clearTimeout(this.saveTimer);
    this.saveTimer = 0;
    const result = this.store.save(this.editor.text);
    if (!result.saved) {
      $('saved').textContent = `Not saved: ${result.reason}.`;
      return;
    }
    $('saved').textContent = 'Saved in this browser.';
    if (result.copy) {
      this.notice(`Another tab changed this program too: your version is kept as ${result.copy.name}.`);
    }
    this.drawList();
  }

  // The name the shown program goes by.
  get name() {
    const shown = this.store.shown;
    if (shown?.example) return shown.example;
    return (shown?.id && this.store.read(shown.id)?.name) || 'program.asm';
  }

  // The page opens: a link, else what this tab or the browser kept, else the
  // first example.
  async start() {
    if (await this.openLink()) return;
    const kept = this.store.restore();
    if (kept?.text !== undefined) {
      this.fill(kept.text);
    } else {
      await this.openExample(kept?.example ?? 'sum.asm', { quietly: true });
    }
  }

  fill(text) {
    this.quiet = true;
    this.editor.text = text;
    this.quiet = false;
    this.drawList();
    this.opened(this.name);
  }

  // Says that the program shown before stays reachable.
  kept(previous, what) {
    this.notice(previous ? `${what} Your program ${previous.name} is kept under Program.` : what);
  }

  notice(words) {
    $('notice').textContent = words;
    $('notice').hidden = !words;
  }

  async loadExamples() {
    try {
      const examples = await (await fetch('examples/index.json')).json();
      for (const { name, title } of examples) {
        const option = document.createElement('option');
        option.value = name;
        option.textContent = title ? `${name}: ${title}` : name;
        $('examples').append(option);
      }
    } catch {
      // Without the examples the page still works.
    }
  }

  async openExample(name, { quietly = false } = {}) {
    this.saveNow();
    await this.examples;
    const response = await fetch(`examples/${encodeURIComponent(name)}`);
    if (!response.ok) return;
    const text = await response.text();
    const previous = this.store.openExample(name);
    this.fill(text);
    $('examples').value = '';
    if (!quietly) this.kept(previous, `${name} is open.`);
  }

  showKept(id) {
    if (!id || id === this.store.shown?.id) return;
    this.saveNow();
    const program = this.store.show(id);
    if (program !== null) this.fill(program.text);
  }

  // A program that can be had nowhere else (a link, a file) is kept at once.
  openText(text, name, what) {
    this.saveNow();
    const { id, previous, reason } = this.store.openText({ text, name });
    this.fill(text);
    this.kept(previous, id === null ? `${what} It could not be kept in this browser: ${reason}.` : what);
  }

  // Opens the program a share link carries: true if the address named one.
  // The link leaves the address bar once the program is kept, so a reload
  // brings back the program with its later edits.
  async openLink() {
    const found = await decodeShare(location.hash);
    if (found === null) return false;
    history.replaceState(null, '', `${location.pathname}${location.search}`);
    if (found.error) {
      this.notice(found.error);
      return false;
    }
    this.openText(found.source, 'shared.asm', 'The shared program is open.');
    return true;
  }

  async openFile() {
    const file = $('open-file').files[0];
    $('open-file').value = '';
    if (!file) return;
    this.openText(await file.text(), file.name, `${file.name} is open.`);
  }

  download() {
    const name = this.name.endsWith('.asm') ? this.name : `${this.name}.asm`;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([this.editor.text], { type: 'text/plain' }));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  // The link goes to the clipboard and into a box beside the button, not
  // into the address bar.
  async share() {
    const made = await shareLink(`${location.origin}${location.pathname}`, this.editor.text);
    $('share-link').hidden = !made.url;
    $('share-link').value = made.url ?? '';
    if (made.refusal) {
      $('share-note').textContent = made.refusal;
      return;
    }
    $('share-link').select();
    try {
      await navigator.clipboard.writeText(made.url);
      $('share-note').textContent = 'Link copied.';
    } catch {
      $('share-note').textContent = 'Copy the link from the box.';
    }
  }

  // The Program menu: the kept programs, newest first, and an example not
  // yet edited.
  drawList() {
    const shown = this.store.shown;
    const time = (updated) => new Date(updated).toLocaleString([], { dateStyle: 'short', timeStyle: 'short' });
    const options = this.store.programs().map(({ id, name, updated }) => new Option(`${name} · ${time(updated)}`, id));
    if (shown?.example) options.unshift(new Option(`${shown.example} (example)`, ''));
    $('recent').replaceChildren(...options);
    $('recent').value = shown?.id ?? '';
  }
}
