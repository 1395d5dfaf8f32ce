// Offline after one visit, and a new build taking over on the next visit
// with no file of the old one: chromium with its own profile and a server
// that goes away.
import assert from 'node:assert/strict';
import { cpSync, mkdtempSync, readFileSync, readdirSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, test } from 'node:test';

import { serveSite } from '../tools/serve.mjs';
import { launchChromium, siteDir } from './support.mjs';

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-offline-'));
let context;
after(async () => {
  await context?.close();
  rmSync(work, { recursive: true, force: true });
});

const versionOf = (site) => readdirSync(path.join(site, 'v'))[0];

// The built site again under another version: as a new build looks to a
// browser that has the old one.
function nextBuild(site, folder) {
  cpSync(site, folder, { recursive: true });
  const old = versionOf(folder);
  const fresh = `${old.slice(0, -4)}beef`;
  renameSync(path.join(folder, 'v', old), path.join(folder, 'v', fresh));
  for (const file of ['index.html', 'sw.js']) {
    const text = readFileSync(path.join(folder, file), 'utf8');
    writeFileSync(path.join(folder, file), text.replaceAll(old, fresh));
  }
  return fresh;
}

async function stop(server) {
  server.closeAllConnections();
  await new Promise((resolve) => server.close(resolve));
}

// Polls fn in the page (it may be async) until it returns true.
async function until(page, fn, arg, what) {
  for (let tries = 0; tries < 300; ++tries) {
    if (await page.evaluate(fn, arg)) return;
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.fail(`waited in vain for ${what}`);
}

// Until the page is controlled by a service worker whose cache holds
// version (and no other).
const cachedOnly = (page, version) =>
  until(
    page,
    async (v) =>
      navigator.serviceWorker.controller?.state === 'activated' && (await caches.keys()).join() === `mirvo-site-${v}`,
    version,
    `the cache of ${version} alone`,
  );

// The page's version, and every file it loaded that is not of that version.
async function versionsInUse(page) {
  return page.evaluate(() => {
    const version = /\/v\/([0-9a-f]+)\/$/.exec(document.baseURI)[1];
    const strays = performance
      .getEntriesByType('resource')
      .map((entry) => new URL(entry.name).pathname)
      .filter((file) => !file.startsWith(`/v/${version}/`) && file !== '/sw.js');
    return { version, strays };
  });
}

async function runs(page) {
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]');
  await page.locator('[data-testid="run"]').click();
  await page.waitForSelector('[data-testid="outcome"][data-state="done"]');
  return page.locator('[data-testid="outcome"]').textContent();
}

test('after one visit the page opens and runs offline; the next build replaces it whole', async () => {
  const first = versionOf(siteDir);
  let server = await serveSite(siteDir, 0);
  const { port } = server.address();
  const base = `http://127.0.0.1:${port}/`;
  context = await launchChromium(path.join(work, 'profile'));
  let page = context.pages()[0] ?? (await context.newPage());

  await page.goto(base);
  await cachedOnly(page, first);
  await stop(server);
  await context.setOffline(true);
  await page.reload();
  assert.equal(await runs(page), 'Halted by the RET at 000Ch.');
  assert.deepEqual(await versionsInUse(page), { version: first, strays: [] });
  // The compiler comes with the full engine, fetched when first used: a
  // visit that never wrote C has not kept it, and says so.
  await page.selectOption('[data-testid="language"]', 'c');
  await page.waitForSelector('[data-testid="outcome"][data-state="error"]');
  assert.match(
    await page.locator('[data-testid="outcome"]').textContent(),
    /^The C compiler and the exercise reader could not be fetched \(.+\): they are fetched when first used/,
  );
  // The machine is the assembly's, marked so, and nothing runs it as the C.
  assert.equal(await page.locator('#stale').isVisible(), true);
  assert.equal(await page.locator('[data-testid="step-instruction"]').isEnabled(), false);
  await page.selectOption('[data-testid="language"]', 'asm');
  assert.equal(await runs(page), 'Halted by the RET at 000Ch.');

  // A new build on the host: the next visit is all of it.
  const second = nextBuild(siteDir, path.join(work, 'next'));
  server = await serveSite(path.join(work, 'next'), port);
  await context.setOffline(false);
  await page.close();
  page = await context.newPage();
  await page.goto(base);
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]');
  assert.deepEqual(await versionsInUse(page), { version: second, strays: [] });
  await until(
    page,
    async () => (await navigator.serviceWorker.getRegistration()).waiting !== null,
    null,
    'the new build',
  );

  // Once no page holds the old build, the new one is what works offline. The
  // waiting worker takes over only in a moment with no page open, which a
  // busy machine may need more than one visit to give it.
  for (let visit = 0; ; ++visit) {
    await page.close();
    await new Promise((resolve) => setTimeout(resolve, 1000));
    page = await context.newPage();
    await page.goto(base);
    const caches = await page.evaluate(async () => (await globalThis.caches.keys()).join());
    if (caches === `mirvo-site-${second}` || visit === 20) break;
  }
  await cachedOnly(page, second);
  await stop(server);
  await context.setOffline(true);
  await page.reload();
  assert.equal(await runs(page), 'Halted by the RET at 000Ch.');
  assert.deepEqual(await versionsInUse(page), { version: second, strays: [] });
});
