// Builds the static site: bundles the page and its worker with esbuild and
// puts them beside index.html, the styles, the engine (.js and .wasm), the
// examples, the exercises and the web app manifest; then moves all of it but
// index.html into v/<version>/ (the version: a hash of the files) and adds
// the service worker that keeps that version for offline use.
//   node build.mjs [wasm folder] [site folder]
import { createHash } from 'node:crypto';
import { createRequire } from 'node:module';
import {
  copyFileSync,
  existsSync,
  mkdirSync,
  readFileSync,
  readdirSync,
  renameSync,
  rmSync,
  writeFileSync,
} from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import * as esbuild from 'esbuild';

import { Engine } from './src/engine.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..');
const wasmDir = path.resolve(process.argv[2] ?? path.join(root, 'build/wasm/web'));
const siteDir = path.resolve(process.argv[3] ?? path.join(root, 'build/web'));

// The examples: examples/*.asm, those the build generates into the
// engine's build tree (the checked-in copy wins), and the C ones,
// examples/c/*.c.
function exampleFiles() {
  const found = new Map();
  const folders = [path.join(root, 'examples'), path.join(wasmDir, '..', 'examples'), path.join(root, 'examples/c')];
  for (const folder of folders) {
    let names = [];
    try {
      names = readdirSync(folder);
    } catch {
      continue;
    }
    for (const name of names.sort()) {
      if (/\.(asm|c)$/.test(name) && !found.has(name)) found.set(name, path.join(folder, name));
    }
  }
  return found;
}

// An example's title: the words after "name.asm:" on its first line; a C
// example's, "C: " and the first words of its first comment.
function titleOf(text, name) {
  const first = text.split('\n', 1)[0];
  if (name.endsWith('.c')) return `C: ${/^\/\/\s*(.*?)[:.,]/.exec(first)?.[1] ?? name}`;
  const match = new RegExp(`^;\\s*${name.replace('.', '\\.')}:\\s*(.*?)\\.?\\s*$`).exec(first);
  return match ? match[1] : '';
}

// A fresh folder beside the old one, renamed into place at the end, so a
// failed build leaves the last good site alone.
const staging = `${siteDir}.new`;
rmSync(staging, { recursive: true, force: true });
mkdirSync(path.join(staging, 'examples'), { recursive: true });
mkdirSync(path.join(staging, 'exercises'), { recursive: true });

const common = { bundle: true, minify: true, target: 'es2020', legalComments: 'none', logLevel: 'warning' };
await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'src/main.js')],
  outfile: path.join(staging, 'playground.js'),
  format: 'esm',
});
await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'src/worker.js')],
  outfile: path.join(staging, 'playground-worker.js'),
  format: 'iife',
});
await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'src/playground.css')],
  outfile: path.join(staging, 'playground.css'),
});
for (const name of ['index.html', 'manifest.webmanifest', 'icon.svg']) {
  copyFileSync(path.join(here, name), path.join(staging, name));
}
for (const name of ['mirvo-engine.js', 'mirvo-engine.wasm', 'mirvo-full.js', 'mirvo-full.wasm']) {
  copyFileSync(path.join(wasmDir, name), path.join(staging, name));
}
const examples = [];
for (const [name, file] of exampleFiles()) {
  const text = readFileSync(file, 'utf8');
  writeFileSync(path.join(staging, 'examples', name), text);
  examples.push({ name, title: titleOf(text, name) });
}
writeFileSync(path.join(staging, 'examples/index.json'), `${JSON.stringify(examples)}\n`);

// The exercises that ship, for the Exercises menu: each as a learner's link
// carries it (the engine leaves out the hidden cases, the solution and the
// wrong programs, as mirvo link does), and its title for the menu.
const engine = await Engine.create(
  createRequire(import.meta.url)(path.join(wasmDir, 'mirvo-full.js')),
  readFileSync(path.join(wasmDir, 'mirvo-full.wasm')),
);
const exercises = [];
for (const name of readdirSync(path.join(root, 'exercises')).sort()) {
  if (!name.endsWith('.toml')) continue;
  const text = engine.learnerExercise(readFileSync(path.join(root, 'exercises', name), 'utf8'));
  if (text === '') throw new Error(`exercises/${name} cannot be read: mirvo link names the mistake`);
  writeFileSync(path.join(staging, 'exercises', name), text);
  exercises.push({ name, title: /^title\s*=\s*"(.*)"\s*$/m.exec(text)?.[1] ?? name });
}
writeFileSync(path.join(staging, 'exercises/index.json'), `${JSON.stringify(exercises)}\n`);
// The site's files, as paths relative to folder with "/" between names.
function filesUnder(folder, prefix = '') {
  return readdirSync(folder, { withFileTypes: true }).flatMap((entry) =>
    entry.isDirectory()
      ? filesUnder(path.join(folder, entry.name), `${prefix}${entry.name}/`)
      : [`${prefix}${entry.name}`],
  );
}

// One version for the files of this build: a new build with any file changed
// gets a new folder, so no page ever mixes files of two builds.
const files = filesUnder(staging).sort();
const hash = createHash('sha256');
for (const file of files) hash.update(`${file}\0`).update(readFileSync(path.join(staging, file)));
const version = hash.digest('hex').slice(0, 12);
const versionDir = `v/${version}`;
const versioned = [];
for (const file of files) {
  if (file === 'index.html') continue;
  const target = path.join(staging, versionDir, file);
  mkdirSync(path.dirname(target), { recursive: true });
  renameSync(path.join(staging, file), target);
  versioned.push(`${versionDir}/${file}`);
}
// The folders the files came from are empty now.
for (const entry of readdirSync(staging, { withFileTypes: true })) {
  if (entry.isDirectory() && entry.name !== 'v') rmSync(path.join(staging, entry.name), { recursive: true });
}
// The full engine, which a visit loads when it first compiles C or opens an
// exercise: the service worker keeps it then rather than on its install, so
// that a first visit does not fetch it.
const loadedWhenNeeded = new Set(['mirvo-full.js', 'mirvo-full.wasm']);
// The page finds every file of its version through its base address.
const page = readFileSync(path.join(staging, 'index.html'), 'utf8');
writeFileSync(
  path.join(staging, 'index.html'),
  page.replace('<meta charset="utf-8">', `$&\n<base href="${versionDir}/">`),
);
await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'src/sw.js')],
  outfile: path.join(staging, 'sw.js'),
  format: 'iife',
  define: {
    SITE_VERSION: JSON.stringify(version),
    SITE_FILES: JSON.stringify(['./', ...versioned.filter((file) => !loadedWhenNeeded.has(path.basename(file)))]),
  },
});

const old = `${siteDir}.old`;
rmSync(old, { recursive: true, force: true });
if (existsSync(siteDir)) renameSync(siteDir, old);
renameSync(staging, siteDir);
rmSync(old, { recursive: true, force: true });
console.log(`site: ${path.relative(process.cwd(), siteDir) || '.'} (version ${version})`);
