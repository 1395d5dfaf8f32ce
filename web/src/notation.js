// How the page writes numbers. A byte's notation (05h, 0F0h) is the engine's
// (Vocabulary.byte); these are the fixed-width forms of the memory grid and
// the editor's gutter, and of addresses in words (000Ch).

// value in exactly digits upper-case hexadecimal places: hex(12, 4) is "000C".
export const hex = (value, digits) => value.toString(16).toUpperCase().padStart(digits, '0');

// An address as the engine's words write it: "000Ch".
export const addressText = (value) => `${hex(value, 4)}h`;
