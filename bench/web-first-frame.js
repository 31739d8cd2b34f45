// The web build's first frame, in headless Chromium against web/serve.js:
//   node bench/web-first-frame.js [SITE_DIR] [RUNS]
//   (KIRAKE_BENCH_LINK=ROUND_TRIP_MS,BYTES_PER_SECOND another link, e.g. 560,180000 for a slow 3G)
// Each run takes a fresh profile, on a phone's 4G link (20 ms round trip, 1.5 MB/s each way) made two ways:
// - relay: web/test/link.js between the browser and the server, which slows everything the browser
//   fetches (the service worker's install too): the first visit, then the next one (warm: the worker's
//   cache, the worker script asked for again over the link);
// - devtools: the browser's own network emulation (the page's requests only; the worker's go at full speed).
// Prints the first frame's time since the start of the navigation (median and every run), bytes on the
// wire for the first visit (through the relay: everything, the worker's install included; what the server
// sent, file by file: full answers and "not modified" ones), and when the worker was ready (active, with
// the whole build cached) after the first frame.
'use strict';
const path = require('path');
const { launch } = require('../web/test/cdp');
const { link } = require('../web/test/link');
const { serve } = require('../web/serve');

const site = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build-web'));
const runs = parseInt(process.argv[3] || '5', 10);
const [roundTripMs, bytesPerSecond] = (process.env.KIRAKE_BENCH_LINK || '20,1500000').split(',').map(Number);
const LINK = { roundTripMs, bytesPerSecond };

// When the service worker is active with everything cached (its install is over), in the page's clock.
const WATCH_WORKER = `window.kirakeWorkerReadyMs = null;
if (navigator.serviceWorker) navigator.serviceWorker.ready.then(function (registration) {
  var worker = registration.active;
  function check() { if (worker.state === 'activated' && window.kirakeWorkerReadyMs === null) window.kirakeWorkerReadyMs = performance.now(); }
  worker.addEventListener('statechange', check);
  check();
});`;

async function load(browser, url, emulate) {
  const page = await browser.newPage();
  await page.send('Page.addScriptToEvaluateOnNewDocument', { source: WATCH_WORKER });
  if (emulate) {
    await page.send('Network.enable');
    await page.send('Network.emulateNetworkConditions', { offline: false, latency: LINK.roundTripMs,
      downloadThroughput: LINK.bytesPerSecond, uploadThroughput: LINK.bytesPerSecond });
  }
  await page.send('Page.navigate', { url });
  // The game's first frame (kirake.js).
  const ms = await page.waitFor('window.Module && Module.kirake && Module.kirake.firstFrameMs', 60000).catch(async (e) => {
    const state = await page.evaluate('JSON.stringify(window.kirakeShell && kirakeShell.failures)').catch(() => '?');
    throw new Error(`${url}: no first frame (${state}; ${page.problems.join('; ')}): ${e.message}`);
  });
  if (process.env.KIRAKE_BENCH_STEPS) console.log(await page.evaluate('JSON.stringify(window.kirakeShell ? [kirakeShell.storyLoadedMs, kirakeShell.wasmCompiledMs, kirakeShell.codeLoadedMs, Module.kirake.runtimeReadyMs, kirakeShell.firstFrameMs].map(Math.round) : null)'));
  const ready = await page.waitFor('window.kirakeWorkerReadyMs', 60000).catch(() => null);
  await new Promise((r) => setTimeout(r, 1000));  // what the page still sends, the worker's cache written
  await page.send('Page.close').catch(() => {});
  return { ms, workerMs: ready === null ? null : ready - ms };
}

const median = (list) => { const s = list.slice().sort((a, b) => a - b); return s[Math.floor(s.length / 2)]; };
const figures = (list) => `median ${median(list).toFixed(0)} ms (${list.map((v) => v.toFixed(0)).join(', ')})`;

async function main() {
  const answers = new Map();  // name -> [full answers, bytes, not modified]
  let counting = false;
  const server = await serve(site, 0, {}, { answered: (name, status, bytes) => {
    if (!counting) return;
    const a = answers.get(name) || [0, 0, 0];
    if (status === 304) a[2]++; else { a[0]++; a[1] += bytes; }
    answers.set(name, a);
  } });
  const direct = `http://127.0.0.1:${server.address().port}/`;
  const relayed = { cold: [], warm: [], worker: [], wire: [] }, emulated = { cold: [], worker: [] };
  try {
    for (let i = 0; i < runs; ++i) {
      const relay = await link(server.address().port, LINK);
      let browser = await launch(process.env.KIRAKE_CHROMIUM);
      try {
        counting = i === 0;
        const first = await load(browser, `http://127.0.0.1:${relay.port}/`, false);
        counting = false;
        relayed.cold.push(first.ms);
        relayed.worker.push(first.workerMs);
        relayed.wire.push(relay.bytes.down + relay.bytes.up);
        relayed.warm.push((await load(browser, `http://127.0.0.1:${relay.port}/`, false)).ms);
      } finally {
        await browser.close();
        relay.close();
      }
      browser = await launch(process.env.KIRAKE_CHROMIUM);
      try {
        const first = await load(browser, direct, true);
        emulated.cold.push(first.ms);
        emulated.worker.push(first.workerMs);
      } finally {
        await browser.close();
      }
    }
  } finally {
    server.close();
  }
  const worker = (list) => (list.some((v) => v === null) ? 'not ready within 60 s in some runs'
    : `ready ${figures(list)} after the first frame`);
  console.log(`site ${site}; link: ${LINK.roundTripMs} ms round trip, ${LINK.bytesPerSecond / 1e6} MB/s; ${runs} runs`);
  console.log(`cold, relay:    first frame ${figures(relayed.cold)}; worker ${worker(relayed.worker)}`);
  console.log(`cold, devtools: first frame ${figures(emulated.cold)}; worker ${worker(emulated.worker)}`);
  console.log(`warm, relay (service worker): first frame ${figures(relayed.warm)}`);
  console.log(`first visit on the wire (relay, both ways, headers too): ${(median(relayed.wire) / 1e6).toFixed(3)} MB ` +
              `(${relayed.wire.map((b) => (b / 1e6).toFixed(3)).join(', ')})`);
  let full = 0, bytes = 0, notModified = 0;
  const rows = [...answers.entries()].sort().map(([name, a]) => {
    full += a[0]; bytes += a[1]; notModified += a[2];
    return `  ${name}: ${a[0]} x 200 (${a[1]} bytes)${a[2] ? `, ${a[2]} x 304` : ''}`;
  });
  console.log(`first visit, the server's answers: ${full} full (${(bytes / 1e6).toFixed(3)} MB of bodies), ${notModified} not modified`);
  console.log(rows.join('\n'));
}

main().catch((e) => { console.error(e); process.exit(1); });
