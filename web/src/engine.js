// The engine compiled to WebAssembly, as JavaScript objects. The worker and
// the Node tests both go through this class, so what the tests check is what
// the page runs.

export const Outcome = Object.freeze({
  halted: 0,
  undefinedOpcode: 1,
  loopsForever: 2,
  stepLimit: 3,
  running: 4,
  breakpoint: 5,
});

// Register codes as the engine numbers them (slot 6 is the memory operand).
export const RegisterCode = Object.freeze({ B: 0, C: 1, D: 2, E: 3, H: 4, L: 5, A: 7 });
// Flag slots: the flag's bit in the 8080 flag byte.
export const FlagSlot = Object.freeze({ CY: 0, P: 2, AC: 4, Z: 6, S: 7 });

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

  // Assembles source text: {ok, diagnostics, statements, image}.
  assemble(source) {
    const bytes = encoder.encode(source);
    const m = this.module;
    const s = this.session;
    const status = this.withBytes(bytes, (pointer) => m._pg_assemble(s, pointer, bytes.length));
    const diagnostics = JSON.parse(this.text(m._pg_diagnostics(s), m._pg_diagnostics_size(s)));
    const count = m._pg_statement_count(s);
    const table = new Int32Array(m.HEAPU8.buffer, m._pg_statements(s), count * 5);
    const statements = [];
    for (let i = 0; i < count; ++i) {
      const row = table.subarray(i * 5, i * 5 + 5);
      const length = row[2];
      statements.push({ line: row[0], address: row[1], bytes: length > 1 ? [row[3], row[4]] : [row[3]] });
    }
    const imagePointer = m._pg_image(s);
    const image = m.HEAPU8.slice(imagePointer, imagePointer + m._pg_image_size(s));
    return { ok: status === 0, diagnostics, statements, image };
  }

  // Loads an image into a fresh machine: 0, or the engine's refusal code.
  load(image) {
    return this.withBytes(image, (pointer) => this.module._pg_load(this.session, pointer, image.length));
  }

  // The programs' words for a refused image, with its name in place.
  imageError(status, name) {
    return this.module.UTF8ToString(this.module._pg_image_error(status)).replace('%s', name).trimEnd();
  }

  restart() {
    this.module._pg_restart(this.session);
  }

  // Runs at most budget more steps; an Outcome value.
  resume(budget, breakpoints = false, skipFirst = false) {
    return this.module._pg_resume(this.session, budget, breakpoints ? 1 : 0, skipFirst ? 1 : 0);
  }

  setBreakpoints(addresses) {
    this.module._pg_clear_breakpoints(this.session);
    for (const address of addresses) this.module._pg_set_breakpoint(this.session, address, 1);
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
      memory: m.HEAPU8.slice(memoryPointer, memoryPointer + 65536),
      pc: m._pg_pc(s),
      sp: m._pg_sp(s),
      outcome: m._pg_outcome(s),
      steps: m._pg_steps(s),
      stepLimit: m._pg_step_limit(s),
      repeatWrap: m._pg_repeat_wrap(s),
      repeatOfWrap: m._pg_repeat_of_wrap(s),
      outcomeText: this.text(m._pg_outcome_text(s), m._pg_text_size(s)),
    };
  }

  // The state map MirvoVM writes for this machine run from imagePath.
  stateMap(imagePath) {
    const m = this.module;
    const path = encoder.encode(`${imagePath}\0`);
    const pointer = this.withBytes(path, (pathPointer) => m._pg_state_map(this.session, pathPointer));
    return m.HEAPU8.slice(pointer, pointer + m._pg_text_size(this.session));
  }

  disassemble(address) {
    const m = this.module;
    const pointer = m._pg_disassemble(this.session, address);
    return this.text(pointer, m._pg_text_size(this.session));
  }
}
