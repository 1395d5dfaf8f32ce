// Typing in a long C program in the playground: the longest task on the
// page's main thread while edits are compiled (in the worker) and the
// assembly beside the C is redrawn, in Debian's chromium. Needs `make web`.
//   node bench/page-typing.mjs [site folder] [C lines]
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';

import { encodeShare } from '../web/src/share.js';
import { launchChromium, siteDir } from '../web/test/support.mjs';
import { serveSite } from '../web/tools/serve.mjs';

const site = path.resolve(process.argv[2] ?? siteDir);
const count = Number(process.argv[3] ?? 1000);

// One statement a line, each storing a sum: about eight instructions each.
const lines = ['#include <mirvo.h>', '', 'void main(void) {', '  uint8_t x = mem[0x9000];'];
for (let i = 0; lines.length < count - 1; i += 1) {
  lines.push(`  mem[0x${(0xa000 + (i % 4000)).toString(16)}] = x + ${i % 200};`);
}
lines.push('}');

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-typing-'));
const server = await serveSite(site, 0);
const context = await launchChromium(path.join(work, 'profile'));
try {
  const page = context.pages()[0] ?? (await context.newPage());
  await page.addInitScript(() => {
    window.longestTask = 0;
    new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) window.longestTask = Math.max(window.longestTask, entry.duration);
    }).observe({ type: 'longtask' });
  });
  const ready = () => page.waitForSelector('[data-testid="outcome"][data-state="ready"]', { timeout: 120000 });
  const base = `http://127.0.0.1:${server.address().port}/`;
  await page.goto(`${base}${await encodeShare(`${lines.join('\n')}\n`, 'c')}`);
  await ready();
  // The assembly beside the C is drawn a slice at a time.
  await page.waitForTimeout(2000);
  const instructions = await page.locator('[data-testid="generated"] [data-address]').count();
  await page.evaluate(() => (window.longestTask = 0));
  // Edits that change one statement's constant and change it back, each
  // compiled, then the cursor down twenty lines (the link follows it).
  await page.locator('.cm-line').nth(5).click();
  await page.keyboard.press('End');
  await page.keyboard.press('ArrowLeft');
  for (let i = 0; i < 10; i += 1) {
    await page.keyboard.press(i % 2 ? 'Backspace' : '1');
    await page.waitForTimeout(1500);
    await ready();
  }
  for (let i = 0; i < 20; i += 1) await page.keyboard.press('ArrowDown');
  await page.waitForTimeout(500);
  const longest = await page.evaluate(() => window.longestTask);
  console.log(`${count} C lines, ${instructions} instructions: longest main-thread task ${longest.toFixed(0)} ms`);
} finally {
  await context.close();
  server.close();
  rmSync(work, { recursive: true, force: true });
}
