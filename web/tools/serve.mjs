// A small static server for the built site, on the loopback address only.
//   node serve.mjs <site folder> [port]      (port 0: any free one)
// As a module: serveSite(folder, port) resolves to the server once it listens.
// A request it cannot make sense of gets an answer (400, 403 or 404) and the
// server goes on; no request can stop it.
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const kTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.webmanifest': 'application/manifest+json',
  '.svg': 'image/svg+xml',
  '.asm': 'text/plain; charset=utf-8',
  '.png': 'image/png',
};

// The file a request names inside rootDir: a path, or a status to answer.
export function resolveRequest(rootDir, requestUrl) {
  let urlPath;
  try {
    urlPath = decodeURIComponent(new URL(requestUrl, 'http://localhost').pathname);
  } catch {
    return 400; // a malformed escape such as %E0%A4%A, or no URL at all
  }
  if (urlPath.includes('\0')) return 400;
  const file = path.join(rootDir, path.normalize(urlPath));
  const inside = path.relative(rootDir, file);
  if (inside.startsWith('..') || path.isAbsolute(inside)) return 403;
  return file;
}

function answer(response, status) {
  const words = { 400: 'bad request\n', 403: 'forbidden\n', 404: 'not found\n', 405: 'method not allowed\n' };
  response.writeHead(status, { 'Content-Type': 'text/plain' }).end(words[status] ?? '\n');
}

export function serveSite(folder, port, host = '127.0.0.1') {
  const rootDir = path.resolve(folder);
  const server = createServer((request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') return answer(response, 405);
    let file = resolveRequest(rootDir, request.url);
    if (typeof file === 'number') return answer(response, file);
    let size;
    try {
      if (statSync(file).isDirectory()) file = path.join(file, 'index.html');
      size = statSync(file).size;
    } catch {
      return answer(response, 404);
    }
    response.writeHead(200, {
      'Content-Type': kTypes[path.extname(file)] ?? 'application/octet-stream',
      'Content-Length': size,
      'Cache-Control': 'no-cache',
    });
    if (request.method === 'HEAD') return response.end();
    const stream = createReadStream(file);
    // A file that went between the stat and the read ends this answer only.
    stream.on('error', () => response.destroy());
    stream.pipe(response);
  });
  // A client that sends garbage or hangs up gets its socket closed.
  server.on('clientError', (_error, socket) => {
    if (socket.writable) socket.end('HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n');
    else socket.destroy();
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => resolve(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const folder = process.argv[2] ?? 'build/web';
  const port = Number(process.argv[3] ?? process.env.PORT ?? 8080);
  const server = await serveSite(folder, port);
  console.log(`Serving ${folder} at http://127.0.0.1:${server.address().port}/ (Ctrl+C stops)`);
}
