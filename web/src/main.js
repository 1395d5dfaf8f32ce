// The page: the editor, the controls and the machine's view. The engine
// lives in a worker (worker.js); this side only sends commands and shows
// the states that come back.
import { SourceEditor } from './editor.js';
import { FlagSlot, Outcome, RegisterCode } from './engine.js';
import { MemoryGrid } from './memory.js';
import { keepOffline } from './offline.js';
import { decodeShare, shareLink } from './share.js';

const kAssembleDelay = 250; // ms after the last keystroke
const hex = (value, digits) => value.toString(16).toUpperCase().padStart(digits, '0');
const $ = (id) => document.getElementById(id);

const worker = new Worker('playground-worker.js');
const page = {
  assembleId: 0,
  image: new Uint8Array(0), // what the machine was loaded with
  fromSource: true, // the image is the editor's assembly (not an upload)
  lineOfAddress: new Map(),
  addressesOfLine: new Map(),
  hasErrors: false,
  refused: false, // the last image was refused: nothing to run
  pending: false, // the editor changed since the last assembly came back
  runAfterLoad: false, // Run was pressed while an assembly was pending
  running: false,
  engineReady: false,
  state: null,
  previous: null,
  initial: null, // the state after the last load or reset
  runFromStart: false,
  breakpointStop: false,
  assembleTimer: 0,
};

// --- the machine's view

const registerCells = new Map();
for (const name of ['A', 'B', 'C', 'D', 'E', 'H', 'L']) {
  const row = document.createElement('tr');
  row.innerHTML = `<th scope="row">${name}</th><td class="hex"></td><td class="dec"></td>`;
  const value = row.querySelector('.hex');
  value.dataset.testid = `reg-${name}`;
  registerCells.set(name, { row, value, decimal: row.querySelector('.dec') });
  $('registers').append(row);
}
const flagCells = new Map();
for (const name of ['S', 'Z', 'AC', 'P', 'CY']) {
  const cell = document.createElement('td');
  cell.innerHTML = `<span class="flag-name">${name}</span> <span class="flag-value" data-testid="flag-${name}"></span>`;
  flagCells.set(name, cell);
  $('flags').append(cell);
}
const memory = new MemoryGrid($('memory'));

function setValue(element, value, text, changed) {
  element.dataset.value = String(value);
  element.textContent = text;
  element.classList.toggle('is-last', changed);
}

function describeOutcome(state, reason) {
  const at = `${hex(state.pc, 4)}h`;
  switch (state.outcome) {
    case Outcome.halted:
    case Outcome.undefinedOpcode:
    case Outcome.loopsForever:
    case Outcome.stepLimit:
      // The engine's words, as mirvo run prints them, as a sentence.
      return ['done', `${state.outcomeText.charAt(0).toUpperCase()}${state.outcomeText.slice(1)}.`];
    default:
      break;
  }
  if (page.breakpointStop) {
    const line = page.fromSource ? page.lineOfAddress.get(state.pc) : undefined;
    return ['paused', `Stopped before the breakpoint at ${at}${line ? ` (line ${line})` : ''}.`];
  }
  if (reason === 'stop') return ['paused', `Stopped by you at ${at}.`];
  if (state.steps === 0) return ['ready', 'Ready: press Run or Step.'];
  return ['paused', `Paused at ${at}.`];
}

function render(reason) {
  const { state, previous } = page;
  const compare = previous !== null && reason !== 'load' && reason !== 'reset';
  for (const [name, cells] of registerCells) {
    const value = state.registers[RegisterCode[name]];
    const changed = compare && previous.registers[RegisterCode[name]] !== value;
    setValue(cells.value, value, `${hex(value, 2)}h`, changed);
    cells.decimal.textContent = String(value);
    cells.row.classList.toggle('is-last', changed);
  }
  for (const [name, cell] of flagCells) {
    const value = state.flags[FlagSlot[name]];
    const changed = compare && previous.flags[FlagSlot[name]] !== value;
    setValue(cell.querySelector('.flag-value'), value, String(value), changed);
  }
  setValue($('pc'), state.pc, `${hex(state.pc, 4)}h`, compare && previous.pc !== state.pc);
  setValue($('sp'), state.sp, `${hex(state.sp, 4)}h`, compare && previous.sp !== state.sp);
  $('steps').textContent = String(state.steps);
  $('next').textContent = state.next;
  const [kind, words] = page.hasErrors
    ? ['error', 'The source has errors: fix them to run it.']
    : describeOutcome(state, reason);
  $('outcome').dataset.state = kind;
  $('outcome').textContent = words;

  const lastChanged = new Set();
  if (compare) {
    for (let address = 0; address < 65536; ++address) {
      if (state.memory[address] !== previous.memory[address]) lastChanged.add(address);
    }
  }
  const hl = state.registers[RegisterCode.H] * 256 + state.registers[RegisterCode.L];
  memory.update({ memory: state.memory, image: page.image, pc: state.pc, hl, lastChanged });
  const line = page.fromSource && !page.hasErrors ? (page.lineOfAddress.get(state.pc) ?? null) : null;
  editor.showPcLine(line);
  updateControls();
keepOffline();
}

function updateControls() {
  const canRun = page.engineReady && !page.hasErrors && !page.refused && !page.running;
  const ended = page.state !== null && page.state.outcome !== Outcome.running;
  $('run').disabled = !canRun;
  $('step').disabled = !canRun || ended;
  $('step-back').disabled = !canRun || page.state === null || page.state.steps === 0;
  $('reset').disabled = !canRun;
  $('stop').disabled = !page.running;
  $('download-image').disabled = page.hasErrors || page.refused;
  $('download-map').disabled = !canRun;
}

// --- talking to the worker

function send(message, transfer = []) {
  worker.postMessage(message, transfer);
}

worker.onmessage = ({ data }) => {
  switch (data.type) {
    case 'assembled':
      if (data.id === page.assembleId) showAssembly(data);
      break;
    case 'state':
      page.engineReady = true;
      page.running = false;
      page.previous = data.reason === 'load' || data.reason === 'reset' ? null : page.state;
      if (data.reason === 'run' && page.runFromStart) page.previous = page.initial;
      page.runFromStart = false;
      page.state = data.state;
      if (page.previous === null) page.initial = data.state;
      page.breakpointStop = Boolean(data.breakpoint);
      if (data.reason === 'load') page.refused = Boolean(data.refusal);
      render(data.reason);
      if (data.reason === 'load' && page.runAfterLoad) {
        page.runAfterLoad = false;
        commands.run();
      }
      if (page.refused) {
        $('outcome').dataset.state = 'error';
        $('outcome').textContent = data.refusal;
      }
      break;
    case 'progress':
      $('steps').textContent = String(data.steps);
      $('outcome').textContent = `Running… ${data.steps} steps so far (Esc stops).`;
      break;
    case 'stateMap':
      download(new Blob([data.bytes], { type: 'text/plain' }), 'MirvoVMStateMap.txt');
      break;
    case 'failure':
      $('outcome').dataset.state = 'error';
      $('outcome').textContent = `The engine failed: ${data.message}`;
      break;
    default:
      break;
  }
};

function assembleNow() {
  clearTimeout(page.assembleTimer);
  page.pending = true;
  page.assembleId += 1;
  send({ type: 'assemble', id: page.assembleId, source: editor.text });
}

function showAssembly({ ok, diagnostics, statements, image }) {
  page.pending = false;
  if (!ok) page.runAfterLoad = false;
  editor.showAssembly(diagnostics, statements);
  const list = $('diagnostics');
  list.replaceChildren(
    ...diagnostics.map((d) => {
      const item = document.createElement('li');
      item.dataset.line = String(d.line);
      item.dataset.severity = d.severity;
      item.className = `diagnostic is-${d.severity}`;
      item.textContent = `Line ${d.line}${d.column > 0 ? `, column ${d.column}` : ''}: ${d.severity}: ${d.message}`;
      return item;
    }),
  );
  if (diagnostics.length === 0) {
    const item = document.createElement('li');
    item.className = 'diagnostic is-none';
    item.textContent = `No errors or warnings; ${image.length} bytes.`;
    list.append(item);
  }
  page.lineOfAddress = new Map();
  page.addressesOfLine = new Map();
  for (const statement of statements) {
    statement.bytes.forEach((_, i) => page.lineOfAddress.set(statement.address + i, statement.line));
    page.addressesOfLine.set(statement.line, statement.address);
  }
  page.hasErrors = !ok;
  page.fromSource = true;
  if (ok) {
    page.image = image;
    send({ type: 'load', image: image.slice(), name: imageName() });
    sendBreakpoints();
  } else if (page.state !== null) {
    render('load');
  } else {
    $('outcome').dataset.state = 'error';
    $('outcome').textContent = 'The source has errors: fix them to run it.';
  }
  updateControls();
keepOffline();
}

function sendBreakpoints() {
  const addresses = [];
  for (const line of editor.breakpointLines()) {
    const address = page.addressesOfLine.get(line);
    if (address !== undefined) addresses.push(address);
  }
  send({ type: 'breakpoints', addresses });
}

// --- commands

const commands = {
  run() {
    if (page.pending) {
      // Run what the editor holds now, once it is assembled and loaded.
      page.runAfterLoad = true;
      assembleNow();
      return;
    }
    if ($('run').disabled) return;
    const fromStart = page.state !== null && page.state.outcome !== Outcome.running;
    page.runFromStart = fromStart;
    page.running = true;
    $('outcome').dataset.state = 'running';
    $('outcome').textContent = 'Running…';
    updateControls();
keepOffline();
    send({ type: 'run', fromStart });
  },
  stop() {
    if (page.running) send({ type: 'stop' });
  },
  step() {
    if (!$('step').disabled) send({ type: 'step' });
  },
  stepBack() {
    if ($('step-back').disabled) return;
    page.running = true;
    updateControls();
keepOffline();
    send({ type: 'stepBack' });
  },
  reset() {
    if (!$('reset').disabled) send({ type: 'reset' });
  },
};

const editor = new SourceEditor($('editor'), {
  onChange() {
    page.pending = true;
    clearTimeout(page.assembleTimer);
    page.assembleTimer = setTimeout(assembleNow, kAssembleDelay);
  },
  onBreakpoints: () => sendBreakpoints(),
  run: () => commands.run(),
  step: () => commands.step(),
  stepBack: () => commands.stepBack(),
});

$('run').addEventListener('click', commands.run);
$('stop').addEventListener('click', commands.stop);
$('step').addEventListener('click', commands.step);
$('step-back').addEventListener('click', commands.stepBack);
$('reset').addEventListener('click', commands.reset);

window.addEventListener('keydown', (event) => {
  if (event.defaultPrevented) return;
  let command = null;
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) command = commands.run;
  else if (event.key === 'F10') command = event.shiftKey ? commands.stepBack : commands.step;
  else if (event.key === 'Escape' && page.running) command = commands.stop;
  if (command === null) return;
  event.preventDefault();
  command();
});

// --- memory navigation

$('goto').addEventListener('keydown', (event) => {
  if (event.key !== 'Enter') return;
  const text = $('goto').value.trim().replace(/h$/i, '').replace(/^0x/i, '');
  const address = Number.parseInt(text, 16);
  if (Number.isInteger(address) && address >= 0 && address < 65536) memory.scrollToAddress(address);
});

// --- files

function imageName() {
  return $('image-name').value.trim() || 'program.bin';
}

function download(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

$('download-image').addEventListener('click', () => {
  download(new Blob([page.image], { type: 'application/octet-stream' }), imageName());
});
$('download-map').addEventListener('click', () => send({ type: 'stateMap', imagePath: imageName() }));
$('upload').addEventListener('change', async () => {
  const file = $('upload').files[0];
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  $('image-name').value = file.name;
  page.fromSource = false;
  page.hasErrors = false;
  page.image = bytes.length <= 65536 ? bytes : new Uint8Array(0);
  send({ type: 'load', image: bytes, name: file.name });
  $('upload').value = '';
});

// --- examples and share links

async function loadExamples() {
  const response = await fetch('examples/index.json');
  const examples = await response.json();
  for (const { name, title } of examples) {
    const option = document.createElement('option');
    option.value = name;
    option.textContent = title ? `${name}: ${title}` : name;
    $('examples').append(option);
  }
  return examples;
}

async function openExample(name) {
  const response = await fetch(`examples/${encodeURIComponent(name)}`);
  editor.text = await response.text();
  $('examples').value = name;
  $('image-name').value = name.replace(/\.asm$/, '.bin');
  assembleNow();
}

$('examples').addEventListener('change', () => {
  if ($('examples').value) openExample($('examples').value);
});

// The link goes to the clipboard and into a box beside the button, not into
// the address bar: a reload then brings back the saved program with its
// later edits, not the shared version.
$('share').addEventListener('click', async () => {
  const made = await shareLink(`${location.origin}${location.pathname}`, editor.text);
  $('share-link').hidden = !made.url;
  $('share-link').value = made.url ?? '';
  if (made.refusal) {
    $('share-note').textContent = made.refusal;
    return;
  }
  $('share-link').select();
  try {
    await navigator.clipboard.writeText(made.url);
    $('share-note').textContent = 'Link copied.';
  } catch {
    $('share-note').textContent = 'Copy the link from the box.';
  }
});

// Opens the program a share link carries: true if the fragment named one
// (a damaged link is said so in the notice, and opens nothing).
async function openFragment() {
  const found = await decodeShare(location.hash);
  if (found === null) return false;
  if (found.error) {
    showNotice(found.error);
    return false;
  }
  editor.text = found.source;
  assembleNow();
  return true;
}
window.addEventListener('hashchange', openFragment);

function showNotice(words) {
  $('notice').textContent = words;
  $('notice').hidden = !words;
}

const examplesLoaded = loadExamples();
openFragment().then((opened) => {
  if (!opened) examplesLoaded.then(() => openExample('sum.asm')).catch(() => assembleNow());
});
updateControls();
keepOffline();
