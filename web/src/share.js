// Links carry a source or an exercise file's text in the page address after
// "#", so no server ever sees it, as UTF-8 in base64url without padding:
//   #z=    a source compressed with deflate-raw (what Share link makes);
//   #zc=   a C source compressed with deflate-raw, then "&O=0" when it is
//          compiled as written (links without it are compiled optimised);
//   #src=  a source as it is (older links, and mirvo link);
//   #zex=  an exercise compressed with deflate-raw;
//   #ex=   an exercise as it is (mirvo link).
// Browsers and chat tools cut or refuse long addresses, so a link longer
// than kLinkLimit characters is not made at all.

export const kLinkLimit = 8000;
// No program needs more; a link that inflates past it is refused.
const kMaxSourceBytes = 8 << 20;

// kind: what the link's text is, as encodeShare names it; decodeShare
// answers 'src' for a program in either language, with its language.
const kFormats = [
  { key: 'z', kind: 'src', compressed: true, language: 'asm' },
  { key: 'src', kind: 'src', compressed: false, language: 'asm' },
  { key: 'zc', kind: 'c', compressed: true, language: 'c' },
  { key: 'zex', kind: 'ex', compressed: true },
  { key: 'ex', kind: 'ex', compressed: false },
];

function toBase64Url(bytes) {
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  if (!/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) return null;
  const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/') + '='.repeat((4 - (text.length % 4)) % 4));
  return Uint8Array.from(binary, (c) => c.charCodeAt(0));
}

async function pipeThrough(bytes, stream, limit = Infinity) {
  const reader = new Blob([bytes]).stream().pipeThrough(stream).getReader();
  const chunks = [];
  let size = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    size += value.length;
    if (size > limit) {
      await reader.cancel();
      return null;
    }
    chunks.push(value);
  }
  return new Uint8Array(await new Blob(chunks).arrayBuffer());
}

// The fragment of a link for text, a source (kind 'src': "#z=…"), a C
// source ('c': "#zc=…", optimise false: compiled as written, -O0) or an
// exercise ('ex': "#zex=…").
export async function encodeShare(text, kind = 'src', { optimise = true } = {}) {
  const { key } = kFormats.find((format) => format.kind === kind && format.compressed);
  const packed = await pipeThrough(new TextEncoder().encode(text), new CompressionStream('deflate-raw'));
  const level = kind === 'c' && !optimise ? '&O=0' : '';
  return `#${key}=${toBase64Url(packed)}${level}`;
}

// The whole link for text on the page at base (an address without "#"):
// {url}, or {refusal} in words when it would be too long to carry.
export async function shareLink(base, text, kind = 'src', options = {}) {
  const url = `${base}${await encodeShare(text, kind, options)}`;
  if (url.length <= kLinkLimit) return { url };
  const count = url.length.toLocaleString('en-US');
  return {
    refusal:
      `No link made: it would be ${count} characters long, and browsers and chat tools ` +
      `carry about ${kLinkLimit.toLocaleString('en-US')}. Use Save source and send the file instead.`,
  };
}

// What a fragment holds: null when it names nothing (an empty or foreign
// fragment), {kind: 'src', language: 'asm', text} for a program in
// assembly, {kind: 'src', language: 'c', text, optimise} for one in C,
// {kind: 'ex', text} for an exercise, or {error} in words for a link that
// is damaged (cut short, changed by hand, or not text). A C link's
// parameters after "&" that this page does not know are passed over.
export async function decodeShare(fragment) {
  const match = /^#([a-z]+)=([^&]*)((?:&.*)?)$/s.exec(fragment);
  const format = match && kFormats.find((f) => f.key === match[1]);
  if (!format) return null;
  const damaged = (why) => ({
    error: `This link's program cannot be read: ${why}. It may have been cut short when it was copied.`,
  });
  const parameters = new URLSearchParams(match[3].slice(1));
  if (format.language !== 'c' && match[3] !== '') return damaged('it holds characters a share link never has');
  let bytes = fromBase64Url(match[2]);
  if (bytes === null) return damaged('it holds characters a share link never has');
  if (format.compressed) {
    try {
      bytes = await pipeThrough(bytes, new DecompressionStream('deflate-raw'), kMaxSourceBytes);
    } catch {
      return damaged('its compressed data is broken');
    }
    if (bytes === null) return damaged('it unpacks to more than any program needs');
  }
  try {
    const text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    if (format.language === 'c') return { kind: 'src', language: 'c', text, optimise: parameters.get('O') !== '0' };
    return format.language ? { kind: 'src', language: format.language, text } : { kind: format.kind, text };
  } catch {
    return damaged('it is not text');
  }
}
