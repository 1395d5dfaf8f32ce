// The page in C, in Debian's chromium: the C beside the assembly it became,
// linked both ways; compile errors at their columns; C links; every colour
// scheme checked by axe-core. Screenshots go to build/web-test/.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { test } from 'node:test';

import { encodeShare } from '../src/share.js';
import { artifacts, browserUnderTest, nativeBin, root } from './support.mjs';

let context;
let page;
let base;
const browser = browserUnderTest('cmode', (opened) => ({ context, page, base } = opened));
const { work } = browser;

const $ = (id, tab = page) => tab.locator(`[data-testid="${id}"]`);
const ready = (tab = page, state = 'ready') => tab.waitForSelector(`[data-testid="outcome"][data-state="${state}"]`);
const example = (name) => readFileSync(path.join(root, 'examples/c', name), 'utf8');

// mirvo cc --json of a C file, optimised or not.
function compiled(name, optimise = true) {
  const args = ['cc', '--json', '-O', optimise ? '1' : '0', '-S', path.join(work, 'out.asm')];
  args.push(path.join(root, 'examples/c', name));
  return JSON.parse(execFileSync(path.join(nativeBin, 'mirvo'), args, { cwd: work, encoding: 'utf8' }));
}

// Opens a C link of text in a fresh document and waits for the machine.
async function openC(text, tab = page, state = 'ready') {
  await tab.goto('about:blank');
  await tab.goto(`${base}${await encodeShare(text, 'c')}`);
  await ready(tab, state);
}

// The generated view: per instruction its address, C line and text.
const generated = (tab = page) =>
  tab.evaluate(() =>
    [...document.querySelectorAll('[data-testid="generated"] [data-address]')].map((item) => ({
      address: Number(item.dataset.address),
      cLine: item.dataset.cLine === undefined ? null : Number(item.dataset.cLine),
      text: item.querySelector('.g-text').textContent,
      linked: item.classList.contains('is-linked'),
    })),
  );

// The lines of cc's assembly that are instructions, without comments.
const instructionsOf = ({ assembly }) =>
  assembly
    .split('\n')
    .map((line) => line.replace(/;.*$/, '').trim())
    .filter((line) => line !== '');

// The image the page would download.
async function downloadedImage() {
  const [download] = await Promise.all([page.waitForEvent('download'), page.getByText('Download image').click()]);
  return [...readFileSync(await download.path())];
}

// The 1-based editor lines marked as linked.
const linkedLines = () =>
  page.evaluate(() =>
    [...document.querySelectorAll('.cm-line')].flatMap((line, i) =>
      line.classList.contains('cm-linked') ? [i + 1] : [],
    ),
  );

test('a C example: its assembly and image are those mirvo cc --json makes, at either level', async () => {
  await openC(example('table.c'));
  assert.equal(await $('language').inputValue(), 'c');
  for (const optimise of [true, false]) {
    if (!optimise) {
      await $('optimise').uncheck();
      await page.waitForFunction(() => !document.querySelector('[data-testid="optimise"]').checked);
      await ready();
    }
    const want = compiled('table.c', optimise);
    // The generated view settles on the new program once its image is loaded.
    await page.waitForFunction(
      (n) => document.querySelectorAll('[data-testid="generated"] [data-address]').length === n,
      instructionsOf(want).length,
    );
    const shown = await generated();
    assert.deepEqual(
      shown.map((i) => i.text),
      instructionsOf(want),
    );
    // Each instruction's C line is the statement whose addresses hold it.
    for (const { address, cLine } of shown) {
      const span = want.map.find((s) => address >= s.first_address && address < s.end_address);
      assert.equal(cLine, span?.line ?? null, `at ${address}`);
    }
    assert.deepEqual(await downloadedImage(), want.image);
  }
  await $('optimise').check();
});

test('the link marks the right instructions, from the pointer and the keyboard, both ways', async () => {
  await openC(example('sum.c'));
  const want = compiled('sum.c');
  const addressesOf = (line) =>
    want.map
      .filter((s) => s.line === line)
      .flatMap((s) => {
        const found = [];
        for (let a = s.first_address; a < s.end_address; a += 1) found.push(a);
        return found;
      });
  const linkedAddresses = async () => (await generated()).filter((i) => i.linked).map((i) => i.address);
  // The instructions shown for a C line: each within the line's addresses in cc's map.
  const instructionStarts = async (line) => (await generated()).filter((i) => i.cLine === line).map((i) => i.address);
  // Pointer over three statements' C lines.
  for (const line of [6, 7, 9]) {
    await page
      .locator('.cm-line')
      .nth(line - 1)
      .hover();
    await page.waitForFunction(
      (l) => document.querySelectorAll('.cm-line')[l - 1].classList.contains('cm-linked'),
      line,
    );
    const marked = await linkedAddresses();
    assert.ok(marked.length > 0, `line ${line}`);
    assert.deepEqual(marked, await instructionStarts(line), `line ${line}`);
    assert.ok(
      marked.every((a) => addressesOf(line).includes(a)),
      `line ${line}`,
    );
    assert.deepEqual(await linkedLines(), [line]);
  }
  // The keyboard: F8 from the cursor on line 6 goes to 7, then 8; Shift+F8 back to 7.
  await page.mouse.move(0, 0);
  await page.locator('.cm-line').nth(5).click();
  for (const [key, line] of [
    ['F8', 7],
    ['F8', 8],
    ['Shift+F8', 7],
  ]) {
    await page.keyboard.press(key);
    await page.waitForFunction(
      (l) => document.querySelectorAll('.cm-line')[l - 1].classList.contains('cm-linked'),
      line,
    );
    assert.deepEqual(await linkedAddresses(), await instructionStarts(line), `${key} to ${line}`);
  }
  // The other way: the pointer over an instruction marks its C line.
  const last = want.map.find((s) => s.line === 9);
  await page.locator(`[data-testid="generated"] [data-address="${last.first_address}"]`).hover();
  await page.waitForFunction(() => document.querySelectorAll('.cm-line')[8].classList.contains('cm-linked'));
  assert.deepEqual(await linkedLines(), [9]);
  // Arrows in the assembly go by instruction, the link following.
  await $('generated').focus();
  await page.keyboard.press('ArrowDown');
  await page.waitForFunction(() => document.querySelectorAll('.cm-line')[5].classList.contains('cm-linked'));
  assert.deepEqual(await linkedLines(), [6]);
  await page.mouse.move(0, 0);
});

test('a compile error is underlined at its column, and the machine marked as the last program that compiled', async () => {
  await openC(example('sum.c'));
  const bad = example('sum.c').replace('sum += mem[0x1003];', 'sum += y;');
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+a');
  await page.keyboard.insertText(bad);
  await ready(page, 'error');
  const line = bad.split('\n').findIndex((l) => l.includes('sum += y;')) + 1;
  const item = $('diagnostics').locator('li').first();
  assert.equal(await item.getAttribute('data-line'), String(line));
  assert.match(await item.textContent(), /^Line 8, column 10: error: 'y' is not declared/);
  assert.equal(
    await page
      .locator('.cm-line')
      .nth(line - 1)
      .locator('.cm-lintRange-error')
      .textContent(),
    'y',
  );
  assert.equal(await $('stale').isVisible(), true);
  assert.match(await $('stale').textContent(), /last program that compiled/);
  // The assembly shown is still the last program's, marked out of date.
  assert.equal(await page.locator('[data-testid="generated"].is-stale').count(), 1);
  assert.ok((await generated()).length > 0);
});

test('a #zc= link opens in C at its level, a reload keeps both, and Share link makes one again', async () => {
  const source = example('unrolled.c');
  // The C as written and optimised differ in length: the count tells which is shown.
  const count = (optimise) => instructionsOf(compiled('unrolled.c', optimise)).length;
  const shows = (tab, n) =>
    tab.waitForFunction(
      (want) => document.querySelectorAll('[data-testid="generated"] [data-address]').length === want,
      n,
    );
  assert.notEqual(count(true), count(false));
  // A link without a level (as links were before there was one) opens optimised.
  await openC(source);
  assert.equal(await $('optimise').isChecked(), true);
  await shows(page, count(true));
  for (const [optimise, tail] of [
    [false, /&O=0$/],
    [true, /#zc=[\w-]+$/],
  ]) {
    await $('optimise').setChecked(optimise);
    await ready();
    await shows(page, count(optimise));
    await page.getByText('Share link').click();
    await page.waitForFunction(
      (want) => new RegExp(want).test(document.querySelector('[data-testid="share-link"]').value),
      tail.source,
    );
    const link = await $('share-link').inputValue();
    assert.match(link, /^http:\/\/127\.0\.0\.1:\d+\/#zc=[\w-]+(&O=0)?$/);
    const other = await context.newPage();
    await other.goto(link);
    await ready(other);
    assert.equal(await $('language', other).inputValue(), 'c');
    assert.equal(await $('optimise', other).isChecked(), optimise, link);
    const text = await other.evaluate(() =>
      [...document.querySelectorAll('.cm-line')].map((l) => l.textContent).join('\n'),
    );
    assert.equal(text, source);
    await shows(other, count(optimise));
    // The program is kept in C at its level: a reload brings both back.
    await other.reload();
    await ready(other);
    assert.equal(await $('language', other).inputValue(), 'c');
    assert.equal(await $('optimise', other).isChecked(), optimise);
    await shows(other, count(optimise));
    await other.close();
  }
});

test('an exercise in C opens in C and Check grades it as mirvo test does', async () => {
  await page.goto('about:blank');
  await page.goto(base);
  await ready();
  await page.selectOption('#exercises', '11-c-sum.toml');
  // The page was in C already: the exercise has opened when its statement shows.
  await page.waitForFunction(() => document.querySelector('.exercise')?.textContent.includes('In C: the sum'));
  await page.waitForFunction(() => document.querySelector('[data-testid="language"]').value === 'c');
  await page.waitForFunction(() => document.querySelector('.cm-content').textContent.includes('void main'));
  const solution = '#include <mirvo.h>\nvoid main(void) { mem[0x1003] = mem[0x1000] + mem[0x1001] + mem[0x1002]; }\n';
  await page.locator('.cm-content').click();
  await page.keyboard.press('Control+a');
  await page.keyboard.insertText(solution);
  await ready();
  // The menu's copy is the learner's: what mirvo link carries.
  const mirvo = (args) => execFileSync(path.join(nativeBin, 'mirvo'), args, { cwd: work, encoding: 'utf8' });
  const link = mirvo(['link', path.join(root, 'exercises/11-c-sum.toml')]).trim();
  writeFileSync(path.join(work, 'learner.toml'), Buffer.from(link.slice(link.indexOf('#ex=') + 4), 'base64url'));
  writeFileSync(path.join(work, 'attempt.c'), solution);
  const graded = JSON.parse(mirvo(['test', 'learner.toml', 'attempt.c', '--format', 'json']));
  assert.equal(graded.score, graded.max_score);
  // A score shown before this Check (the starter's) is not this grade: wait for it.
  await $('check').click();
  await page.waitForFunction(
    (want) => document.querySelector('[data-testid="score"]').textContent === want,
    `${graded.score} / ${graded.max_score}`,
  );
  await page.selectOption('#exercises', '');
});

test('C mode: axe-core finds nothing serious in any colour scheme; desktop and phone screenshots', async () => {
  const require = createRequire(import.meta.url);
  // What axe-core finds serious or critical on tab, in words.
  const serious = async (tab) => {
    await tab.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
    const violations = await tab.evaluate(async () => (await window.axe.run()).violations);
    return violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical')
      .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
  };
  await page.setViewportSize({ width: 1280, height: 900 });
  await openC(example('sum.c'));
  await $('step-c').click();
  for (const scheme of ['light', 'dark', 'contrast']) {
    await page.selectOption('[data-testid="scheme"]', scheme);
    for (const interleave of [false, true]) {
      await $('interleave').setChecked(interleave);
      // A statement linked, so that its marks are checked too.
      await page.locator('.cm-line').nth(6).hover();
      const report = await serious(page);
      assert.deepEqual(report, [], `${scheme}: ${report.join('; ')}`);
    }
    await page.screenshot({ path: path.join(artifacts, `c-desktop-${scheme}.png`) });
  }
  await $('interleave').setChecked(false);
  await page.selectOption('[data-testid="scheme"]', 'system');
  const phone = await context.newPage();
  await phone.setViewportSize({ width: 390, height: 844 });
  await openC(example('sum.c'), phone);
  const widths = await phone.evaluate(() => ({
    page: document.documentElement.scrollWidth,
    generated: document.querySelector('[data-testid="generated"]').getBoundingClientRect().width,
  }));
  assert.ok(widths.page <= 390 && widths.generated > 300, JSON.stringify(widths));
  // Stepped, so that the dock holds an explanation too: the editor, then the
  // generated assembly under it, then the docked controls in one row, none
  // over another.
  for (let i = 0; i < 3; i += 1) await $('step-c', phone).click();
  await phone.waitForFunction(() => document.querySelector('[data-testid="explain"]').textContent !== '');
  const boxes = await phone.evaluate(() => {
    const box = (element) => element.getBoundingClientRect();
    const visible = [...document.querySelectorAll('.controls button')].filter((b) => !b.hidden);
    return {
      editor: box(document.querySelector('#editor')).bottom,
      generatedTop: box(document.querySelector('[data-testid="generated"]')).top,
      generatedBottom: box(document.querySelector('[data-testid="generated"]')).bottom,
      dock: box(document.querySelector('[data-testid="dock"]')).top,
      rows: new Set(visible.map((b) => box(b).top)).size,
      buttons: visible.length,
    };
  });
  assert.ok(boxes.editor <= boxes.generatedTop, JSON.stringify(boxes));
  assert.ok(boxes.generatedTop + 100 <= boxes.dock && boxes.generatedBottom <= boxes.dock, JSON.stringify(boxes));
  assert.deepEqual([boxes.buttons, boxes.rows], [7, 1], JSON.stringify(boxes));
  await phone.screenshot({ path: path.join(artifacts, 'c-phone.png') });
  // The phone's smaller controls in every scheme too.
  for (const scheme of ['light', 'dark', 'contrast']) {
    await phone.selectOption('[data-testid="scheme"]', scheme);
    const report = await serious(phone);
    assert.deepEqual(report, [], `phone, ${scheme}: ${report.join('; ')}`);
    if (scheme !== 'light') await phone.screenshot({ path: path.join(artifacts, `c-phone-${scheme}.png`) });
  }
  await phone.selectOption('[data-testid="scheme"]', 'system');
  await phone.close();
});
