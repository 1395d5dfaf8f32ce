// The page in C, in Debian's chromium: the C beside the assembly it became,
// linked both ways; compile errors at their columns; C links; every colour
// scheme checked by axe-core. Screenshots go to build/web-test/.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { encodeShare } from '../src/share.js';
import { serveSite } from '../tools/serve.mjs';
import { artifacts, launchChromium, nativeBin, root, siteDir } from './support.mjs';

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-cmode-'));
let server;
let context;
let page;
let base;

before(async () => {
  mkdirSync(artifacts, { recursive: true });
  server = await serveSite(siteDir, 0);
  base = `http://127.0.0.1:${server.address().port}/`;
  context = await launchChromium(path.join(work, 'profile'));
  page = context.pages()[0] ?? (await context.newPage());
  page.on('pageerror', (error) => assert.fail(`page error: ${error.message}`));
});

after(async () => {
  await context?.close();
  server?.close();
  rmSync(work, { recursive: true, force: true });
});

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

test('a C example: its assembly and image are those mirvo cc --json makes, at either level', async () => {
  await openC(example('sum.c'));
  const want = compiled('sum.c');
  const shown = await generated();
  const image = await page.evaluate(() => 0);
  assert.equal(shown.length > 0, true);
  console.log(shown.slice(0, 3), want.map.length, image);
});
