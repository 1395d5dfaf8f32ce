// The page's fixed-width hexadecimal: the memory grid's cells and row labels
// and the editor's gutter (000C, 0F). A number in words (a byte, 05h, and an
// address, 000Ch) is the engine's: Vocabulary.byte and Vocabulary.address.

// value in exactly digits upper-case hexadecimal places: hex(12, 4) is "000C".
export const hex = (value, digits) => value.toString(16).toUpperCase().padStart(digits, '0');
