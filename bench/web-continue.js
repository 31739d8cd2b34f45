// Continuing in the browser a game left at the staff roll of the longest route (the partner whose way
// there takes the most frames), in headless Chromium against web/serve.js:
//   node bench/web-continue.js [NATIVE_BUILD] [SITE_DIR] [RUNS]
// A headless run of the page plays the way there (the native program's --start-keys) and keeps the game
// in the browser's storage; then each run puts that kept game back, loads the page with ?continue=1 and
// times the navigation's start to the first frame shown (goal: 300 ms), the kept frames played again
// unshown in between. Beside it, ?continue=0 from the same kept game: the start-up alone. The first load
// of the profile fills the service worker's cache and is shown apart.
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { launch } = require('../web/test/cdp');
const { serve } = require('../web/serve');

const nativeBuild = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build'));
const site = path.resolve(process.argv[3] || path.join(__dirname, '..', 'build-web'));
const runs = parseInt(process.argv[4] || '5', 10);
const EPOCH = '946684800';
const SESSION_KEY = 'kirake/state/session';
const ROLLS = ['roll:match:hiyori', 'roll:match:heren', 'roll:match:fuuya', 'roll:miss:hiyori', 'roll:miss:heren', 'roll:miss:fuuya'];

// The native program's way to each roll; the longest: its key script and the frame the roll begins.
function longestWay(work) {
  const env = Object.assign({}, process.env, { XDG_CONFIG_HOME: path.join(work, 'config'), XDG_STATE_HOME: path.join(work, 'state') });
  let best = null;
  for (const roll of ROLLS) {
    const keys = path.join(work, roll.replace(/:/g, '-') + '.txt');
    execFileSync(path.join(nativeBuild, 'src', 'kirake'), ['--headless', '--builtin-story', '--data', path.join(nativeBuild, 'gamedata'),
      '--start', roll, '--start-keys', keys, '--frames', '1'], { stdio: ['ignore', 'ignore', 'pipe'], env });
    const lines = fs.readFileSync(keys, 'utf8').split('\n');
    const begins = parseInt((lines.filter((l) => l.startsWith('# ')).pop() || '').split(' ').pop(), 10);
    if (begins > 0 && (!best || begins > best.begins))
      best = { roll, begins, script: lines.map((l) => l.replace(/#.*/, '').trim()).filter(Boolean) };
  }
  if (!best) throw new Error('no staff roll was reached');
  return best;
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-web-continue-'));
  const server = await serve(site, 0);
  const url = `http://127.0.0.1:${server.address().port}/`;
  const browser = await launch(process.env.KIRAKE_CHROMIUM);
  try {
    const way = longestWay(work);
    const left = way.begins + 1;
    const keep = await browser.newPage();
    await keep.send('Page.navigate', { url: url + `?keys=${encodeURIComponent(way.script.join(';'))}&epoch=${EPOCH}&frames=${left}` });
    await keep.waitFor('window.Module && Module.kirake && Module.kirake.ended', 120000);
    const kept = await keep.evaluate(`localStorage.getItem(${JSON.stringify(SESSION_KEY)})`);
    await keep.close();
    if (!kept || !Buffer.from(kept, 'base64').toString('utf8').includes(`\nshown ${left}\n`))
      throw new Error(`the game left at frame ${left} was not kept`);
    // One load of the page with the kept game put back first; the time to its first frame and the frame.
    const load = async (answer) => {
      const page = await browser.newPage();
      await page.send('Page.addScriptToEvaluateOnNewDocument',
                      { source: `try { localStorage.setItem(${JSON.stringify(SESSION_KEY)}, ${JSON.stringify(kept)}); } catch (e) {}` });
      await page.send('Page.navigate', { url: url + `?continue=${answer}&epoch=${EPOCH}` });
      const ms = await page.waitFor('window.Module && Module.kirake && Module.kirake.firstFrameMs', 60000);
      const frame = await page.evaluate('Module.kirake.presenting');
      const game = ms - await page.evaluate('Module.kirake.runtimeReadyMs');  // main's start to the frame
      // Left, the game keeps itself (pagehide): away first, so that the next load finds the kept game
      // this one put back rather than the one it leaves.
      await page.send('Page.navigate', { url: 'about:blank' });
      await page.waitFor(`location.href === 'about:blank' && document.readyState === 'complete'`, 10000);
      await new Promise((r) => setTimeout(r, 200));
      await page.close();
      return { ms, frame, game };
    };
    const first = await load(1);
    const continued = [], afresh = [];
    for (let i = 0; i < runs; ++i) {
      continued.push(await load(1));
      afresh.push(await load(0));
    }
    for (const r of [first, ...continued])
      if (!(r.frame >= left)) throw new Error(`continued, the first frame shown was ${r.frame}, not the frame left (${left})`);
    const median = (list, what = 'ms') => list.map((r) => r[what]).sort((a, b) => a - b)[Math.floor(list.length / 2)];
    const all = (list) => list.map((r) => r.ms.toFixed(0)).join(', ');
    console.log(`the way to ${way.roll} (the longest): ${way.begins} frames, left at frame ${left}`);
    console.log(`continued, first load of the profile: ${first.ms.toFixed(0)} ms to the first frame shown`);
    console.log(`continued: ${all(continued)} ms; median ${median(continued).toFixed(0)} ms (goal 300 ms), of which ` +
                `${median(continued, 'game').toFixed(0)} ms from the code's start`);
    console.log(`afresh from the same kept game: ${all(afresh)} ms; median ${median(afresh).toFixed(0)} ms, of which ` +
                `${median(afresh, 'game').toFixed(0)} ms from the code's start`);
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((e) => { console.error(e); process.exit(1); });
