// serve.js [DIR] [PORT]: serves the web build (build-web/) on 127.0.0.1 only, for a quick try and for the
// browser tests. PORT 0 (the default) takes a free port. Any static web server works as well.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.json': 'application/json', '.txt': 'text/plain; charset=utf-8', '.bmp': 'image/bmp', '.wav': 'audio/wav',
};

// mounts: {'/prefix/': folder} served beside the root (the tests' own stories).
function serve(root, port, mounts) {
  root = path.resolve(root);
  const server = http.createServer((request, response) => {
    let name;
    try { name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname); } catch (e) { name = null; }
    let base = root;
    for (const prefix of Object.keys(mounts || {})) {
      if (name && name.startsWith(prefix)) { base = path.resolve(mounts[prefix]); name = '/' + name.slice(prefix.length); }
    }
    const file = name && path.resolve(base, '.' + (name.endsWith('/') ? name + 'index.html' : name));
    if (!file || (file !== base && !file.startsWith(base + path.sep)) || request.method !== 'GET') {
      response.writeHead(400).end();
      return;
    }
    fs.readFile(file, (error, bytes) => {
      if (error) { response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n'); return; }
      response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                                'Cache-Control': 'no-cache' });
      response.end(bytes);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port || 0, '127.0.0.1', () => resolve(server));
  });
}

module.exports = { serve };

if (require.main === module) {
  const root = process.argv[2] || path.join(__dirname, '..', 'build-web');
  serve(root, parseInt(process.argv[3] || '0', 10)).then((server) => {
    console.log(`Serving ${root} at http://127.0.0.1:${server.address().port}/  (Ctrl+C stops)`);
  }, (error) => { console.error('serve.js: ' + error.message); process.exit(1); });
}
