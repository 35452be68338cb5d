// A static web server on 127.0.0.1 for the web build, as real hosts serve
// it: the types browsers insist on (application/wasm, for compiling while
// downloading), and the pre-compressed copies beside the files (.br, .gz)
// when the browser takes them. Every answer is revalidated by a digest of
// its bytes, so a new build is seen at once.
//   node tools/web/server.mjs <folder> [port]     (tools/web/serve.sh runs it)
// The page's tests import serve(); `hide` names files to answer 404 for, as
// a host that lost them would; `replace` maps a file name to another file to
// serve in its place (staged media).
import { createHash } from 'node:crypto';
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize } from 'node:path';
import { pathToFileURL } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.data': 'application/octet-stream', '.png': 'image/png', '.jpg': 'image/jpeg',
  '.webmanifest': 'application/manifest+json', '.txt': 'text/plain; charset=utf-8',
};
const ENCODINGS = [['br', '.br'], ['gzip', '.gz']];

// The file to send for a name: a compressed copy the browser accepts, else the file.
async function pick(file, accepted, mayCompress) {
  for (const [encoding, suffix] of mayCompress ? ENCODINGS : []) {
    if (accepted.includes(encoding)) {
      try {
        await stat(file + suffix);
        return { path: file + suffix, encoding };
      } catch {
        // no such copy: try the next
      }
    }
  }
  return { path: file, encoding: null };
}

export async function serve(root, { hide = [], replace = {}, port = 0 } = {}) {
  const server = createServer(async (request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    const name = path.endsWith('/') ? `${path.slice(1)}index.html` : path.replace(/^\/+/, '');
    if (name.includes('..') || hide.includes(name)) {
      response.writeHead(404).end('not found');
      return;
    }
    try {
      const accepted = (request.headers['accept-encoding'] ?? '').split(/\s*,\s*/)
        .map((token) => token.split(';')[0]);
      const { path: file, encoding } =
        await pick(replace[name] ?? join(root, name), accepted, !replace[name]);
      const body = await readFile(file);
      const tag = `"${createHash('sha256').update(body).digest('base64url').slice(0, 22)}"`;
      const headers = { 'Content-Type': TYPES[extname(name)] ?? 'application/octet-stream',
                        'Cache-Control': 'no-cache', 'Vary': 'Accept-Encoding', 'ETag': tag };
      if (encoding) {
        headers['Content-Encoding'] = encoding;
      }
      if (request.headers['if-none-match'] === tag) {
        response.writeHead(304, headers).end();
        return;
      }
      response.writeHead(200, { ...headers, 'Content-Length': body.length });
      response.end(request.method === 'HEAD' ? undefined : body);
    } catch {
      response.writeHead(404).end('not found');
    }
  });
  await new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    close: () => new Promise((resolve) => {
      server.close(resolve);
      server.closeAllConnections();
    }),
  };
}

if (import.meta.url === pathToFileURL(process.argv[1] ?? '').href) {
  const [folder, port = '8000'] = process.argv.slice(2);
  const { url } = await serve(folder, { port: Number(port) });
  console.log(`Zephrin: open ${url} in a browser (Ctrl-C stops the server)`);
}
