// The learner's programs, kept in the browser as they are typed, so that a
// reload, a closed tab or a crash loses nothing. Nothing here touches the
// DOM: it works on two Web Storage objects (localStorage for the programs,
// sessionStorage for what this tab shows), so Node's test runner loads it
// as the page does.
//
//   mirvo.programs       the index: [{id, name, updated}], the last shown first
//   mirvo.program.<id>   one program: {name, text, updated, rev, language:
//                        'asm' or 'c', optimise: false when its C is
//                        compiled as written (-O0; kept before there
//                        was a choice, it is compiled optimised)}, and
//                        for an attempt at an exercise, exercise: the
//                        file's text
//   mirvo.tab            (per tab) {id} or {example}: what this tab shows
//
// Opening a link, a file or an example never overwrites a program: the one
// shown before stays in the index (the newest kMostPrograms are kept). Two tabs on one program do not overwrite
// each other: each save carries the revision it started from, and a tab
// whose program another tab has saved since keeps its text as a copy.

export const kMostPrograms = 20;
const kIndex = 'mirvo.programs';
const kTab = 'mirvo.tab';
const programKey = (id) => `mirvo.program.${id}`;

// Whether a kept program's C is compiled optimised.
export const optimiseOf = (program) => program.optimise !== false;

function parse(text, fallback) {
  try {
    return text === null ? fallback : (JSON.parse(text) ?? fallback);
  } catch {
    return fallback;
  }
}

export class ProgramStore {
  // local, tab: Web Storage objects; now: the clock; newId: fresh ids.
  constructor(local, tab, { now = () => Date.now(), newId = () => Math.random().toString(36).slice(2, 10) } = {}) {
    this.local = local;
    this.tab = tab;
    this.now = now;
    this.newId = newId;
    this.rev = 0; // the revision of the shown program this tab last read or wrote
  }

  // The programs, the last shown first: [{id, name, updated}].
  programs() {
    return parse(this.local.getItem(kIndex), []).filter((entry) => this.local.getItem(programKey(entry.id)) !== null);
  }

  read(id) {
    const program = parse(this.local.getItem(programKey(id)), null);
    return program === null ? null : { id, ...program };
  }

  // What this tab shows: {id} (a kept program), {example} (an example not
  // yet edited) or null.
  get shown() {
    return parse(this.tab.getItem(kTab), null);
  }

  set shown(value) {
    this.tab.setItem(kTab, JSON.stringify(value));
  }

  // What to show when the page opens: this tab's program (a reload), else
  // the last one shown (a new tab, or after a crash), else an example:
  // {id, name, text} or {example}, or null for the page's first example.
  restore() {
    const shown = this.shown;
    if (shown?.example) return { example: shown.example };
    const program = (shown?.id && this.read(shown.id)) || this.programs().map(({ id }) => this.read(id))[0] || null;
    if (program === null) return null;
    this.shown = { id: program.id };
    this.rev = program.rev;
    return program;
  }

  // The program shown before a new one opens: {id, name} or null.
  shownProgram() {
    const id = this.shown?.id;
    const program = id ? this.read(id) : null;
    return program && { id, name: program.name };
  }

  // A program from a link or a file: kept at once (it can be had nowhere
  // else), unless a program with this very text, compiled as optimise says,
  // is kept already. Returns {id, previous}: previous is the program shown
  // before, which stays.
  openText({ text, name, language, optimise = true }) {
    const previous = this.shownProgram();
    const same = this.programs().find(({ id }) => {
      const program = this.read(id);
      return program?.text === text && optimiseOf(program) === optimise;
    });
    if (same) {
      this.show(same.id);
      return { id: same.id, previous: previous?.id === same.id ? null : previous };
    }
    const id = this.newId();
    const result = this.write(id, { name, text, rev: 1, language, optimise });
    if (!result.saved) return { id: null, previous, reason: result.reason };
    this.shown = { id };
    this.rev = 1;
    return { id, previous };
  }

  // An exercise (its file's text): the attempt at it kept before, else a
  // new one from starter. Returns {program, previous}: previous is the
  // program shown before, which stays.
  openExercise({ exercise, name, starter, language }) {
    const previous = this.shownProgram();
    const kept = this.programs().find(({ id }) => this.read(id)?.exercise === exercise);
    let id = kept?.id;
    if (id === undefined) {
      id = this.newId();
      const result = this.write(id, { name, text: starter, rev: 1, exercise, language });
      if (!result.saved)
        return { program: { name, text: starter, exercise, language }, previous, reason: result.reason };
    }
    const program = this.show(id);
    return { program, previous: previous?.id === id ? null : previous };
  }

  // An example: kept only once it is edited. Returns the program shown
  // before, which stays.
  openExample(name) {
    const previous = this.shownProgram();
    this.shown = { example: name };
    return previous;
  }

  // Shows the kept program id, which goes first in the index (a new tab
  // opens it): its {id, name, text}, or null.
  show(id) {
    const program = this.read(id);
    if (program === null) return null;
    const index = this.programs();
    const first = [...index.filter((entry) => entry.id === id), ...index.filter((entry) => entry.id !== id)];
    try {
      this.local.setItem(kIndex, JSON.stringify(first));
    } catch {
      // The order is a convenience: the programs are all still there.
    }
    this.shown = { id };
    this.rev = program.rev;
    return program;
  }

  // Saves the editor's text, in language and compiled as optimise says, as
  // the shown program (an example becomes a program of its name). Returns {saved: true}, with copy: {id, name} when
  // another tab had saved this program since this tab read it (this tab's
  // text is then kept as a copy, the other one stays), or {saved: false,
  // reason}.
  save(text, language, optimise = true) {
    const shown = this.shown;
    if (shown?.example || !shown?.id || this.read(shown.id) === null) {
      const name = shown?.example ?? (language === 'c' ? 'program.c' : 'program.asm');
      const id = this.newId();
      const result = this.write(id, { name, text, rev: 1, language, optimise });
      if (result.saved) {
        this.shown = { id };
        this.rev = 1;
      }
      return result;
    }
    const stored = this.read(shown.id);
    const { exercise } = stored;
    if (stored.text === text && stored.language === language && optimiseOf(stored) === optimise) {
      return { saved: true };
    }
    if (stored.rev !== this.rev) {
      const copy = { id: this.newId(), name: `${stored.name} (copy)` };
      const result = this.write(copy.id, { name: copy.name, text, rev: 1, exercise, language, optimise });
      if (!result.saved) return result;
      this.shown = { id: copy.id };
      this.rev = 1;
      return { saved: true, copy };
    }
    const program = { name: stored.name, text, rev: stored.rev + 1, exercise, language, optimise };
    const result = this.write(shown.id, program);
    if (result.saved) this.rev = stored.rev + 1;
    return result;
  }

  // True when a change another tab made (a storage event's key) is to the
  // program this tab shows.
  changedElsewhere(key) {
    const id = this.shown?.id;
    return id !== undefined && key === programKey(id) && this.read(id)?.rev !== this.rev;
  }

  // Writes a program and puts it first in the index, dropping the oldest
  // beyond kMostPrograms. {saved: true}, or {saved: false, reason} when the
  // browser has no room for it (no other program is given up for it).
  write(id, { name, text, rev, exercise, language, optimise = true }) {
    const updated = this.now();
    const index = [{ id, name, updated }, ...this.programs().filter((entry) => entry.id !== id)];
    // Only -O0 is written: a program without the field is compiled optimised.
    const program = { name, text, updated, rev, exercise, language, optimise: optimise ? undefined : false };
    try {
      this.local.setItem(programKey(id), JSON.stringify(program));
      this.local.setItem(kIndex, JSON.stringify(index.slice(0, kMostPrograms)));
    } catch {
      return { saved: false, reason: 'the browser has no room left for it: use Save source to keep it as a file' };
    }
    for (const { id: old } of index.slice(kMostPrograms)) this.local.removeItem(programKey(old));
    return { saved: true };
  }
}
