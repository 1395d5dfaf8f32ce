// Share links under Node: what a link holds, what a damaged one says, and
// which links are too long to make.
import assert from 'node:assert/strict';
import { readdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { test } from 'node:test';

import { decodeShare, encodeShare, kLinkLimit, shareLink } from '../src/share.js';
import { exampleSources, root } from './support.mjs';

const sum = readFileSync(path.join(root, 'examples/sum.asm'), 'utf8');
const plain = (text) => `#src=${Buffer.from(text, 'utf8').toString('base64url')}`;

test('every example, in either language, goes through a link and back unchanged', async () => {
  for (const [name, file] of exampleSources()) {
    const source = readFileSync(file, 'utf8');
    const made = await shareLink('http://host/', source);
    if (made.refusal) continue; // checked below
    assert.deepEqual(await decodeShare(new URL(made.url).hash), { kind: 'src', language: 'asm', text: source }, name);
  }
  for (const name of readdirSync(path.join(root, 'examples/c')).filter((n) => n.endsWith('.c'))) {
    const source = readFileSync(path.join(root, 'examples/c', name), 'utf8');
    for (const [optimise, tail] of [
      [true, ''],
      [false, '&O=0'],
    ]) {
      const { url } = await shareLink('http://host/', source, 'c', { optimise });
      assert.ok(
        url.startsWith('http://host/#zc=') &&
          url.endsWith(tail) &&
          /^[\w-]+$/.test(url.slice(16, url.length - tail.length)),
        url,
      );
      const got = await decodeShare(new URL(url).hash);
      assert.deepEqual(got, { kind: 'src', language: 'c', text: source, optimise }, name);
    }
  }
});

test('what a fragment holds', async () => {
  const z = await encodeShare(sum);
  const exercise = 'title = "Copy"\n';
  const source = (text) => ({ kind: 'src', language: 'asm', text });
  const c = 'void main(void) {}\n';
  const zc = await encodeShare(c, 'c');
  const inC = (optimise) => ({ kind: 'src', language: 'c', text: c, optimise });
  const cases = [
    ['', null],
    ['#', null],
    ['#notes', null],
    ['#other=abc', null],
    [plain(sum), source(sum)], // the older, uncompressed links still open
    [plain('; ü\n'), source('; ü\n')],
    [plain(''), source('')],
    [z, source(sum)],
    [zc, inC(true)], // links made before the level was carried open optimised
    [`${zc}&O=0`, inC(false)],
    [`${zc}&O=1`, inC(true)],
    [`${zc}&later=2&O=0`, inC(false)], // a parameter this page does not know is passed over
    [await encodeShare(c, 'c', { optimise: false }), inC(false)],
    [await encodeShare(sum, 'src', { optimise: false }), source(sum)], // assembly has no level
    [`${z}&O=0`, /cannot be read: it holds characters/],
    [await encodeShare(exercise, 'ex'), { kind: 'ex', text: exercise }],
    [plain(exercise).replace('#src=', '#ex='), { kind: 'ex', text: exercise }],
    [z.slice(0, z.length - 12), /cannot be read: its compressed data is broken/],
    ['#z=AAAA', /cannot be read: its compressed data is broken/],
    ['#src=%%%', /cannot be read: it holds characters a share link never has/],
    ['#src=QUJD=', /cannot be read: it holds characters/],
    ['#src=QUJDR', /cannot be read: it holds characters/],
    ['#src=_w', /cannot be read: it is not text/], // one byte, FFh
  ];
  for (const [fragment, expected] of cases) {
    const got = await decodeShare(fragment);
    if (expected instanceof RegExp) assert.match(got?.error ?? '', expected, fragment);
    else assert.deepEqual(got, expected, fragment);
  }
});

test(`links past ${kLinkLimit} characters are refused with the reason and the way out`, async () => {
  // Unpredictable bytes do not compress: about 1.37 link characters a byte.
  const noise = Array.from(
    { length: 7000 },
    (_, i) => `MVI A, ${((i * 7919) % 251).toString(16)}h ; ${(i * 104729) % 99991}`,
  ).join('\n');
  const cases = [
    [sum, false],
    ['MOV B, A\n'.repeat(20000), false], // 180,000 characters that compress to little
    [noise, true],
  ];
  for (const [source, refused] of cases) {
    const made = await shareLink('http://127.0.0.1:8080/', source);
    assert.equal('refusal' in made, refused);
    if (refused) {
      assert.match(
        made.refusal,
        /^No link made: it would be [\d,]+ characters long, and browsers and chat tools carry about 8,000\. Use Save source/,
      );
    } else {
      assert.ok(made.url.length <= kLinkLimit);
    }
  }
});
