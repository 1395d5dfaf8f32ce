// The class report of mirvo test --format html in chromium: it opens from a
// file and fetches nothing, axe finds nothing serious, a row opens, the table
// sorts with the page's script and reads without it. Screenshots at desktop
// and phone size go to build/web-test/.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { after, before, test } from 'node:test';

import { artifacts, launchChromium, nativeBin, root, solutionOf } from './support.mjs';

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-report-'));
const exercise = path.join(root, 'exercises/05-add.toml');
const solution = solutionOf(readFileSync(exercise, 'utf8'));
// A class: the solution twice (once laid out otherwise), a constant, a
// program that does not assemble, one that never ends, and hostile names.
const programs = {
  'ada.asm': solution,
  'ben.asm': `; mine\n${solution.replaceAll(', ', ',')}`,
  'cy <b>"&amp;".asm': 'MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n',
  'dee\u202egpj.asm': 'MVI A, 5\nRET\n',
  'eve.asm': 'MVI H, 10h\nMOV L, A\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nMOV A, A\nRET\n',
};
let report;

before(() => {
  const folder = path.join(work, 'class');
  mkdirSync(folder);
  for (const [name, text] of Object.entries(programs)) writeFileSync(path.join(folder, name), text);
  report = path.join(work, 'report.html');
  try {
    execFileSync(
      path.join(nativeBin, 'mirvo'),
      ['test', exercise, ...Object.keys(programs), '--format', 'html', '-o', report],
      { cwd: folder },
    );
  } catch (error) {
    assert.equal(error.status, 1, String(error.stderr)); // some programs fail
  }
  mkdirSync(artifacts, { recursive: true });
});

after(() => rmSync(work, { recursive: true, force: true }));

async function openReport(profile, options = {}) {
  const context = await launchChromium(path.join(work, profile), options);
  const page = context.pages()[0] ?? (await context.newPage());
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  await page.goto(pathToFileURL(report).href);
  return { context, page, requests };
}

test('the report opens from a file, fetches nothing, passes axe, opens a row and sorts', async () => {
  const { context, page, requests } = await openReport('profile');
  try {
    page.on('pageerror', (error) => assert.fail(`page error: ${error.message}`));
    assert.deepEqual(requests, [pathToFileURL(report).href]);
    const names = () => page.locator('table[data-sortable] tbody summary').allTextContents();
    assert.deepEqual(await names(), ['ada.asm', 'ben.asm', 'cy <b>"&amp;".asm', 'dee\\u202Egpj.asm', 'eve.asm']);

    // The best of those that passed: the solution's bytes and steps, which
    // eve's extra statement loses to; the solution's own point beside them.
    const best = await page.locator('#best ~ ul li').allTextContents();
    assert.deepEqual(best, ['12 bytes, 32 steps: ada.asm, ben.asm', 'The solution: 12 bytes, 32 steps']);

    const require = createRequire(import.meta.url);
    await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
    const violations = await page.evaluate(async () => (await window.axe.run()).violations);
    assert.deepEqual(
      violations.filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id),
      [],
    );

    const row = page.locator('table[data-sortable] tbody tr').filter({ hasText: 'cy <b>' });
    await row.locator('summary').click();
    const opened = row.locator('details');
    assert.equal(await opened.evaluate((details) => details.open), true);
    assert.match(await opened.textContent(), /failed 20h \+ 30h \(0\/1\)\[1002h\] is 0Ch, expected 50h/);

    await page.getByRole('button', { name: 'Score' }).click();
    assert.equal(await page.locator('th[aria-sort]').textContent(), 'Score');
    const scores = await page.locator('table[data-sortable] tbody td:nth-child(2)').allTextContents();
    assert.deepEqual(scores, ['0/10', '1/10', '10/10', '10/10', '10/10']);
    await page.getByRole('button', { name: 'Score' }).click();
    assert.equal(await page.locator('th[aria-sort="descending"]').count(), 1);

    await page.screenshot({ path: path.join(artifacts, 'class-report.png'), fullPage: true });
    await page.setViewportSize({ width: 390, height: 844 });
    const wide = await page.evaluate(() => document.documentElement.scrollWidth);
    assert.ok(wide <= 390, `the page is ${wide} pixels wide at phone size`);
    await page.screenshot({ path: path.join(artifacts, 'class-report-phone.png'), fullPage: true });
  } finally {
    await context.close();
  }
});

test('without its script the table reads the same and a row still opens', async () => {
  const { context, page } = await openReport('profile-noscript', { javaScriptEnabled: false });
  try {
    assert.equal(await page.locator('th button').count(), 0);
    const rows = page.locator('table[data-sortable] tbody tr');
    assert.equal(await rows.count(), Object.keys(programs).length);
    await rows.first().locator('summary').click();
    assert.equal(
      await rows
        .first()
        .locator('details')
        .evaluate((details) => details.open),
      true,
    );
  } finally {
    await context.close();
  }
});
