// Builds the static site: bundles the page and its worker with esbuild and
// puts them beside index.html, the styles, the engine (.js and .wasm), the
// examples and the exercises.
//   node build.mjs [wasm folder] [site folder]
import { copyFileSync, existsSync, mkdirSync, readFileSync, readdirSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

import * as esbuild from 'esbuild';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '..');
const wasmDir = path.resolve(process.argv[2] ?? path.join(root, 'build/wasm/web'));
const siteDir = path.resolve(process.argv[3] ?? path.join(root, 'build/web'));

// The examples: examples/*.asm, and those the build generates into the
// engine's build tree (the checked-in copy wins).
function exampleFiles() {
  const found = new Map();
  for (const folder of [path.join(root, 'examples'), path.join(wasmDir, '..', 'examples')]) {
    let names = [];
    try {
      names = readdirSync(folder);
    } catch {
      continue;
    }
    for (const name of names.sort()) {
      if (name.endsWith('.asm') && !found.has(name)) found.set(name, path.join(folder, name));
    }
  }
  return found;
}

// An example's title: the words after "name.asm:" on its first line.
function titleOf(text, name) {
  const first = text.split('\n', 1)[0];
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
copyFileSync(path.join(here, 'index.html'), path.join(staging, 'index.html'));
for (const name of ['mirvo-engine.js', 'mirvo-engine.wasm']) {
  copyFileSync(path.join(wasmDir, name), path.join(staging, name));
}
const examples = [];
for (const [name, file] of exampleFiles()) {
  const text = readFileSync(file, 'utf8');
  writeFileSync(path.join(staging, 'examples', name), text);
  examples.push({ name, title: titleOf(text, name) });
}
writeFileSync(path.join(staging, 'examples/index.json'), `${JSON.stringify(examples)}\n`);

// The exercises that ship, for the Exercises menu: each file as it is, and
// its title for the menu (the engine reads the whole file when it opens).
const exercises = [];
for (const name of readdirSync(path.join(root, 'exercises')).sort()) {
  if (!name.endsWith('.toml')) continue;
  const text = readFileSync(path.join(root, 'exercises', name), 'utf8');
  writeFileSync(path.join(staging, 'exercises', name), text);
  exercises.push({ name, title: /^title\s*=\s*"(.*)"\s*$/m.exec(text)?.[1] ?? name });
}
writeFileSync(path.join(staging, 'exercises/index.json'), `${JSON.stringify(exercises)}\n`);

const old = `${siteDir}.old`;
rmSync(old, { recursive: true, force: true });
if (existsSync(siteDir)) renameSync(siteDir, old);
renameSync(staging, siteDir);
rmSync(old, { recursive: true, force: true });
console.log(`site: ${path.relative(process.cwd(), siteDir) || '.'}`);
