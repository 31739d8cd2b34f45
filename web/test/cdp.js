// A small DevTools-protocol client for the browser tests: starts Debian's chromium headless on a fresh
// profile, opens one page, and sends commands to it. Needs the `ws` module (Debian's node-ws).
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const WebSocket = require('ws');

async function launch(executable) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-chromium-'));
  const child = spawn(executable || '/usr/bin/chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--disable-extensions', '--mute-audio', '--remote-debugging-port=0', '--remote-debugging-address=127.0.0.1',
    `--user-data-dir=${profile}`, 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe'] });
  const endpoint = await new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => reject(new Error('chromium did not start: ' + text)), 30000);
    child.stderr.on('data', (chunk) => {
      text += chunk;
      const found = /DevTools listening on (ws:\/\/\S+)/.exec(text);
      if (found) { clearTimeout(timer); resolve(found[1]); }
    });
    child.on('exit', (code) => { clearTimeout(timer); reject(new Error('chromium exited ' + code + ': ' + text)); });
  });
  const socket = new WebSocket(endpoint, { perMessageDeflate: false, maxPayload: 256 << 20 });
  await new Promise((resolve, reject) => { socket.once('open', resolve); socket.once('error', reject); });
  let nextId = 1;
  const pending = new Map();
  const listeners = [];
  socket.on('message', (data) => {
    const message = JSON.parse(data);
    if (message.id && pending.has(message.id)) {
      const { resolve, reject } = pending.get(message.id);
      pending.delete(message.id);
      if (message.error) reject(new Error(JSON.stringify(message.error))); else resolve(message.result);
    } else if (message.method) {
      for (const listener of listeners) listener(message);
    }
  });
  function send(method, params, sessionId) {
    const id = nextId++;
    socket.send(JSON.stringify({ id, method, params: params || {}, sessionId }));
    return new Promise((resolve, reject) => pending.set(id, { resolve, reject }));
  }
  const browser = {
    send,
    on(listener) { listeners.push(listener); },
    async newPage() {
      const { targetId } = await send('Target.createTarget', { url: 'about:blank' });
      const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
      const page = {
        send: (method, params) => send(method, params, sessionId),
        problems: [],
        async evaluate(expression) {
          const result = await page.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
          if (result.exceptionDetails) throw new Error(expression + ': ' + JSON.stringify(result.exceptionDetails));
          return result.result.value;
        },
        async waitFor(expression, timeoutMs) {
          const until = Date.now() + timeoutMs;
          for (;;) {
            let value = null;
            try { value = await page.evaluate(expression); } catch (e) { /* the page is not there yet */ }
            if (value) return value;
            if (Date.now() > until) throw new Error('timed out waiting for ' + expression);
            await new Promise((r) => setTimeout(r, 100));
          }
        },
        async close() { await send('Target.closeTarget', { targetId }); },
        async key(code, key, keyCode) {
          const base = { code, key, windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode };
          await page.send('Input.dispatchKeyEvent', Object.assign({ type: 'rawKeyDown' }, base));
          await new Promise((r) => setTimeout(r, 60));
          await page.send('Input.dispatchKeyEvent', Object.assign({ type: 'keyUp' }, base));
          await new Promise((r) => setTimeout(r, 60));
        },
      };
      listeners.push((message) => {
        if (message.sessionId !== sessionId) return;
        const p = message.params;
        if (message.method === 'Runtime.consoleAPICalled' && (p.type === 'error' || p.type === 'assert'))
          page.problems.push('console.' + p.type + ': ' + p.args.map((a) => a.value || a.description).join(' '));
        if (message.method === 'Runtime.exceptionThrown')
          page.problems.push('exception: ' + (p.exceptionDetails.exception || {}).description);
        if (message.method === 'Log.entryAdded' && p.entry.level === 'error')
          page.problems.push('log: ' + p.entry.text + ' ' + (p.entry.url || ''));
      });
      await page.send('Runtime.enable');
      await page.send('Log.enable');
      await page.send('Page.enable');
      return page;
    },
    async close() {
      try { await send('Browser.close'); } catch (e) { /* already gone */ }
      socket.close();
      await new Promise((resolve) => { if (child.exitCode !== null) resolve(); else child.on('exit', resolve); });
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
  return browser;
}

module.exports = { launch };
