// serve.js [DIR] [PORT]: serves the web build (build-web/) on 127.0.0.1 only, for a quick try and for the
// browser tests. PORT 0 (the default) takes a free port. Any static web server works as well.
// Bodies go gzip-compressed to browsers that take it (not the packed story, which is compressed already),
// with validators (ETag, Last-Modified) so that a browser asks again cheaply (304 Not Modified).
// Every answer carries the Content-Security-Policy of the page's own <meta http-equiv> (the root's
// index.html, read again when it changes), as a host would send it; none when the page has none.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.json': 'application/json', '.txt': 'text/plain; charset=utf-8', '.bmp': 'image/bmp', '.wav': 'audio/wav',
  '.css': 'text/css', '.png': 'image/png', '.webmanifest': 'application/manifest+json',
  '.kpak': 'application/octet-stream',
};
const compressible = /^(text\/|application\/(wasm|json|manifest\+json)|image\/bmp|audio\/wav)/;

// The policy of a page's <meta http-equiv="Content-Security-Policy" content="...">, or null.
function metaPolicy(html) {
  for (const tag of html.match(/<meta\b[^>]*>/gi) || []) {
    const attributes = {};
    for (const a of tag.matchAll(/([\w-]+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'>]+))/g))
      attributes[a[1].toLowerCase()] = a[2] !== undefined ? a[2] : a[3] !== undefined ? a[3] : a[4];
    if ((attributes['http-equiv'] || '').toLowerCase() === 'content-security-policy' && attributes.content !== undefined)
      return attributes.content.replace(/&(#x[0-9a-f]+|#[0-9]+|quot|apos|lt|gt|amp);/gi, (all, e) => {
        const named = { quot: '"', apos: "'", lt: '<', gt: '>', amp: '&' }[e.toLowerCase()];
        if (named) return named;
        const code = e[1] === 'x' || e[1] === 'X' ? parseInt(e.slice(2), 16) : parseInt(e.slice(1), 10);
        return code > 0 && code <= 0x10FFFF ? String.fromCodePoint(code) : all;
      }).trim();
  }
  return null;
}

// mounts: {'/prefix/': folder} served beside the root (the tests' own stories).
// options.headers: more headers for every answer; a Content-Security-Policy there replaces the page's
// (null: none).
// options.answer(name, request, response): a test's own answer for a path; true when it has answered.
// options.answered(name, status, bytes): told of every answer from the folder (bytes: the body's, as sent).
function serve(root, port, mounts, options) {
  root = path.resolve(root);
  options = options || {};
  const extra = Object.fromEntries(Object.entries(options.headers || {}).filter(([, value]) => value !== null && value !== undefined));
  const ownPolicy = Object.keys(options.headers || {}).some((h) => h.toLowerCase() === 'content-security-policy');
  const compressed = new Map();  // file -> {stamp, body}
  const page = { stamp: null, policy: null };
  function policy() {
    const index = path.join(root, 'index.html');
    let stamp = null;
    try { const s = fs.statSync(index); stamp = s.size + ':' + s.mtimeMs; } catch (e) { /* no page */ }
    if (stamp !== page.stamp) {
      page.stamp = stamp;
      page.policy = stamp === null ? null : metaPolicy(fs.readFileSync(index, 'utf8'));
    }
    return page.policy;
  }
  const server = http.createServer((request, response) => {
    let name;
    try { name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname); } catch (e) { name = null; }
    if (name && options.answer && options.answer(name, request, response)) return;
    let base = root;
    for (const prefix of Object.keys(mounts || {})) {
      if (name && name.startsWith(prefix)) { base = path.resolve(mounts[prefix]); name = '/' + name.slice(prefix.length); }
    }
    const file = name && path.resolve(base, '.' + (name.endsWith('/') ? name + 'index.html' : name));
    if (!file || (file !== base && !file.startsWith(base + path.sep)) || (request.method !== 'GET' && request.method !== 'HEAD')) {
      response.writeHead(400).end();
      return;
    }
    fs.stat(file, (error, stat) => {
      if (error || !stat.isFile()) { response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n'); return; }
      const type = types[path.extname(file)] || 'application/octet-stream';
      const stamp = `${stat.size.toString(16)}-${Math.floor(stat.mtimeMs).toString(16)}`;
      const gzip = compressible.test(type) && /\bgzip\b/.test(request.headers['accept-encoding'] || '');
      const tag = `"${stamp}${gzip ? '-gz' : ''}"`;
      const headers = Object.assign({ 'Content-Type': type, 'Cache-Control': 'no-cache', ETag: tag,
                                      'Last-Modified': stat.mtime.toUTCString(), Vary: 'Accept-Encoding' }, extra);
      const csp = ownPolicy ? null : policy();
      if (csp) headers['Content-Security-Policy'] = csp;
      const told = (status, bytes) => { if (options.answered) options.answered(name, status, bytes); };
      const since = Date.parse(request.headers['if-modified-since'] || '');
      const matches = request.headers['if-none-match'] !== undefined ? request.headers['if-none-match'] === tag
                                                                       : since >= Math.floor(stat.mtimeMs / 1000) * 1000;
      if (matches) { response.writeHead(304, headers).end(); told(304, 0); return; }
      fs.readFile(file, (readError, bytes) => {
        if (readError) { response.writeHead(404, { 'Content-Type': 'text/plain' }).end('not found\n'); return; }
        if (gzip) {
          let entry = compressed.get(file);
          if (!entry || entry.stamp !== stamp) compressed.set(file, entry = { stamp, body: zlib.gzipSync(bytes, { level: 6 }) });
          headers['Content-Encoding'] = 'gzip';
          bytes = entry.body;
        }
        headers['Content-Length'] = bytes.length;
        response.writeHead(200, headers);
        response.end(request.method === 'HEAD' ? undefined : bytes);
        told(200, request.method === 'HEAD' ? 0 : bytes.length);
      });
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port || 0, '127.0.0.1', () => resolve(server));
  });
}

module.exports = { serve, metaPolicy };

if (require.main === module) {
  const root = process.argv[2] || path.join(__dirname, '..', 'build-web');
  serve(root, parseInt(process.argv[3] || '0', 10)).then((server) => {
    console.log(`Serving ${root} at http://127.0.0.1:${server.address().port}/  (Ctrl+C stops)`);
  }, (error) => { console.error('serve.js: ' + error.message); process.exit(1); });
}
