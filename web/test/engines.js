// The browser engines the tests play the page in, each behind the same small page API:
//   const browser = await launch('chromium' | 'firefox' | 'webkit');
//   const page = await browser.newPage();
//   page.addInitScript(source)   run before the page's own scripts at every later navigation
//   page.navigate(url), page.reload(), page.evaluate(expression) (its value; promises awaited),
//   page.waitFor(expression, ms), page.keyDown(code), page.keyUp(code), page.key(code) (codes as
//   KeyboardEvent.code: 'ArrowLeft', 'KeyZ', 'Space', 'Enter'...), page.touch([[x, y], ...], holdMs) (one
//   finger down at the first point, moved through the rest, lifted; null where the engine has no touch),
//   page.screenshot() (PNG bytes; WebKit's waits for the page's next paint: none comes while the game is
//   held), page.close(); page.problems: console errors and uncaught exceptions.
//   await browser.close()
// Chromium: Debian's chromium through the DevTools protocol (cdp.js; page.send is there for the checks only
// it can make). Firefox: Debian's firefox-esr through npm puppeteer-core over WebDriver BiDi. WebKit:
// Debian's WebKitWebDriver (W3C WebDriver over HTTP) driving WebKitGTK's MiniBrowser on a private Xvfb
// display. Firefox and WebKit keep an AudioContext suspended without a sound device: they get a private
// PulseAudio with a null sink. Everything started here goes again at browser.close().
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const net = require('net');
const os = require('os');
const path = require('path');
const cdp = require('./cdp');

const ENGINES = ['chromium', 'firefox', 'webkit'];
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// KeyboardEvent.code -> [key, keyCode, WebDriver's key value]. WebDriver's Enter (U+E007) is the keypad's
// (code NumpadEnter); its Return (U+E006) is the main Enter key the page reads.
const KEYS = {
  ArrowLeft: ['ArrowLeft', 37, '\uE012'], ArrowUp: ['ArrowUp', 38, '\uE013'], ArrowRight: ['ArrowRight', 39, '\uE014'],
  ArrowDown: ['ArrowDown', 40, '\uE015'], Space: [' ', 32, '\uE00D'], Enter: ['Enter', 13, '\uE006'],
  Escape: ['Escape', 27, '\uE00C'], F1: ['F1', 112, '\uE031'], F10: ['F10', 121, '\uE03A'],
};
for (const c of 'ABCDEFGHIJKLMNOPQRSTUVWXYZ') KEYS['Key' + c] = [c.toLowerCase(), c.charCodeAt(0), c.toLowerCase()];
function keyOf(code) {
  if (!KEYS[code]) throw new Error('no key ' + code + ' in engines.js');
  return KEYS[code];
}

// What an expression polled until it is true needs: the same loop for every engine.
async function waitFor(page, expression, timeoutMs) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    let value = null;
    try { value = await page.evaluate(expression); } catch (e) { /* the page is not there yet */ }
    if (value) return value;
    if (Date.now() > until) throw new Error('timed out waiting for ' + expression);
    await sleep(100);
  }
}

// A page's own record of its problems, for engines that give no log: console.error and console.assert,
// uncaught exceptions and unhandled rejections, collected in the page and read back with every evaluate.
const PROBLEM_RECORDER = `(function () {
  if (window.__kirakeProblems) return;
  var found = window.__kirakeProblems = [];
  var text = function (a) { return a && a.stack ? String(a.stack) : typeof a === 'object' ? JSON.stringify(a) : String(a); };
  var error = console.error, assert = console.assert;
  console.error = function () { found.push('console.error: ' + Array.prototype.map.call(arguments, text).join(' ')); return error.apply(console, arguments); };
  console.assert = function (ok) { if (!ok) found.push('console.assert: ' + Array.prototype.slice.call(arguments, 1).map(text).join(' ')); return assert.apply(console, arguments); };
  window.addEventListener('error', function (e) { found.push('exception: ' + e.message + (e.filename ? ' at ' + e.filename + ':' + e.lineno : '') + (e.error && e.error.stack ? ' ' + e.error.stack : '')); });
  window.addEventListener('unhandledrejection', function (e) { found.push('exception: unhandled rejection ' + text(e.reason)); });
})();`;

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => { const { port } = server.address(); server.close(() => resolve(port)); });
  });
}

// The processes started here (Xvfb, PulseAudio, WebKitWebDriver with its MiniBrowser), stopped by their own
// ids at the end, and by a test that dies first on its way out: the children of each, then each.
const started = new Set(), homes = new Set();
function childrenOf(pid) {
  const found = [];
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      if (Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]) === pid) found.push(Number(entry));
    } catch (e) { /* gone meanwhile */ }
  }
  return found;
}
function stopAll() {
  for (const child of started) {
    if (child.exitCode !== null || child.signalCode !== null) continue;
    for (const pid of childrenOf(child.pid)) try { process.kill(pid, 'SIGKILL'); } catch (e) { /* gone */ }
    try { child.kill('SIGKILL'); } catch (e) { /* gone */ }
  }
  for (const home of homes) fs.rmSync(home, { recursive: true, force: true });
}
process.on('exit', stopAll);
for (const signal of ['SIGINT', 'SIGTERM']) process.on(signal, () => { stopAll(); process.exit(128 + (signal === 'SIGINT' ? 2 : 15)); });
function track(child) {
  started.add(child);
  child.once('exit', () => started.delete(child));
  return child;
}

// A child process that must go at the end: stopped by its own id, waited for.
function stopChild(child) {
  if (!child || child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const timer = setTimeout(() => { try { child.kill('SIGKILL'); } catch (e) { /* gone */ } }, 5000);
    child.once('exit', () => { clearTimeout(timer); resolve(); });
    try { child.kill('SIGTERM'); } catch (e) { clearTimeout(timer); resolve(); }
  });
}

// A private X display (Xvfb picks a free number and tells it on a pipe).
async function startDisplay(home) {
  const child = track(spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1280x1024x24', '-nolisten', 'tcp', '-noreset'],
                      { stdio: ['ignore', 'ignore', 'pipe', 'pipe'], env: Object.assign({}, process.env, { HOME: home }) }));
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  const display = await new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Error('Xvfb did not start: ' + errors)), 20000);
    child.stdio[3].on('data', (d) => {
      text += d;
      if (/\n/.test(text)) { clearTimeout(timer); resolve(':' + text.trim()); }
    });
    child.once('exit', (code) => { clearTimeout(timer); reject(new Error('Xvfb exited ' + code + ': ' + errors)); });
  });
  return { display, stop: () => stopChild(child) };
}

// A private PulseAudio whose only output is a null sink; its socket is given to the browser by PULSE_SERVER.
async function startSound(home) {
  const socket = path.join(home, 'pulse.socket');
  const env = Object.assign({}, process.env, { HOME: home, XDG_RUNTIME_DIR: home, XDG_CONFIG_HOME: home });
  delete env.PULSE_SERVER;
  const child = track(spawn('pulseaudio', ['--daemonize=no', '--use-pid-file=no', '--system=no', '--exit-idle-time=-1',
    '--disable-shm=yes', '-n', '--load=module-null-sink sink_name=kirake', '--load=module-always-sink',
    `--load=module-native-protocol-unix socket=${socket} auth-anonymous=1`], { stdio: ['ignore', 'ignore', 'pipe'], env }));
  let errors = '';
  child.stderr.on('data', (d) => { errors += d; });
  const until = Date.now() + 20000;
  while (!fs.existsSync(socket)) {
    if (child.exitCode !== null) throw new Error('pulseaudio exited ' + child.exitCode + ': ' + errors);
    if (Date.now() > until) { await stopChild(child); throw new Error('pulseaudio did not start: ' + errors); }
    await sleep(50);
  }
  return { server: 'unix:' + socket, stop: () => stopChild(child) };
}

// Before every page a WebDriver engine opens, a script of ours: a relay in front of each server the tests
// use puts a <script src> of it first in every HTML page (same origin, so a strict Content-Security-Policy
// lets it run) and answers it with the problem recorder and the scripts pages asked for.
function startRelays(scripts) {
  const relays = new Map();  // target port -> relay server
  const INIT = '/__kirake-test-init.js';
  async function relayFor(port) {
    if (relays.has(port)) return relays.get(port).port;
    const server = http.createServer((request, response) => {
      if (request.url === INIT) {
        const body = PROBLEM_RECORDER + '\n' + scripts.join('\n;\n');
        response.writeHead(200, { 'Content-Type': 'text/javascript', 'Cache-Control': 'no-store' }).end(body);
        return;
      }
      const headers = Object.assign({}, request.headers);
      delete headers['accept-encoding'];
      const upstream = http.request({ host: '127.0.0.1', port, method: request.method, path: request.url, headers }, (answer) => {
        const type = answer.headers['content-type'] || '';
        if (!/^text\/html/.test(type) || answer.statusCode !== 200) {
          response.writeHead(answer.statusCode, answer.headers);
          answer.pipe(response);
          return;
        }
        const chunks = [];
        answer.on('data', (c) => chunks.push(c));
        answer.on('end', () => {
          let html = Buffer.concat(chunks).toString('utf8');
          const tag = `<script src="${INIT}"></script>`;
          html = /<head[^>]*>/i.test(html) ? html.replace(/<head[^>]*>/i, (h) => h + tag)
                                           : html.replace(/^(<!doctype[^>]*>)?/i, (d) => d + tag);
          const out = Object.assign({}, answer.headers, { 'content-length': Buffer.byteLength(html) });
          delete out.etag;
          delete out['last-modified'];
          response.writeHead(200, out).end(html);
        });
      });
      upstream.on('error', () => { if (!response.headersSent) response.writeHead(502); response.end(); });
      request.pipe(upstream);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    relays.set(port, { server, port: server.address().port });
    return server.address().port;
  }
  return {
    // The address through the relay of the server it names (other addresses as they are).
    async address(url) {
      const u = new URL(url);
      if (u.hostname !== '127.0.0.1' || u.protocol !== 'http:') return url;
      u.port = String(await relayFor(Number(u.port)));
      return u.toString();
    },
    close() {
      for (const { server } of relays.values()) { server.closeAllConnections(); server.close(); }
    },
  };
}

async function launchChromium() {
  const browser = await cdp.launch(process.env.KIRAKE_CHROMIUM);
  const newPage = browser.newPage;
  return {
    name: 'chromium', touch: true,
    async newPage() {
      const page = await newPage();
      Object.assign(page, {
        addInitScript: (source) => page.send('Page.addScriptToEvaluateOnNewDocument', { source }),
        navigate: (url) => page.send('Page.navigate', { url }),
        reload: () => page.send('Page.reload'),
        async keyDown(code) {
          const [key, keyCode] = keyOf(code);
          await page.send('Input.dispatchKeyEvent', { type: 'rawKeyDown', code, key, windowsVirtualKeyCode: keyCode });
        },
        async keyUp(code) {
          const [key, keyCode] = keyOf(code);
          await page.send('Input.dispatchKeyEvent', { type: 'keyUp', code, key, windowsVirtualKeyCode: keyCode });
        },
        async key(code) { await page.keyDown(code); await sleep(60); await page.keyUp(code); await sleep(60); },
        async touch(points, holdMs) {
          await page.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x: points[0][0], y: points[0][1] }] });
          for (const p of points.slice(1)) await page.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: [{ x: p[0], y: p[1] }] });
          if (holdMs) await sleep(holdMs);
          await page.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
        },
        async screenshot() { return Buffer.from((await page.send('Page.captureScreenshot', { format: 'png' })).data, 'base64'); },
      });
      return page;
    },
    close: () => browser.close(),
    send: browser.send,
  };
}

// Firefox ESR by puppeteer-core over WebDriver BiDi. Keys go as WebDriver's key values (puppeteer passes
// one character on as it is): its name for Enter would be the keypad's.
// puppeteer-core from NODE_PATH, or where ./setup installs the tests' npm modules.
function puppeteerCore() {
  try { return require('puppeteer-core'); } catch (e) {
    const installed = path.join(__dirname, '..', '..', 'build', 'web-test-npm', 'node_modules', 'puppeteer-core');
    try { return require(installed); } catch (e2) {
      throw new Error('puppeteer-core is not installed: ./setup test installs it into build/web-test-npm (web/test/package.json); or put its node_modules on NODE_PATH');
    }
  }
}

async function launchFirefox(home, sound) {
  const puppeteer = puppeteerCore();
  const browser = await puppeteer.launch({
    browser: 'firefox', executablePath: process.env.KIRAKE_FIREFOX || '/usr/bin/firefox-esr', headless: true,
    env: Object.assign({}, process.env, { HOME: home, PULSE_SERVER: sound.server, MOZ_CRASHREPORTER_DISABLE: '1' }),
    extraPrefsFirefox: { 'media.autoplay.default': 0, 'media.autoplay.blocking_policy': 0, 'browser.shell.checkDefaultBrowser': false },
    protocolTimeout: 600000,
  });
  return {
    name: 'firefox', touch: false,
    async newPage() {
      const tab = await browser.newPage();
      tab.setDefaultTimeout(600000);
      const page = {
        problems: [],
        addInitScript: (source) => tab.evaluateOnNewDocument(source),
        navigate: (url) => tab.goto(url, { waitUntil: 'load', timeout: 120000 }),
        reload: () => tab.reload({ waitUntil: 'load' }),
        evaluate: (expression) => tab.evaluate(expression),
        waitFor: (expression, ms) => waitFor(page, expression, ms),
        async keyDown(code) { await tab.keyboard.down(keyOf(code)[2]); },
        async keyUp(code) { await tab.keyboard.up(keyOf(code)[2]); },
        async key(code) { await page.keyDown(code); await sleep(60); await page.keyUp(code); await sleep(60); },
        touch: null,
        async screenshot() { return Buffer.from(await tab.screenshot({ type: 'png' })); },
        close: () => tab.close(),
        tab,
      };
      tab.on('console', (m) => {
        if (m.type() === 'error' || m.type() === 'assert') page.problems.push('console.' + m.type() + ': ' + m.text());
      });
      tab.on('pageerror', (e) => page.problems.push('exception: ' + (e && e.message ? e.message : e)));
      return page;
    },
    async close() { await browser.close(); },
  };
}

// WebKitGTK's MiniBrowser by WebKitWebDriver: plain W3C WebDriver requests. One session; each page is a
// window of it, made current before each command. WebDriver's pointer actions of type touch arrive in
// the page as pointer events of type mouse: page.touch gives the page what a mouse press, drag and
// release give it.
async function launchWebKit(home, sound) {
  const display = await startDisplay(home);
  const port = await freePort();
  const env = Object.assign({}, process.env, { HOME: home, DISPLAY: display.display, PULSE_SERVER: sound.server,
                                                XDG_RUNTIME_DIR: home, WEBKIT_DISABLE_COMPOSITING_MODE: '1' });
  const driver = track(spawn(process.env.KIRAKE_WEBKITDRIVER || 'WebKitWebDriver', ['--port=' + port], { stdio: ['ignore', 'ignore', 'pipe'], env }));
  let driverErrors = '';
  driver.stderr.on('data', (d) => { driverErrors = (driverErrors + d).slice(-4000); });
  const request = (method, url, body) => new Promise((resolve, reject) => {
    const data = body === undefined ? null : Buffer.from(JSON.stringify(body));
    const r = http.request({ host: '127.0.0.1', port, method, path: url,
                             headers: data ? { 'Content-Type': 'application/json', 'Content-Length': data.length } : {} }, (answer) => {
      const chunks = [];
      answer.on('data', (c) => chunks.push(c));
      answer.on('end', () => {
        let reply;
        try { reply = JSON.parse(Buffer.concat(chunks).toString('utf8')); } catch (e) { reject(new Error(`${method} ${url}: ${answer.statusCode}`)); return; }
        if (reply.value && reply.value.error) reject(new Error(`${method} ${url}: ${reply.value.error}: ${reply.value.message}`));
        else resolve(reply.value);
      });
    });
    r.on('error', reject);
    if (data) r.write(data);
    r.end();
  });
  for (const until = Date.now() + 20000; ;) {
    try { await request('GET', '/status'); break; } catch (e) {
      if (Date.now() > until || driver.exitCode !== null) { await stopChild(driver); await display.stop(); throw new Error('WebKitWebDriver did not start: ' + driverErrors); }
      await sleep(100);
    }
  }
  let session;
  try {
    session = await request('POST', '/session', { capabilities: { alwaysMatch: {
      browserName: 'MiniBrowser', pageLoadStrategy: 'normal',
      'webkitgtk:browserOptions': { args: ['--automation', '--enable-write-console-messages-to-stdout=false'] } } } });
  } catch (e) {
    await stopChild(driver); await display.stop();
    throw e;
  }
  const id = session.sessionId, at = (p) => `/session/${id}${p}`;
  await request('POST', at('/timeouts'), { script: 600000, pageLoad: 120000, implicit: 0 });
  const scripts = [];
  const relays = startRelays(scripts);
  let current = await request('GET', at('/window'));
  let firstUnused = current;  // the session's own window, taken by the first page
  const use = async (handle) => {
    if (current !== handle) { await request('POST', at('/window'), { handle }); current = handle; }
  };
  return {
    name: 'webkit', touch: 'mouse',
    async newPage() {
      let handle = firstUnused;
      firstUnused = null;
      if (!handle) handle = (await request('POST', at('/window/new'), { type: 'tab' })).handle;
      const ownScripts = [];
      const run = async (source) => {
        await use(handle);
        return request('POST', at('/execute/async'), { script: source, args: [] });
      };
      const page = {
        problems: [],
        addInitScript(source) { ownScripts.push(source); },
        async navigate(url) {
          await use(handle);
          scripts.splice(0, scripts.length, ...ownScripts);
          await request('POST', at('/url'), { url: await relays.address(url) });
        },
        async reload() { await use(handle); scripts.splice(0, scripts.length, ...ownScripts); await request('POST', at('/refresh'), {}); },
        // The expression is the body of the driver's own script, not eval'd: a page's policy forbids eval.
        async evaluate(expression) {
          const reply = await run(`var done = arguments[arguments.length - 1];
            var problems = function () { return window.__kirakeProblems ? window.__kirakeProblems.splice(0) : []; };
            Promise.resolve().then(function () { return (
${expression}
            ); }).then(function (value) { done({ value: value === undefined ? null : value, problems: problems() }); },
                       function (e) { done({ error: String(e && e.stack || e), problems: problems() }); });`);
          page.problems.push(...reply.problems);
          if ('error' in reply) throw new Error(expression + ': ' + reply.error);
          return reply.value;
        },
        waitFor: (expression, ms) => waitFor(page, expression, ms),
        async keyDown(code) {
          await use(handle);
          await request('POST', at('/actions'), { actions: [{ type: 'key', id: 'keys', actions: [{ type: 'keyDown', value: keyOf(code)[2] }] }] });
        },
        async keyUp(code) {
          await use(handle);
          await request('POST', at('/actions'), { actions: [{ type: 'key', id: 'keys', actions: [{ type: 'keyUp', value: keyOf(code)[2] }] }] });
        },
        async key(code) { await page.keyDown(code); await sleep(60); await page.keyUp(code); await sleep(60); },
        async touch(points, holdMs) {
          await use(handle);
          const move = (p) => ({ type: 'pointerMove', duration: 0, origin: 'viewport', x: Math.round(p[0]), y: Math.round(p[1]) });
          const actions = [move(points[0]), { type: 'pointerDown', button: 0 }];
          for (const p of points.slice(1)) actions.push({ type: 'pause', duration: 16 }, move(p));
          actions.push({ type: 'pause', duration: holdMs || 0 }, { type: 'pointerUp', button: 0 });
          await request('POST', at('/actions'), { actions: [{ type: 'pointer', id: 'finger', parameters: { pointerType: 'touch' }, actions }] });
          await request('DELETE', at('/actions'));
        },
        async screenshot() { await use(handle); return Buffer.from(await request('GET', at('/screenshot')), 'base64'); },
        async setWindowSize(width, height) { await use(handle); await request('POST', at('/window/rect'), { width, height }); },
        async close() {
          const handles = await request('GET', at('/window/handles'));
          if (handles.length === 1) { await use(handle); await request('POST', at('/url'), { url: 'about:blank' }); firstUnused = handle; return; }
          await use(handle);
          const left = await request('DELETE', at('/window'));
          current = null;
          await use(left[0]);  // new windows open from a current one
        },
      };
      return page;
    },
    async close() {
      try { await request('DELETE', at('')); } catch (e) { /* already gone */ }
      relays.close();
      await stopChild(driver);
      await display.stop();
    },
  };
}

// launch(engine): the engine's browser, with what it needs started beside it (and stopped by its close).
async function launch(engine) {
  if (engine === 'chromium') return launchChromium();
  if (!ENGINES.includes(engine)) throw new Error('no browser engine ' + engine + ' (' + ENGINES.join(', ') + ')');
  const home = fs.mkdtempSync(path.join(os.tmpdir(), `kirake-${engine}-`));
  homes.add(home);
  let sound = null, browser = null;
  try {
    sound = await startSound(home);
    browser = engine === 'firefox' ? await launchFirefox(home, sound) : await launchWebKit(home, sound);
  } catch (e) {
    if (sound) await sound.stop();
    fs.rmSync(home, { recursive: true, force: true });
    throw e;
  }
  const close = browser.close;
  browser.close = async () => {
    try { await close(); } finally {
      await sound.stop();
      fs.rmSync(home, { recursive: true, force: true });
      homes.delete(home);
    }
  };
  return browser;
}

// The engines a test runs: KIRAKE_ENGINES (a comma list) or all three.
function enginesToRun() {
  const named = (process.env.KIRAKE_ENGINES || ENGINES.join(',')).split(',').map((s) => s.trim()).filter(Boolean);
  for (const e of named) if (!ENGINES.includes(e)) throw new Error('KIRAKE_ENGINES: no engine ' + e);
  return named;
}

module.exports = { launch, enginesToRun, ENGINES };
