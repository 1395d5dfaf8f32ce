// Where the program in the editor comes from and where it is kept: the
// examples, the exercises, links, files from the disk, and the programs
// kept in the browser (store.js) as they are typed, listed under Program
// (an attempt at an exercise among them). The DOM side only; what is kept
// and what wins lives in store.js.
import { decodeShare, encodeShare, shareLink } from './share.js';
import { optimiseOf, ProgramStore } from './store.js';
import { $, download } from './dom.js';

// ms after the last keystroke before the text is saved, and more for a long
// text (writing a megabyte to the browser's storage takes a few ms).
const saveDelay = (length) => 300 + Math.min(2000, length / 1000);

// The language of a program kept without one: C when its name says so.
export const languageOfName = (name) => (/\.c$/i.test(name ?? '') ? 'c' : 'asm');
const languageOf = (program) => program.language ?? languageOfName(program.name);

export class Programs {
  // editor: the SourceEditor; opened(name, language, optimise): a new
  // program, in 'asm' or 'c', its C compiled optimised or not, is in the
  // editor;
  // exercise: {open(text), close()}, the exercise panel (the engine reads
  // the file and answers with exerciseOpened).
  constructor({ editor, opened, exercise }) {
    this.editor = editor;
    this.opened = opened;
    this.exercise = exercise;
    this.pendingExercise = null; // the text of the exercise the engine is reading
    this.store = new ProgramStore(localStorage, sessionStorage);
    this.quiet = false; // the editor is being filled, not typed in
    this.language = 'asm'; // what the editor's program is written in
    this.optimise = true; // its C is compiled optimised, else as written (-O0)
    this.saveTimer = 0;
    this.examples = this.loadMenu('examples', ({ name, title }) => (title ? `${name}: ${title}` : name));
    this.loadMenu('exercises', ({ title }) => title);

    $('examples').addEventListener('change', () => {
      const name = $('examples').value;
      if (name) this.openExample(name);
    });
    $('exercises').addEventListener('change', () => this.chooseExercise($('exercises').value));
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
    const result = this.store.save(this.editor.text, this.language, this.optimise);
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
    return (shown?.id && this.store.read(shown.id)?.name) || (this.language === 'c' ? 'program.c' : 'program.asm');
  }

  // The learner chose the language of the program shown: it is kept with it.
  languageChosen(language) {
    this.language = language;
    this.edited();
    this.saveNow();
  }

  // The learner chose whether its C is compiled optimised: kept with it too.
  optimiseChosen(optimise) {
    this.optimise = optimise;
    this.edited();
    this.saveNow();
  }

  // The page opens: a link, else what this tab or the browser kept, else the
  // first example.
  async start() {
    if (await this.openLink()) return;
    const kept = this.store.restore();
    if (kept?.text !== undefined) {
      this.fill(kept.text, languageOf(kept), optimiseOf(kept));
      if (kept.exercise) this.openExercise(kept.exercise);
    } else {
      await this.openExample(kept?.example ?? 'sum.asm', { quietly: true });
    }
  }

  fill(text, language, optimise = true) {
    this.quiet = true;
    this.language = language;
    this.optimise = optimise;
    this.editor.text = text;
    this.quiet = false;
    this.drawList();
    this.opened(this.name, language, optimise);
  }

  // Says that the program shown before stays reachable.
  kept(previous, what) {
    this.notice(previous ? `${what} Your program ${previous.name} is kept under Program.` : what);
  }

  notice(words) {
    $('notice').textContent = words;
    $('notice').hidden = !words;
  }

  // Fills the menu id from its index.json, naming each entry with label.
  async loadMenu(id, label) {
    try {
      const entries = await (await fetch(`${id}/index.json`)).json();
      $(id).append(...entries.map((entry) => new Option(label(entry), entry.name)));
    } catch {
      // Without the menu the page still works.
    }
  }

  // An exercise from the menu: the address bar holds a link to it (a
  // reload finds the attempt kept for it).
  async chooseExercise(name) {
    if (!name) return this.leaveExercise();
    const response = await fetch(`exercises/${encodeURIComponent(name)}`);
    if (!response.ok) return;
    const text = await response.text();
    history.replaceState(null, '', `${location.pathname}${location.search}${await encodeShare(text, 'ex')}`);
    this.openExercise(text);
  }

  openExercise(text) {
    this.saveNow();
    this.pendingExercise = text;
    $('examples').value = '';
    this.exercise.open(text);
  }

  // The engine read the exercise: the attempt kept for it, or its starter.
  exerciseOpened({ title, starter, language }) {
    const text = this.pendingExercise;
    this.pendingExercise = null;
    if (text === null) return;
    const lang = language === 'c' ? 'c' : 'asm';
    const { program, previous, reason } = this.store.openExercise({
      exercise: text,
      name: title,
      starter,
      language: lang,
    });
    const same =
      this.editor.text === program.text &&
      this.language === languageOf(program) &&
      this.optimise === optimiseOf(program);
    if (same) this.drawList();
    else this.fill(program.text, languageOf(program), optimiseOf(program));
    const what = reason ? `${title} is open. It could not be kept in this browser: ${reason}.` : `${title} is open.`;
    if (previous || reason) this.kept(previous, what);
  }

  // Leaves the exercise shown, if any.
  leaveExercise() {
    this.pendingExercise = null;
    this.exercise.close();
    $('exercises').value = '';
    if (/^#z?ex=/.test(location.hash)) history.replaceState(null, '', `${location.pathname}${location.search}`);
  }

  async openExample(name, { quietly = false } = {}) {
    this.saveNow();
    await this.examples;
    const response = await fetch(`examples/${encodeURIComponent(name)}`);
    if (!response.ok) return;
    const text = await response.text();
    const previous = this.store.openExample(name);
    this.leaveExercise();
    this.fill(text, languageOfName(name));
    $('examples').value = '';
    if (!quietly) this.kept(previous, `${name} is open.`);
  }

  showKept(id) {
    if (!id || id === this.store.shown?.id) return;
    this.saveNow();
    const program = this.store.show(id);
    if (program === null) return;
    this.leaveExercise();
    this.fill(program.text, languageOf(program), optimiseOf(program));
    if (program.exercise) this.openExercise(program.exercise);
  }

  // A program that can be had nowhere else (a link, a file) is kept at once.
  openText(text, name, what, { language = languageOfName(name), optimise = true } = {}) {
    this.saveNow();
    const { id, previous, reason } = this.store.openText({ text, name, language, optimise });
    this.leaveExercise();
    this.fill(text, language, optimise);
    this.kept(previous, id === null ? `${what} It could not be kept in this browser: ${reason}.` : what);
  }

  // Opens what a link carries: true if the address named a program or an
  // exercise. A program's link leaves the address bar once the program is
  // kept, so a reload brings back the program with its later edits; an
  // exercise's stays, and a reload finds the attempt kept for it.
  async openLink() {
    const found = await decodeShare(location.hash);
    if (found === null) return false;
    if (found.kind === 'ex' && !found.error) {
      this.openExercise(found.text);
      return true;
    }
    history.replaceState(null, '', `${location.pathname}${location.search}`);
    if (found.error) {
      this.notice(found.error);
      return false;
    }
    const c = found.language === 'c';
    this.openText(found.text, c ? 'shared.c' : 'shared.asm', 'The shared program is open.', {
      language: found.language,
      optimise: found.optimise ?? true,
    });
    return true;
  }

  async openFile() {
    const file = $('open-file').files[0];
    $('open-file').value = '';
    if (!file) return;
    this.openText(await file.text(), file.name, `${file.name} is open.`);
  }

  download() {
    const extension = this.language === 'c' ? '.c' : '.asm';
    const name = this.name.endsWith(extension) ? this.name : `${this.name}${extension}`;
    download(new Blob([this.editor.text], { type: 'text/plain' }), name);
  }

  // The link goes to the clipboard and into a box beside the button, not
  // into the address bar.
  async share() {
    const kind = this.language === 'c' ? 'c' : 'src';
    const made = await shareLink(`${location.origin}${location.pathname}`, this.editor.text, kind, {
      optimise: this.optimise,
    });
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
