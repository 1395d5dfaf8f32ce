// Prints what a first visit to the built site transfers: chromium, with an
// empty profile, opens the page from a local server, which notes every file
// asked for until the page is ready and the service worker holds the build.
// Each file counts once, at its size compressed with gzip at level 9 (as a
// server compresses it); the total is the figure README states.
//   node page-size.mjs [site folder] [--limit KB]
// With --limit the script fails when the total is over that many KB
// (1 KB = 1,000 bytes).
import { mkdtempSync, readFileSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';

import { launchChromium } from './chromium.mjs';

import { resolveRequest, serveSite } from './serve.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const args = process.argv.slice(2);
const limitAt = args.indexOf('--limit');
const limit = limitAt >= 0 ? Number(args.splice(limitAt, 2)[1]) : null;
const siteDir = path.resolve(args[0] ?? path.join(here, '../../build/web'));

// How many times each file was asked for, by its path in the site.
const asked = new Map();
const server = await serveSite(siteDir, 0);
server.on('request', (request) => {
  const file = resolveRequest(siteDir, request.url);
  if (typeof file !== 'string') return;
  const name = path.relative(
    siteDir,
    statSync(file, { throwIfNoEntry: false })?.isDirectory() ? path.join(file, 'index.html') : file,
  );
  asked.set(name, (asked.get(name) ?? 0) + 1);
});

const profile = mkdtempSync(path.join(tmpdir(), 'mirvo-page-size-'));
const context = await launchChromium(profile);
try {
  const page = context.pages()[0] ?? (await context.newPage());
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  await page.waitForSelector('[data-testid="outcome"][data-state="ready"]', { timeout: 60000 });
  // The service worker's install has fetched all it keeps once its cache is
  // the only one and it controls the page.
  await page.waitForFunction(
    async () => navigator.serviceWorker.controller?.state === 'activated' && (await caches.keys()).length === 1,
    null,
    { timeout: 60000, polling: 100 },
  );
  await page.waitForLoadState('networkidle');
} finally {
  await context.close();
  server.closeAllConnections();
  server.close();
  rmSync(profile, { recursive: true, force: true });
}

const rows = [...asked]
  .map(([name, times]) => {
    const bytes = readFileSync(path.join(siteDir, name));
    return {
      name: name.replace(/^v\/[0-9a-f]+\//, 'v/<hash>/'),
      times,
      size: bytes.length,
      gzip: gzipSync(bytes, { level: 9 }).length,
    };
  })
  .sort((a, b) => b.gzip - a.gzip || a.name.localeCompare(b.name));
const kb = (bytes) => (bytes / 1000).toFixed(1).padStart(7);
console.log('   gzip KB    file KB  asked  file');
for (const row of rows)
  console.log(`   ${kb(row.gzip)}    ${kb(row.size)}  ${String(row.times).padStart(5)}  ${row.name}`);
const total = rows.reduce((sum, row) => sum + row.gzip, 0);
const plain = rows.reduce((sum, row) => sum + row.size, 0);
console.log(`   ${kb(total)}    ${kb(plain)}         first visit: ${rows.length} files, ${total} bytes gzip`);
if (limit !== null && total > limit * 1000) {
  console.error(`over the limit of ${limit} KB by ${((total - limit * 1000) / 1000).toFixed(1)} KB`);
  process.exitCode = 1;
}
