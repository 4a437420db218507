// A small static server of the tests' own: serves one folder on the loopback
// address, and with `isolate` sends the headers of cross-origin isolation.
//   node server.mjs ROOT [PORT] [--isolate]     (as a program, for a person)
//   import { serve } from './server.mjs'        (the tests)
import { createServer } from 'node:http';
import { createReadStream, promises as fs } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.wasm': 'application/wasm', '.json': 'application/json',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png', '.svg': 'image/svg+xml',
  '.ico': 'image/x-icon', '.mrp': 'application/octet-stream', '.mcf': 'application/octet-stream',
  '.txt': 'text/plain; charset=utf-8', '.md': 'text/markdown; charset=utf-8',
};

// Resolves to { url, close() } once the server listens (PORT 0: any free port).
export function serve(root, { port = 0, isolate = false } = {}) {
  const base = path.resolve(root);
  const server = createServer(async (req, res) => {
    const headers = { 'Cache-Control': 'no-store' };
    if (isolate) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
    }
    let name;
    try {
      name = decodeURIComponent(new URL(req.url, 'http://localhost').pathname);
    } catch {
      res.writeHead(400, headers).end('bad path');
      return;
    }
    let file = path.join(base, name);
    if (file !== base && !file.startsWith(base + path.sep)) {
      res.writeHead(403, headers).end('outside the site');
      return;
    }
    try {
      if ((await fs.stat(file)).isDirectory()) file = path.join(file, 'index.html');
      const stat = await fs.stat(file);
      headers['Content-Type'] = TYPES[path.extname(file).toLowerCase()] || 'application/octet-stream';
      headers['Content-Length'] = stat.size;
      res.writeHead(200, headers);
      if (req.method === 'HEAD') res.end();
      else createReadStream(file).pipe(res);
    } catch {
      res.writeHead(404, headers).end('not found');
    }
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => {
      resolve({
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => new Promise((done) => { server.closeAllConnections?.(); server.close(done); }),
      });
    });
  });
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const isolate = args.includes('--isolate');
  const [root, port] = args.filter((a) => a !== '--isolate');
  if (!root) {
    console.error('usage: node server.mjs ROOT [PORT] [--isolate]');
    process.exit(2);
  }
  const { url } = await serve(root, { port: Number(port || 8080), isolate });
  console.log(`serving ${root} at ${url}${isolate ? ' (cross-origin isolated)' : ''}`);
}
