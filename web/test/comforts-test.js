// The player's comforts in real headless Chromium, against the native headless program.
//   node comforts-test.js NATIVE_BUILD WEB_BUILD [NODE_MODULES]
// NODE_MODULES holds axe-core as web/test/package-lock.json pins it (./setup web-test installs it into
// NATIVE_BUILD/web-test-npm/node_modules, the default).
// - The live region: at each wait for a key the page's live region holds the page as typed, the line the
//   native program speaks under --self-voicing; axe-core finds nothing wrong with the page meanwhile.
// - Leaving and coming back: a headless run of the page ends at frame N and keeps its game in the browser's
//   storage; a second run of the same browser with ?continue=1 (on another day) goes on from N and gives
//   the native uninterrupted game's trace lines and captured page; a changed story is not continued.
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { launch } = require('./cdp');
const { readScript, decodePng, firstDifference, samePixels, nativeRunner } = require('./native');
const { serve } = require('../serve');
const { pack } = require('../pack-story');

const nativeBuild = path.resolve(process.argv[2] || 'build');
const webBuild = path.resolve(process.argv[3] || 'build-web');
const nodeModules = path.resolve(process.argv[4] || path.join(nativeBuild, 'web-test-npm', 'node_modules'));
const { EPOCH, gamedata, runNative } = nativeRunner(nativeBuild);
const LEFT = 2400, END = 2700;  // left after the route's draw (frame 2331 of hiyori_match.keys), into the ending
const ANOTHER_DAY = '1234567890';

const SESSION_KEY = 'kirake/state/session';
const canvasRgb = `(function () { var d = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
  var s = ''; for (var i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]); return btoa(s); })()`;

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-comforts-test-'));
  // The native runs keep their settings and games here, not in the player's folders.
  process.env.XDG_CONFIG_HOME = path.join(work, 'config');
  process.env.XDG_STATE_HOME = path.join(work, 'state');
  const axeSource = fs.readFileSync(path.join(nodeModules, 'axe-core', 'axe.min.js'), 'utf8');
  // The default story with one more line at the end of its text: another story's identity.
  const changed = path.join(work, 'changed'), packed = path.join(work, 'packed');
  fs.cpSync(gamedata, changed, { recursive: true });
  fs.appendFileSync(path.join(changed, 'data.txt'), '\n');
  fs.mkdirSync(packed);
  fs.writeFileSync(path.join(packed, 'changed.kpak'), pack(changed, path.join(nativeBuild, 'tools', 'glyphs', 'kirake-glyphs')));
  const server = await serve(webBuild, 0, { '/packed/': packed });
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await launch(process.env.KIRAKE_CHROMIUM);
  const failures = [];
  const check = async (name, body) => {
    try { await body(); console.log('ok   ' + name); } catch (e) { failures.push(name); console.log('FAIL ' + name + ': ' + e.message); }
  };
  // A headless run of the page to its end: its trace, the captured frames, what the program wrote.
  const runHeadless = async (query) => {
    const page = await browser.newPage();
    try {
      await page.send('Page.navigate', { url: base + query });
      await page.waitFor('window.Module && Module.kirake && Module.kirake.ended', 120000);
      const run = await page.evaluate(`({ trace: Module.kirake.trace(), messages: Module.kirake.messages,
                                          kept: localStorage.getItem(${JSON.stringify(SESSION_KEY)}) })`);
      run.capture = (frame) => page.evaluate(`Module.kirake.captureRgb(${frame})`);
      assert.deepStrictEqual(page.problems, []);
      run.page = page;
      return run;
    } catch (e) {
      await page.close();
      throw e;
    }
  };
  try {
    await check('the live region holds each page as typed; axe-core finds no violation', async () => {
      // The opening's first two messages: each waits whole for a key, Z goes on to the next.
      const press = 140;
      const dir = path.join(work, 'voice');
      const lines = runNative([`${press} press z`], [], dir, null, ['--start', 'opening', '--self-voicing', '--frames', '400'])
        .trim().split('\n').map((l) => JSON.parse(l));
      const waits = lines.filter((l, i) => i > 0 && l.message.wait === 1 && lines[i - 1].message.wait !== 1).map((l) => l.frame);
      const spoken = lines.filter((l) => l.spoke);
      assert.strictEqual(waits.length, 2, 'two messages wait for a key');
      assert(waits[0] < press && press < waits[1], `the key at ${press} goes on from the first wait (${waits})`);
      const saidBefore = (frame) => spoken.filter((l) => l.frame <= frame).pop().spoke.slice(-1)[0];
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + `?start=opening&epoch=${EPOCH}` });
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      const runTo = async (frame) => {  // the game computes frames up to frame - 1
        await page.evaluate(`Module.kirake.holdAt = ${frame}, true`);
        await page.waitFor(`Module.kirake.presenting + 1 >= ${frame}`, 30000);
      };
      const region = () => page.evaluate(`document.getElementById('speech').textContent`);
      await runTo(press);
      assert.strictEqual(await region(), saidBefore(press - 1), 'the first page in the live region');
      const z = { code: 'KeyZ', key: 'z', windowsVirtualKeyCode: 90 };
      await page.send('Input.dispatchKeyEvent', Object.assign({ type: 'rawKeyDown' }, z));
      await runTo(press + 1);
      await page.send('Input.dispatchKeyEvent', Object.assign({ type: 'keyUp' }, z));
      await runTo(waits[1] + 1);
      assert.strictEqual(await region(), saidBefore(waits[1]), 'the second page in the live region');
      assert.strictEqual(await page.evaluate(`document.getElementById('speech').getAttribute('aria-live')`), 'polite');
      await page.evaluate(axeSource + '\ntrue');
      const violations = await page.evaluate(`axe.run(document).then(function (r) {
        return r.violations.map(function (v) { return v.id + ' (' + v.impact + '): ' + v.help + ' at ' +
          v.nodes.map(function (n) { return n.target.join(' '); }).join(', '); }); })`);
      assert.deepStrictEqual(violations, [], 'axe-core:\n  ' + violations.join('\n  '));
      assert.deepStrictEqual(page.problems, []);
      await page.close();
      console.log(`     pages waiting at frames ${waits.join(' and ')} in the live region, as the native voice said them`);
    });

    await check('left at a frame and continued in the same browser: the uninterrupted native game\'s trace and page', async () => {
      const script = readScript(path.join(__dirname, 'hiyori_match.keys'));
      const keys = encodeURIComponent(script.join(';'));
      const dir = path.join(work, 'whole');
      const whole = runNative(script, [END - 1], dir, null, ['--afresh', '--frames', String(END)]).split('\n');
      const left = await runHeadless(`?keys=${keys}&epoch=${EPOCH}&frames=${LEFT}`);
      await left.page.close();
      const kept = Buffer.from(left.kept || '', 'base64').toString('utf8');
      assert(kept.startsWith('kirake-session 1\n') && kept.includes(`\nshown ${LEFT}\n`) && kept.endsWith('end\n'),
             'the game left at frame ' + LEFT + ' is kept in the browser\'s storage: ' + kept.slice(0, 80));
      // Continued on another day: the route drawn before the frame left stays as it was drawn.
      const continued = await runHeadless(`?keys=${keys}&continue=1&trace=1&epoch=${ANOTHER_DAY}&frames=${END}&capture=${END - 1}`);
      const expected = whole.slice(LEFT, END).join('\n') + '\n';
      assert.strictEqual(continued.trace === expected, true, 'traces differ at ' + firstDifference(expected, continued.trace || ''));
      const pixels = await continued.capture(END - 1);
      assert(pixels, `frame ${END - 1} was captured`);
      samePixels(decodePng(path.join(dir, `frame-${String(END - 1).padStart(6, '0')}.png`)), pixels, `frame ${END - 1}`);
      assert(!continued.messages.some((m) => /not continued|set aside/.test(m)), continued.messages.join('\n'));
      await continued.page.close();

      // The story changed since: not continued, said on one line, played from its first frame.
      const fresh = await runHeadless(`?data=packed/changed.kpak&continue=1&trace=1&epoch=${EPOCH}&frames=60`);
      await fresh.page.close();
      assert(fresh.messages.some((m) => /the kept game is not continued: the story has changed since/.test(m)),
             'said: ' + fresh.messages.join('\n'));
      const traceLines = fresh.trace.trim().split('\n');
      assert.strictEqual(traceLines.length, 60, 'sixty frames from the first');
      assert(traceLines[0].startsWith('{"frame":0,'), traceLines[0]);
      console.log(`     left at frame ${LEFT}, continued to ${END}: ${END - LEFT} trace lines and frame ${END - 1} as the native game's`);
    });
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  if (failures.length) { console.log(`${failures.length} comforts test(s) failed`); process.exit(1); }
  console.log('all comforts tests passed');
}

main().catch((e) => { console.error(e); process.exit(1); });
