// Stepping C in the page, in Debian's chromium: by C statement and back, by
// instruction, against mirvo run --trace of the image mirvo cc makes; the
// C line and the instruction at the program counter marked; each line's
// steps after a run. Screenshots go to build/web-test/.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { after, test } from 'node:test';

import { encodeShare } from '../src/share.js';
import { artifacts, browserUnderTest, nativeBin, root } from './support.mjs';

let page;
let base;
const browser = browserUnderTest('cstep', (opened) => ({ page, base } = opened));
const { work } = browser;

const $ = (id) => page.locator(`[data-testid="${id}"]`);
const source = (name) => readFileSync(path.join(root, 'examples/c', name), 'utf8');

// Where a step of a C statement stops, from mirvo: [steps, C line] after
// each step forward from the start to the end, and back from the end.
function nativeStops(name) {
  const mirvo = path.join(nativeBin, 'mirvo');
  const file = path.join(root, 'examples/c', name);
  const image = path.join(work, `${name}.bin`);
  const options = ['-o', image, '-S', path.join(work, `${name}.asm`)];
  const { map } = JSON.parse(execFileSync(mirvo, ['cc', file, '--json', ...options], { encoding: 'utf8' }));
  const lines = execFileSync(mirvo, ['run', image, '--trace', '--json', '--explain'], { encoding: 'utf8' })
    .trim()
    .split('\n')
    .map((line) => JSON.parse(line));
  const trace = lines.slice(0, -1);
  const ran = map.filter((s) => s.end_address > s.first_address);
  const lineOf = (pc) => ran.find((s) => pc >= s.first_address && pc < s.end_address)?.line ?? null;
  const pcAfter = (step) => (step < trace.length ? trace[step].pc : lines.at(-1).pc);
  const starts = [...trace.keys()].filter((step) => step > 0 && ran.some((s) => s.first_address === pcAfter(step)));
  const at = (step) => [step, lineOf(pcAfter(step))];
  const steps = new Map();
  for (const { pc } of trace) if (lineOf(pc) !== null) steps.set(lineOf(pc), (steps.get(lineOf(pc)) ?? 0) + 1);
  return {
    forward: [...starts, trace.length].map(at),
    backward: [...starts.reverse(), 0].map(at),
    trace,
    lineOf,
    steps,
    map,
  };
}

async function openC(text) {
  await page.goto('about:blank');
  await page.goto(`${base}${await encodeShare(text, 'c')}`);
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]');
}

const shownSteps = async () => Number(await $('steps').textContent());

// Gives a command (a click or a key) and waits for the step count to move;
// then [steps, C line] as the page shows them.
async function stepBy(command) {
  const before = await shownSteps();
  await command();
  await page.waitForFunction(
    (n) =>
      document.querySelector('[data-testid="steps"]').textContent !== String(n) &&
      document.querySelector('[data-testid="outcome"]').dataset.state !== 'running',
    before,
  );
  const line = await $('c-line').getAttribute('data-value');
  return [await shownSteps(), line === '' ? null : Number(line)];
}

test('Step goes to the next C statement and Step back to the one before, where the trace of its image says', async () => {
  const { forward, backward, trace, lineOf, steps, map } = nativeStops('early.c');
  const text = source('early.c');
  await openC(text);
  assert.equal(await $('step').isHidden(), true);
  // By button and by F10, in turn.
  const commands = [() => $('step-c').click(), () => page.keyboard.press('F10')];
  const stops = [];
  while ((await $('outcome').getAttribute('data-state')) !== 'done') {
    stops.push(await stepBy(commands[stops.length % 2]));
  }
  assert.deepEqual(stops, forward);
  // The last step's words name its C line.
  const last = trace.at(-1);
  const words = await $('explain').textContent();
  assert.equal(words, `${text.split('\n')[lineOf(last.pc) - 1].trim()}: ${last.explain}`);
  // Each C line's steps beside its bytes, in line order (a line that did
  // not run, none).
  const markers = await page.evaluate(() =>
    [...document.querySelectorAll('.cm-addressGutter .cm-gutterElement')]
      .filter((element) => element.style.visibility !== 'hidden' && element.textContent !== '')
      .map((element) => element.textContent.replace(/^.*, /, '')),
  );
  const plural = (count) => `${count} step${count === 1 ? '' : 's'}`;
  assert.deepEqual(
    markers,
    [...new Set(map.map((s) => s.line))].sort((a, b) => a - b).map((line) => plural(steps.get(line) ?? 0)),
  );
  const backs = [];
  const backCommands = [() => $('step-back').click(), () => page.keyboard.press('Shift+F10')];
  while ((await shownSteps()) > 0) backs.push(await stepBy(backCommands[backs.length % 2]));
  assert.deepEqual(backs, backward);

  // One instruction at a time: Ctrl+F10 and its button, and back.
  const single = [
    await stepBy(() => page.keyboard.press('Control+F10')),
    await stepBy(() => $('step-instruction').click()),
    await stepBy(() => $('step-back-instruction').click()),
    await stepBy(() => page.keyboard.press('Control+F10')),
    await stepBy(() => page.keyboard.press('Control+Shift+F10')),
  ];
  const after = (step) => [step, lineOf(trace[step].pc)];
  assert.deepEqual(single, [after(1), after(2), after(1), after(2), after(1)]);
  // The instruction at the program counter is marked in the assembly beside.
  const marked = await page.locator('[data-testid="generated"] .is-pc').getAttribute('data-address');
  assert.equal(Number(marked), trace[1].pc);
});

test('C stepping on a desktop and a phone: the line, the instruction and the words (screenshots)', async () => {
  const { forward } = nativeStops('unrolled.c');
  await openC(source('unrolled.c'));
  const stops = [];
  for (let i = 0; i < 6; i += 1) stops.push(await stepBy(() => $('step-c').click()));
  assert.deepEqual(stops, forward.slice(0, 6));
  assert.equal(await page.locator('.cm-pcLine').count(), 1);
  assert.match(await $('explain').textContent(), /^[^:]+;: [A-Z]{3} /);
  // The instruction at the program counter is scrolled into the list's view.
  const pcBox = await page.locator('[data-testid="generated"] .is-pc').boundingBox();
  const listBox = await page.locator('[data-testid="generated"]').boundingBox();
  assert.ok(
    pcBox.y >= listBox.y && pcBox.y + pcBox.height <= listBox.y + listBox.height,
    JSON.stringify([pcBox, listBox]),
  );
  await page.screenshot({ path: path.join(artifacts, 'c-step.png'), fullPage: true });
  await page.setViewportSize({ width: 390, height: 844 });
  await page.screenshot({ path: path.join(artifacts, 'c-step-phone.png') });
  await page.setViewportSize({ width: 1280, height: 900 });
});
