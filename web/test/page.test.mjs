// The built page in Debian's chromium, driven through the data-testid hooks.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';

import { Session } from '../src/state.js';
import { artifacts, browserUnderTest, createEngine, longRun, nativeBin, root, solutionOf } from './support.mjs';

let page;
let base;
const browser = browserUnderTest('page', (opened) => ({ page, base } = opened));
const { work } = browser;

const byTestId = (id) => page.locator(`[data-testid="${id}"]`);
const valueOf = async (id) => Number(await byTestId(id).getAttribute('data-value'));
const share = (source) => `${base}#src=${Buffer.from(source, 'utf8').toString('base64url')}`;

// Opens a source through a share link and waits for the machine to load it.
async function open(source, state = 'ready') {
  await page.goto('about:blank');
  await page.goto(share(source));
  await page.waitForSelector(`[data-testid="outcome"][data-state="${state}"]`);
}

async function machine() {
  const names = [
    'reg-A',
    'reg-B',
    'reg-C',
    'reg-H',
    'reg-L',
    'flag-S',
    'flag-Z',
    'flag-AC',
    'flag-P',
    'flag-CY',
    'pc',
    'sp',
  ];
  const values = {};
  for (const name of names) values[name] = await valueOf(name);
  values.steps = Number(await byTestId('steps').textContent());
  return values;
}

async function waitForSteps(count) {
  await page.waitForFunction((n) => document.querySelector('[data-testid="steps"]').textContent === String(n), count);
}

const sum = readFileSync(path.join(root, 'examples/sum.asm'), 'utf8');

test("a shared program runs, steps and steps back; its state map is MirvoVM's", async () => {
  await open(sum);
  await page.getByText('Share link').click();
  await page.waitForFunction(() => document.querySelector('[data-testid="share-link"]').value !== '');
  const link = await byTestId('share-link').inputValue();
  assert.match(link, /^http:\/\/127\.0\.0\.1:\d+\/#z=[\w-]+$/);
  await byTestId('run').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]');
  assert.equal(await byTestId('outcome').textContent(), 'Halted by the RET at 000Ch.');
  assert.deepEqual(await machine(), {
    'reg-A': 0x20,
    'reg-B': 0x20,
    'reg-C': 0,
    'reg-H': 0x10,
    'reg-L': 0,
    'flag-S': 0,
    'flag-Z': 1,
    'flag-AC': 0,
    'flag-P': 0,
    'flag-CY': 0,
    pc: 12,
    sp: 0xffff,
    steps: 9,
  });

  await page.fill('#image-name', 'sum.bin');
  const [download] = await Promise.all([
    page.waitForEvent('download'),
    page.getByText('Download MirvoVMStateMap.txt').click(),
  ]);
  const downloaded = readFileSync(await download.path());
  execFileSync(path.join(nativeBin, 'MirvoVMAssembler'), [path.join(root, 'examples/sum.asm'), 'sum.bin'], {
    cwd: work,
  });
  try {
    execFileSync(path.join(nativeBin, 'MirvoVM'), ['sum.bin'], { cwd: work });
  } catch {}
  assert.ok(downloaded.equals(readFileSync(path.join(work, 'MirvoVMStateMap.txt'))), 'state map differs');

  // Step three times (F10 from the keyboard), then back one.
  await byTestId('reset').click();
  await waitForSteps(0);
  await page.keyboard.press('F10');
  await byTestId('step').click();
  await byTestId('step').click();
  await waitForSteps(3);
  const three = await machine();
  assert.deepEqual([three['reg-A'], three['reg-B'], three.pc], [0x10, 0x20, 5]);
  await page.keyboard.press('Shift+F10');
  await waitForSteps(2);
  const two = await machine();
  assert.deepEqual([two['reg-A'], two['reg-B'], two.pc], [0xf0, 0x20, 4]);
});

test('Run stops before a breakpoint set in the gutter, and goes on from it', async () => {
  await open(sum);
  const line = 12; // MOV Mem, A at 0009h, after five steps
  const number = page.locator('.cm-lineNumbers .cm-gutterElement', { hasText: new RegExp(`^${line}$`) });
  const row = await number.boundingBox();
  const gutterBox = await page.locator('.cm-breakpointGutter').boundingBox();
  await page.mouse.click(gutterBox.x + gutterBox.width / 2, row.y + row.height / 2);
  await byTestId('run').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="paused"]');
  assert.match(await byTestId('outcome').textContent(), /breakpoint at 0009h \(line 12\)/);
  assert.deepEqual([await valueOf('pc'), Number(await byTestId('steps').textContent())], [9, 5]);
  assert.equal(await page.locator('.cm-pcLine').textContent(), sum.split('\n')[line - 1]);
  await page.keyboard.press('Control+Enter');
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]');
  await waitForSteps(9);
});

test("an error is listed and underlined on its line, in the assembler's words", async () => {
  await open('MVI A, 1h\nmov B, A\nMVI C, 5\nMOV Mem, Mem\nRET\n', 'error');
  const items = byTestId('diagnostics').locator('li');
  assert.deepEqual(await items.evaluateAll((list) => list.map((item) => [item.dataset.line, item.dataset.severity])), [
    ['3', 'error'],
    ['4', 'warning'],
  ]);
  assert.match(await items.first().textContent(), /'5'/);
  const underlined = page.locator('.cm-line').nth(2).locator('.cm-lintRange-error');
  assert.equal(await underlined.textContent(), '5');
  // The highlighter reads mnemonics in any case, as the assembler does.
  const second = page.locator('.cm-line').nth(1);
  assert.deepEqual(
    [await second.locator('.tok-mnemonic').textContent(), await second.locator('.tok-invalid').count()],
    ['mov', 0],
  );
  assert.equal(await byTestId('run').isDisabled(), true);
});

test('the run-time checks are marked at their statements and listed; the last step is explained', async () => {
  await open('MVI A, 42h\nMOV Mem, A\nADD B ; mirvo: allow past-end\n');
  await byTestId('step').click();
  await waitForSteps(1);
  assert.equal(await byTestId('explain').textContent(), 'MVI A, 42h: A = 42h; the flags stay as they were');
  assert.equal(await byTestId('finding').count(), 0);
  await byTestId('run').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]');
  assert.deepEqual(
    await byTestId('finding').evaluateAll((list) => list.map((item) => [item.dataset.id, item.dataset.line])),
    [
      ['hl-unset', '2'],
      ['code-write', '2'],
      ['unset-read', '3'],
    ],
  );
  assert.match(
    await byTestId('finding').first().textContent(),
    /^Line 2: warning: MOV Mem, A writes the byte at 0000h/,
  );
  assert.equal(await page.locator('.cm-line').nth(1).locator('.cm-lintRange-warning').first().textContent(), 'MOV');
  assert.equal(await page.locator('.cm-line').nth(2).locator('.cm-lintRange-warning').first().textContent(), 'ADD');
  await byTestId('step-back').click();
  await waitForSteps(3);
  assert.equal(
    await byTestId('explain').textContent(),
    'ADD B: A = 42h + 00h = 42h; this form leaves the flags as they were',
  );
  assert.equal(await byTestId('finding').count(), 3);
});

test("a diagnostic offers the engine's fixes: one applied, two alternatives left to choose", async () => {
  await open('MOV b, A\nMVI A, 10\nRET\n', 'error');
  await page.locator('.cm-line').nth(0).locator('.cm-lintRange-error').hover();
  await page.locator('.cm-tooltip-lint .cm-diagnosticAction', { hasText: 'write B' }).click();
  await page.waitForFunction(() => document.querySelectorAll('[data-testid="diagnostics"] li').length === 1);
  assert.equal(await page.locator('.cm-line').nth(0).textContent(), 'MOV B, A');
  await page.locator('.cm-line').nth(1).locator('.cm-lintRange-error').hover();
  const choices = page.locator('.cm-tooltip-lint .cm-diagnosticAction');
  await choices.first().waitFor();
  assert.deepEqual(await choices.allTextContents(), [
    'write 0Ah, if decimal 10 was meant',
    'write 10h, if hexadecimal 10 was meant',
  ]);
  await choices.nth(1).click();
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]');
  assert.equal(await page.locator('.cm-line').nth(1).textContent(), 'MVI A, 10h');
});

test("an uploaded image runs; one over 64 KiB is refused in the engine's words", async () => {
  await open(sum);
  const image = { name: 'tiny.bin', mimeType: 'application/octet-stream', buffer: Buffer.from([0x3e, 0x07, 0xc9]) };
  await page.setInputFiles('#upload', image);
  await page.waitForFunction(() => document.querySelector('[data-testid="next"]')?.textContent === 'MVI A, 07h');
  await byTestId('run').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]');
  assert.equal(await byTestId('outcome').textContent(), 'Halted by the RET at 0002h.');
  assert.equal(await valueOf('reg-A'), 7);

  await page.setInputFiles('#upload', { ...image, name: 'big.bin', buffer: Buffer.alloc(65537) });
  await page.waitForSelector('[data-testid="outcome"][data-state="error"]');
  assert.equal(await byTestId('outcome').textContent(), 'Refused: big.bin is larger than 65536 bytes.');
  assert.equal(await byTestId('run').isDisabled(), true);
});

test('a long run stops on Esc and goes on to its verdict; then a step back takes milliseconds', async (t) => {
  await open(sum);
  await page.setInputFiles('#upload', { name: 'long.bin', mimeType: 'application/octet-stream', buffer: longRun() });
  await page.waitForFunction(() => document.querySelector('#image-name').value === 'long.bin');
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]');
  await byTestId('run').click();
  // Polled on a timer: the run lasts well under a second.
  await page.waitForFunction(
    () => /^Running… [1-9]\d* steps/.test(document.querySelector('[data-testid="outcome"]').textContent),
    null,
    { polling: 10 },
  );
  await page.keyboard.press('Escape');
  await page.waitForSelector('[data-testid="outcome"][data-state="paused"]');
  assert.match(await byTestId('outcome').textContent(), /^Stopped by you at [0-9A-F]{4}h\.$/);
  const stoppedAt = Number(await byTestId('steps').textContent());
  assert.ok(stoppedAt > 0 && stoppedAt < 134150145, `stopped after ${stoppedAt} steps`);
  await byTestId('run').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]', { timeout: 60000 });
  assert.match(
    await byTestId('outcome').textContent(),
    /^Loops forever without a RET: after wrap 2047 .* at wrap 1023\.$/,
  );
  await waitForSteps(134150145);

  // Five steps back, each timed in the page from the click to the step
  // count drawn.
  const stepBack = (target) =>
    new Promise((resolve) => {
      const steps = document.querySelector('[data-testid="steps"]');
      const started = performance.now();
      const drawn = new MutationObserver(() => {
        if (steps.textContent !== String(target)) return;
        drawn.disconnect();
        resolve(performance.now() - started);
      });
      drawn.observe(steps, { childList: true, characterData: true, subtree: true });
      document.querySelector('[data-testid="step-back"]').click();
    });
  const times = [];
  for (let back = 1; back <= 5; ++back) times.push(await page.evaluate(stepBack, 134150145 - back));
  const report = `step back after 134150145 steps, 5 times (ms from click to drawn): ${times.map((ms) => ms.toFixed(1)).join(' ')}`;
  t.diagnostic(report);
  writeFileSync(path.join(artifacts, 'step-back.txt'), `${report}\n`);

  // The state is the run's at that step, as the engine in Node has it.
  const session = new Session(await createEngine());
  session.load(new Uint8Array(longRun()), 'long.bin');
  for (const _ of session.run({ target: 134150140 }));
  const expected = session.snapshot();
  const { registers } = session.vocabulary;
  assert.deepEqual(
    [...(await Promise.all(registers.map(({ name }) => valueOf(`reg-${name}`)))), await valueOf('pc')],
    [...registers.map(({ slot }) => expected.registers[slot]), expected.pc],
  );

  // No ADD of a register sets a flag: a search back for Z's last change
  // re-runs the whole run; Esc ends it where the learner was.
  await page.selectOption('[data-testid="watch-kind"]', 'flag');
  await page.selectOption('[data-testid="watch-name"]', 'Z');
  await byTestId('back-to-change').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="running"]');
  await page.keyboard.press('Escape');
  await page.waitForSelector('[data-testid="outcome"][data-state="paused"]');
  assert.equal(Number(await byTestId('steps').textContent()), 134150140);
  assert.match(await byTestId('outcome').textContent(), /^Stopped by you at [0-9A-F]{4}h\.$/);
});

test('forever.asm: the loops-forever verdict, with the page responsive during the run', async () => {
  await page.goto(base);
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]');
  await page.selectOption('#examples', 'forever.asm');
  await page.waitForFunction(() => document.querySelector('#image-name').value === 'forever.bin');
  // Run at once: the page runs the new source as soon as it is assembled.
  await byTestId('run').click();
  // The main thread answers at once while the worker runs.
  const started = Date.now();
  await page.locator('summary').click();
  assert.equal(await page.locator('details.help').evaluate((details) => details.open), true);
  assert.ok(Date.now() - started < 2000);
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]', { timeout: 60000 });
  assert.match(await byTestId('outcome').textContent(), /^Loops forever without a RET/);

  mkdirSync(artifacts, { recursive: true });
  await page.screenshot({ path: path.join(artifacts, 'playground.png') });
});

// Replaces the editor's text as a learner would, by selecting all and typing.
async function typeSource(source) {
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+A');
  await page.keyboard.insertText(source);
}

// Presses Check and waits for its score: the rows as [data-pass, text].
async function check() {
  await page.waitForFunction(() => !document.querySelector('[data-testid="check"]').disabled);
  await byTestId('check').click();
  await page.waitForFunction(() => /^\d+ \/ \d+$/.test(document.querySelector('[data-testid="score"]').textContent));
  return byTestId('case').evaluateAll((rows) => rows.map((row) => [row.dataset.pass, row.textContent]));
}

test('an exercise from a link: the statement, the starter, Check in the worker, hidden cases only pass or fail', async () => {
  const text = readFileSync(path.join(root, 'exercises/05-add.toml'), 'utf8');
  await page.goto('about:blank');
  await page.goto(`${base}#ex=${Buffer.from(text, 'utf8').toString('base64url')}`);
  await page.waitForSelector('[data-testid="exercise"]:not([hidden])');
  assert.equal(await page.locator('#exercise-title').textContent(), 'Add two bytes');
  // The teacher's link holds every case: nothing is said to be left out.
  assert.equal(await byTestId('exercise-hidden').isHidden(), true);
  await page.waitForFunction(() => document.querySelector('.cm-content').textContent.includes('the byte at 1002h ='));

  assert.deepEqual(await check(), [
    ['false', '5 + 7: failed — [1002h] is 00h, expected 0Ch'],
    ['false', '20h + 30h: failed — [1002h] is 00h, expected 50h'],
    ['false', '0F0h + 20h wraps: failed — [1002h] is 00h, expected 10h'],
    ['false', 'case 4 (hidden): failed'],
    [
      'false',
      'every input: failed — matches the solution on 256 of 65,536 inputs; ' +
        'smallest failing input [1000h]=00h [1001h]=01h: [1002h] is 00h, expected 01h',
    ],
  ]);
  assert.equal(await byTestId('score').textContent(), '0 / 10');

  await typeSource('MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n');
  const constant = await check();
  assert.deepEqual(
    constant.map(([pass]) => pass),
    ['true', 'false', 'false', 'false', 'false'],
  );
  assert.equal(await byTestId('score').textContent(), '1 / 10');

  await typeSource(solutionOf(text));
  assert.deepEqual(
    (await check()).map(([pass]) => pass),
    ['true', 'true', 'true', 'true', 'true'],
  );
  assert.equal(await byTestId('score').textContent(), '10 / 10');

  const require = createRequire(import.meta.url);
  await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
  const violations = await page.evaluate(async () => (await window.axe.run()).violations);
  assert.deepEqual(
    violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id),
    [],
  );
});

test('the Exercises menu opens those that ship; an example leaves it; a broken link says why', async () => {
  await open(sum);
  await page.selectOption('#exercises', '01-copy.toml');
  await page.waitForFunction(() => document.querySelector('#exercise-title').textContent === 'Copy a register');
  assert.match(await page.evaluate(() => location.hash), /^#zex=/);
  assert.equal((await check()).length, 3);
  await page.selectOption('#examples', 'sum.asm');
  await page.waitForSelector('[data-testid="exercise"][hidden]', { state: 'attached' });
  assert.equal(await page.evaluate(() => location.hash), '');

  await page.goto('about:blank');
  await page.goto(`${base}#ex=${Buffer.from('title = 5\n', 'utf8').toString('base64url')}`);
  await page.waitForSelector('[data-testid="exercise"]:not([hidden])');
  assert.match(
    await page.locator('#exercise-text').textContent(),
    /^This exercise cannot be read: line 1, column 9: 'title'/,
  );
  assert.equal(await byTestId('check').isDisabled(), true);
});
