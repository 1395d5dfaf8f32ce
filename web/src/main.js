// The page's view: the editor, the controls and the machine. The engine and
// the session live in a worker (worker.js), the page's state in a PageModel
// (state.js); this side passes events to the model and the worker, and
// draws what the model says.
import { keepDisplaySettings } from './display.js';
import { SourceEditor } from './editor.js';
import { hex } from './notation.js';
import { MemoryGrid } from './memory.js';
import { keepOffline } from './offline.js';
import { Programs } from './programs.js';
import { PageModel } from './state.js';
import { $, download } from './dom.js';

// ms after the last keystroke before the source is assembled: longer for a
// long source, so that typing in it is not slowed by assemblies.
const assembleDelay = (length) => 250 + Math.min(1250, length / 800);

const worker = new Worker('playground-worker.js');
const model = new PageModel();
let assembleTimer = 0;

// --- drawing

const registerCells = new Map();
const flagCells = new Map();
const memory = new MemoryGrid($('memory'));

// The register rows and flag cells, named by the engine.
function buildMachineView() {
  for (const { name } of model.vocabulary.registers) {
    const row = document.createElement('tr');
    row.innerHTML = `<th scope="row">${name}</th><td class="hex"></td><td class="dec"></td>`;
    const value = row.querySelector('.hex');
    value.dataset.testid = `reg-${name}`;
    registerCells.set(name, { row, value, decimal: row.querySelector('.dec') });
    $('registers').append(row);
  }
  for (const { name } of model.vocabulary.flags) {
    const cell = document.createElement('td');
    cell.innerHTML = `<span class="flag-name">${name}</span> <span class="flag-value" data-testid="flag-${name}"></span>`;
    flagCells.set(name, cell);
    $('flags').append(cell);
  }
}

// The help's list of instructions, from the engine's table.
function buildInstructionHelp() {
  for (const { syntax, summary } of model.vocabulary.instructions) {
    const term = document.createElement('dt');
    const code = document.createElement('code');
    code.textContent = syntax;
    term.append(code);
    const description = document.createElement('dd');
    description.textContent = summary;
    $('instruction-help').append(term, description);
  }
}

function setValue(element, value, text, changed) {
  element.dataset.value = String(value);
  element.textContent = text;
  element.classList.toggle('is-last', changed);
}

function drawOutcome() {
  const { kind, words } = model.outcomeLine;
  $('outcome').dataset.state = kind;
  $('outcome').textContent = words;
}

function drawControls() {
  const controls = model.controls;
  $('run').disabled = !controls.run;
  // In C, Step and Step back go by C statement, and two more by instruction.
  const c = model.language === 'c';
  $('step').hidden = c;
  $('step-c').hidden = !c;
  $('step-instruction').hidden = !c;
  $('step-back-instruction').hidden = !c;
  for (const id of ['step', 'step-c', 'step-instruction']) $(id).disabled = !controls.step;
  for (const id of ['step-back', 'step-back-instruction']) $(id).disabled = !controls.stepBack;
  $('reset').disabled = !controls.reset;
  $('back-to-change').disabled = !controls.backToChange;
  $('stop').disabled = !controls.stop;
  $('download-image').disabled = !controls.downloadImage;
  $('download-map').disabled = !controls.downloadMap;
}

function draw() {
  drawOutcome();
  drawControls();
  const { state } = model;
  if (state === null) return;
  for (const { name, value, text, changed } of model.registers) {
    const cells = registerCells.get(name);
    setValue(cells.value, value, text, changed);
    cells.decimal.textContent = String(value);
    cells.row.classList.toggle('is-last', changed);
  }
  for (const { name, value, text, changed } of model.flags) {
    setValue(flagCells.get(name).querySelector('.flag-value'), value, text, changed);
  }
  const change = model.lastChange;
  const { vocabulary } = model;
  setValue($('pc'), state.pc, vocabulary.address(state.pc), change.pc);
  setValue($('sp'), state.sp, vocabulary.address(state.sp), false);
  $('steps').textContent = String(model.progress ?? state.steps);
  $('next').textContent = model.next;
  $('machine').classList.toggle('is-stale', model.stale);
  $('stale').hidden = !model.stale;
  $('stale').textContent = model.staleNote;
  $('generated').classList.toggle('is-stale', model.stale);
  memory.update({
    memory: state.memory,
    image: model.image,
    pc: state.pc,
    hl: state.hl,
    lastChanged: change.addresses,
    vocabulary,
  });
  if ($('follow-writes').checked && change.addresses.size > 0) memory.reveal([...change.addresses][0]);
  editor.showPcLine(model.pcLine);
  drawGeneratedPc({ reveal: true });
  drawCLine();
  $('explain').textContent = model.explanation;
  drawChecks();
}

// The run-time checks: marked in the editor and listed under the diagnostics.
function drawChecks() {
  const checks = model.checks;
  editor.showChecks(checks);
  $('checks').replaceChildren(
    ...checks.map((c) => {
      const item = document.createElement('li');
      item.className = 'diagnostic is-warning is-check';
      item.dataset.testid = 'finding';
      item.dataset.id = c.id;
      if (c.line !== null) item.dataset.line = String(c.line);
      item.textContent = c.words;
      return item;
    }),
  );
  $('checks-title').hidden = checks.length === 0;
}

// The live region: what a screen reader says after a command.
function announce() {
  $('announce').textContent = model.announcement;
}

// The statement above the editor, Check and its rows.
function drawExercise() {
  const view = model.exerciseView;
  $('exercise').hidden = view === null;
  if (view === null) return;
  if (view.error) {
    $('exercise-title').textContent = 'Exercise';
    $('exercise-text').textContent = view.error;
    $('exercise-hidden').hidden = true;
    $('check').disabled = true;
    $('score').textContent = '';
    $('cases').replaceChildren();
    return;
  }
  $('exercise-title').textContent = view.title;
  $('exercise-text').textContent = view.text.trim();
  $('exercise-hidden').textContent = view.hidden;
  $('exercise-hidden').hidden = view.hidden === '';
  $('check').disabled = view.checking;
  $('score').textContent = view.checking ? 'Checking…' : view.score;
  $('cases').replaceChildren(
    ...view.cases.map(({ name, pass, details }) => {
      const item = document.createElement('li');
      item.dataset.testid = 'case';
      item.dataset.pass = String(pass);
      const verdict = document.createElement('span');
      verdict.className = 'verdict';
      verdict.textContent = pass ? 'passed' : 'failed';
      item.append(`${name}: `, verdict, details.length > 0 ? ` — ${details.join('; ')}` : '');
      return item;
    }),
  );
}

function drawDiagnostics(diagnostics, length, count) {
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
    item.textContent = `No errors or warnings; ${length} bytes.`;
    list.append(item);
  } else if (count > diagnostics.length) {
    const item = document.createElement('li');
    item.className = 'diagnostic is-more';
    item.textContent = `… and ${count - diagnostics.length} more after line ${diagnostics.at(-1).line}.`;
    list.append(item);
  }
}

// --- talking to the worker

function send(message, transfer = []) {
  worker.postMessage(message, transfer);
}

worker.onmessage = ({ data }) => {
  switch (data.type) {
    case 'ready':
      model.engineReady(data.vocabulary);
      buildMachineView();
      buildInstructionHelp();
      editor.setVocabulary(model.vocabulary);
      drawWatchForm();
      break;
    case 'assembled': {
      const image = model.assembled(data.id, data);
      if (data.id !== model.assembleId) break;
      editor.showAssembly(data.assembly.diagnostics, data.assembly.statements);
      drawDiagnostics(data.assembly.diagnostics, data.assembly.length, data.diagnosticCount);
      if (image !== null) {
        send({ type: 'load', image: image.slice(), name: imageName() });
        sendBreakpoints();
      }
      draw();
      break;
    }
    case 'compiled': {
      const image = model.compiled(data.id, data);
      if (data.id !== model.assembleId) break;
      editor.showCompile(data.assembly.diagnostics, data.ok ? model.link.lineSummary : new Map());
      drawDiagnostics(data.assembly.diagnostics, data.image.length, data.diagnosticCount);
      drawGenerated();
      if (image !== null) {
        send({ type: 'load', image: image.slice(), name: imageName() });
        send({ type: 'statements', starts: model.link.starts });
        sendBreakpoints();
      }
      draw();
      break;
    }
    case 'state':
      if (model.stateReceived(data)) commands.run();
      draw();
      announce();
      break;
    case 'progress':
      model.progressed(data.steps);
      drawOutcome();
      $('steps').textContent = String(data.steps);
      break;
    case 'stateMap':
      download(new Blob([data.bytes], { type: 'text/plain' }), 'MirvoVMStateMap.txt');
      break;
    case 'exercise':
      model.exerciseOpened(data);
      // The learner's attempt if one is kept, else the starter.
      if (model.exercise !== null) programs.exerciseOpened(model.exercise);
      drawExercise();
      break;
    case 'checked':
      model.checked(data.grade);
      drawExercise();
      break;
    case 'failure':
      model.failed(data.message, { unfetched: data.unfetched, build: data.command === 'compile' });
      draw();
      break;
    default:
      break;
  }
};

// Assembles the editor's text, or compiles it in C, in the worker.
function assembleNow() {
  clearTimeout(assembleTimer);
  const source = editor.text;
  const id = model.assemblyRequested(source);
  if (model.language === 'c') send({ type: 'compile', id, source, optimise: model.optimise });
  else send({ type: 'assemble', id, source });
}

function sendBreakpoints() {
  send({ type: 'breakpoints', addresses: model.breakpointAddresses(editor.breakpointLines()) });
}

// --- commands

const commands = {
  run() {
    const request = model.runRequested();
    if (request === null) return;
    if (request.action === 'assemble') {
      // Run what the editor holds now, once it is assembled and loaded.
      assembleNow();
      return;
    }
    draw();
    send({ type: 'run', fromStart: request.fromStart });
  },
  stop() {
    if (model.controls.stop) send({ type: 'stop' });
  },
  // In C a statement at a time, else an instruction.
  step() {
    if (!model.cProgram) commands.stepInstruction();
    else if (model.stepRequested()) {
      drawControls();
      send({ type: 'stepStatement' });
    }
  },
  stepInstruction() {
    if (model.controls.step) send({ type: 'step' });
  },
  stepBack() {
    if (!model.stepBackRequested()) return;
    drawControls();
    send({ type: model.cProgram ? 'stepStatementBack' : 'stepBack' });
  },
  stepBackInstruction() {
    if (!model.stepBackRequested()) return;
    drawControls();
    send({ type: 'stepBack' });
  },
  backToChange() {
    const watch = watchForm();
    if (watch === null || !model.backToChangeRequested()) return;
    draw();
    send({ type: 'backToChange', watch });
  },
  reset() {
    if (model.controls.reset) send({ type: 'reset' });
  },
  check() {
    if (!model.checkRequested()) return;
    drawExercise();
    send({ type: 'check', source: editor.text, language: model.language, optimise: model.optimise });
  },
};

const editor = new SourceEditor($('editor'), {
  onChange() {
    model.editorChanged();
    if (model.exercise !== null) drawExercise();
    clearTimeout(assembleTimer);
    assembleTimer = setTimeout(assembleNow, assembleDelay(editor.length));
    programs.edited();
  },
  onBreakpoints: () => sendBreakpoints(),
  onCursor(line) {
    model.cursorMoved(line);
    drawLink({ reveal: true });
  },
  onPointer(line) {
    if (line === model.pointerLine) return;
    model.pointedAt(line);
    drawLink({ reveal: line !== null });
  },
  nextLink: (back) => linkNext(back),
  run: () => commands.run(),
  step: () => commands.step(),
  stepBack: () => commands.stepBack(),
  stepInstruction: () => commands.stepInstruction(),
  stepBackInstruction: () => commands.stepBackInstruction(),
});

$('run').addEventListener('click', commands.run);
$('stop').addEventListener('click', commands.stop);
$('step').addEventListener('click', commands.step);
$('step-c').addEventListener('click', commands.step);
$('step-instruction').addEventListener('click', commands.stepInstruction);
$('step-back').addEventListener('click', commands.stepBack);
$('step-back-instruction').addEventListener('click', commands.stepBackInstruction);
$('reset').addEventListener('click', commands.reset);
$('back-to-change').addEventListener('click', commands.backToChange);
$('check').addEventListener('click', commands.check);

window.addEventListener('keydown', (event) => {
  if (event.defaultPrevented) return;
  let command = null;
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) command = commands.run;
  else if (event.key === 'F10' && event.ctrlKey) {
    command = event.shiftKey ? commands.stepBackInstruction : commands.stepInstruction;
  } else if (event.key === 'F10') command = event.shiftKey ? commands.stepBack : commands.step;
  else if (event.key === 'Escape' && model.running) command = commands.stop;
  if (command === null) return;
  event.preventDefault();
  command();
});

// --- C beside the assembly it became

// Rows of the generated view drawn in one task: a long program's are drawn
// a slice at a time, so that typing is never held up for long.
const kRowsPerSlice = 400;
let generatedDrawing = 0; // bumped by each drawing; an older one stops
let drawnRows = []; // the rows drawn last (generatedRows)
let drawnWhole = false; // all of them are in the list

// The generated assembly: one item per instruction (its address, bytes and
// text), in its statement's colour band; with interleave, each C line as a
// heading over its instructions.
function drawGenerated() {
  const c = model.language === 'c';
  $('generated-panel').hidden = !c;
  $('code').classList.toggle('is-c', c);
  document.querySelector('main').classList.toggle('is-c', c);
  const drawing = ++generatedDrawing;
  const { link } = model;
  if (link === null) {
    $('generated').replaceChildren();
    drawnRows = [];
    drawnWhole = true;
    return;
  }
  const rows = generatedRows(link, $('interleave').checked);
  if (patchGenerated(rows)) {
    drawLink({ reveal: false });
    drawGeneratedPc();
    return;
  }
  drawnRows = rows;
  drawnWhole = false;
  const html = rows.map(rowHtml);
  // A fresh list in place of the old: thousands of rows go at once, where
  // taking them out one by one costs about as much as putting them in.
  const old = $('generated');
  const list = old.cloneNode(false);
  const focused = document.activeElement === old;
  old.replaceWith(list);
  if (focused) list.focus();
  const drawFrom = (start) => {
    if (drawing !== generatedDrawing) return;
    const end = Math.min(rows.length, start + kRowsPerSlice);
    list.insertAdjacentHTML('beforeend', html.slice(start, end).join(''));
    if (end < rows.length) setTimeout(() => drawFrom(end), 0);
    else drawnWhole = true;
    // The marks, once the first rows are in and again once all are.
    if (start === 0 || end === rows.length) {
      drawLink({ reveal: false });
      drawGeneratedPc();
    }
  };
  drawFrom(0);
}

// An edit changes a few rows (a constant, one statement): those are
// replaced in the list drawn whole, the rest kept. True when that was done
// (or nothing changed); false when a new list is wanted.
function patchGenerated(rows) {
  if (!drawnWhole) return false;
  const old = drawnRows;
  let head = 0;
  while (head < rows.length && head < old.length && sameRow(rows[head], old[head])) head += 1;
  let tail = 0;
  while (
    tail < rows.length - head &&
    tail < old.length - head &&
    sameRow(rows[rows.length - 1 - tail], old[old.length - 1 - tail])
  ) {
    tail += 1;
  }
  const removed = old.length - head - tail;
  const added = rows.length - head - tail;
  if (removed + added > kRowsPerSlice) return false;
  const list = $('generated');
  for (let i = 0; i < removed; i += 1) list.children[head].remove();
  const html = rows
    .slice(head, head + added)
    .map(rowHtml)
    .join('');
  const next = list.children[head];
  if (next) next.insertAdjacentHTML('beforebegin', html);
  else list.insertAdjacentHTML('beforeend', html);
  drawnRows = rows;
  return true;
}

// The generated view's rows: {heading: its words} over a C line's
// instructions with interleave, and {instruction, index, band} (band null
// for an instruction of no statement). Rows are compared as data and made
// into HTML only where they changed: at each edit of a long program, the
// thousands that did not would cost more to format than to compare.
function generatedRows(link, interleave) {
  const rows = [];
  let heading = undefined;
  link.instructions.forEach((instruction, index) => {
    if (interleave && instruction.cLine !== heading) {
      heading = instruction.cLine;
      rows.push({ heading: heading === null ? 'the end of the program' : `${heading}: ${link.sourceLine(heading)}` });
    }
    const band = instruction.statement === null ? null : link.statements[instruction.statement].band;
    rows.push({ instruction, index, band });
  });
  return rows;
}

// Whether two rows are drawn the same.
function sameRow(a, b) {
  if (a.heading !== undefined || b.heading !== undefined) return a.heading === b.heading;
  const x = a.instruction;
  const y = b.instruction;
  return (
    a.index === b.index &&
    a.band === b.band &&
    x.address === y.address &&
    x.cLine === y.cLine &&
    x.text === y.text &&
    x.bytes.length === y.bytes.length &&
    x.bytes.every((byte, i) => byte === y.bytes[i])
  );
}

// A row as HTML: strings, where an element at a time would take many times
// longer for thousands of instructions.
function rowHtml(row) {
  if (row.heading !== undefined) return `<li class="c-heading">${escapeHtml(row.heading)}</li>`;
  const { instruction, index } = row;
  const band = row.band === null ? '' : ` band band-${row.band}`;
  const line = instruction.cLine === null ? '' : ` data-c-line="${instruction.cLine}"`;
  const bytes = instruction.bytes.map((b) => hex(b, 2)).join(' ');
  return (
    `<li class="instruction${band}" data-address="${instruction.address}" data-index="${index}"${line}>` +
    `<span class="g-where">${hex(instruction.address, 4)} ${bytes.padEnd(5)}</span> ` +
    `<code class="g-text">${escapeHtml(instruction.text)}</code></li>`
  );
}

// The instruction at the program counter, marked in the generated assembly;
// with reveal, scrolled into view once for each state a command brought but
// a load: after an edit the list stays at the statement being written (and
// the fresh rows are not laid out at once to find where the PC is).
let pcRevealed = null; // the state whose PC was last scrolled to
function drawGeneratedPc({ reveal = false } = {}) {
  for (const item of $('generated').querySelectorAll('.is-pc')) item.classList.remove('is-pc');
  if (model.stale || model.state === null) return;
  const item = $('generated').querySelector(`[data-address="${model.state.pc}"]`);
  item?.classList.add('is-pc');
  if (!item || !reveal || model.state === pcRevealed || model.reason === 'load') return;
  pcRevealed = model.state;
  revealInList($('generated'), item);
}

// The C line at the program counter, and after a C run each line's steps
// beside its bytes (drawn again when the counts change).
let stepsDrawn = null;
function drawCLine() {
  $('c-line-row').hidden = model.language !== 'c';
  const line = model.cLine;
  $('c-line').dataset.value = line === null ? '' : String(line);
  $('c-line').textContent = line === null ? '–' : String(line);
  if (model.executed === stepsDrawn || model.link === null) return;
  stepsDrawn = model.executed;
  editor.showLineSteps(model.lineSteps);
}

const escapeHtml = (text) => text.replace(/[&<>"]/g, (c) => `&#${c.charCodeAt(0)};`);

// Scrolls the list so that item shows, without moving the page.
function revealInList(list, item) {
  // From the boxes: the list's containment makes it its items' offsetParent.
  const top = item.getBoundingClientRect().top - list.getBoundingClientRect().top - list.clientTop + list.scrollTop;
  if (top < list.scrollTop) list.scrollTop = top;
  else if (top + item.offsetHeight > list.scrollTop + list.clientHeight) {
    list.scrollTop = top + item.offsetHeight - list.clientHeight;
  }
}

// Marks the linked C statement and its instructions on both sides; with
// reveal, scrolls the instructions into view.
function drawLink({ reveal }) {
  const { link } = model;
  if (model.language !== 'c' || link === null || model.hasErrors) {
    editor.showLink([], new Set());
    return;
  }
  const line = model.linkedLine;
  const statements = line === null ? [] : link.statementsOnLine(line);
  const lines = new Set(
    statements.flatMap((s) => Array.from({ length: s.endLine - s.line + 1 }, (_, i) => s.line + i)),
  );
  editor.showLink(link.statements, lines);
  for (const item of $('generated').querySelectorAll('.is-linked')) item.classList.remove('is-linked');
  const indexes = line === null ? [] : link.instructionsOfLine(line);
  const marked = indexes.map((index) => $('generated').querySelector(`[data-index="${index}"]`)).filter(Boolean);
  for (const item of marked) item.classList.add('is-linked');
  const first = marked[0] ?? null;
  if (reveal && first !== null) revealInList($('generated'), first);
}

// Moves the link to the next (back: previous) C statement: the editor's
// cursor goes to it.
function linkNext(back) {
  const line = model.nextLinkLine(back);
  if (line === null) return;
  model.pointedAt(null);
  editor.moveToLine(line);
}

// The pointer over an instruction links its C statement, and the editor
// scrolls to it.
// The listeners are the panel's: the list is replaced by each new program.
$('generated-panel').addEventListener('mousemove', (event) => {
  const item = event.target.closest('.instruction');
  const line = item?.dataset.cLine ? Number(item.dataset.cLine) : null;
  if (line === model.pointerLine) return;
  model.pointedAt(line);
  drawLink({ reveal: false });
  if (line !== null) editor.revealLine(line);
});
$('generated-panel').addEventListener('mouseleave', () => {
  model.pointedAt(null);
  drawLink({ reveal: false });
});
// A click on an instruction puts the editor's cursor on its C line.
$('generated-panel').addEventListener('click', (event) => {
  const item = event.target.closest('.instruction');
  if (item?.dataset.cLine) editor.moveToLine(Number(item.dataset.cLine));
});
// From the keyboard: arrows go by instruction, the link following; F8 by statement.
$('generated-panel').addEventListener('keydown', (event) => {
  if (event.target.id !== 'generated') return;
  if (event.key === 'F8') {
    event.preventDefault();
    linkNext(event.shiftKey);
    return;
  }
  if (event.key !== 'ArrowDown' && event.key !== 'ArrowUp') return;
  event.preventDefault();
  const items = [...$('generated').querySelectorAll('.instruction')];
  if (items.length === 0) return;
  const at = items.findIndex((item) => item.classList.contains('is-current'));
  const next = at < 0 ? 0 : Math.max(0, Math.min(items.length - 1, at + (event.key === 'ArrowDown' ? 1 : -1)));
  items.forEach((item, i) => item.classList.toggle('is-current', i === next));
  const line = items[next].dataset.cLine ? Number(items[next].dataset.cLine) : null;
  model.pointedAt(line);
  drawLink({ reveal: false });
  revealInList($('generated'), items[next]);
  if (line !== null) editor.revealLine(line);
});
$('generated-panel').addEventListener('focusout', (event) => {
  if (event.target.id !== 'generated') return;
  for (const item of $('generated').querySelectorAll('.is-current')) item.classList.remove('is-current');
  model.pointedAt(null);
  drawLink({ reveal: false });
});

// The editor holds language now: its highlighting, the panel beside it,
// and a fresh assembly or compile.
function languageChanged(language) {
  model.languageChosen(language);
  $('language').value = language;
  editor.setLanguage(language);
  editor.showAssembly([], []);
  drawGenerated();
  drawLink({ reveal: false });
  drawControls();
}

$('language').addEventListener('change', () => {
  languageChanged($('language').value);
  programs.languageChosen(model.language);
  assembleNow();
});
$('optimise').addEventListener('change', () => {
  model.optimise = $('optimise').checked;
  programs.optimiseChosen(model.optimise);
  assembleNow();
});
$('interleave').addEventListener('change', drawGenerated);

// --- watches

// An address typed as the language writes numbers, or without the h
// (Vocabulary.readAddress), or null.
const parseAddress = (text) => model.vocabulary?.readAddress(text) ?? null;

// The watch the form describes, or null (an address that is none).
function watchForm() {
  const kind = $('watch-kind').value;
  if (kind === 'register' || kind === 'flag') return { kind, name: $('watch-name').value };
  const address = parseAddress($('watch-address').value);
  $('watch-address').setAttribute('aria-invalid', String(address === null));
  return address === null ? null : { kind, address };
}

function drawWatchForm() {
  const kind = $('watch-kind').value;
  const named = kind === 'register' || kind === 'flag';
  $('watch-name-label').hidden = !named;
  $('watch-address-label').hidden = named;
  if (!named || model.vocabulary === null) return;
  const table = kind === 'register' ? model.vocabulary.registers : model.vocabulary.flags;
  $('watch-name').replaceChildren(...table.map(({ name }) => new Option(name, name)));
}

function drawWatches() {
  $('watch-list').replaceChildren(
    ...model.watchList.map((words, index) => {
      const item = document.createElement('li');
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.textContent = 'Remove';
      remove.setAttribute('aria-label', `Remove the watch: ${words}`);
      remove.addEventListener('click', () => {
        model.removeWatch(index);
        watchesChanged();
      });
      item.append(`${words} `, remove);
      return item;
    }),
  );
}

function watchesChanged() {
  drawWatches();
  send({ type: 'watches', watches: model.watches });
}

$('watch-kind').addEventListener('change', drawWatchForm);
$('watch-add').addEventListener('click', () => {
  const watch = watchForm();
  if (watch !== null && model.addWatch(watch)) watchesChanged();
});

// --- memory navigation

$('goto').addEventListener('keydown', (event) => {
  if (event.key !== 'Enter') return;
  const address = parseAddress($('goto').value);
  if (address !== null) memory.scrollToAddress(address);
});

// --- files

function imageName() {
  return $('image-name').value.trim() || 'program.bin';
}

$('download-image').addEventListener('click', () => {
  download(new Blob([model.image], { type: 'application/octet-stream' }), imageName());
});
$('download-map').addEventListener('click', () => send({ type: 'stateMap', imagePath: imageName() }));
$('upload').addEventListener('change', async () => {
  const file = $('upload').files[0];
  if (!file) return;
  const bytes = new Uint8Array(await file.arrayBuffer());
  $('image-name').value = file.name;
  model.uploaded(bytes);
  send({ type: 'load', image: bytes, name: file.name });
  $('upload').value = '';
});

// --- the program in the editor, kept as it is typed

const programs = new Programs({
  editor,
  opened(name, language, optimise) {
    $('image-name').value = `${name.replace(/\.(asm|c)$/, '').replace(/[^\w.-]+/g, '-')}.bin`;
    model.optimise = optimise;
    $('optimise').checked = optimise;
    languageChanged(language);
    assembleNow();
  },
  exercise: {
    open: (text) => send({ type: 'exercise', text }),
    close() {
      model.exerciseClosed();
      drawExercise();
    },
  },
});

keepDisplaySettings();
programs.start();
drawControls();
keepOffline();
