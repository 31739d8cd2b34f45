// The web build's first frame, in headless Chromium against web/serve.js:
//   node bench/web-first-frame.js [SITE_DIR] [RUNS]
// cold: a fresh profile on a phone network (20 ms latency, 1.5 MB/s each way, no cache);
// warm: the same profile again on localhost, served by the service worker.
// Prints requests, bytes on the wire, and the time from the start of the navigation to the first frame.
'use strict';
const path = require('path');
const { launch } = require('../web/test/cdp');
const { serve } = require('../web/serve');

const site = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build-web'));
const runs = parseInt(process.argv[3] || '3', 10);

async function load(browser, url, network) {
  const page = await browser.newPage();
  const requests = new Map();
  let live = true;
  browser.on((message) => {
    if (!live || message.sessionId === undefined) return;
    const p = message.params || {};
    if (message.method === 'Network.requestWillBeSent') requests.set(p.requestId, 0);
    if (message.method === 'Network.loadingFinished' && requests.has(p.requestId)) requests.set(p.requestId, p.encodedDataLength);
  });
  await page.send('Network.enable');
  if (network) {
    await page.send('Network.setCacheDisabled', { cacheDisabled: true });
    await page.send('Network.emulateNetworkConditions', { offline: false, latency: 20, downloadThroughput: 1.5e6, uploadThroughput: 1.5e6 });
  }
  await page.send('Page.navigate', { url });
  // The game's first frame (kirake.js) or, for a page without that figure, the first one drawn.
  const ms = await page.waitFor('window.Module && Module.kirake && Module.kirake.firstFrameMs', 60000);
  await new Promise((r) => setTimeout(r, 300));
  if (process.env.KIRAKE_BENCH_STEPS) console.log(await page.evaluate('JSON.stringify(window.kirakeShell ? [kirakeShell.storyLoadedMs, kirakeShell.wasmCompiledMs, kirakeShell.codeLoadedMs, Module.kirake.runtimeReadyMs, kirakeShell.firstFrameMs].map(Math.round) : null)'));
  live = false;
  const bytes = [...requests.values()].reduce((a, b) => a + b, 0);
  await page.send('Page.close').catch(() => {});
  return { ms, requests: requests.size, bytes };
}

async function main() {
  const server = await serve(site, 0);
  const url = `http://127.0.0.1:${server.address().port}/`;
  const cold = [], warm = [];
  try {
    for (let i = 0; i < runs; ++i) {
      const browser = await launch(process.env.KIRAKE_CHROMIUM);
      try {
        cold.push(await load(browser, url, true));
        // The worker has cached the build once it is active; then the next start is warm.
        const probe = await browser.newPage();
        await probe.send('Page.navigate', { url: url + '?headless=1&frames=1' });
        await probe.waitFor(`document.readyState === 'complete' && Promise.race([new Promise(function (r) { setTimeout(r, 5000, 'no worker'); }),
          navigator.serviceWorker.ready.then(function (r) { return !!r.active; })])`, 30000).catch(() => {});
        await probe.send('Page.close').catch(() => {});
        warm.push(await load(browser, url, false));
      } finally {
        await browser.close();
      }
    }
  } finally {
    server.close();
  }
  const show = (name, list) => {
    const ms = list.map((r) => r.ms.toFixed(0)).join(', ');
    console.log(`${name}: first frame ${ms} ms; ${list[0].requests} requests, ${(list[0].bytes / 1e6).toFixed(3)} MB on the wire`);
  };
  show('cold (20 ms, 1.5 MB/s)', cold);
  show('warm (service worker, localhost)', warm);
}

main().catch((e) => { console.error(e); process.exit(1); });
