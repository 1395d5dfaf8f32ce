// The page's state apart from its view. Nothing here touches the DOM, so
// Node's test runner loads it as the page does:
//   Vocabulary  the engine's names and numbers, and the words of a statement
//               as the highlighter classes them;
//   Session     the learner's session over the engine (in the worker): the
//               assembly, the image, the run, and the steps it has taken;
//   PageModel   what the page knows between the worker's messages, and what
//               its view shows (main.js only draws it).

import { CodeLink } from './link.js';
import { hex } from './notation.js';

// ---------------------------------------------------------------- vocabulary

// The engine's names and numbers (VocabularyJson in engine/json): outcomes by
// value, registers and flags in report order, operand names by register
// code, the instruction table, the notation of each byte and of an address,
// and how a number is written. Built from the plain object, which crosses
// from the worker to the page as it is.
export class Vocabulary {
  constructor(json) {
    this.json = json;
    this.outcomes = json.outcomes;
    this.registers = json.registers;
    this.flags = json.flags;
    this.instructions = json.instructions;
    this.memorySize = json.memorySize;
    this.mnemonics = wordMatcher(json.instructions.map((row) => [row.mnemonic, row.ignoresCase]));
    this.operandNames = wordMatcher(json.operands.map((operand) => [operand.name, operand.ignoresCase]));
    this.numberPattern = new RegExp(json.numberPattern);
    this.addressNotation = json.addressNotation;
  }

  // The name of an outcome value: "halt", "running", "breakpoint", ...
  outcomeName(value) {
    return this.outcomes[value]?.name ?? 'unknown';
  }

  // True when the outcome called name ends the run.
  isFinal(name) {
    return this.outcomes.some((outcome) => outcome.name === name && outcome.final);
  }

  // A byte in the one notation: 05h, 20h, 0F0h.
  byte(value) {
    return this.json.bytes[value];
  }

  // An address in the engine's words: 000Ch, 1000h, FFFFh.
  address(value) {
    const { digits, suffix } = this.addressNotation;
    return `${hex(value, digits)}${suffix}`;
  }

  // The address typed into one of the page's address boxes, or null. It is
  // read as the language reads a number (1000h, 0x1000h, +1000h), and also
  // without the final h (1000, 0x1000): the language wants the h because
  // digits alone might be meant as decimal, but an address box, like the
  // memory grid's row labels, has only hexadecimal.
  readAddress(text) {
    const typed = text.trim();
    const { suffix } = this.addressNotation;
    const match = this.numberPattern.exec(typed) ?? this.numberPattern.exec(`${typed}${suffix}`);
    if (match === null || match[1] === '-') return null;
    const address = Number.parseInt(match[3], 16);
    return address < this.memorySize ? address : null;
  }

  // A watch's name and what it watches for: "A" and "changed", "[1000h]"
  // and "changed", "0004h" and "ran".
  watchWords({ kind, name, address }) {
    if (kind === 'register' || kind === 'flag') return { name, happened: 'changed' };
    if (kind === 'memory') return { name: `[${this.address(address)}]`, happened: 'changed' };
    return { name: this.address(address), happened: 'ran' };
  }

  // A watch as the engine takes it ({kind, which}), from the page's
  // {kind: 'register' | 'flag', name} or {kind: 'memory' | 'executed', address}.
  watchCode({ kind, name, address }) {
    const slotOf = (table) => table.find((entry) => entry.name === name).slot;
    switch (kind) {
      case 'register':
        return { kind: 0, which: slotOf(this.registers) };
      case 'flag':
        return { kind: 1, which: slotOf(this.flags) };
      case 'memory':
        return { kind: 2, which: address };
      default:
        return { kind: 3, which: address };
    }
  }

  // What a step changed, in words: "MVI A, 05h: A 00h to 05h, Z 0 to 1,
  // [1000h] 00h to 10h" (registers and bytes in the byte notation).
  stepWords(record) {
    const changes = Object.entries(record.changes).map(([name, { address, before, after }]) => {
      if (name === 'memory') return `[${this.address(address)}] ${this.byte(before)} to ${this.byte(after)}`;
      if (this.flags.some((flag) => flag.name === name)) return `${name} ${before} to ${after}`;
      return `${name} ${this.byte(before)} to ${this.byte(after)}`;
    });
    return `${record.text}: ${changes.length > 0 ? changes.join(', ') : 'nothing changed'}`;
  }

  // The highlighter's class of the word at index (0 for the mnemonic) of a
  // statement: 'mnemonic', 'operand' (a register or Mem), 'number', or
  // 'invalid'. Names match as the assembler matches them: mnemonics and Mem
  // in any case, register letters in upper case.
  wordClass(word, index) {
    if (index === 0) return this.mnemonics(word) ? 'mnemonic' : 'invalid';
    if (this.operandNames(word)) return 'operand';
    if (this.numberPattern.test(word)) return 'number';
    return 'invalid';
  }
}

// A test for a word against [name, ignoresCase] pairs.
function wordMatcher(pairs) {
  const exact = new Set(pairs.filter(([, ignoresCase]) => !ignoresCase).map(([name]) => name));
  const anyCase = new Set(pairs.filter(([, ignoresCase]) => ignoresCase).map(([name]) => name.toUpperCase()));
  return (word) => exact.has(word) || anyCase.has(word.toUpperCase());
}

// ---------------------------------------------------------------- session

// How many recorded steps the history keeps, the most recent last.
export const kHistoryLimit = 1000;

// The most steps of a run that executedCounts takes again.
export const kMostCountedSteps = 1 << 18;

// The learner's session over an Engine (engine.js). The engine's state is
// the truth; the session adds the history of the steps the engine recorded
// and hands out snapshots that cross to the page as they are.
export class Session {
  // engine: the assembler and the machine; full: the same with the C
  // compiler, the exercise reader and grading, when it is not engine itself
  // (the page loads it when C is first compiled or an exercise first
  // opened, and sets it then).
  constructor(engine, full = engine) {
    this.core = engine;
    this.full = full;
    // The engine that built the editor's last program, and the one whose
    // machine runs: the builder of the last program loaded. A C program so
    // runs in the engine that compiled it, whose run-time checks know its
    // C statements.
    this.builder = engine;
    this.engine = engine;
    // What the machine's engine was last told, for another that takes over.
    this.watchCodes = [];
    this.breakpointAddresses = [];
    this.vocabulary = new Vocabulary(engine.vocabulary);
    // Step records (lines of mirvo's JSON trace) in ascending step order,
    // each for a step the current run has taken: what each step changed.
    // A run records the last step of each of its slices.
    this.history = [];
    // The first addresses of the C statements of the program loaded: where
    // a step of a C statement stops (none for an assembly).
    this.statementStarts = new Set();
  }

  // {ok, image, assembly, diagnosticCount}: the assembly is the object
  // mirvo asm --json prints, with its first diagnostics, as many as the
  // engine says a front end shows (the first ones are what a learner fixes
  // first, and tens of thousands would only slow the page).
  assemble(source) {
    this.builder = this.core;
    const result = this.core.assemble(source);
    result.diagnosticCount = result.assembly.diagnostics.length;
    result.assembly.diagnostics = result.assembly.diagnostics.slice(0, this.core.vocabulary.shownDiagnostics);
    return result;
  }

  // Compiles C source as mirvo cc does: {ok, image, assembly: mirvo cc
  // --json's object, diagnosticCount, statements}, diagnostics cut as
  // assemble's are. statements are the assembler's of the generated
  // assembly (each instruction's line, address and bytes), for the view
  // that shows it beside the C.
  compile(source, optimise = true) {
    this.builder = this.full;
    const { generated, ...result } = this.full.compile(source, optimise);
    result.diagnosticCount = result.assembly.diagnostics.length;
    result.assembly.diagnostics = result.assembly.diagnostics.slice(0, this.full.vocabulary.shownDiagnostics);
    result.statements = result.ok && generated !== null ? generated.statements : [];
    return result;
  }

  // Loads image into a fresh machine: {status: 0 or the engine's refusal
  // code, refusal: '' or why, in the engine's words}. It starts no C
  // statement until setStatementStarts says where they are.
  load(image, name) {
    const engine = this.builder;
    const status = engine.load(image);
    if (status === 0) {
      if (engine !== this.engine) {
        this.engine = engine;
        engine.setWatches(this.watchCodes);
        engine.setBreakpoints(this.breakpointAddresses);
      }
      this.history = [];
      this.statementStarts = new Set();
    }
    return { status, refusal: status === 0 ? '' : engine.imageStatusText(status, name) };
  }

  // The machine as the last load left it, with a new run.
  restart() {
    this.engine.restart();
    this.history = [];
  }

  setBreakpoints(addresses) {
    this.breakpointAddresses = [...addresses];
    this.engine.setBreakpoints(addresses);
  }

  // One step; the outcome's name.
  step() {
    const outcome = this.vocabulary.outcomeName(this.engine.resume(1));
    this.noteLastStep();
    return outcome;
  }

  // Takes the engine's record of the step that brought the machine to its
  // state into the history (a run from the start again records the same
  // steps); returns it, or null when the engine did not record it.
  noteLastStep() {
    const record = this.engine.lastStep();
    if (record === null) return null;
    this.history = this.history.filter((earlier) => earlier.step !== record.step);
    const at = this.history.findIndex((later) => later.step > record.step);
    this.history.splice(at < 0 ? this.history.length : at, 0, record);
    if (this.history.length > kHistoryLimit) this.history.splice(0, this.history.length - kHistoryLimit);
    return record;
  }

  // Where the C statements of the program loaded start (mirvo cc --json's
  // map: each statement's first_address; a statement compiled to nothing
  // starts nowhere).
  setStatementStarts(addresses) {
    this.statementStarts = new Set(addresses);
  }

  // A step of a C statement: steps until the program counter lands on a
  // statement's first address (one statement's instructions are one range,
  // so that is the next statement, or the same one run again), or the
  // outcome is no longer "running" (the run ended, or a watch stopped it).
  // A generator as run: it yields the step count every slice steps, and
  // returns the outcome's name.
  *stepStatement({ slice = 1 << 16 } = {}) {
    for (let taken = 1; ; taken += 1) {
      const outcome = this.vocabulary.outcomeName(this.engine.resume(1));
      if (outcome !== 'running' || this.statementStarts.has(this.engine.pc())) {
        this.noteLastStep();
        return outcome;
      }
      if (taken % slice === 0) yield this.engine.steps();
    }
  }

  // A step back of a C statement: to the last earlier step whose program
  // counter was at a statement's first address (the start of the statement
  // under way, or of the one before when it was at its start already), or
  // to the run's start. A generator as run; returns the step now shown. The
  // state shown stays as it was until that step is found: one abandoned
  // between slices (return()) puts it back.
  *stepStatementBack({ slice = 1 << 12 } = {}) {
    const from = this.engine.steps();
    let found = false;
    try {
      for (let step = from - 1, looked = 1; step >= 0; step -= 1, looked += 1) {
        this.engine.goTo(step);
        if (step === 0 || this.statementStarts.has(this.engine.pc())) {
          found = true;
          return step;
        }
        if (looked % slice === 0) yield step;
      }
      found = true;
      return 0;
    } finally {
      if (!found) this.engine.goTo(from);
    }
  }

  // How many times each address ran as an instruction in the run so far: a
  // Map from address to count, or null for a run of more than limit steps.
  // The run is taken again from its start, one step a call (the machine is
  // deterministic: the same steps), and the state shown comes back.
  executedCounts(limit = kMostCountedSteps) {
    const shown = this.engine.steps();
    const total = this.engine.runSteps();
    if (total > limit) return null;
    this.engine.restart();
    const counts = new Map();
    for (let step = 0; step < total; step += 1) {
      const pc = this.engine.pc();
      counts.set(pc, (counts.get(pc) ?? 0) + 1);
      this.engine.resume(1);
    }
    this.engine.goTo(shown);
    return counts;
  }

  // Runs until the outcome is no longer "running", or the run has taken
  // target steps, in slices of at most slice steps. A generator: it yields
  // the step count after each slice that leaves the run going, so that the
  // caller can report progress and give up between slices; it returns the
  // outcome's name ("running" when target was reached). With breakpoints it
  // stops before one, but not before the instruction it starts at.
  *run({ target = Infinity, slice = 1 << 21, breakpoints = false } = {}) {
    let skipFirst = true;
    for (;;) {
      const budget = Math.min(slice, target - this.engine.steps());
      if (budget <= 0) return 'running';
      const outcome = this.vocabulary.outcomeName(this.engine.resume(budget, breakpoints, skipFirst));
      this.noteLastStep();
      skipFirst = false;
      if (outcome !== 'running') return outcome;
      yield this.engine.steps();
    }
  }

  // The state one step back. The engine rebuilds it from the run's
  // checkpoints (a snapshot every few thousand steps, memory kept as
  // changes), so it costs about the same at any point of a run, and the run
  // can go on from it.
  stepBack() {
    const steps = this.engine.steps();
    if (steps > 0) this.engine.goTo(steps - 1);
  }

  // The state after step steps of the run (at most its runSteps).
  goTo(step) {
    this.engine.goTo(step);
  }

  // What a run stops after, each {kind: 'register' | 'flag', name} or
  // {kind: 'memory' | 'executed', address}.
  setWatches(watches) {
    this.watchCodes = watches.map((watch) => this.vocabulary.watchCode(watch));
    this.engine.setWatches(this.watchCodes);
  }

  // Back to the last step before the state shown that did what watch (as
  // for setWatches) watches, as a generator like run: it yields between
  // slices of at most slice steps run again, and returns 'found' (that
  // step's state is shown) or 'not-found' (nothing moved).
  *backToChange(watch, { slice = 1 << 21 } = {}) {
    const code = this.vocabulary.watchCode(watch);
    for (let fresh = true; ; fresh = false) {
      const found = this.engine.backToChange(code, slice, fresh);
      if (found !== 'more') return found;
      yield null;
    }
  }

  // The machine and the run now, as plain data: registers (8 bytes by code),
  // flags (8 bytes by slot), memory, pc, sp, hl, steps, outcome (its name),
  // outcomeText (the engine's words), next (the instruction at pc),
  // lastStep: the record of the step that brought the machine here, or null
  // when the engine did not record it (a run that ended inside a stretch),
  // and checks: what the run-time checks found so far.
  snapshot() {
    const state = this.engine.state();
    const lastStep = this.noteLastStep();
    // Records past the machine's step belong to a run taken back.
    this.history = this.history.filter((record) => record.step <= state.steps);
    return {
      ...state,
      outcome: this.vocabulary.outcomeName(state.outcome),
      next: this.engine.disassemble(state.pc),
      lastStep,
      checks: this.engine.checks(),
    };
  }

  // The state map MirvoVM writes for this machine run from imagePath.
  stateMap(imagePath) {
    return this.engine.stateMap(imagePath);
  }

  // Opens an exercise from its file's text: {exercise} or {error}.
  openExercise(text) {
    return this.full.openExercise(text);
  }

  // Assembles source and grades it against the open exercise, every case on
  // a fresh machine: the grade, or null with no exercise open. The machine
  // of the session is not touched.
  check(source, language = 'asm', optimise = true) {
    if (language === 'c') {
      this.full.compile(source, optimise);
    } else {
      this.full.assemble(source);
    }
    return this.full.check();
  }
}

// ---------------------------------------------------------------- the page

// As many watches as the engine checks at once.
export const kMostWatches = 8;

// A sentence of the engine's words: "halted by ..." -> "Halted by ....".
export const sentence = (words) => `${words.charAt(0).toUpperCase()}${words.slice(1)}.`;

// What the page knows between the worker's messages: the editor's last
// assembly, the image, the last snapshot and whether a command is under way;
// and what the view shows of it. Events come in through the methods below;
// the view reads the getters at the end.
export class PageModel {
  constructor() {
    this.vocabulary = null; // until the engine is ready
    this.language = 'asm'; // what the editor holds: 'asm' or 'c'
    this.optimise = true; // C is compiled optimised, else as written (-O0)
    this.link = null; // the last C program that compiled (link.js), or null
    this.assembleId = 0;
    this.requestedSource = ''; // the text of the last assembly asked for
    this.cursorLine = null; // the editor's line with the cursor, in C
    this.pointerLine = null; // the C line under the pointer, from either side
    this.image = new Uint8Array(0); // what the machine was loaded with
    this.fromSource = true; // the image is the editor's assembly (not an upload)
    this.lineOfAddress = new Map();
    this.addressOfLine = new Map();
    this.hasErrors = false;
    this.refusal = ''; // why the last image was refused: nothing to run
    this.pending = false; // the editor changed since the last assembly came back
    this.runAfterLoad = false; // Run was pressed while an assembly was pending
    this.running = false;
    this.progress = null; // steps so far of the run under way, once reported
    this.failure = '';
    this.unfetched = false; // the failure: the full engine could not be fetched
    this.state = null; // the last snapshot
    this.reason = ''; // the command that produced it
    this.search = null; // the last Back to last change: {watch, found}
    this.watches = []; // what a run stops after (Vocabulary.watchCode)
    this.exercise = null; // the open exercise, as the engine reads it
    this.exerciseError = ''; // why the last exercise could not be opened
    this.grade = null; // the last Check of the editor's program
    this.executed = null; // after a C run ended: how often each address ran (a Map)
    this.checking = false;
  }

  // --- events

  engineReady(vocabularyJson) {
    this.vocabulary = new Vocabulary(vocabularyJson);
  }

  editorChanged() {
    this.pending = true;
    // A grade is of the program as it was checked.
    this.grade = null;
  }

  // The engine's answer to an exercise file: {exercise} or {error}.
  exerciseOpened({ exercise, error }) {
    this.exercise = exercise ?? null;
    this.exerciseError = error ? `line ${error.line}, column ${error.column}: ${error.message}` : '';
    this.grade = null;
    this.checking = false;
  }

  exerciseClosed() {
    this.exercise = null;
    this.exerciseError = '';
    this.grade = null;
    this.checking = false;
  }

  // Check was asked for: true when it can be done.
  checkRequested() {
    if (this.exercise === null || this.checking) return false;
    this.checking = true;
    return true;
  }

  checked(grade) {
    this.checking = false;
    this.grade = grade;
  }

  // A build answered: a failure to fetch the compiler is over.
  builtAnswer() {
    this.pending = false;
    if (this.unfetched) this.failure = '';
    this.unfetched = false;
  }

  // An assembly (or in C a compile) of source is asked for; its id.
  assemblyRequested(source = '') {
    this.pending = true;
    this.assembleId += 1;
    this.requestedSource = source;
    return this.assembleId;
  }

  // The worker's answer to assembly id. Returns the image to load, or null
  // (errors, or an answer overtaken by a newer request).
  assembled(id, { ok, image, assembly }) {
    if (id !== this.assembleId) return null;
    this.builtAnswer();
    if (!ok) this.runAfterLoad = false;
    this.lineOfAddress = new Map();
    this.addressOfLine = new Map();
    for (const statement of assembly.statements) {
      statement.bytes.forEach((_, i) => this.lineOfAddress.set(statement.address + i, statement.line));
      this.addressOfLine.set(statement.line, statement.address);
    }
    this.hasErrors = !ok;
    this.fromSource = true;
    if (!ok) return null;
    this.image = image;
    return image;
  }

  // The worker's answer to compiling C as request id: as assembled, the
  // image to load or null. The machine's lines are the C lines; the link
  // stays the last program that compiled while the C has errors.
  compiled(id, { ok, image, assembly, statements }) {
    if (id !== this.assembleId) return null;
    this.builtAnswer();
    this.hasErrors = !ok;
    this.fromSource = true;
    if (!ok) {
      this.runAfterLoad = false;
      return null;
    }
    this.link = new CodeLink(assembly, statements, this.requestedSource);
    this.lineOfAddress = new Map();
    this.addressOfLine = new Map();
    for (const s of this.link.statements) {
      for (let address = s.first; address < s.end; address += 1) this.lineOfAddress.set(address, s.line);
      if (s.bytes > 0 && !this.addressOfLine.has(s.line)) this.addressOfLine.set(s.line, s.first);
    }
    this.image = image;
    return image;
  }

  // The editor holds a program in language ('asm' or 'c'), a new one or
  // the same in another language: what it held before says nothing about it.
  languageChosen(language) {
    this.language = language;
    this.link = null;
    this.lineOfAddress = new Map();
    this.addressOfLine = new Map();
  }

  // The link follows the editor's cursor, and the pointer while it is over
  // a C line or an instruction (null: it left).
  cursorMoved(line) {
    this.cursorLine = line;
  }

  pointedAt(line) {
    this.pointerLine = line;
  }

  // The C line whose statements are linked to their instructions now.
  get linkedLine() {
    return this.pointerLine ?? this.cursorLine;
  }

  // The next C line that compiled to instructions after the linked one
  // (back: before it), or null.
  nextLinkLine(back = false) {
    if (this.link === null) return null;
    return this.link.nextLine(this.linkedLine ?? (back ? Infinity : 0), back);
  }

  // An image from a file, to be loaded as it is.
  uploaded(bytes) {
    // The answer to a build asked for before is not loaded over it.
    this.assembleId += 1;
    this.pending = false;
    this.fromSource = false;
    this.hasErrors = false;
    this.image = bytes.length <= (this.vocabulary?.memorySize ?? Infinity) ? bytes : new Uint8Array(0);
  }

  // The addresses of the statements on the given lines.
  breakpointAddresses(lines) {
    // A C line's: its statements' first addresses.
    if (this.language === 'c' && this.link !== null) return lines.flatMap((line) => this.link.startsOfLine(line));
    return lines.map((line) => this.addressOfLine.get(line)).filter((address) => address !== undefined);
  }

  // A snapshot from the worker after the command reason ('load', 'reset',
  // 'run', 'step', 'stop', 'back' for a step back, 'change' for Back to last
  // change, with search: {watch, found}). True when a run asked for during
  // the assembly should start now.
  stateReceived({ reason, state, refusal, search, executed }) {
    // How often each address ran in a C run that ended, until the machine
    // starts again.
    if (executed !== undefined) this.executed = executed === null ? null : new Map(executed);
    else if (reason === 'load' || reason === 'reset') this.executed = null;
    this.running = false;
    if (!this.unfetched) this.failure = '';
    this.progress = null;
    this.state = state;
    this.reason = reason;
    this.search = search ?? null;
    if (reason !== 'load') return false;
    this.refusal = refusal ?? '';
    const runNow = this.runAfterLoad;
    this.runAfterLoad = false;
    return runNow;
  }

  progressed(steps) {
    this.progress = steps;
  }

  // unfetched: the full engine (the compiler, the exercise reader) could
  // not be fetched, as offline before it was ever used; build: for a
  // compile, whose program then stands as one with errors (the machine
  // marked as the last that built, nothing runs) until a build answers.
  failed(message, { unfetched = false, build = false } = {}) {
    this.failure = message;
    this.unfetched = unfetched;
    this.running = false;
    if (unfetched && build) {
      this.pending = false;
      this.hasErrors = true;
      this.runAfterLoad = false;
    }
  }

  // Run was asked for: 'assemble' first (the editor changed), 'run' (with
  // fromStart when the last run has ended), or null when it cannot run.
  runRequested() {
    if (this.pending) {
      this.runAfterLoad = true;
      return { action: 'assemble' };
    }
    if (!this.controls.run) return null;
    this.running = true;
    return { action: 'run', fromStart: this.ended };
  }

  // A step of a C statement was asked for (it may take a while: the machine
  // could run on through memory): true when it can be done.
  stepRequested() {
    if (!this.controls.step) return false;
    this.running = true;
    return true;
  }

  // Step back was asked for: true when it can be done.
  stepBackRequested() {
    if (!this.controls.stepBack) return false;
    this.running = true;
    return true;
  }

  // Back to last change was asked for: true when it can be done.
  backToChangeRequested() {
    if (!this.controls.backToChange) return false;
    this.running = true;
    return true;
  }

  // A watch to add ({kind, name} or {kind, address}): false when it is
  // there already or there are kMostWatches.
  addWatch(watch) {
    const key = JSON.stringify(watch);
    if (this.watches.length >= kMostWatches || this.watches.some((w) => JSON.stringify(w) === key)) return false;
    this.watches.push(watch);
    return true;
  }

  removeWatch(index) {
    this.watches.splice(index, 1);
  }

  // --- what the view shows

  // The watches as the list shows them: "A changes", "[1000h] changes",
  // "0004h runs".
  get watchList() {
    return this.watches.map((watch) => {
      const { name, happened } = this.vocabulary.watchWords(watch);
      return `${name} ${happened === 'changed' ? 'changes' : 'runs'}`;
    });
  }

  get ended() {
    return this.state !== null && this.vocabulary !== null && this.vocabulary.isFinal(this.state.outcome);
  }

  // Which commands can be given now.
  get controls() {
    const canRun = this.vocabulary !== null && this.state !== null && !this.hasErrors && !this.refusal && !this.running;
    return {
      run: canRun,
      step: canRun && !this.ended,
      stepBack: canRun && this.state.steps > 0,
      backToChange: canRun && this.state.steps > 1,
      reset: canRun,
      stop: this.running,
      downloadImage: !this.hasErrors && !this.refusal,
      downloadMap: canRun,
    };
  }

  // The status line: {kind: 'idle' | 'error' | 'running' | 'done' | 'paused'
  // | 'ready', words}.
  get outcomeLine() {
    if (this.failure && this.unfetched) {
      return {
        kind: 'error',
        words:
          `The C compiler and the exercise reader could not be fetched (${this.failure}): ` +
          'they are fetched when first used, and kept for offline use from then on.',
      };
    }
    if (this.failure) return { kind: 'error', words: `The engine failed: ${this.failure}` };
    if (this.hasErrors) return { kind: 'error', words: 'The source has errors: fix them to run it.' };
    if (this.refusal) return { kind: 'error', words: `Refused: ${this.refusal}.` };
    if (this.running) {
      const words = this.progress === null ? 'Running…' : `Running… ${this.progress} steps so far (Esc stops).`;
      return { kind: 'running', words };
    }
    const { state } = this;
    if (state === null || this.vocabulary === null) return { kind: 'idle', words: 'Loading the engine…' };
    if (this.vocabulary.isFinal(state.outcome)) return { kind: 'done', words: sentence(state.outcomeText) };
    if (state.outcome === 'watchpoint' && state.lastStep !== null) {
      const words = `Stopped by a watch after step ${state.steps}: ${this.vocabulary.stepWords(state.lastStep)}.`;
      return { kind: 'paused', words };
    }
    if (this.reason === 'change' && this.search !== null) {
      const { name, happened } = this.vocabulary.watchWords(this.search.watch);
      const words = this.search.found
        ? `Back at step ${state.steps}, where ${name} last ${happened}: ${this.vocabulary.stepWords(state.lastStep)}.`
        : `${name} never ${happened} before step ${state.steps}.`;
      return { kind: 'paused', words };
    }
    if (this.reason === 'back') {
      const line = this.cLine === null ? '' : ` (line ${this.cLine})`;
      return {
        kind: state.steps === 0 ? 'ready' : 'paused',
        words: `Back at step ${state.steps}, at ${this.vocabulary.address(state.pc)}${line}.`,
      };
    }
    if (state.outcome === 'breakpoint') {
      const line = this.fromSource ? this.lineOfAddress.get(state.pc) : undefined;
      return { kind: 'paused', words: sentence(`${state.outcomeText}${line ? ` (line ${line})` : ''}`) };
    }
    if (this.reason === 'stop')
      return { kind: 'paused', words: `Stopped by you at ${this.vocabulary.address(state.pc)}.` };
    if (state.steps === 0) return { kind: 'ready', words: 'Ready: press Run or Step.' };
    return { kind: 'paused', words: sentence(state.outcomeText) };
  }

  // What the last step changed, from its record: register and flag names,
  // memory addresses, and whether it moved the program counter.
  get lastChange() {
    const record = this.state?.lastStep ?? null;
    const names = new Set();
    const addresses = new Set();
    if (record !== null) {
      for (const [name, change] of Object.entries(record.changes)) {
        if (name === 'memory') addresses.add(change.address);
        else names.add(name);
      }
    }
    return { names, addresses, pc: record !== null && record.pc !== this.state.pc };
  }

  // The registers and flags in report order: {name, value, text, changed}.
  get registers() {
    const { names } = this.lastChange;
    return this.vocabulary.registers.map(({ name, slot }) => {
      const value = this.state.registers[slot];
      return { name, value, text: this.vocabulary.byte(value), changed: names.has(name) };
    });
  }

  get flags() {
    const { names } = this.lastChange;
    return this.vocabulary.flags.map(({ name, slot }) => {
      const value = this.state.flags[slot];
      return { name, value, text: String(value), changed: names.has(name) };
    });
  }

  // The last step in words ("CMP B: A (50h) is below B (60h), so CY = 1 and
  // Z = 0"), or '' when there is no recorded step; in C after the C line
  // the instruction came from ("mem[0x1002] = a + b;: ADD Mem: A = ...").
  get explanation() {
    const record = this.state?.lastStep ?? null;
    return record === null ? '' : `${this.cStatementOf(record)}${record.explain}`;
  }

  // In C, the text of the C line a step's instruction came from, to stand
  // before the step's words ("sum += mem[0x1002];: "); else ''.
  cStatementOf(record) {
    const line = this.cProgram ? this.link.lineOfAddress(record.pc) : null;
    return line === null ? '' : `${this.link.sourceLine(line)}: `;
  }

  // The machine runs the C program the editor holds (or the last of it that
  // compiled): its steps go by C statement.
  get cProgram() {
    return this.language === 'c' && this.link !== null && this.fromSource;
  }

  // The C line of the statement at the program counter, or null (the
  // program's end, its tables, or not C).
  get cLine() {
    return this.cProgram && !this.stale ? this.pcLine : null;
  }

  // Each C line's steps after a C run ended: Map line -> steps, or null.
  get lineSteps() {
    return this.cProgram && this.executed !== null ? this.link.stepsByLine(this.executed) : null;
  }

  // The run-time checks' findings so far, each with the words the list
  // shows: "Line 2: warning: ... [-Whl-unset]", or the address for an image.
  // line is null where the source is not known.
  get checks() {
    const known = this.fromSource && !this.hasErrors;
    // After a step back the page shows an earlier step than the run's last:
    // only what the checks found up to it.
    const shown = (this.state?.checks ?? []).filter((finding) => finding.step <= this.state.steps);
    return shown.map((finding) => {
      const line = known && finding.line > 0 ? finding.line : null;
      const where = line !== null ? `Line ${line}` : this.vocabulary.address(finding.address);
      return { ...finding, line, words: `${where}: warning: ${finding.message} [-W${finding.id}]` };
    });
  }

  // What a screen reader hears after a command: a step and what it changed
  // ("MVI A, 05h: A 00h to 05h"), then the status line when it is news.
  get announcement() {
    const { words } = this.outcomeLine;
    const record = this.state?.lastStep ?? null;
    if (this.reason === 'step' && record !== null && !this.running && this.state.outcome !== 'watchpoint') {
      return `${this.cStatementOf(record)}${this.vocabulary.stepWords(record)}.${this.ended ? ` ${words}` : ''}`;
    }
    return words;
  }

  // Why the machine is marked out of date.
  get staleNote() {
    if (this.unfetched) return 'The machine shows the last program built: this one runs once the compiler is fetched.';
    const done = this.language === 'c' ? 'compiled' : 'assembled';
    return `The machine shows the last program that ${done}: fix the errors to run this one.`;
  }

  // While the source has errors, the machine shows the last program that
  // assembled: its views are marked as out of date.
  get stale() {
    return this.hasErrors && this.state !== null;
  }

  // The instruction at the program counter, or a dash while stale.
  get next() {
    return this.stale || this.state === null ? '–' : this.state.next;
  }

  // The open exercise as the page shows it: null when none is open (or
  // could not be read: then {error}); else its title, text, what the link
  // leaves out (the teacher's hidden cases, or ''), cases (after a Check,
  // each {name, pass, details}: for a visible case its mismatches or why it
  // could not run, for a hidden one nothing) and the score, "2 / 3".
  get exerciseView() {
    if (this.exerciseError) return { error: `This exercise cannot be read: ${this.exerciseError}.` };
    if (this.exercise === null) return null;
    const { title, text } = this.exercise;
    const left = this.exercise.hidden_cases;
    const hidden =
      left === 0
        ? ''
        : `${left} more ${left === 1 ? "case is the teacher's and is" : "cases are the teacher's and are"} not in this link.`;
    if (this.grade === null) return { title, text, hidden, checking: this.checking, cases: [], score: '' };
    const cases = this.grade.cases.map((result) => ({
      name: result.hidden ? `${result.name} (hidden)` : result.name,
      pass: result.pass,
      // The reference case brings its words: the inputs matched, the smallest failing one.
      details:
        result.pass || result.hidden
          ? []
          : result.error
            ? [result.error]
            : (result.problems ?? result.mismatches.map((m) => m.text)),
    }));
    return {
      title,
      text,
      hidden,
      checking: this.checking,
      cases,
      score: `${this.grade.score} / ${this.grade.max_score}`,
    };
  }

  // The source line of the statement at the program counter, or null.
  get pcLine() {
    if (!this.fromSource || this.hasErrors || this.state === null) return null;
    return this.lineOfAddress.get(this.state.pc) ?? null;
  }
}
