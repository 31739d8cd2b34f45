// The service worker and the network, in real headless Chromium:
//   node offline-test.js NATIVE_BUILD WEB_BUILD
// A first visit (over a slow link) moves each build file over the wire once (the worker's install takes what the page has
// just fetched, revalidated); a server that once sends an error page in place of the story does not
// break the game (the worker keeps only the build's bytes, fetches again, or tries the whole install again
// on the next visit); an edited data-origins.json reaches a returning visitor, and offline its last copy;
// with the servers stopped both sites still play. serve.js sends the page's own Content-Security-Policy.
'use strict';
const assert = require('assert');
const crypto = require('crypto');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const { launch } = require('./cdp');
const { link } = require('./link');
const { serve } = require('../serve');

const webBuild = path.resolve(process.argv[3] || 'build-web');
const MAINTENANCE = '<html><body>Down for maintenance, back soon.</body></html>';  // 57 bytes

const get = (port, name) => new Promise((resolve, reject) => {
  http.get({ host: '127.0.0.1', port, path: name }, (r) => { r.resume(); r.on('end', () => resolve(r.headers)); }).on('error', reject);
});
const stop = (server) => new Promise((r) => { server.close(r); server.closeAllConnections(); });

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-offline-test-'));
  const site = path.join(work, 'site');
  fs.cpSync(webBuild, site, { recursive: true });
  const digests = JSON.parse(/const DIGESTS = (\{[^}]*\})/.exec(fs.readFileSync(path.join(site, 'sw.js'), 'utf8'))[1]);
  // Site A counts what it sends; site B sends the maintenance page in place of the story when told to.
  const sent = new Map();  // path -> [full answers, not modified]
  const a = await serve(site, 0, {}, { answered: (name, status) => {
    const counts = sent.get(name) || [0, 0];
    counts[status === 304 ? 1 : 0]++;
    sent.set(name, counts);
  } });
  let storyRequests = 0;
  const poisoned = new Set([2, 3, 5]);  // the first visit's install, both tries; the second's first try
  const b = await serve(site, 0, {}, { answer: (name, request, response) => {
    if (name !== '/story.kpak' || !poisoned.has(++storyRequests)) return false;
    response.writeHead(200, { 'Content-Type': 'text/html', 'Cache-Control': 'no-store', 'Content-Length': MAINTENANCE.length });
    response.end(MAINTENANCE);
    return true;
  } });
  // Site A over a phone's link, where a worker that competed with the page's downloads would repeat them.
  const relay = await link(a.address().port, { roundTripMs: 20, bytesPerSecond: 1.5e6 });
  const siteA = `http://127.0.0.1:${relay.port}/`, siteB = `http://127.0.0.1:${b.address().port}/`;
  const browser = await launch(process.env.KIRAKE_CHROMIUM);
  const failures = [];
  const check = async (name, body) => {
    try { await body(); console.log('ok   ' + name); } catch (e) { failures.push(name); console.log('FAIL ' + name + ': ' + e.message); }
  };
  const plays = async (page) => {
    await page.send('Page.bringToFront');  // a tab in the background draws no frames
    await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 30', 30000).catch(async (e) => {
      throw new Error(e.message + ': ' + await page.evaluate('JSON.stringify(window.kirakeShell && kirakeShell.failures)').catch((x) => x.message));
    });
    assert.deepStrictEqual(await page.evaluate('kirakeShell.failures'), []);
  };
  const open = async (url) => {
    const page = await browser.newPage();
    await page.send('Page.navigate', { url });
    await plays(page);
    return page;
  };
  const workerReady = (page) => page.waitFor('navigator.serviceWorker.getRegistration().then(function (r) { return !!(r && r.active && r.active.state === "activated" && navigator.serviceWorker.controller); })', 30000);
  const cachedStory = 'caches.match("story.kpak").then(function (r) { return r && r.arrayBuffer(); }).then(function (b) { return b ? crypto.subtle.digest("SHA-256", b) : null; })' +
                      '.then(function (d) { return d && Array.from(new Uint8Array(d), function (x) { return x.toString(16).padStart(2, "0"); }).join(""); })';
  const origins = (page) => page.evaluate('fetch("data-origins.json").then(function (r) { return r.text(); })');
  try {
    let pageA;
    await check('first visit: every build file over the wire once, the worker\'s install included', async () => {
      pageA = await open(siteA + '?continue=0');
      await workerReady(pageA);
      const names = Object.keys(digests);
      assert.strictEqual(await pageA.evaluate('caches.keys().then(function (k) { return caches.open(k[0]); }).then(function (c) { return c.keys(); }).then(function (k) { return k.length; })'), names.length);
      const full = (name) => (sent.get(name) || [0])[0];
      const twice = names.filter((name) => full('/' + name) + (name === 'index.html' ? full('/') : 0) !== 1);
      assert.deepStrictEqual(twice, [], 'files not sent exactly once: ' + twice.map((n) => n + ' ' + JSON.stringify(sent.get('/' + n))).join(', '));
      assert.strictEqual(full('/sw.js'), 1);
    });

    await check('data-origins.json: a returning visitor has the edited file', async () => {
      assert.strictEqual(await origins(pageA), fs.readFileSync(path.join(site, 'data-origins.json'), 'utf8'));
      fs.writeFileSync(path.join(site, 'data-origins.json'), '{"origins": ["http://localhost"]}\n');
      await pageA.send('Page.reload');
      await plays(pageA);
      assert.strictEqual(await origins(pageA), '{"origins": ["http://localhost"]}\n');
    });

    await check('a maintenance page once in place of the story: the install fails, is tried again, keeps the build\'s bytes', async () => {
      const page = await open(siteB);
      for (const until = Date.now() + 30000; storyRequests < 3 && Date.now() < until;) await new Promise((r) => setTimeout(r, 100));
      await page.waitFor('navigator.serviceWorker.getRegistration().then(function (r) { return !r; })', 30000);
      assert.strictEqual(storyRequests, 3, 'the page\'s fetch, the install\'s two');
      assert.deepStrictEqual(await page.evaluate('caches.keys()'), []);
      await page.send('Page.reload');
      await plays(page);
      await workerReady(page);
      assert.strictEqual(storyRequests, 6, 'the page\'s fetch, the install\'s two');
      assert.strictEqual(await page.evaluate(cachedStory), digests['story.kpak']);
    });

    await check('offline: both sites play from the worker; data-origins.json is the last copy', async () => {
      await stop(a);
      await stop(b);
      const pageB = await open(siteB);
      assert.strictEqual(await pageB.evaluate(cachedStory), digests['story.kpak']);
      const page = await open(siteA + '?continue=0');
      assert.strictEqual(await origins(page), '{"origins": ["http://localhost"]}\n');
    });

    await check('serve.js: the page\'s own Content-Security-Policy on every answer, none without one, an option\'s first (null: none)', async () => {
      const policy = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'";
      const html = path.join(work, 'csp');
      fs.mkdirSync(html);
      fs.writeFileSync(path.join(html, 'index.html'), `<!doctype html><meta http-equiv="Content-Security-Policy" content="${policy.replace(/'/g, '&#39;')}">`);
      fs.writeFileSync(path.join(html, 'a.js'), '');
      const servers = [await serve(html, 0), await serve(html, 0, {}, { headers: { 'content-security-policy': "default-src 'none'" } }),
                       await serve(path.join(work, 'site'), 0), await serve(html, 0, {}, { headers: { 'Content-Security-Policy': null } })];
      try {
        const [own, option, none, off] = servers.map((s) => s.address().port);
        assert.strictEqual((await get(own, '/'))['content-security-policy'], policy);
        assert.strictEqual((await get(own, '/a.js'))['content-security-policy'], policy);
        assert.strictEqual((await get(option, '/'))['content-security-policy'], "default-src 'none'");
        assert.strictEqual((await get(off, '/'))['content-security-policy'], undefined);
        const built = /http-equiv="Content-Security-Policy"/i.test(fs.readFileSync(path.join(site, 'index.html'), 'utf8'));
        assert.strictEqual((await get(none, '/'))['content-security-policy'] !== undefined, built);
      } finally {
        servers.forEach((s) => s.close());
      }
    });
  } finally {
    await browser.close();
    relay.close();
    a.close();
    b.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  console.log(failures.length ? `${failures.length} failed` : 'all passed');
  process.exit(failures.length ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(1); });
