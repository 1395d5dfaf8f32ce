// The programs kept in the browser, under Node, for what the page tests do
// not reach: two Web Storage objects in memory stand for localStorage and a
// tab's sessionStorage.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { kMostPrograms, optimiseOf, ProgramStore } from '../src/store.js';

// The Web Storage interface over a Map, refusing to hold more than room characters.
class MemoryStorage extends Map {
  constructor(room = Infinity) {
    super();
    this.room = room;
  }
  getItem(key) {
    return this.get(key) ?? null;
  }
  setItem(key, value) {
    const used = [...this].reduce((sum, [k, v]) => sum + (k === key ? 0 : k.length + v.length), 0);
    if (used + key.length + value.length > this.room) throw new Error('QuotaExceededError');
    this.set(key, value);
  }
  removeItem(key) {
    this.delete(key);
  }
}

// One browser's localStorage; tab() a new tab in it.
function browser(room) {
  const local = new MemoryStorage(room);
  let count = 0;
  const tab = () => new ProgramStore(local, new MemoryStorage(), { now: () => ++count, newId: () => `p${++count}` });
  return { local, tab };
}
const kept = (store) => store.programs().map(({ id }) => `${store.read(id).name}=${store.read(id).text}`);

const rows = [
  [
    'an example is kept once edited, not before',
    (store) => {
      store.openExample('carry.asm');
      const before = kept(store);
      store.save('edited');
      return [before, kept(store)];
    },
    [[], ['carry.asm=edited']],
  ],
  [
    'a link whose text is kept already shows that program',
    (store) => {
      store.openText({ text: 'same', name: 'a.asm' });
      store.openText({ text: 'other', name: 'b.asm' });
      return [store.openText({ text: 'same', name: 'c.asm' }).previous.name, kept(store)];
    },
    ['b.asm', ['a.asm=same', 'b.asm=other']],
  ],
  [
    'an exercise opens the attempt kept for it, else its starter',
    (store) => {
      const open = () =>
        store.openExercise({ exercise: 'title = "Copy"', name: 'Copy', starter: '; start' }).program.text;
      const first = open();
      store.save('; my attempt');
      store.openText({ text: 'other', name: 'b.asm' });
      return [first, open(), kept(store)];
    },
    ['; start', '; my attempt', ['Copy=; my attempt', 'b.asm=other']],
  ],
  [
    'a C program keeps its level: a new tab opens it as it was last saved',
    (store, { tab }) => {
      store.openText({ text: 'void main(void) {}', name: 'a.c', language: 'c', optimise: false });
      const first = optimiseOf(tab().restore());
      store.save('void main(void) {}', 'c', true); // only the level changed
      const second = optimiseOf(tab().restore());
      store.save('void main(void) { }', 'c', false);
      return [first, second, optimiseOf(tab().restore()), store.programs().length];
    },
    [false, true, false, 1],
  ],
  [
    'a program kept before the level was chosen, or an example edited, is compiled optimised',
    (store, { local, tab }) => {
      local.setItem('mirvo.program.old', JSON.stringify({ name: 'old.c', text: 'x', rev: 1, language: 'c' }));
      local.setItem('mirvo.programs', JSON.stringify([{ id: 'old', name: 'old.c', updated: 0 }]));
      const old = optimiseOf(tab().restore());
      store.openExample('sum.c');
      store.save('edited', 'c');
      return [old, optimiseOf(tab().restore())];
    },
    [true, true],
  ],
  [
    'a link of a kept text at another level is a program of its own; at the same level it is the kept one',
    (store) => {
      const c = { text: 'void main(void) {}', language: 'c' };
      store.openText({ ...c, name: 'a.c' });
      const other = store.openText({ ...c, name: 'b.c', optimise: false }).previous?.name;
      const same = store.openText({ ...c, name: 'c.c', optimise: false }).previous;
      return [other, same, kept(store), optimiseOf(store.read(store.shown.id))];
    },
    ['a.c', null, ['b.c=void main(void) {}', 'a.c=void main(void) {}'], false],
  ],
  [
    'a program shown from the list goes first: a new tab opens it',
    (store, { tab }) => {
      store.openText({ text: 'old', name: 'old.asm' });
      store.openText({ text: 'new', name: 'new.asm' });
      store.show(store.programs()[1].id);
      return tab().restore().text;
    },
    'old',
  ],
  [
    "a tab hears of another tab's save, not of its own",
    (store, { tab }) => {
      store.openText({ text: 'v1', name: 'a.asm' });
      store.save('v2');
      const key = `mirvo.program.${store.shown.id}`;
      const heard = [store.changedElsewhere(key)];
      const other = tab();
      other.restore();
      other.save('v3');
      return [...heard, store.changedElsewhere(key), store.save('v2 and more').copy.name];
    },
    [false, true, 'a.asm (copy)'],
  ],
  [
    `only the newest ${kMostPrograms} are kept`,
    (store, { local }) => {
      for (let i = 0; i < kMostPrograms + 3; ++i) store.openText({ text: `${i}`, name: `${i}.asm` });
      return [store.programs().length, store.programs().at(-1).name, local.size];
    },
    [kMostPrograms, '3.asm', kMostPrograms + 1],
  ], // and the index
  [
    'a program too big for the room left is refused with a reason, and nothing else goes',
    (store) => {
      store.openText({ text: 'small', name: 'a.asm' });
      const { saved, reason } = store.save('x'.repeat(5000));
      return [saved, /Save source/.test(reason), kept(store)];
    },
    [false, true, ['a.asm=small']],
  ],
];

for (const [name, run, expected] of rows) {
  test(name, () => {
    const world = browser(4000);
    assert.deepEqual(run(world.tab(), world), expected);
  });
}
