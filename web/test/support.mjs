// Where the tests find the built engine, the native programs and the examples.
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before } from 'node:test';
import { fileURLToPath } from 'node:url';

import { Engine } from '../src/engine.js';
import { launchChromium } from '../tools/chromium.mjs';
import { serveSite } from '../tools/serve.mjs';

export { launchChromium };

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
// The Makefile passes these; the defaults are the trees `make test` and `make web` build.
export const nativeBin = process.env.MIRVO_BIN_DIR ?? path.join(root, 'build/debug/bin');
export const wasmDir = process.env.MIRVO_WASM_DIR ?? path.join(root, 'build/wasm/web');
export const siteDir = process.env.MIRVO_SITE_DIR ?? path.join(root, 'build/web');

// The examples' sources by name: examples/*.asm, and those the build of the
// native programs generates into its examples/ (another tree's copy may be
// older than the recipe).
export function exampleSources() {
  const found = new Map();
  for (const folder of [path.join(root, 'examples'), path.join(nativeBin, '..', 'examples')]) {
    if (!existsSync(folder)) continue;
    for (const name of readdirSync(folder).sort()) {
      if (name.endsWith('.asm') && !found.has(name)) found.set(name, path.join(folder, name));
    }
  }
  return found;
}

// The model solution an exercise file carries (solution = """...""").
export function solutionOf(text) {
  return /^solution = """\n([\s\S]*?)"""$/m.exec(text)[1];
}

// The engine with the C compiler, the exercise reader and grading
// (mirvo-full), or the one every visit loads (mirvo-engine).
export async function createEngine(name = 'mirvo-full') {
  const require = createRequire(import.meta.url);
  const factory = require(path.join(wasmDir, `${name}.js`));
  return Engine.create(factory, readFileSync(path.join(wasmDir, `${name}.wasm`)));
}

// Where page tests leave their screenshots and logs.
export const artifacts = path.join(root, 'build/web-test');

// A page test's browser, made before its tests and removed after them: a
// scratch folder (work), the built site on a local server (base, its
// address), chromium on a fresh profile (context) and its first tab (page),
// where any uncaught error fails the test. The members are set once the
// before hook has run, which then hands the browser to opened.
export function browserUnderTest(name, opened) {
  const browser = { work: mkdtempSync(path.join(tmpdir(), `mirvo-${name}-`)) };
  let server;
  before(async () => {
    mkdirSync(artifacts, { recursive: true });
    server = await serveSite(siteDir, 0);
    browser.base = `http://127.0.0.1:${server.address().port}/`;
    browser.context = await launchChromium(path.join(browser.work, 'profile'));
    browser.page = browser.context.pages()[0] ?? (await browser.context.newPage());
    browser.page.on('pageerror', (error) => assert.fail(`page error: ${error.message}`));
    opened(browser);
  });
  after(async () => {
    await browser.context?.close();
    server?.close();
    rmSync(browser.work, { recursive: true, force: true });
  });
  return browser;
}

// An image that runs long: six registers as a chain of sums (D += 1,
// C += D, E += C, H += E, L += H, B += L), the rest of memory MOV A, A; its
// repeat is proved after 134,150,145 steps.
export function longRun() {
  const image = Buffer.alloc(65536, 0x7f);
  Buffer.from('3e01825779824f7b815f7c83677d846f788547', 'hex').copy(image);
  return image;
}
