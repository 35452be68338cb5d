// A static web server on 127.0.0.1 for the page under test. `hide` names
// files to answer 404 for, as a host that lost them would; `replace` maps a
// file name to another file to serve in its place (staged media).
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.png': 'image/png',
};

export async function serve(root, { hide = [], replace = {} } = {}) {
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const name = path === '/' ? 'index.html' : path.replace(/^\/+/, '');
    if (name.includes('..') || hide.includes(name)) {
      response.writeHead(404).end('not found');
      return;
    }
    try {
      const body = await readFile(replace[name] ?? join(root, name));
      response.writeHead(200, { 'Content-Type': TYPES[extname(name)] ?? 'application/octet-stream',
                                'Cache-Control': 'no-store' });
      response.end(body);
    } catch {
      response.writeHead(404).end('not found');
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((resolve) => server.close(resolve)),
  };
}
