// The link between a C program and the assembly it became, from the
// compiler's source map: which instructions each C statement compiled to,
// and which statement each instruction came from. Nothing here touches the
// DOM, so Node's test runner loads it as the page does.

// Colour bands: statements take them in turn, so that neighbours differ.
export const kBands = 6;

export class CodeLink {
  // compiled: mirvo cc --json's object (its map: per C statement line,
  // column, end_line, end_column, first_address, end_address exclusive,
  // assembly_lines); statements: the assembler's statements of its
  // assembly text ({line, address, bytes}); source: the C text compiled.
  constructor(compiled, statements, source = '') {
    const lines = compiled.assembly.split('\n');
    this.sourceLines = source.split('\n');
    this.statements = compiled.map.map((entry, index) => ({
      line: entry.line,
      column: entry.column,
      endLine: entry.end_line,
      endColumn: entry.end_column,
      first: entry.first_address,
      end: entry.end_address,
      bytes: entry.end_address - entry.first_address,
      band: index % kBands,
    }));
    // The statement each assembly line belongs to, by its index in the map.
    const statementOfLine = new Map();
    compiled.map.forEach((entry, index) => {
      for (const line of entry.assembly_lines) statementOfLine.set(line, index);
    });
    // The instructions: the assembly lines that emitted bytes.
    this.instructions = statements
      .filter((statement) => statement.bytes.length > 0)
      .map((statement) => {
        const index = statementOfLine.get(statement.line);
        return {
          address: statement.address,
          bytes: statement.bytes,
          text: (lines[statement.line - 1] ?? '').replace(/\s*;.*$/, '').trim(),
          cLine: index === undefined ? null : this.statements[index].line,
          statement: index ?? null,
        };
      });
  }

  // A C line's text, for a heading over its instructions.
  sourceLine(line) {
    return (this.sourceLines[line - 1] ?? '').trim();
  }

  // The C statements of a 1-based C line: those that start on it (a line
  // may hold several, and a statement made into no instruction has none);
  // on a line inside a statement that starts earlier, the innermost such
  // statement (a loop's body line is its own, not the loop's).
  statementsOnLine(line) {
    const starting = this.statements.filter((s) => s.line === line);
    if (starting.length > 0) return starting;
    const around = this.statements.filter((s) => line > s.line && line <= s.endLine);
    const size = (s) => (s.endLine - s.line) * 1e6 + (s.endColumn - s.column);
    return around.length === 0 ? [] : [around.reduce((inner, s) => (size(s) < size(inner) ? s : inner))];
  }

  // Bytes compiled from the statements that start on each C line, and the
  // band of the first: Map line -> {first, bytes, band}.
  get lineSummary() {
    const summary = new Map();
    for (const s of this.statements) {
      const seen = summary.get(s.line);
      if (seen) seen.bytes += s.bytes;
      else summary.set(s.line, { first: s.first, bytes: s.bytes, band: s.band });
    }
    return summary;
  }

  // The indexes of the instructions the statements on a C line compiled to.
  instructionsOfLine(line) {
    const wanted = new Set(this.statementsOnLine(line).map((s) => this.statements.indexOf(s)));
    const found = [];
    this.instructions.forEach((instruction, index) => {
      if (wanted.has(instruction.statement)) found.push(index);
    });
    return found;
  }

  // Where the statements that compiled to instructions start: a step of a
  // C statement ends at one of these addresses.
  get starts() {
    return this.statements.filter((s) => s.bytes > 0).map((s) => s.first);
  }

  // The first addresses of the statements that start on a C line: its
  // breakpoints (an unrolled loop's line has one per trip).
  startsOfLine(line) {
    return this.statements.filter((s) => s.line === line && s.bytes > 0).map((s) => s.first);
  }

  // Each C line's steps in a run, from how many times each address ran (a
  // Map, as Session.executedCounts gives it): Map line -> steps, for the
  // lines whose statements ran.
  stepsByLine(executed) {
    const steps = new Map();
    for (const [address, count] of executed) {
      const line = this.lineOfAddress(address);
      if (line !== null) steps.set(line, (steps.get(line) ?? 0) + count);
    }
    return steps;
  }

  // The C line the instruction at address came from, or null.
  lineOfAddress(address) {
    const s = this.statements.find((entry) => address >= entry.first && address < entry.end);
    return s ? s.line : null;
  }

  // The first C line after line (or before it, with back) that compiled to
  // instructions; wraps around; null when none did.
  nextLine(line, back = false) {
    const lines = [...new Set(this.statements.filter((s) => s.bytes > 0).map((s) => s.line))].sort((a, b) => a - b);
    if (lines.length === 0) return null;
    if (back) return [...lines].reverse().find((l) => l < line) ?? lines.at(-1);
    return lines.find((l) => l > line) ?? lines[0];
  }
}
