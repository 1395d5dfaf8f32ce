// The source editor: CodeMirror with a highlighter for the language, the
// assembler's diagnostics, a breakpoint gutter, each statement's address and
// bytes, and the line of the statement at the program counter.
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { Compartment, EditorState, Prec, RangeSet, StateEffect, StateField } from '@codemirror/state';
import {
  Decoration,
  EditorView,
  GutterMarker,
  gutter,
  highlightActiveLine,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { tags } from '@lezer/highlight';

import { hex } from './notation.js';

// The highlighter's tag of each class of word (Vocabulary.wordClass).
const kTagOfClass = { mnemonic: 'keyword', operand: 'variableName', number: 'number', invalid: 'invalid' };

// One statement a line: a mnemonic, up to two operands split by spaces or
// commas, and a comment after a semicolon. The words are the engine's.
function mirvoLanguage(vocabulary) {
  return StreamLanguage.define({
    name: 'mirvo',
    startState: () => ({ tokenIndex: 0 }),
    token(stream, state) {
      if (stream.sol()) state.tokenIndex = 0;
      if (stream.eatSpace()) return null;
      if (stream.peek() === ';') {
        stream.skipToEnd();
        return 'comment';
      }
      if (stream.eat(',')) return 'punctuation';
      stream.eatWhile(/[^\s,;]/);
      const index = state.tokenIndex;
      state.tokenIndex += 1;
      return kTagOfClass[vocabulary.wordClass(stream.current(), index)];
    },
    languageData: { commentTokens: { line: ';' } },
  });
}

// C as the compiler reads it, coarsely: comments, preprocessor lines,
// strings and characters, numbers, and words, keywords apart.
const kCKeywords = new Set(
  (
    'auto break case char const continue default do else enum extern for goto if inline int long ' +
    'register return short signed sizeof static struct switch typedef union unsigned void volatile while ' +
    'uint8_t int8_t uint16_t int16_t bool true false'
  ).split(' '),
);

const cLanguage = StreamLanguage.define({
  name: 'c',
  startState: () => ({ inComment: false }),
  token(stream, state) {
    if (state.inComment) {
      state.inComment = !stream.skipTo('*/');
      if (state.inComment) stream.skipToEnd();
      else stream.match('*/');
      return 'comment';
    }
    if (stream.eatSpace()) return null;
    if (stream.match('//') || (stream.sol() && stream.peek() === '#')) {
      stream.skipToEnd();
      return 'comment';
    }
    if (stream.match('/*')) {
      state.inComment = true;
      return 'comment';
    }
    if (stream.match(/^(?:0[xX][0-9a-fA-F]+|[0-9]+)[uUlL]*/)) return 'number';
    if (stream.match(/^'(?:[^'\\]|\\.)*'?/) || stream.match(/^"(?:[^"\\]|\\.)*"?/)) return 'number';
    if (stream.match(/^[A-Za-z_]\w*/)) return kCKeywords.has(stream.current()) ? 'keyword' : null;
    stream.next();
    return null;
  },
  languageData: { commentTokens: { line: '//', block: { open: '/*', close: '*/' } } },
});

const highlightStyle = HighlightStyle.define([
  { tag: tags.keyword, class: 'tok-mnemonic' },
  { tag: tags.variableName, class: 'tok-register' },
  { tag: tags.number, class: 'tok-number' },
  { tag: tags.comment, class: 'tok-comment' },
  { tag: tags.invalid, class: 'tok-invalid' },
]);

// --- statements: "0000 3E F0" beside each line that emitted bytes

const setStatements = StateEffect.define();
const statementsField = StateField.define({
  create: () => new Map(),
  update(value, transaction) {
    for (const effect of transaction.effects) if (effect.is(setStatements)) value = effect.value;
    return value;
  },
});

// A statement's address, then its bytes in a span of their own (a phone's
// narrow gutter leaves them out).
class AddressMarker extends GutterMarker {
  constructor(address, bytes) {
    super();
    this.address = address;
    this.bytes = bytes;
  }
  eq(other) {
    return other.address === this.address && other.bytes === this.bytes;
  }
  toDOM() {
    const span = document.createElement('span');
    const bytes = document.createElement('span');
    bytes.className = 'gutter-bytes';
    bytes.textContent = ` ${this.bytes}`;
    span.append(this.address, bytes);
    return span;
  }
}

const addressGutter = gutter({
  class: 'cm-addressGutter',
  lineMarker(view, line) {
    const number = view.state.doc.lineAt(line.from).number;
    const statement = view.state.field(statementsField).get(number);
    if (!statement) return null;
    // A C line: where its instructions start and how many bytes they take,
    // and after a run how many steps ran in them.
    if (typeof statement.bytes === 'number') {
      const plural = (count, word) => `${count} ${word}${count === 1 ? '' : 's'}`;
      const steps = statement.steps === undefined ? '' : `, ${plural(statement.steps, 'step')}`;
      return new AddressMarker(hex(statement.first, 4), `${plural(statement.bytes, 'byte')}${steps}`);
    }
    const bytes = statement.bytes.map((b) => hex(b, 2)).join(' ');
    return new AddressMarker(hex(statement.address, 4), bytes.padEnd(5));
  },
  lineMarkerChange: (update) => update.transactions.some((t) => t.effects.some((e) => e.is(setStatements))),
  initialSpacer: () => new AddressMarker('0000', '00 00'),
});

// --- breakpoints: a set of line starts, kept in place through edits

const toggleBreakpoint = StateEffect.define({ map: (value, mapping) => mapping.mapPos(value) });
const breakpointMarker = new (class extends GutterMarker {
  toDOM() {
    const dot = document.createElement('span');
    dot.className = 'breakpoint-dot';
    dot.textContent = '●';
    return dot;
  }
})();
const breakpointField = StateField.define({
  create: () => RangeSet.empty,
  update(set, transaction) {
    set = set.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(toggleBreakpoint)) continue;
      let present = false;
      set.between(effect.value, effect.value, () => {
        present = true;
      });
      set = present
        ? set.update({ filter: (from) => from !== effect.value })
        : set.update({ add: [breakpointMarker.range(effect.value)] });
    }
    return set;
  },
});

function breakpointGutter(onChange) {
  return [
    breakpointField,
    gutter({
      class: 'cm-breakpointGutter',
      markers: (view) => view.state.field(breakpointField),
      initialSpacer: () => breakpointMarker,
      domEventHandlers: {
        mousedown(view, line) {
          view.dispatch({ effects: toggleBreakpoint.of(line.from) });
          onChange();
          return true;
        },
      },
    }),
  ];
}

// --- the statement at the program counter

const setPcLine = StateEffect.define();
const pcLineDecoration = Decoration.line({ class: 'cm-pcLine' });
const pcLineField = StateField.define({
  create: () => Decoration.none,
  update(decorations, transaction) {
    decorations = decorations.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(setPcLine)) continue;
      decorations = effect.value === null ? Decoration.none : Decoration.set([pcLineDecoration.range(effect.value)]);
    }
    return decorations;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// --- the link to the generated assembly: each C statement's colour band,
// and the lines of the statement linked now

const setLinkMarks = StateEffect.define();
const linkField = StateField.define({
  create: () => Decoration.none,
  update(decorations, transaction) {
    decorations = decorations.map(transaction.changes);
    for (const effect of transaction.effects) if (effect.is(setLinkMarks)) decorations = effect.value;
    return decorations;
  },
  provide: (field) => EditorView.decorations.from(field),
});

// A 1-based byte column of a line as a character offset within it.
function byteColumnToOffset(text, column) {
  const bytes = new TextEncoder().encode(text);
  return new TextDecoder().decode(bytes.subarray(0, Math.max(0, column - 1))).length;
}

// The engine's fixes of a diagnostic as lint actions, one button each in
// its tooltip and the lint panel: each puts the text meant in place of its
// range. The range is kept relative to the diagnostic's start, which
// CodeMirror maps through later edits and passes to apply.
function fixActions(doc, diagnostic, from) {
  return (diagnostic.fixes ?? [])
    .filter((fix) => fix.line >= 1 && fix.line <= doc.lines)
    .map((fix) => {
      const line = doc.line(fix.line);
      const start = line.from + byteColumnToOffset(line.text, fix.column) - from;
      const end = line.from + byteColumnToOffset(line.text, fix.column + fix.length) - from;
      return {
        name: fix.title,
        apply(view, at) {
          view.dispatch({ changes: { from: at + start, to: at + end, insert: fix.text } });
        },
      };
    });
}

// Holds the language once the engine's vocabulary is known, and the
// editor's name for screen readers.
const languageSlot = new Compartment();
const labelSlot = new Compartment();
const kLabels = { asm: 'Assembly source', c: 'C source' };

export class SourceEditor {
  // handlers: onChange(), onBreakpoints(), onCursor(line) and
  // onPointer(line or null) for the link, and the keys' commands.
  constructor(parent, handlers) {
    this.language = 'asm';
    this.vocabulary = null;
    this.linkShown = false; // C statements' bands or a link are marked
    const commandKeys = Prec.highest(
      keymap.of([
        { key: 'F8', run: () => (handlers.nextLink(false), true) },
        { key: 'Shift-F8', run: () => (handlers.nextLink(true), true) },
        { key: 'Mod-Enter', run: () => (handlers.run(), true) },
        { key: 'F10', run: () => (handlers.step(), true) },
        { key: 'Shift-F10', run: () => (handlers.stepBack(), true) },
        { key: 'Ctrl-F10', run: () => (handlers.stepInstruction(), true) },
        { key: 'Ctrl-Shift-F10', run: () => (handlers.stepBackInstruction(), true) },
        {
          key: 'F9',
          run: (view) => {
            const line = view.state.doc.lineAt(view.state.selection.main.head);
            view.dispatch({ effects: toggleBreakpoint.of(line.from) });
            handlers.onBreakpoints();
            return true;
          },
        },
      ]),
    );
    this.view = new EditorView({
      parent,
      state: EditorState.create({
        doc: '',
        extensions: [
          commandKeys,
          breakpointGutter(() => handlers.onBreakpoints()),
          lineNumbers(),
          statementsField,
          addressGutter,
          lintGutter(),
          pcLineField,
          linkField,
          history(),
          highlightActiveLine(),
          languageSlot.of([]),
          syntaxHighlighting(highlightStyle),
          keymap.of([...defaultKeymap, ...historyKeymap]),
          EditorView.lineWrapping,
          // An explicit tab stop, so checkers see the scroller's content as focusable.
          labelSlot.of(EditorView.contentAttributes.of({ 'aria-label': kLabels.asm, tabindex: '0' })),
          EditorView.updateListener.of((update) => {
            if (update.docChanged) handlers.onChange();
            if (update.selectionSet) handlers.onCursor(this.lineAt(update.state.selection.main.head));
          }),
          EditorView.domEventHandlers({
            mousemove: (event, view) => {
              const at = view.posAtCoords({ x: event.clientX, y: event.clientY });
              handlers.onPointer(at === null ? null : this.lineAt(at));
            },
            mouseleave: () => handlers.onPointer(null),
          }),
        ],
      }),
    });
  }

  // Highlights with the engine's words (a Vocabulary from state.js).
  setVocabulary(vocabulary) {
    this.vocabulary = vocabulary;
    this.setLanguage(this.language);
  }

  // The editor holds language: 'asm' (highlighted once the vocabulary is
  // known) or 'c'.
  setLanguage(language) {
    this.language = language;
    const highlighter = language === 'c' ? cLanguage : this.vocabulary ? mirvoLanguage(this.vocabulary) : [];
    const label = EditorView.contentAttributes.of({ 'aria-label': kLabels[language], tabindex: '0' });
    this.view.dispatch({ effects: [languageSlot.reconfigure(highlighter), labelSlot.reconfigure(label)] });
  }

  // The 1-based line of a position.
  lineAt(position) {
    return this.view.state.doc.lineAt(position).number;
  }

  get text() {
    return this.view.state.doc.toString();
  }

  // Characters in the editor, without building the text.
  get length() {
    return this.view.state.doc.length;
  }

  set text(value) {
    this.view.dispatch({ changes: { from: 0, to: this.view.state.doc.length, insert: value } });
  }

  // The 1-based lines that carry a breakpoint.
  breakpointLines() {
    const lines = [];
    const { doc } = this.view.state;
    this.view.state.field(breakpointField).between(0, doc.length, (from) => {
      lines.push(doc.lineAt(from).number);
    });
    return lines;
  }

  // Underlines for findings {line, column, length, severity, message, and
  // the assembler's fixes} with the message on hover and the fixes as
  // buttons beside it.
  marksOf(findings) {
    const { doc } = this.view.state;
    const marks = [];
    for (const d of findings) {
      if (d.line < 1 || d.line > doc.lines) continue;
      const line = doc.line(d.line);
      let from = line.from;
      let to = line.to;
      if (d.column > 0) {
        from = line.from + byteColumnToOffset(line.text, d.column);
        to = Math.max(from, line.from + byteColumnToOffset(line.text, d.column + d.length));
      }
      marks.push({ from, to, severity: d.severity, message: d.message, actions: fixActions(doc, d, from) });
    }
    return marks;
  }

  // The assembler's findings; the run's checks are cleared until the next run.
  showAssembly(diagnostics, statements) {
    this.assemblyMarks = this.marksOf(diagnostics);
    const byLine = new Map();
    for (const statement of statements) byLine.set(statement.line, statement);
    this.view.dispatch(setDiagnostics(this.view.state, this.assemblyMarks));
    this.view.dispatch({ effects: setStatements.of(byLine) });
  }

  // The compiler's findings, and beside each C line where its instructions
  // start and their bytes (CodeLink.lineSummary).
  showCompile(diagnostics, summary) {
    this.assemblyMarks = this.marksOf(diagnostics);
    this.summary = summary;
    this.view.dispatch(setDiagnostics(this.view.state, this.assemblyMarks));
    this.view.dispatch({ effects: setStatements.of(summary) });
  }

  // Each C line's steps in a run (Map line -> steps) beside its bytes, or
  // the bytes alone (null).
  showLineSteps(steps) {
    const summary = new Map(
      [...(this.summary ?? new Map())].map(([line, entry]) => [
        line,
        { ...entry, steps: steps?.get(line) ?? (steps ? 0 : undefined) },
      ]),
    );
    this.view.dispatch({ effects: setStatements.of(summary) });
  }

  // The colour bands of the C statements ({line, endLine, band}) and the
  // lines linked now (a Set), marked.
  showLink(statements, linked) {
    // Nothing to mark and nothing marked: no transaction for each keystroke.
    const marking = statements.length > 0 || linked.size > 0;
    if (!marking && !this.linkShown) return;
    this.linkShown = marking;
    const { doc } = this.view.state;
    const classes = new Map();
    for (const { line, endLine, band } of statements) {
      for (let l = line; l <= Math.min(endLine, doc.lines); l += 1) if (!classes.has(l)) classes.set(l, band);
    }
    for (const l of linked) if (l <= doc.lines && !classes.has(l)) classes.set(l, null);
    const ranges = [...classes.keys()]
      .sort((a, b) => a - b)
      .map((l) => {
        const band = classes.get(l);
        const names = [band === null ? '' : `cm-band cm-band-${band}`, linked.has(l) ? 'cm-linked' : ''];
        return Decoration.line({ class: names.join(' ').trim() }).range(doc.line(l).from);
      });
    this.view.dispatch({ effects: setLinkMarks.of(Decoration.set(ranges)) });
  }

  // Puts the cursor at the start of a 1-based line and scrolls it into view.
  moveToLine(lineNumber) {
    const { doc } = this.view.state;
    if (lineNumber < 1 || lineNumber > doc.lines) return;
    const from = doc.line(lineNumber).from;
    this.view.dispatch({ selection: { anchor: from }, effects: EditorView.scrollIntoView(from, { y: 'nearest' }) });
  }

  // Scrolls a 1-based line into view, the cursor staying where it is.
  revealLine(lineNumber) {
    const { doc } = this.view.state;
    if (lineNumber < 1 || lineNumber > doc.lines) return;
    this.view.dispatch({ effects: EditorView.scrollIntoView(doc.line(lineNumber).from, { y: 'nearest' }) });
  }

  // The run-time checks' findings (PageModel.checks) as warnings at their
  // statements, beside the assembler's.
  showChecks(checks) {
    const placed = checks.filter((c) => c.line !== null);
    const marks = this.marksOf(placed.map((c) => ({ ...c, severity: 'warning', message: c.words })));
    this.view.dispatch(setDiagnostics(this.view.state, [...(this.assemblyMarks ?? []), ...marks]));
  }

  // Highlights a 1-based line (null: none) and keeps it in view.
  showPcLine(lineNumber) {
    const { doc } = this.view.state;
    if (lineNumber === null || lineNumber > doc.lines) {
      this.view.dispatch({ effects: setPcLine.of(null) });
      return;
    }
    const from = doc.line(lineNumber).from;
    this.view.dispatch({ effects: [setPcLine.of(from), EditorView.scrollIntoView(from, { y: 'nearest' })] });
  }
}
