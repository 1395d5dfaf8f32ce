// The engine's home in the page: a worker, so that a long run never freezes
// the page. Runs go in slices; between slices the worker reads its messages,
// so a Stop (or any newer command) ends a run at the next slice.
/* global createMirvoEngine, importScripts */
import { Engine, Outcome } from './engine.js';

const kSlice = 1 << 21; // steps between looks at the message queue
const kProgressEvery = 50; // ms between progress messages

let engine = null;
let generation = 0; // bumped by every command; a run of an older one stops
const ready = (async () => {
  importScripts('mirvo-engine.js');
  const response = await fetch('mirvo-engine.wasm');
  engine = await Engine.create(createMirvoEngine, new Uint8Array(await response.arrayBuffer()));
})();

// Lets queued messages in (faster than setTimeout, which clamps to 4 ms).
function yieldToMessages() {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve();
    channel.port2.postMessage(null);
  });
}

function postState(reason, extra = {}) {
  const state = engine.state();
  state.next = engine.disassemble(state.pc);
  postMessage({ type: 'state', reason, state, ...extra }, [state.memory.buffer]);
}

// Runs until the outcome is no longer "running" or the run has taken
// target steps; reports progress; gives up when a newer command arrives.
async function runTo(target, breakpoints, mine) {
  let skipFirst = true;
  let lastReport = performance.now();
  for (;;) {
    const steps = engine.state().steps;
    const budget = Math.min(kSlice, target - steps);
    if (budget <= 0) return Outcome.running;
    const outcome = engine.resume(budget, breakpoints, skipFirst);
    skipFirst = false;
    if (outcome !== Outcome.running) return outcome;
    const now = performance.now();
    if (now - lastReport > kProgressEvery) {
      lastReport = now;
      postMessage({ type: 'progress', steps: engine.state().steps });
    }
    await yieldToMessages();
    if (generation !== mine) return null;
  }
}

const commands = {
  assemble({ source, id }) {
    const result = engine.assemble(source);
    postMessage({ type: 'assembled', id, ...result }, [result.image.buffer]);
  },
  load({ image, name }) {
    const status = engine.load(image);
    postState('load', { status, refusal: status === 0 ? '' : engine.imageError(status, name) });
  },
  reset() {
    engine.restart();
    postState('reset');
  },
  breakpoints({ addresses }) {
    engine.setBreakpoints(addresses);
  },
  async run({ fromStart, mine }) {
    if (fromStart) engine.restart();
    const outcome = await runTo(Infinity, true, mine);
    if (outcome !== null) postState('run', { breakpoint: outcome === Outcome.breakpoint });
  },
  step() {
    engine.resume(1);
    postState('step');
  },
  async stepBack({ mine }) {
    // Exact by construction: the same run from the start, one step short.
    const target = engine.state().steps - 1;
    if (target < 0) return postState('step');
    engine.restart();
    const outcome = await runTo(target, false, mine);
    if (outcome !== null) postState('step');
  },
  stop() {
    postState('stop');
  },
  stateMap({ imagePath }) {
    const bytes = engine.stateMap(imagePath);
    postMessage({ type: 'stateMap', bytes }, [bytes.buffer]);
  },
};

const kQuiet = new Set(['assemble', 'breakpoints', 'stateMap']);

self.onmessage = async (event) => {
  const message = event.data;
  // Commands that change the machine end a run in progress.
  if (!kQuiet.has(message.type)) generation += 1;
  message.mine = generation;
  try {
    await ready;
    await commands[message.type](message);
  } catch (error) {
    postMessage({ type: 'failure', message: String(error) });
  }
};
