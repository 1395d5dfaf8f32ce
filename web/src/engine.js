// The engine compiled to WebAssembly, as JavaScript objects. The worker and
// the Node tests both go through this class, so what the tests check is what
// the page runs. Names and numbers (outcomes, registers, flags, the
// instruction table, the byte notation) come from the engine's vocabulary.

const encoder = new TextEncoder();
const decoder = new TextDecoder();

export class Engine {
  // factory: emscripten's createMirvoEngine; wasmBinary: the .wasm bytes.
  static async create(factory, wasmBinary) {
    const module = await factory({ wasmBinary, print: () => {}, printErr: () => {} });
    return new Engine(module);
  }

  constructor(module) {
    this.module = module;
    this.session = module._pg_create();
    if (this.session === 0) throw new Error('out of memory');
    // See VocabularyJson in engine/json/EngineJson.h.
    this.vocabulary = JSON.parse(this.lastText(module._pg_vocabulary(this.session)));
  }

  // Copies bytes into the wasm heap for the length of fn(pointer).
  withBytes(bytes, fn) {
    const pointer = this.module._malloc(Math.max(bytes.length, 1));
    try {
      this.module.HEAPU8.set(bytes, pointer);
      return fn(pointer);
    } finally {
      this.module._free(pointer);
    }
  }

  text(pointer, size) {
    return decoder.decode(this.module.HEAPU8.subarray(pointer, pointer + size));
  }

  // A text the session handed out last (its size from pg_text_size).
  lastText(pointer) {
    return this.text(pointer, this.module._pg_text_size(this.session));
  }

  // Assembles source text: {ok, image: the bytes, assembly: the object that
  // mirvo asm --json prints (statements, diagnostics, length)}.
  assemble(source) {
    const bytes = encoder.encode(source);
    const m = this.module;
    const s = this.session;
    const status = this.withBytes(bytes, (pointer) => m._pg_assemble(s, pointer, bytes.length));
    const assembly = JSON.parse(this.lastText(m._pg_assembly(s)));
    const imagePointer = m._pg_image(s);
    const image = m.HEAPU8.slice(imagePointer, imagePointer + m._pg_image_size(s));
    return { ok: status === 0, image, assembly };
  }

  // Compiles C source text (optimised unless optimise is false) and
  // assembles what it became: {ok, image: the bytes, assembly: the object
  // that mirvo cc --json prints (assembly, image, map, placed, diagnostics),
  // generated: the assembly of what it became as assemble's (null when it
  // did not compile)}.
  compile(source, optimise = true) {
    const bytes = encoder.encode(source);
    const m = this.module;
    const s = this.session;
    const status = this.withBytes(bytes, (pointer) => m._pg_compile(s, pointer, bytes.length, optimise ? 1 : 0));
    const assembly = JSON.parse(this.lastText(m._pg_assembly(s)));
    const generated = JSON.parse(this.lastText(m._pg_generated(s)));
    const imagePointer = m._pg_image(s);
    const image = m.HEAPU8.slice(imagePointer, imagePointer + m._pg_image_size(s));
    return { ok: status === 0, image, assembly, generated };
  }

  // Loads an image into a fresh machine: 0, or the engine's refusal code.
  load(image) {
    return this.withBytes(image, (pointer) => this.module._pg_load(this.session, pointer, image.length));
  }

  // Why an image called name was refused, in the engine's words.
  imageStatusText(status, name) {
    const path = encoder.encode(`${name}\0`);
    return this.lastText(
      this.withBytes(path, (pointer) => this.module._pg_image_status_text(this.session, status, pointer)),
    );
  }

  restart() {
    this.module._pg_restart(this.session);
  }

  // Runs at most budget more steps; the outcome's value (its name is
  // vocabulary.outcomes[value].name).
  resume(budget, breakpoints = false, skipFirst = false) {
    return this.module._pg_resume(this.session, budget, breakpoints ? 1 : 0, skipFirst ? 1 : 0);
  }

  // The program counter of the state shown, without copying the machine out.
  pc() {
    return this.module._pg_pc(this.session);
  }

  // Steps to the state shown (see goTo).
  steps() {
    return this.module._pg_steps(this.session);
  }

  // The most steps the run has taken: every state up to there can be shown.
  runSteps() {
    return this.module._pg_run_steps(this.session);
  }

  // Shows the state after step steps of the run; resume goes on from it.
  goTo(step) {
    this.module._pg_go_to(this.session, step);
  }

  // Watches: kind 0 a register, 1 a flag (which: its slot), 2 a memory
  // byte, 3 an executed address (which: the address). A run stops after a
  // step that changes or executes one. False when refused.
  setWatches(watches) {
    this.module._pg_clear_watches(this.session);
    return watches.every(({ kind, which }) => this.module._pg_add_watch(this.session, kind, which) === 1);
  }

  // Searches back from the state shown for the last step that did what the
  // watch {kind, which} watches, re-running at most budget steps: 'found'
  // (its state is shown), 'not-found', or 'more' (call again with fresh
  // false to go on).
  backToChange({ kind, which }, budget, fresh) {
    return ['found', 'not-found', 'more'][
      this.module._pg_back_to_change(this.session, kind, which, budget, fresh ? 1 : 0)
    ];
  }

  setBreakpoints(addresses) {
    this.module._pg_clear_breakpoints(this.session);
    for (const address of addresses) this.module._pg_set_breakpoint(this.session, address, 1);
  }

  // The step that brought the machine to its state, as a line of mirvo's
  // JSON trace, or null when the engine did not record it.
  lastStep() {
    return JSON.parse(this.lastText(this.module._pg_last_step(this.session)));
  }

  // What the run-time checks found so far: [{id, step, address, line,
  // column, length, message}] as mirvo run --json lists them.
  checks() {
    return JSON.parse(this.lastText(this.module._pg_checks(this.session)));
  }

  // The machine and the run, copied out of the heap.
  state() {
    const m = this.module;
    const s = this.session;
    const memoryPointer = m._pg_memory(s);
    const registerPointer = m._pg_registers(s);
    const flagPointer = m._pg_flags(s);
    return {
      registers: m.HEAPU8.slice(registerPointer, registerPointer + 8),
      flags: m.HEAPU8.slice(flagPointer, flagPointer + 8),
      memory: m.HEAPU8.slice(memoryPointer, memoryPointer + this.vocabulary.memorySize),
      pc: m._pg_pc(s),
      sp: m._pg_sp(s),
      hl: m._pg_hl(s),
      outcome: m._pg_outcome(s),
      steps: this.steps(),
      runSteps: this.runSteps(),
      outcomeText: this.lastText(m._pg_outcome_text(s)),
    };
  }

  // The state map MirvoVM writes for this machine run from imagePath.
  stateMap(imagePath) {
    const m = this.module;
    const path = encoder.encode(`${imagePath}\0`);
    const pointer = this.withBytes(path, (pathPointer) => m._pg_state_map(this.session, pathPointer));
    return m.HEAPU8.slice(pointer, pointer + m._pg_text_size(this.session));
  }

  // Opens an exercise from its file's text: {exercise} or {error}, as
  // ExerciseJson and ExerciseErrorJson in engine/json/ExerciseJson.h write them.
  openExercise(text) {
    const bytes = encoder.encode(text);
    const m = this.module;
    const pointer = this.withBytes(bytes, (start) => m._pg_open_exercise(this.session, start, bytes.length));
    return JSON.parse(this.lastText(pointer));
  }

  // The learner's copy of an exercise file's text, as mirvo link writes it:
  // its hidden cases, solution and wrong programs left out. '' for a text
  // that cannot be read.
  learnerExercise(text) {
    const bytes = encoder.encode(text);
    const m = this.module;
    return this.lastText(this.withBytes(bytes, (start) => m._pg_learner_exercise(this.session, start, bytes.length)));
  }

  // Grades the last assembly against the open exercise, as GradeJson writes
  // it for a learner (hidden cases pass or fail, nothing more); null with no
  // exercise open.
  check() {
    return JSON.parse(this.lastText(this.module._pg_check(this.session)));
  }

  disassemble(address) {
    return this.lastText(this.module._pg_disassemble(this.session, address));
  }
}
