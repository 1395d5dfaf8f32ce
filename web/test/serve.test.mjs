// The playground's server answers every request, however malformed, and
// keeps serving after it.
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { connect } from 'node:net';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';

import { serveSite } from '../tools/serve.mjs';

const work = mkdtempSync(path.join(tmpdir(), 'mirvo-serve-'));
const site = path.join(work, 'web');
let server;
before(async () => {
  mkdirSync(path.join(site, 'examples'), { recursive: true });
  writeFileSync(path.join(site, 'index.html'), '<!doctype html>');
  writeFileSync(path.join(site, 'examples/sum.asm'), 'RET\n');
  writeFileSync(path.join(work, 'web-secret.txt'), 'outside');
  server = await serveSite(site, 0);
});
after(() => {
  server.close();
  rmSync(work, { recursive: true, force: true });
});

// Sends raw bytes and resolves to the status code of the answer (0: none).
function raw(bytes) {
  return new Promise((resolve, reject) => {
    const socket = connect(server.address().port, '127.0.0.1');
    let reply = '';
    socket.on('data', (chunk) => (reply += chunk));
    socket.on('end', () => resolve(Number(/^HTTP\/1\.1 (\d+)/.exec(reply)?.[1] ?? 0)));
    socket.on('error', reject);
    socket.write(bytes);
  });
}
const get = (target) => raw(`GET ${target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n`);

const cases = [
  ['/', 200],
  ['/examples/sum.asm', 200],
  ['/%E0%A4%A', 400],
  ['/%', 400],
  ['/a%00b', 400],
  // Dots that climb out of the site stop at its top: never the file beside it.
  ['/../web-secret.txt', 404],
  ['/%2e%2e/web-secret.txt', 404],
  ['/..%2fweb-secret.txt', 404],
  ['/missing.js', 404],
  ['http://[::1', 400],
];
for (const [target, status] of cases) {
  test(`GET ${target} answers ${status}, and the server goes on`, async () => {
    assert.equal(await get(target), status);
    assert.equal(await get('/'), 200);
  });
}

test('a request line that is no HTTP gets 400, and the server goes on', async () => {
  assert.equal(await raw('\x00\x01garbage\r\n\r\n'), 400);
  assert.equal(await raw('POST / HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 0\r\n\r\n'), 405);
  assert.equal(await get('/'), 200);
});
