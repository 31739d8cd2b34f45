// The time from the player's first key to the first sound, in Firefox ESR (headless, driven by npm
// puppeteer-core over WebDriver BiDi) playing into a private PulseAudio null sink:
//   node bench/web-sound-start.js SITE_DIR [SITE_DIR...]      (RUNS=N in the environment: 3)
// Each run loads ?continue=0 (the title, whose song plays), waits three seconds, presses Space and takes
// the keydown's timestamp to the moment sound runs (kirakeAudio.running) and to the moment the audio
// thread first played a sound that is not silence (kirakeAudio.heardMs; a site without it shows "-").
// The sink is kept busy by a silent stream of its own, as a sound card in use is: an idle null sink asks a
// new stream for more only after a second or more. Console errors of the page are printed.
// puppeteer-core is taken from build/web-test-npm or NODE_PATH.
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { serve } = require('../web/serve');

function loadPuppeteer() {
  for (const place of [path.join(__dirname, '..', 'build', 'web-test-npm', 'node_modules', 'puppeteer-core'), 'puppeteer-core']) {
    try { return require(place); } catch (e) { /* the next place */ }
  }
  console.error('web-sound-start: puppeteer-core is not installed (build/web-test-npm or NODE_PATH)');
  process.exit(2);
}
const puppeteer = loadPuppeteer();
const sites = process.argv.slice(2);
if (!sites.length) {
  console.error('usage: node bench/web-sound-start.js SITE_DIR [SITE_DIR...]');
  process.exit(2);
}
const runs = parseInt(process.env.RUNS || '3', 10);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function startPulse(dir) {
  const socket = path.join(dir, 'native');
  const env = Object.assign({}, process.env, { HOME: dir, XDG_RUNTIME_DIR: dir });
  const daemon = spawn('pulseaudio', ['--daemonize=no', '--exit-idle-time=-1', '-n', '--use-pid-file=false',
    '--load=module-null-sink sink_name=bench', `--load=module-native-protocol-unix socket=${socket} auth-anonymous=1`],
  { env, stdio: 'ignore' });
  const server = 'unix:' + socket;
  for (let i = 0; i < 100 && !fs.existsSync(socket); ++i) await sleep(100);
  if (!fs.existsSync(socket)) { daemon.kill(); throw new Error('pulseaudio did not start'); }
  const busy = spawn('pacat', ['--latency-msec=20', '--raw', '/dev/zero'], { env: Object.assign({}, env, { PULSE_SERVER: server }), stdio: 'ignore' });
  return { server, stop() { busy.kill(); daemon.kill(); } };
}

async function once(url, pulse, errors) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-sound-'));
  const browser = await puppeteer.launch({ browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
    userDataDir: profile, env: Object.assign({}, process.env, { PULSE_SERVER: pulse.server }) });
  try {
    const page = await browser.newPage();
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(e.message));
    await page.goto(url);
    await page.waitForFunction('window.Module && Module.kirake && Module.kirake.framesPresented > 0', { timeout: 30000 });
    await sleep(3000);
    await page.evaluate(`(function () {
      window.benchKey = null; window.benchRunning = null;
      window.addEventListener('keydown', function (e) { if (window.benchKey === null) window.benchKey = e.timeStamp; }, true);
      (function poll() { if (kirakeAudio.running) window.benchRunning = performance.now(); else setTimeout(poll, 1); })();
    })()`);
    await page.focus('#screen');
    await page.keyboard.press(' ');
    await page.waitForFunction('window.benchRunning !== null && kirakeAudio.heardMs !== null', { timeout: 10000, polling: 10 }).catch(() => {});
    return await page.evaluate(`({ running: window.benchRunning === null ? null : window.benchRunning - window.benchKey,
      heard: typeof kirakeAudio.heardMs === 'number' ? kirakeAudio.heardMs - window.benchKey : null })`);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

async function main() {
  execFileSync('pulseaudio', ['--version'], { stdio: 'ignore' });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-pulse-'));
  const pulse = await startPulse(dir);
  try {
    for (const site of sites) {
      const server = await serve(path.resolve(site), 0);
      const results = [], errors = [];
      try {
        for (let i = 0; i < runs; ++i) results.push(await once(`http://127.0.0.1:${server.address().port}/?continue=0`, pulse, errors));
      } finally {
        server.close();
      }
      const shown = (key) => results.map((r) => (r[key] === null ? '-' : r[key].toFixed(0))).join(', ');
      console.log(`${site}: key to sound running ${shown('running')} ms; key to the first sound played ${shown('heard')} ms`);
      if (errors.length) console.log(`  console errors: ${errors.join(' | ')}`);
    }
  } finally {
    pulse.stop();
    await sleep(200);
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
