// The engine in WebAssembly against the native programs: for every example,
// the same image and a byte-identical state map.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { Outcome } from '../src/engine.js';
import { createEngine, exampleSources, nativeBin } from './support.mjs';

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-web-'));
let engine;
before(async () => {
  engine = await createEngine();
});
after(() => rmSync(work, { recursive: true, force: true }));

// Runs a native program in the work folder; its exit code.
function native(program, args) {
  try {
    execFileSync(path.join(nativeBin, program), args, { cwd: work, stdio: 'pipe' });
    return 0;
  } catch (error) {
    if (typeof error.status !== 'number') throw error;
    return error.status;
  }
}

const exitCodeOf = new Map([
  [Outcome.halted, 0],
  [Outcome.undefinedOpcode, 2],
  [Outcome.loopsForever, 2],
  [Outcome.stepLimit, 2],
]);

for (const [name, file] of exampleSources()) {
  test(`${name}: image and state map match the native programs`, () => {
    const source = readFileSync(file);
    const imageName = name.replace(/\.asm$/, '.bin');
    assert.equal(native('MirvoVMAssembler', [file, imageName]), 0);
    const nativeImage = readFileSync(path.join(work, imageName));
    const assembled = engine.assemble(source.toString('utf8'));
    assert.ok(assembled.ok, JSON.stringify(assembled.diagnostics));
    assert.deepEqual(Buffer.from(assembled.image), nativeImage);

    const exitCode = native('MirvoVM', [imageName]);
    const nativeMap = readFileSync(path.join(work, 'MirvoVMStateMap.txt'));
    assert.equal(engine.load(assembled.image), 0);
    // In slices, as the worker runs it.
    let outcome = Outcome.running;
    while (outcome === Outcome.running) outcome = engine.resume(1 << 20);
    assert.equal(exitCodeOf.get(outcome), exitCode);
    assert.ok(Buffer.from(engine.stateMap(imageName)).equals(nativeMap), 'state maps differ');
  });
}

// Images no assembler makes: the run stops at once, and the map says so.
const images = [
  ['empty.bin', []],
  ['cut-short.bin', [0x3e]],
  ['undefined-byte.bin', [0x3e, 0x05, 0x08, 0xc9]],
];
for (const [imageName, bytes] of images) {
  test(`${imageName}: the state map matches MirvoVM's`, () => {
    writeFileSync(path.join(work, imageName), Buffer.from(bytes));
    const exitCode = native('MirvoVM', [imageName]);
    assert.equal(engine.load(Uint8Array.from(bytes)), 0);
    const outcome = engine.resume(1 << 20);
    assert.equal(exitCodeOf.get(outcome), exitCode);
    assert.ok(Buffer.from(engine.stateMap(imageName)).equals(readFileSync(path.join(work, 'MirvoVMStateMap.txt'))));
  });
}

test('breakpoints stop before their instruction and let the run go on from there', () => {
  const assembled = engine.assemble('MVI A, 1h\nMVI B, 2h\nADD B\nRET\n');
  assert.equal(engine.load(assembled.image), 0);
  engine.setBreakpoints([4]);
  assert.equal(engine.resume(100, true, false), Outcome.breakpoint);
  assert.deepEqual([engine.state().pc, engine.state().steps], [4, 2]);
  assert.equal(engine.resume(100, true, true), Outcome.halted);
  assert.equal(engine.state().registers[7], 3);
  engine.setBreakpoints([]);
});

test('diagnostics carry line, column, severity and the learner\'s words', () => {
  const { ok, diagnostics } = engine.assemble('MVI A, 1h\nMOV A, Q\nMOV Mem, Mem\n');
  assert.equal(ok, false);
  assert.deepEqual(
    diagnostics.map(({ line, column, severity }) => [line, column, severity]),
    [
      [2, 8, 'error'],
      [3, 1, 'warning'],
    ],
  );
  assert.ok(diagnostics.every(({ message }) => message.length > 0));
});
