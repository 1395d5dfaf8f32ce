// The engine in WebAssembly against the native programs: for every example,
// the same image and a byte-identical state map; the same JSON of an
// assembly as mirvo asm --json; the same grades as mirvo test.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { createEngine, exampleSources, nativeBin, root, solutionOf } from './support.mjs';

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-web-'));
let engine;
before(async () => {
  engine = await createEngine();
});
after(() => rmSync(work, { recursive: true, force: true }));

// Runs a native program in the work folder; its exit code and output.
function run(program, args) {
  try {
    return { status: 0, stdout: execFileSync(path.join(nativeBin, program), args, { cwd: work, stdio: 'pipe' }) };
  } catch (error) {
    if (typeof error.status !== 'number') throw error;
    return { status: error.status, stdout: error.stdout };
  }
}
const native = (program, args) => run(program, args).status;

// MirvoVM's exit code for a run that ended so: 0 after a halt, else 2.
const exitCodeOf = (outcome) => (engine.vocabulary.outcomes[outcome].name === 'halt' ? 0 : 2);
const running = () => engine.vocabulary.outcomes.findIndex(({ name }) => name === 'running');

for (const [name, file] of exampleSources()) {
  test(`${name}: image and state map match the native programs`, () => {
    const source = readFileSync(file);
    const imageName = name.replace(/\.asm$/, '.bin');
    assert.equal(native('MirvoVMAssembler', [file, imageName]), 0);
    const nativeImage = readFileSync(path.join(work, imageName));
    const assembled = engine.assemble(source.toString('utf8'));
    assert.ok(assembled.ok, JSON.stringify(assembled.assembly.diagnostics));
    assert.deepEqual(Buffer.from(assembled.image), nativeImage);

    const exitCode = native('MirvoVM', [imageName]);
    const nativeMap = readFileSync(path.join(work, 'MirvoVMStateMap.txt'));
    assert.equal(engine.load(assembled.image), 0);
    // In slices, as the worker runs it.
    let outcome = running();
    while (outcome === running()) outcome = engine.resume(1 << 20);
    assert.equal(exitCodeOf(outcome), exitCode);
    assert.ok(Buffer.from(engine.stateMap(imageName)).equals(nativeMap), 'state maps differ');
    // The shipped examples mean what they do: the run-time checks stay quiet.
    assert.deepEqual(engine.checks(), []);

    // Step by step, each step's record is the line mirvo's JSON trace has
    // for it (the explanation is the page's own addition).
    const traced = run('mirvo', ['run', file, '--trace', '--trace-limit', '64', '--json'])
      .stdout.toString('utf8')
      .trim()
      .split('\n')
      .map((line) => JSON.parse(line))
      .filter((line) => 'step' in line);
    assert.ok(traced.length > 0);
    assert.equal(engine.load(assembled.image), 0);
    for (const expected of traced) {
      engine.resume(1);
      const { explain, ...record } = engine.lastStep();
      assert.deepEqual(record, expected);
    }
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
    assert.equal(exitCodeOf(outcome), exitCode);
    assert.ok(Buffer.from(engine.stateMap(imageName)).equals(readFileSync(path.join(work, 'MirvoVMStateMap.txt'))));
  });
}

// The page reads the object mirvo prints: with errors and warnings (no
// image), and clean (mirvo names the image it wrote; the page writes none).
const assemblies = [
  ['errors.asm', 'MVI A, 1h\nMOV A, Q\nmov Mem, Mem\nMVI B, 5\n\u00e9 ; not ASCII\n', null],
  ['clean.asm', 'MVI A, 1h\nADD 20h\nRET\n', 'clean.bin'],
];
for (const [name, source, image] of assemblies) {
  test(`${name}: the page's assembly is mirvo asm --json's`, () => {
    writeFileSync(path.join(work, name), source);
    const printed = JSON.parse(run('mirvo', ['asm', '--json', name]).stdout);
    assert.equal(printed.image, image);
    assert.deepEqual({ ...engine.assemble(source).assembly, image }, printed);
  });
}

// C in the page compiles as mirvo cc does, optimised and at -O0: the same
// object (assembly, image, source map, placements, diagnostics), and the
// image it loads is the one mirvo cc -o writes. A program with mistakes
// gives mirvo cc's diagnostics and no image.
const cSources = readdirSync(path.join(root, 'examples/c'))
  .filter((file) => file.endsWith('.c'))
  .map((file) => [file, readFileSync(path.join(root, 'examples/c', file), 'utf8')]);
cSources.push(['mistakes.c', '#include <mirvo.h>\nvoid main(void) {\n  int x = 1;\n  mem[0x1000] = y;\n}\n']);
for (const [name, source] of cSources) {
  for (const level of ['0', '1']) {
    test(`${name} -O${level}: the page's compilation is mirvo cc --json's`, () => {
      writeFileSync(path.join(work, name), source);
      const result = run('mirvo', ['cc', `-O${level}`, '--json', name]);
      const printed = JSON.parse(result.stdout);
      const compiled = engine.compile(source, level === '1');
      assert.deepEqual(compiled.assembly, printed);
      assert.equal(compiled.ok, result.status === 0);
      assert.deepEqual([...compiled.image], compiled.ok ? printed.image : []);
    });
  }
}

// Check in the page grades as mirvo test does: for every exercise that
// ships, its model solution, a program that only returns and one that reads
// a register it never set get the grade that mirvo test --format json
// prints, the run-time checks of each case and hidden cases withheld alike.
const exercisesDir = path.join(root, 'exercises');
for (const name of readdirSync(exercisesDir).filter((file) => file.endsWith('.toml'))) {
  test(`${name}: Check grades as mirvo test does`, () => {
    const text = readFileSync(path.join(exercisesDir, name), 'utf8');
    const { exercise } = engine.openExercise(text);
    assert.equal(exercise.title, /^title = "(.*)"$/m.exec(text)[1]);
    const programs = [
      ['model.asm', solutionOf(text)],
      ['ret.asm', 'RET\n'],
      ['unset.asm', 'ADD C\nRET\n'],
    ];
    for (const [program, source] of programs) {
      writeFileSync(path.join(work, program), source);
      const args = ['test', path.join(exercisesDir, name), program, '--format', 'json'];
      const { file, ...printed } = JSON.parse(run('mirvo', args).stdout);
      assert.equal(file, program);
      engine.assemble(source);
      assert.deepEqual(engine.check(), printed);
      assert.equal(printed.score === printed.max_score, program === 'model.asm');
      assert.equal(
        printed.cases.some((c) => c.checks.length > 0),
        program === 'unset.asm',
      );
    }
    // The Exercises menu serves the learner's copy that mirvo link gives.
    const link = run('mirvo', ['link', path.join(exercisesDir, name)])
      .stdout.toString()
      .trim();
    const linked = Buffer.from(link.slice(link.indexOf('#ex=') + 4), 'base64url').toString('utf8');
    assert.equal(engine.learnerExercise(text), linked);
    assert.doesNotMatch(linked, /solution|\[\[wrong\]\]|hidden = true/);
  });
}

// The editor's text is UTF-8 to the engine: only the UTF-8 mark can reach it.
test('a byte-order mark is skipped with a warning', () => {
  const marked = engine.assemble('\uFEFFRET\n');
  assert.equal(marked.ok, true);
  assert.deepEqual(
    marked.assembly.diagnostics.map(({ severity, code, line, column }) => [severity, code, line, column]),
    [['warning', 'bom', 1, 1]],
  );
  assert.deepEqual(marked.assembly.statements, [{ line: 1, column: 4, address: 0, bytes: [201] }]);
});

test('an exercise with a mistake is refused with its place', () => {
  assert.deepEqual(engine.openExercise('title = "t"\ntext = "x"\n[[case]]\nname = "a"\nexpect = "A=1 Q=2"\n'), {
    error: {
      line: 5,
      column: 15,
      message:
        "'expect': 'Q=2': 'Q' is none of the registers A B C D E H L, the flags S Z AC P CY, PC, SP or [ADDRESS]",
    },
  });
  assert.equal(engine.check(), null);
});
