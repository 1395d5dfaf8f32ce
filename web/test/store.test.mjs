// The programs kept in the browser, under Node: two Web Storage objects in
// memory stand for localStorage and a tab's sessionStorage.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { kMostPrograms, ProgramStore } from '../src/store.js';

// The Web Storage interface over a Map, refusing writes past room characters.
class MemoryStorage {
  constructor(room = Infinity) {
    this.items = new Map();
    this.room = room;
  }
  getItem(key) {
    return this.items.has(key) ? this.items.get(key) : null;
  }
  setItem(key, value) {
    const used = [...this.items].reduce((sum, [k, v]) => sum + (k === key ? 0 : k.length + v.length), 0);
    if (used + key.length + value.length > this.room) throw new Error('QuotaExceededError');
    this.items.set(key, String(value));
  }
  removeItem(key) {
    this.items.delete(key);
  }
}

// A browser: one localStorage; tabs with their own sessionStorage.
function browser(room) {
  const local = new MemoryStorage(room);
  let clock = 0;
  let ids = 0;
  const tab = (session = new MemoryStorage()) =>
    new ProgramStore(local, session, { now: () => ++clock, newId: () => `p${++ids}` });
  return { local, tab };
}

const names = (store) => store.programs().map(({ id }) => `${store.read(id).name}=${store.read(id).text}`);

const scenarios = [
  ['what was typed comes back after a reload', () => {
    const { tab } = browser();
    const session = new MemoryStorage();
    const before = tab(session);
    before.openExample('sum.asm');
    before.save('; my homework, do not lose me');
    const after = tab(session).restore();
    return [after.name, after.text];
  }, ['sum.asm', '; my homework, do not lose me']],

  ['a new tab (a closed one, a crash) opens the newest program', () => {
    const { tab } = browser();
    const first = tab();
    first.openExample('sum.asm');
    first.save('older');
    first.openExample('move.asm');
    first.save('newer');
    return tab().restore().text;
  }, 'newer'],

  ['a program shown from the list goes first: a new tab opens it', () => {
    const { tab } = browser();
    const first = tab();
    first.openText({ text: 'old', name: 'old.asm' });
    first.openText({ text: 'new', name: 'new.asm' });
    first.show(first.programs()[1].id);
    return [tab().restore().text, names(first)];
  }, ['old', ['old.asm=old', 'new.asm=new']]],

  ['an example not yet edited is not kept, and a reload shows it again', () => {
    const { tab } = browser();
    const session = new MemoryStorage();
    tab(session).openExample('carry.asm');
    return [tab(session).restore(), tab(session).programs().length];
  }, [{ example: 'carry.asm' }, 0]],

  ['a link over saved work: the link opens, the work stays', () => {
    const { tab } = browser();
    const store = tab();
    store.openExample('sum.asm');
    store.save('mine');
    const { previous } = store.openText({ text: 'shared', name: 'shared.asm' });
    return [previous.name, store.restore().text, names(store)];
  }, ['sum.asm', 'shared', ['shared.asm=shared', 'sum.asm=mine']]],

  ['a link whose text is kept already shows that program', () => {
    const { tab } = browser();
    const store = tab();
    store.openText({ text: 'same', name: 'a.asm' });
    store.openText({ text: 'other', name: 'b.asm' });
    const again = store.openText({ text: 'same', name: 'c.asm' });
    return [again.previous.name, store.restore().name, store.programs().length];
  }, ['b.asm', 'a.asm', 2]],

  ['two tabs on one program: the later one keeps its text as a copy, and hears of it', () => {
    const { tab } = browser();
    const one = tab();
    one.openExample('sum.asm');
    one.save('v1');
    const two = tab();
    two.restore();
    two.save('v2 from tab two');
    const heard = one.changedElsewhere(`mirvo.program.${one.shown.id}`);
    const { copy } = one.save('v1 and more from tab one');
    return [heard, copy.name, names(one)];
  }, [true, 'sum.asm (copy)', ['sum.asm (copy)=v1 and more from tab one', 'sum.asm=v2 from tab two']]],

  ['a tab hears nothing of its own saves', () => {
    const { tab } = browser();
    const one = tab();
    one.openExample('sum.asm');
    one.save('v1');
    one.save('v2');
    return one.changedElsewhere(`mirvo.program.${one.shown.id}`);
  }, false],

  [`only the newest ${kMostPrograms} are kept`, () => {
    const { tab, local } = browser();
    const store = tab();
    for (let i = 0; i < kMostPrograms + 3; ++i) store.openText({ text: `program ${i}`, name: `${i}.asm` });
    return [store.programs().length, store.programs().at(-1).name, [...local.items.keys()].length];
  }, [kMostPrograms, '3.asm', kMostPrograms + 1]], // and the index

  ['a program too big for the room left is refused with a reason, and nothing else goes', () => {
    const { tab } = browser(4000);
    const store = tab();
    store.openExample('sum.asm');
    store.save('small');
    const refused = store.save('x'.repeat(5000));
    return [refused.saved, /Save source/.test(refused.reason), names(store)];
  }, [false, true, ['sum.asm=small']]],
];

for (const [name, run, expected] of scenarios) {
  test(name, () => assert.deepEqual(run(), expected));
}
