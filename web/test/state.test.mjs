// The page's state module under Node: the session over the engine in
// WebAssembly, and the page model fed with the session's snapshots.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { PageModel, Session } from '../src/state.js';
import { createEngine, longRun, nativeBin, root, solutionOf } from './support.mjs';

const sum = readFileSync(path.join(root, 'examples/sum.asm'), 'utf8');
let session;
const work = mkdtempSync(path.join(tmpdir(), 'mirvo-state-'));
before(async () => {
  // As the page's worker has it: the engine every visit loads, and the full
  // engine for C and exercises.
  session = new Session(await createEngine('mirvo-engine'), await createEngine());
});
after(() => rmSync(work, { recursive: true, force: true }));

// Loads source and returns the loaded session.
function loaded(source) {
  const { ok, image } = session.assemble(source);
  assert.ok(ok);
  assert.equal(session.load(image, 'p.bin').status, 0);
  return session;
}

// Drains one of the session's slice generators; its outcome.
function finish(slices) {
  for (;;) {
    const { done, value } = slices.next();
    if (done) return value;
  }
}

test('the highlighter classes words as the assembler reads them', () => {
  const rows = [
    ['MOV', 0, 'mnemonic'],
    ['mov', 0, 'mnemonic'],
    ['Mvi', 0, 'mnemonic'],
    ['NOP', 0, 'invalid'],
    ['A', 1, 'operand'],
    ['a', 1, 'invalid'],
    ['M', 1, 'invalid'],
    ['Mem', 1, 'operand'],
    ['mEM', 2, 'operand'],
    ['0F0h', 2, 'number'],
    ['-1h', 2, 'number'],
    ['0X1Ah', 2, 'number'],
    ['12zzh', 2, 'invalid'],
    ['5', 2, 'invalid'],
  ];
  const { vocabulary } = session;
  assert.deepEqual(
    rows.map(([word, index]) => [word, index, vocabulary.wordClass(word, index)]),
    rows,
  );
  assert.ok(session.assemble('mov A, B\nmvi mem, 1h\nRET\n').ok);
});

// Whether mirvo check, whose expectations read numbers as the language does,
// reads text as address: its program stores 7h there and [text]=7h is
// expected. null for an address it must refuse (exit 64).
function nativeReads(text, address) {
  const { vocabulary } = session;
  const at = address ?? 0;
  const file = path.join(work, 'store.asm');
  const high = vocabulary.byte(at >> 8);
  writeFileSync(file, `MVI A, 7h\nMVI H, ${high}\nMVI L, ${vocabulary.byte(at & 0xff)}\nMOV Mem, A\nRET\n`);
  try {
    execFileSync(path.join(nativeBin, 'mirvo'), ['check', file, '--expect', `[${text}]=7h`], { stdio: 'pipe' });
    return address;
  } catch (error) {
    return error.status === 64 ? null : 'another address';
  }
}

test('the address boxes read a number as the language does, or without its h', () => {
  const rows = [
    ['1000h', 0x1000],
    ['0x1000h', 0x1000],
    ['0X1aBh', 0x1ab],
    ['+20h', 0x20],
    ['0FFFFh', 0xffff],
    ['00000005h', 5],
    ['10000h', null],
    ['-1h', null],
    ['-0h', null],
    ['1000H', null],
    ['12zzh', null],
    ['h', null],
    // Without the h: the one thing the boxes take that the language does not.
    ['1000', 0x1000],
    ['0x1000', 0x1000],
    ['FFFF', 0xffff],
    ['5', 5],
    [' 12 ', 0x12],
    ['10000', null],
    ['-5', null],
    ['12 34', null],
    ['0x', null],
    ['', null],
  ];
  const { vocabulary } = session;
  assert.deepEqual(
    rows.map(([text]) => [text, vocabulary.readAddress(text)]),
    rows,
  );
  // Written with its h, each reads in mirvo as in the page.
  for (const [text, address] of rows) {
    const word = text.trim();
    if (word === '' || word.includes(' ')) continue;
    const written = word.endsWith('h') || word.endsWith('H') ? word : `${word}h`;
    assert.equal(nativeReads(written, address), address, written);
  }
  assert.equal(nativeReads('1000', 0x1000), null, 'mirvo wants the h');
  assert.deepEqual(
    [0xc, 0x1000, 0xffff].map((address) => vocabulary.address(address)),
    ['000Ch', '1000h', 'FFFFh'],
  );
});

test('each step hands over what it changed, and the history keeps the records', () => {
  loaded(sum);
  const rows = [
    [1, 'MVI A, 0F0h', { A: { before: 0, after: 240 } }],
    [2, 'MVI B, 20h', { B: { before: 0, after: 32 } }],
    [3, 'ADD B', { A: { before: 240, after: 16 } }],
    [4, 'MVI H, 10h', { H: { before: 0, after: 16 } }],
    [5, 'MVI L, 00h', {}],
    [6, 'MOV Mem, A', { memory: { address: 0x1000, before: 0, after: 16 } }],
    [7, 'ADD Mem', { A: { before: 16, after: 32 } }],
    [8, 'CMP B', { Z: { before: 0, after: 1 } }],
    [9, 'RET', {}],
  ];
  const seen = rows.map(() => {
    session.step();
    const { lastStep } = session.snapshot();
    return [lastStep.step, lastStep.text, lastStep.changes];
  });
  assert.deepEqual(seen, rows);
  assert.deepEqual(
    session.history.map((record) => record.step),
    rows.map(([step]) => step),
  );
  const model = new PageModel();
  model.engineReady(session.vocabulary.json);
  model.stateReceived({ reason: 'step', state: session.snapshot() });
  assert.deepEqual(model.outcomeLine, { kind: 'done', words: 'Halted by the RET at 000Ch.' });
  assert.equal(model.controls.step, false);
});

test('a step back shows the state one step short, and the run goes on from any step', () => {
  loaded(sum);
  for (let i = 0; i < 7; ++i) session.step();
  session.stepBack();
  const back = session.snapshot();
  assert.deepEqual(
    [back.steps, back.runSteps, back.pc, back.lastStep.step, back.lastStep.text],
    [6, 7, 10, 6, 'MOV Mem, A'],
  );
  session.restart();
  assert.equal(finish(session.run({ target: 6 })), 'running');
  const again = session.snapshot();
  assert.deepEqual([again.registers, again.flags, again.memory], [back.registers, back.flags, back.memory]);
  // Back at step 2, Run goes to the end as from the start.
  assert.equal(finish(session.run()), 'halt');
  session.goTo(2);
  assert.deepEqual([session.snapshot().steps, session.snapshot().outcome], [2, 'running']);
  assert.equal(finish(session.run()), 'halt');
  assert.deepEqual([session.snapshot().steps, session.snapshot().outcomeText], [9, 'halted by the RET at 000Ch']);
});

test('a run stops before a breakpoint and goes on from it; the page words each pause', () => {
  loaded(sum);
  const model = new PageModel();
  model.engineReady(session.vocabulary.json);
  model.assembled(model.assemblyRequested(), session.assemble(sum));
  session.setBreakpoints(model.breakpointAddresses([12]));
  const pauses = [];
  for (const [breakpoints, reason] of [
    [true, 'run'],
    [true, 'run'],
  ]) {
    const outcome = finish(session.run({ breakpoints, slice: 3 }));
    model.stateReceived({ reason, state: session.snapshot() });
    pauses.push([outcome, model.state.steps, model.outcomeLine.kind, model.outcomeLine.words, model.pcLine]);
  }
  assert.deepEqual(pauses, [
    ['breakpoint', 5, 'paused', 'Stopped before the breakpoint at 0009h (line 12).', 12],
    ['halt', 9, 'done', 'Halted by the RET at 000Ch.', 15],
  ]);
  session.setBreakpoints([]);
});

// The page model alone, on snapshots it is handed: the status line and the
// controls for each situation.
test('the page model words its status and offers the commands that can be given', () => {
  loaded(sum);
  session.step();
  const paused = session.snapshot();
  session.restart();
  const ready = session.snapshot();
  const rows = [
    ['engine loading', (m) => m, 'idle', 'Loading the engine…', ['downloadImage']],
    [
      'ready',
      (m) => m.stateReceived({ reason: 'load', state: ready, refusal: '' }),
      'ready',
      'Ready: press Run or Step.',
      ['run', 'step', 'reset', 'downloadImage', 'downloadMap'],
    ],
    [
      'paused',
      (m) => m.stateReceived({ reason: 'step', state: paused }),
      'paused',
      'Paused at 0002h.',
      ['run', 'step', 'stepBack', 'reset', 'downloadImage', 'downloadMap'],
    ],
    [
      'stopped',
      (m) => m.stateReceived({ reason: 'stop', state: paused }),
      'paused',
      'Stopped by you at 0002h.',
      ['run', 'step', 'stepBack', 'reset', 'downloadImage', 'downloadMap'],
    ],
    [
      'running',
      (m) => {
        m.stateReceived({ reason: 'step', state: paused });
        m.runRequested();
        m.progressed(40);
      },
      'running',
      'Running… 40 steps so far (Esc stops).',
      ['stop', 'downloadImage'],
    ],
    [
      'refused',
      (m) => m.stateReceived({ reason: 'load', state: ready, refusal: 'big.bin is larger than 65536 bytes' }),
      'error',
      'Refused: big.bin is larger than 65536 bytes.',
      [],
    ],
    [
      'source errors',
      (m) => {
        m.stateReceived({ reason: 'load', state: ready });
        m.assembled(m.assemblyRequested(), session.assemble('MVI A\n'));
      },
      'error',
      'The source has errors: fix them to run it.',
      [],
    ],
    [
      'engine failure',
      (m) => m.failed('out of memory'),
      'error',
      'The engine failed: out of memory',
      ['downloadImage'],
    ],
    [
      // Offline before C was first used: nothing runs until a build answers.
      'compiler not fetched',
      (m) => {
        m.stateReceived({ reason: 'load', state: ready });
        m.assemblyRequested();
        m.failed('Failed to fetch', { unfetched: true, build: true });
        m.stateReceived({ reason: 'reset', state: ready });
      },
      'error',
      'The C compiler and the exercise reader could not be fetched (Failed to fetch): they are fetched when ' +
        'first used, and kept for offline use from then on.',
      [],
    ],
    [
      // An image opened while a build was on its way is not replaced by it.
      'upload over a build',
      (m) => {
        const id = m.assemblyRequested();
        m.uploaded(new Uint8Array([0xc9]));
        assert.equal(m.assembled(id, session.assemble(sum)), null);
        m.stateReceived({ reason: 'load', state: ready });
      },
      'ready',
      'Ready: press Run or Step.',
      ['run', 'step', 'reset', 'downloadImage', 'downloadMap'],
    ],
  ];
  for (const [name, events, kind, words, offered] of rows) {
    const model = new PageModel();
    if (name !== 'engine loading') model.engineReady(session.vocabulary.json);
    events(model);
    const controls = Object.keys(model.controls).filter((command) => model.controls[command]);
    assert.deepEqual([name, model.outcomeLine, controls], [name, { kind, words }, offered]);
  }
});

test("the last step's changes mark registers, flags, memory and the program counter", () => {
  loaded(sum);
  for (let i = 0; i < 8; ++i) session.step();
  const model = new PageModel();
  model.engineReady(session.vocabulary.json);
  model.stateReceived({ reason: 'step', state: session.snapshot() });
  assert.deepEqual(
    [...model.registers, ...model.flags].filter(({ changed }) => changed).map(({ name, text }) => [name, text]),
    [['Z', '1']],
  );
  assert.equal(model.registers[0].text, '20h');
  assert.equal(model.lastChange.pc, true);
  session.restart();
  for (let i = 0; i < 6; ++i) session.step();
  model.stateReceived({ reason: 'step', state: session.snapshot() });
  assert.deepEqual([...model.lastChange.addresses], [0x1000]);
});

test("a run's checks at their lines, and the last step in words, for the page", () => {
  const source = 'MVI A, 42h\nMOV Mem, A\nADD B ; mirvo: allow past-end\n';
  loaded(source);
  const model = new PageModel();
  model.engineReady(session.vocabulary.json);
  model.assembled(model.assemblyRequested(), session.assemble(source));
  session.step();
  model.stateReceived({ reason: 'step', state: session.snapshot() });
  assert.equal(model.explanation, 'MVI A, 42h: A = 42h; the flags stay as they were');
  assert.deepEqual(model.checks, []);
  assert.equal(finish(session.run()), 'undefined-opcode');
  model.stateReceived({ reason: 'run', state: session.snapshot() });
  assert.equal(
    model.explanation,
    '00h is no instruction: nothing changes, not even the program counter, so the run stops here',
  );
  assert.deepEqual(
    model.checks.map(({ id, line, words }) => [id, line, words]),
    [
      ['hl-unset', 2, 'Line 2: warning: MOV Mem, A writes the byte at 0000h, but H and L were never set [-Whl-unset]'],
      [
        'code-write',
        2,
        "Line 2: warning: MOV Mem, A changes the program's own byte at 0000h from 3Eh to 42h, in the " +
          'statement on line 1 [-Wcode-write]',
      ],
      [
        'unset-read',
        3,
        'Line 3: warning: ADD B reads B, which was never set: it holds the reset value 00h [-Wunset-read]',
      ],
    ],
  );
  // A step back shows an earlier state: the checks up to that step.
  session.stepBack();
  model.stateReceived({ reason: 'step', state: session.snapshot() });
  assert.deepEqual(
    model.checks.map(({ id }) => id),
    ['hl-unset', 'code-write', 'unset-read'],
  );
  assert.equal(model.explanation, 'ADD B: A = 42h + 00h = 42h; this form leaves the flags as they were');
  session.stepBack();
  session.stepBack();
  model.stateReceived({ reason: 'step', state: session.snapshot() });
  assert.deepEqual(
    model.checks.map(({ id }) => id),
    [],
  );
});

// The yardstick for watches: mirvo's JSON trace of a program's first steps.
function traced(file, steps) {
  let out;
  try {
    out = execFileSync(
      path.join(nativeBin, 'mirvo'),
      ['run', file, '--trace', '--json', '--max-steps', String(steps)],
      {
        maxBuffer: 1 << 30,
        encoding: 'utf8',
      },
    );
  } catch (error) {
    out = error.stdout; // a verdict or the step limit: exit 2, the trace all there
  }
  return out
    .split('\n')
    .filter((line) => line.startsWith('{"step"'))
    .map((line) => JSON.parse(line));
}

// Whether a trace record did what watch watches.
function does(watch, record) {
  if (watch.kind === 'register' || watch.kind === 'flag') return watch.name in record.changes;
  if (watch.kind === 'memory') {
    const store = record.changes.memory;
    return store !== undefined && store.address === watch.address && store.before !== store.after;
  }
  return record.pc === watch.address;
}

test('a watch stops a run after the step the trace shows, and Back to last change finds the one before', () => {
  const longFile = path.join(work, 'long.bin');
  writeFileSync(longFile, longRun());
  const programs = {
    sum: [path.join(root, 'examples/sum.asm'), 9],
    selfmod: [path.join(root, 'examples/selfmod.asm'), 100],
    long: [longFile, 120000],
  };
  const rows = [
    ['sum', { kind: 'register', name: 'A' }],
    ['sum', { kind: 'flag', name: 'Z' }],
    ['sum', { kind: 'memory', address: 0x1000 }],
    ['sum', { kind: 'executed', address: 0x000a }],
    ['sum', { kind: 'register', name: 'C' }], // never
    ['selfmod', { kind: 'register', name: 'L' }],
    ['long', { kind: 'register', name: 'B' }],
    ['long', { kind: 'executed', address: 0x8000 }],
    ['long', { kind: 'flag', name: 'CY' }], // ADD of a register sets no flag
  ];
  const traces = {};
  for (const [name, watch] of rows) {
    const [file, steps] = programs[name];
    traces[name] ??= traced(file, steps);
    const trace = traces[name];
    const firsts = trace.filter((record) => does(watch, record)).map((record) => record.step);
    const bytes =
      name === 'long' ? new Uint8Array(readFileSync(file)) : session.assemble(readFileSync(file, 'utf8')).image;
    assert.equal(session.load(bytes, 'p.bin').status, 0);
    session.setWatches([watch]);
    // Run stops after the first step that did it; Run again after the next.
    const stops = [0, 1].map(() => [finish(session.run({ target: steps, slice: 1000 })), session.snapshot().steps]);
    // From there back to the one before, in slices smaller than the
    // stretch between two checkpoints.
    session.setWatches([]);
    const found = finish(session.backToChange(watch, { slice: 1000 }));
    const end = trace.length; // the steps the run takes, up to steps
    const last = firsts[1] ?? end;
    const expected = [
      [firsts.length > 0 ? 'watchpoint' : stops[0][0], firsts[0] ?? end],
      [firsts.length > 1 ? 'watchpoint' : stops[1][0], last],
    ];
    const earlier = firsts.filter((step) => step < last).at(-1);
    assert.deepEqual(
      [name, watch, stops, found, session.snapshot().steps],
      [name, watch, expected, earlier ? 'found' : 'not-found', earlier ?? last],
    );
  }
});

test('Check: a row per case, mismatches for the visible ones only, and the score', () => {
  const text = readFileSync(path.join(root, 'exercises/05-add.toml'), 'utf8');
  const model = new PageModel();
  model.exerciseOpened(session.openExercise(text));
  assert.equal(model.exerciseView.title, 'Add two bytes');
  assert.equal(model.exerciseView.score, '');
  const rows = [
    [solutionOf(text), '10 / 10', [true, true, true, true, true], []],
    [
      'MVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n',
      '1 / 10',
      [true, false, false, false, false],
      [
        '[1002h] is 0Ch, expected 50h',
        '[1002h] is 0Ch, expected 10h',
        'matches the solution on 256 of 65,536 inputs',
        'smallest failing input [1000h]=00h [1001h]=00h: [1002h] is 0Ch, expected 00h',
      ],
    ],
    ['MVI A, 5\n', '0 / 10', [false, false, false, false, false], Array(4).fill('the source has errors')],
  ];
  for (const [source, score, passes, details] of rows) {
    assert.ok(model.checkRequested());
    assert.equal(model.checkRequested(), false, 'one Check at a time');
    model.checked(session.check(source));
    const view = model.exerciseView;
    assert.equal(view.score, score);
    assert.deepEqual(
      view.cases.map((row) => row.pass),
      passes,
    );
    assert.deepEqual(
      view.cases.map((row) => row.name),
      ['5 + 7', '20h + 30h', '0F0h + 20h wraps', 'case 4 (hidden)', 'every input'],
    );
    assert.deepEqual(
      view.cases.flatMap((row) => row.details),
      details,
    );
  }
  model.editorChanged();
  assert.deepEqual(model.exerciseView.cases, [], 'an edit takes the grade away');
  assert.equal(model.exerciseView.hidden, '', "the teacher's file leaves nothing out");
  const learners = 'title = "t"\ntext = "x"\nhidden_cases = 2\n[[case]]\nname = "a"\nexpect = "A=0"\n';
  model.exerciseOpened(session.openExercise(learners));
  assert.equal(model.exerciseView.hidden, "2 more cases are the teacher's and are not in this link.");
  model.exerciseOpened(session.openExercise('title = 5\n'));
  assert.match(model.exerciseView.error, /^This exercise cannot be read: line 1, column 9: 'title' must be a string/);
  model.exerciseClosed();
  assert.equal(model.exerciseView, null);
});

// mirvo cc's object for a C example at a level, and its image's run as
// mirvo run --trace --json prints it: the steps and the final summary.
function compiledNatively(name, level) {
  const file = path.join(root, 'examples/c', name);
  const image = path.join(work, `${name}-O${level}.bin`);
  const mirvo = path.join(nativeBin, 'mirvo');
  const options = ['-O', String(level), '-o', image, '-S', path.join(work, `${name}.asm`)];
  const compiled = JSON.parse(execFileSync(mirvo, ['cc', file, '--json', ...options], { encoding: 'utf8' }));
  const lines = execFileSync(mirvo, ['run', image, '--trace', '--json', '--explain'], {
    encoding: 'utf8',
    stdio: 'pipe',
  })
    .trim()
    .split('\n')
    .map((line) => JSON.parse(line));
  return { compiled, trace: lines.slice(0, -1), summary: lines.at(-1) };
}

// The page in C over the session: the example compiled, loaded, its
// statements' starts given to the session.
function cModel(name, level) {
  const source = readFileSync(path.join(root, 'examples/c', name), 'utf8');
  const model = new PageModel();
  model.engineReady(session.vocabulary.json);
  model.languageChosen('c');
  const image = model.compiled(model.assemblyRequested(source), session.compile(source, level === 1));
  assert.equal(session.load(image, 'p.bin').status, 0);
  session.setStatementStarts(model.link.starts);
  model.stateReceived({ reason: 'load', state: session.snapshot() });
  return { model, sourceLines: source.split('\n') };
}

test('C goes a statement at a time: forward and back to the steps the trace says, the line and its steps shown', () => {
  for (const name of ['sum.c', 'early.c', 'unrolled.c', 'table.c']) {
    for (const level of [0, 1]) {
      const { compiled, trace, summary } = compiledNatively(name, level);
      const ran = compiled.map.filter((s) => s.end_address > s.first_address);
      const lineOf = (pc) => ran.find((s) => pc >= s.first_address && pc < s.end_address)?.line ?? null;
      // The program counter after each step: the next record's, or the run's end.
      const end = trace.length;
      const pcAfter = (step) => (step < end ? trace[step].pc : summary.pc);
      const atStart = [...Array(end).keys()].filter(
        (step) => step > 0 && ran.some((s) => s.first_address === pcAfter(step)),
      );
      const forward = [...atStart, end].map((step) => [step, lineOf(pcAfter(step))]);
      const backward = [...atStart.reverse(), 0].map((step) => [step, lineOf(pcAfter(step))]);
      const lineSteps = new Map();
      for (const { pc } of trace) {
        if (lineOf(pc) !== null) lineSteps.set(lineOf(pc), (lineSteps.get(lineOf(pc)) ?? 0) + 1);
      }

      const { model, sourceLines } = cModel(name, level);
      const stops = [];
      for (let outcome = 'running'; outcome === 'running';) {
        outcome = finish(session.stepStatement({ slice: 7 }));
        const executed = session.vocabulary.isFinal(outcome) ? [...session.executedCounts()] : undefined;
        model.stateReceived({ reason: 'step', state: session.snapshot(), executed });
        stops.push([model.state.steps, model.cLine]);
      }
      // The last step named by its C line, as the trace's record says.
      const last = trace.at(-1);
      const named = lineOf(last.pc) === null ? '' : `${sourceLines[lineOf(last.pc) - 1].trim()}: `;
      assert.equal(model.explanation, `${named}${last.explain}`);
      const shownSteps = model.lineSteps;
      // A step back given up between slices leaves the state shown as it was.
      const search = session.stepStatementBack({ slice: 1 });
      assert.equal(search.next().done, false);
      search.return();
      assert.equal(session.snapshot().steps, end);
      const backs = [];
      while (session.snapshot().steps > 0) {
        finish(session.stepStatementBack({ slice: 5 }));
        model.stateReceived({ reason: 'back', state: session.snapshot() });
        backs.push([model.state.steps, model.cLine]);
      }
      assert.deepEqual([name, level, stops, backs, shownSteps], [name, level, forward, backward, lineSteps]);
    }
  }
});

test("Run stops before each trip of an unrolled loop's line with a breakpoint", () => {
  const { model } = cModel('unrolled.c', 1);
  // Run stops before each trip's first statement on line 10, and goes on.
  session.setBreakpoints(model.breakpointAddresses([10]));
  const pauses = [];
  for (let outcome = 'breakpoint'; outcome === 'breakpoint';) {
    outcome = finish(session.run({ breakpoints: true }));
    model.stateReceived({ reason: 'run', state: session.snapshot() });
    pauses.push(model.cLine);
  }
  session.setBreakpoints([]);
  assert.deepEqual(pauses, [...Array(8).fill(10), null]);
});

// In C the page model links each C statement to the instructions mirvo cc
// --json maps it to: the generated view's instructions placed at their
// addresses are cc's image, a C line's breakpoints are at its statements'
// first instructions, the machine's line at each address is the map's, and the
// link's next statement goes through the lines that compiled to code.
test('in C the page model links each statement to its instructions as mirvo cc --json maps them', () => {
  const folder = path.join(root, 'examples/c');
  const names = readdirSync(folder).filter((name) => name.endsWith('.c'));
  for (const name of names) {
    for (const optimise of [true, false]) {
      const label = `${name} ${optimise ? '-O1' : '-O0'}`;
      const source = readFileSync(path.join(folder, name), 'utf8');
      const args = [
        'cc',
        '--json',
        '-O',
        optimise ? '1' : '0',
        '-S',
        path.join(work, 'c.asm'),
        path.join(folder, name),
      ];
      const printed = JSON.parse(execFileSync(path.join(nativeBin, 'mirvo'), args, { encoding: 'utf8' }));
      const model = new PageModel();
      model.languageChosen('c');
      const id = model.assemblyRequested(source);
      const result = session.compile(source, optimise);
      assert.notEqual(model.compiled(id, result), null, label);
      const { link } = model;

      const placed = [];
      for (const { address, bytes } of link.instructions) bytes.forEach((b, i) => (placed[address + i] = b));
      assert.deepEqual(placed, printed.image, label);

      const spans = printed.map.filter((s) => s.end_address > s.first_address);
      const lineAt = (address) => spans.find((s) => address >= s.first_address && address < s.end_address)?.line;
      for (const { address, cLine } of link.instructions) {
        assert.equal(cLine, lineAt(address) ?? null, `${label} at ${address}`);
        assert.equal(model.lineOfAddress.get(address), lineAt(address), `${label} at ${address}`);
      }
      const lines = [...new Set(spans.map((s) => s.line))].sort((a, b) => a - b);
      // A line's breakpoints: the first address of each statement on it.
      assert.deepEqual(
        model.breakpointAddresses(lines),
        lines.flatMap((line) => spans.filter((s) => s.line === line).map((s) => s.first_address)),
        label,
      );
      for (const line of lines) {
        const wanted = link.instructions.filter((i) => lineAt(i.address) === line);
        assert.deepEqual(
          link.instructionsOfLine(line).map((index) => link.instructions[index]),
          wanted,
          `${label} line ${line}`,
        );
      }
      // F8 from nowhere goes to the first line, then each in turn, and round.
      const visited = [];
      for (let i = 0; i <= lines.length; i += 1) {
        model.cursorMoved(model.nextLinkLine());
        visited.push(model.linkedLine);
      }
      assert.deepEqual(visited, [...lines, lines[0]], label);
      model.cursorMoved(lines[0]);
      assert.equal(model.nextLinkLine(true), lines.at(-1), label);
    }
  }
});
