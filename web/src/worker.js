// The engine's home in the page: a worker, so that a long run never freezes
// the page. It holds the Session (state.js) and answers the page's commands
// with snapshots. Runs go in slices; between slices the worker reads its
// messages, so a Stop (or any newer command) ends a run at the next slice.
/* global createMirvoEngine, createMirvoFull, importScripts */
import { Engine } from './engine.js';
import { Session } from './state.js';

const kSlice = 1 << 21; // steps between looks at the message queue
const kProgressEvery = 50; // ms between progress messages
// Steps of a C statement (one a call) between looks at the message queue.
const kStatementSlice = 1 << 14;

let session = null;
let generation = 0; // bumped by every command; a run of an older one stops
let builds = 0; // bumped by each assembly or compile asked for
// An engine built as name.js and name.wasm, whose factory the script defines.
// Both are fetched at once, and the script is run from its text: an
// importScripts of its address would hold every other command until it came.
async function loadEngine(name, factory) {
  const [script, wasm] = await Promise.all([fetch(`${name}.js`), fetch(`${name}.wasm`)]);
  if (!script.ok || !wasm.ok) throw new Error(`${name}: ${script.ok ? wasm.status : script.status}`);
  const url = URL.createObjectURL(new Blob([await script.text()], { type: 'text/javascript' }));
  try {
    importScripts(url);
  } finally {
    URL.revokeObjectURL(url);
  }
  return Engine.create(factory(), new Uint8Array(await wasm.arrayBuffer()));
}

const ready = (async () => {
  session = new Session(await loadEngine('mirvo-engine', () => createMirvoEngine), null);
  postMessage({ type: 'ready', vocabulary: session.vocabulary.json });
})();

// The engine with the C compiler, the exercise reader and grading: most of
// the engine's size, so it is loaded when C is first compiled or an
// exercise first opened or checked.
let fullReady = null;
function withFull() {
  fullReady ??= loadEngine('mirvo-full', () => createMirvoFull).then(
    (engine) => {
      session.full = engine;
    },
    (error) => {
      fullReady = null; // the next use tries again (offline, say)
      throw Object.assign(new Error(error?.message ?? String(error)), { unfetched: true });
    },
  );
  return fullReady;
}

// Lets queued messages in (faster than setTimeout, which clamps to 4 ms).
function yieldToMessages() {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve();
    channel.port2.postMessage(null);
  });
}

// What a command adds to the state for the page when the run has ended: how
// many times each address ran, as [address, count] pairs (null for a run too
// long to count), when the program is C.
function ended(outcome) {
  if (!session.vocabulary.isFinal(outcome) || session.statementStarts.size === 0) return {};
  const counts = session.executedCounts();
  return { executed: counts === null ? null : [...counts] };
}

function postState(reason, extra = {}) {
  const state = session.snapshot();
  postMessage({ type: 'state', reason, state, ...extra }, [state.memory.buffer]);
}

// Drives one of the session's slice generators, reporting progress between
// slices. The outcome's name, or null when a newer command took over.
async function drive(slices, mine) {
  let lastReport = performance.now();
  for (;;) {
    const { done, value } = slices.next();
    if (done) return value;
    const now = performance.now();
    if (value !== null && now - lastReport > kProgressEvery) {
      lastReport = now;
      postMessage({ type: 'progress', steps: value });
    }
    await yieldToMessages();
    if (generation !== mine) {
      // Its finally blocks run: a search puts back the state it started from.
      slices.return();
      return null;
    }
  }
}

const commands = {
  assemble({ source, id }) {
    const result = session.assemble(source);
    postMessage({ type: 'assembled', id, ...result }, [result.image.buffer]);
  },
  async compile({ source, optimise, id, build }) {
    await withFull();
    // A newer assembly or compile was asked for while the engine came: the
    // page would not take this answer, and building it would make it the
    // program a load goes to.
    if (build !== builds) return;
    const result = session.compile(source, optimise);
    postMessage({ type: 'compiled', id, ...result }, [result.image.buffer]);
  },
  load({ image, name }) {
    postState('load', session.load(image, name));
  },
  reset() {
    session.restart();
    postState('reset');
  },
  breakpoints({ addresses }) {
    session.setBreakpoints(addresses);
  },
  async run({ fromStart, mine }) {
    if (fromStart) session.restart();
    const outcome = await drive(session.run({ slice: kSlice, breakpoints: true }), mine);
    if (outcome !== null) postState('run', ended(outcome));
  },
  step() {
    postState('step', ended(session.step()));
  },
  stepBack() {
    session.stepBack();
    postState('back');
  },
  statements({ starts }) {
    session.setStatementStarts(starts);
  },
  // To the start of the next C statement; after a run that ended, with how
  // many times each address ran, for each C line's steps.
  async stepStatement({ mine }) {
    const outcome = await drive(session.stepStatement({ slice: kStatementSlice }), mine);
    if (outcome !== null) postState('step', ended(outcome));
  },
  async stepStatementBack({ mine }) {
    const step = await drive(session.stepStatementBack({ slice: kStatementSlice >> 4 }), mine);
    if (step !== null) postState('back');
  },
  watches({ watches }) {
    session.setWatches(watches);
  },
  // Back to the last step that changed the watched thing; the state shown
  // stays as it was until it is found, so a Stop leaves the learner's step.
  async backToChange({ watch, mine }) {
    const found = await drive(session.backToChange(watch, { slice: kSlice }), mine);
    if (found !== null) postState('change', { search: { watch, found: found === 'found' } });
  },
  stop() {
    postState('stop');
  },
  async exercise({ text }) {
    await withFull();
    postMessage({ type: 'exercise', ...session.openExercise(text) });
  },
  async check({ source, language, optimise }) {
    await withFull();
    postMessage({ type: 'checked', grade: session.check(source, language, optimise) });
  },
  stateMap({ imagePath }) {
    const bytes = session.stateMap(imagePath);
    postMessage({ type: 'stateMap', bytes }, [bytes.buffer]);
  },
};

const kQuiet = new Set([
  'assemble',
  'compile',
  'statements',
  'breakpoints',
  'watches',
  'stateMap',
  'exercise',
  'check',
]);

self.onmessage = async (event) => {
  const message = event.data;
  // Commands that change the machine end a run in progress.
  if (!kQuiet.has(message.type)) generation += 1;
  message.mine = generation;
  if (message.type === 'assemble' || message.type === 'compile') builds += 1;
  message.build = builds;
  try {
    await ready;
    await commands[message.type](message);
  } catch (error) {
    postMessage({
      type: 'failure',
      message: error?.unfetched ? error.message : String(error),
      unfetched: error?.unfetched === true,
      command: message.type,
    });
  }
};
