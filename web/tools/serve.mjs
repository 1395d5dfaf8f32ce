// A small static server for the built site, on the loopback address only.
//   node serve.mjs <site folder> [port]      (port 0: any free one)
// As a module: serveSite(folder, port) resolves to the server once it listens.
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
  '.asm': 'text/plain; charset=utf-8',
  '.png': 'image/png',
};

export function serveSite(folder, port, host = '127.0.0.1') {
  const rootDir = path.resolve(folder);
  const server = createServer((request, response) => {
    const urlPath = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    let file = path.join(rootDir, path.normalize(urlPath));
    if (!file.startsWith(rootDir)) {
      response.writeHead(403).end();
      return;
    }
    try {
      if (statSync(file).isDirectory()) file = path.join(file, 'index.html');
      const { size } = statSync(file);
      response.writeHead(200, {
        'Content-Type': kTypes[path.extname(file)] ?? 'application/octet-stream',
        'Content-Length': size,
        'Cache-Control': 'no-cache',
      });
      createReadStream(file).pipe(response);
    } catch {
      response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n');
    }
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
