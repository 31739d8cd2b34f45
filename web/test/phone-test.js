// The web build as a phone plays it, in real headless Chromium with phone emulation and touch events, every
// page served under the strict Content-Security-Policy the page is written for.
//   node phone-test.js NATIVE_BUILD WEB_BUILD [ENGINE]      (chromium, the default, or webkit: engines.js)
// Each check names the engines it runs in. WebKit's driver gives no phone emulation and its touch arrives
// as pointer events of type mouse, which the page takes through the same pointer handlers as a finger:
// there the whole route is played by those taps, swipes and long presses in a desktop window.
// Touch alone plays a whole route to the last page (frames equal to the native program's at the scenes,
// the choices answered by tapping their lines) and starts the game again from there; portrait and landscape
// screenshots go to NATIVE_BUILD/web-screens/; the app is installable and plays offline with the server
// stopped; in a frame of another site it asks for a click; another site's story is refused.
'use strict';
const assert = require('assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { launch } = require('./engines');
const { readScript, decodePng, samePixels, captureFrames, nativeRunner } = require('./native');
const { serve } = require('../serve');

const nativeBuild = path.resolve(process.argv[2] || 'build');
const webBuild = path.resolve(process.argv[3] || 'build-web');
const engine = process.argv[4] || 'chromium';
const { EPOCH, BUILTIN, runNative } = nativeRunner(nativeBuild);
const screens = path.join(nativeBuild, 'web-screens');
const CSP = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'";
const PORTRAIT = { width: 390, height: 844, deviceScaleFactor: 3, mobile: true };
const LANDSCAPE = { width: 844, height: 390, deviceScaleFactor: 3, mobile: true, screenOrientation: { type: 'landscapePrimary', angle: 90 } };

// The key script as touch can give it: one key a frame (a tap is Space, swipes Up and Down, a long press F1);
// the second key of a frame goes two frames later, and so does everything after it.
function touchScript(script) {
  const out = [];
  let shift = 0;
  for (const line of script) {
    const [frameText, verb, ...names] = line.split(/\s+/);
    const frame = parseInt(frameText, 10) + shift;
    if (verb === 'escape') out.push(`${frame} escape`);  // the native run's end (the page goes on to the last page)
    if (verb !== 'press') continue;
    names.forEach((name, i) => out.push(`${frame + 2 * i} press ${/^(up|down|f1)$/.test(name) ? name : 'space'}`));
    shift += 2 * (names.length - 1);
  }
  return out;
}

async function main() {
  fs.mkdirSync(screens, { recursive: true });
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-phone-test-'));
  // The site from a copy, so that a test can put a new build in place.
  const site = path.join(work, 'site');
  fs.cpSync(webBuild, site, { recursive: true });
  const server = await serve(site, 0, {}, { headers: { 'Content-Security-Policy': CSP } });
  const base = `http://127.0.0.1:${server.address().port}/`;
  // Another site: a page framing the game, and a story of its own.
  fs.writeFileSync(path.join(work, 'host.html'), `<!doctype html><title>host</title><iframe src="${base}" width="640" height="560"></iframe>`);
  fs.copyFileSync(path.join(webBuild, 'story.kpak'), path.join(work, 'story.kpak'));
  const other = await serve(work, 0);
  // A site whose policy forbids compiling WebAssembly.
  const strict = await serve(webBuild, 0, {}, { headers: { 'Content-Security-Policy': "default-src 'self'; script-src 'self'" } });
  const otherBase = `http://127.0.0.1:${other.address().port}/`;
  const started = Date.now();
  const browser = await launch(engine);
  const failures = [];
  // A check for the engines it names (Chromium's alone when none are named: most drive the page through
  // the DevTools protocol).
  const check = async (name, body, engines) => {
    if (process.env.KIRAKE_PHONE_ONLY && !new RegExp(process.env.KIRAKE_PHONE_ONLY).test(name)) return;
    if (!(engines || ['chromium']).includes(engine)) return;
    try { await body(); console.log('ok   ' + name); } catch (e) { failures.push(name); console.log('FAIL ' + name + ': ' + e.message); }
  };
  const phone = async (metrics) => {
    const page = await browser.newPage();
    if (engine !== 'chromium') return page;
    await page.send('Emulation.setDeviceMetricsOverride', metrics);
    await page.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
    return page;
  };
  // The phone's screenshots are Chromium's (WebKit's window is a desktop's, and its driver's screenshot
  // waits for a paint that a held game never makes).
  const screenshot = async (page, name) => {
    if (engine !== 'chromium') return;
    fs.writeFileSync(path.join(screens, name), await page.screenshot());
  };
  const dialogText = `(function () { var d = document.getElementById('dialog'); return d.open && d.textContent; })()`;
  let page;
  try {
    await check('touch alone plays a route to the last page; frames equal the native program\'s; play again', async () => {
      const script = touchScript(readScript(path.join(__dirname, 'hiyori_match.keys')));
      const dir = fs.mkdtempSync(path.join(work, 'touch-'));
      // The frames are chosen on, and compared with, the built-in story (the page plays its script).
      const trace = runNative(script, [], dir, null, BUILTIN).trim();
      const frames = captureFrames(trace);
      runNative(script, frames, dir, null, BUILTIN);
      page = await phone(PORTRAIT);
      await page.navigate(base + '?epoch=' + EPOCH);
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      await page.evaluate('Module.kirake.holdAt = 0, true');
      await screenshot(page, 'portrait-title.png');
      const runTo = async (frame) => {
        await page.evaluate(`Module.kirake.holdAt = ${frame}, true`);
        await page.waitFor(`Module.kirake.presenting + 1 >= ${frame}`, 60000);
      };
      const grab = async (frame) => {
        await runTo(frame + 1);
        const rgb = await page.evaluate(`(function () { var d = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data; var s = ''; for (var i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]); return btoa(s); })()`);
        samePixels(decodePng(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`)), rgb, 'frame ' + frame);
      };
      // Where a point of the game's page is on the phone's screen.
      const at = (x, y) => page.evaluate(`(function () { var b = document.getElementById('screen').getBoundingClientRect();
        var s = Math.min(b.width / 640, b.height / 480); return [b.left + (b.width - 640 * s) / 2 + ${x} * s, b.top + (b.height - 480 * s) / 2 + ${y} * s]; })()`);
      const touch = (points, holdMs) => page.touch(points, holdMs);
      let linesTapped = 0;
      const pending = frames.slice();
      for (const line of script) {
        const [frameText, verb, name] = line.split(/\s+/);
        if (verb !== 'press') continue;
        const frame = parseInt(frameText, 10);
        while (pending.length && pending[0] < frame) await grab(pending.shift());
        await runTo(frame);
        const choice = await page.evaluate('kirakeShell.choice');
        if (choice.count > 0 && !linesTapped) await screenshot(page, 'portrait-choice.png');
        if (choice.count > 0 && name !== 'f1') {  // the choice: tap the answer line (twice to confirm)
          const index = name === 'space' ? choice.index : (choice.index + (name === 'down' ? 1 : 2)) % choice.count;
          await touch([await at(320, choice.top + (index + 0.5) * choice.lineHeight)]);
          linesTapped++;
        } else if (name === 'up' || name === 'down') {
          const [x, y] = await at(320, 240);
          await touch([[x, y], [x, y + (name === 'up' ? -30 : 30)], [x, y + (name === 'up' ? -60 : 60)]]);
        } else {
          await touch([await at(320, 120)], name === 'f1' ? 700 : 0);
        }
        await runTo(frame + 1);
      }
      while (pending.length) await grab(pending.shift());
      assert(linesTapped >= 4, 'both choices answered by tapping their lines');
      await page.evaluate('Module.kirake.holdAt = undefined, true');
      await page.waitFor('kirakeShell.over && !document.getElementById("again").hidden', 60000).catch(async (e) => {
        throw new Error(e.message + ' at ' + await page.evaluate('JSON.stringify([Module.kirake.presenting, Module.kirake.holdAt, kirakeShell.choice])'));
      });
      await screenshot(page, 'portrait-last-page.png');
      const [x, y] = await page.evaluate(`(function () { var b = document.getElementById('again').getBoundingClientRect(); return [b.left + b.width / 2, b.top + b.height / 2]; })()`);
      await touch([[x, y]]);
      await page.waitFor('kirakeShell.runs === 2 && Module.kirake.framesPresented > 60 && document.getElementById("again").hidden', 30000);
      assert.deepStrictEqual(await page.evaluate('kirakeShell.failures'), []);
      assert.deepStrictEqual(page.problems, []);
      console.log(`     ${script.length} touches, ${frames.length} frames compared, ${linesTapped} answer lines tapped`);
    }, ['chromium', 'webkit']);

    await check('a question by touch: answer buttons a finger tall named by their answers; a tap beside the lines does nothing', async () => {
      const question = await phone(PORTRAIT);
      await question.send('Page.navigate', { url: base + '?continue=0&start=choice' });
      await question.waitFor('window.Module && Module.kirake && kirakeShell.choice.count > 0', 30000);
      await question.evaluate('Module.kirake.holdAt = 0, true');
      const state = await question.evaluate(`(function () { var c = kirakeShell.choice, b = document.getElementById('screen').getBoundingClientRect();
        var s = Math.min(b.width / 640, b.height / 480);
        return { choice: c, said: kirakeShell.answerTexts, left: b.left + (b.width - 640 * s) / 2, top: b.top + (b.height - 480 * s) / 2, scale: s,
                 buttons: Array.from(document.querySelectorAll('#answers button')).map(function (e) { var r = e.getBoundingClientRect();
                   return [e.textContent, r.left + r.width / 2, r.top + r.height / 2, r.height, e.getAttribute('aria-current')]; }) }; })()`);
      const { choice, buttons } = state;
      assert.deepStrictEqual(buttons.map((b) => b[0]), state.said, 'a button for each answer, named as the voice says it');
      assert.strictEqual(buttons.length, choice.count);
      assert(buttons.every((b) => b[3] >= 24), 'every answer\'s button at least 24 CSS px tall: ' + buttons.map((b) => b[3]));
      assert.deepStrictEqual(buttons.map((b) => b[4]), buttons.map((b, i) => (i === choice.index ? 'true' : null)), 'the highlighted answer is marked');
      const tapAt = async (x, y, keep) => {  // the presses the tap queued (taken back unless kept for the game)
        await question.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
        await question.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
        return JSON.parse(await question.evaluate(`JSON.stringify(kirakeShell.pulses.${keep ? 'slice' : 'splice'}(0))`));
      };
      const onPage = (y) => state.top + y * state.scale, x = state.left + 320 * state.scale;
      assert.deepStrictEqual(await tapAt(x, onPage(choice.top - choice.lineHeight)), [], 'a tap above the answers does nothing');
      assert.deepStrictEqual(await tapAt(x, onPage(choice.top + (choice.count + 1) * choice.lineHeight)), [], 'a tap below them does nothing');
      assert.deepStrictEqual(await tapAt(x, onPage(60)), [], 'a tap on the picture does nothing');
      // (A tap on an answer line: the route above.) The third answer's button: up, the shorter way, and Space.
      assert.deepStrictEqual(await tapAt(buttons[2][1], buttons[2][2], true), [0xC8, null, 0x39, null], 'the third answer\'s button moves there and confirms');
      await question.evaluate('Module.kirake.holdAt = undefined, true');
      await question.waitFor('kirakeShell.choice.count === 0 && document.getElementById("answers").hidden', 30000);
      assert.deepStrictEqual(question.problems, []);
      await question.close();
    });

    await check('gestures: swipe, long press, tap; portrait and landscape layout; sound off with M is remembered; full screen from its button', async () => {
      page = page || await phone(PORTRAIT);
      // Afresh: the playthrough before kept its game in this browser, and would be offered again.
      await page.navigate(base + '?continue=0');
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 150', 30000);
      const box = (id) => page.evaluate(`(function () { var b = document.getElementById('${id}').getBoundingClientRect(); return [b.left, b.top, b.width, b.height]; })()`);
      // The picture's own box (the canvas is letterboxed in a window of another shape).
      const picture = () => page.evaluate(`(function () { var b = document.getElementById('screen').getBoundingClientRect();
        var s = Math.min(b.width / 640, b.height / 480); return [b.left + (b.width - 640 * s) / 2, b.top + (b.height - 480 * s) / 2, 640 * s, 480 * s]; })()`);
      const phoneLayout = engine === 'chromium';  // WebKit's window is a desktop's, at least 447 pixels wide
      const portrait = phoneLayout ? await box('screen') : await picture();
      if (phoneLayout) {
        assert(portrait[2] === PORTRAIT.width && Math.abs(portrait[3] - PORTRAIT.width * 0.75) < 1, 'portrait: the picture across the width ' + portrait);
        assert((await box('strip'))[1] >= portrait[1] + portrait[3] - 1, 'portrait: the strip under the picture');
        await screenshot(page, 'portrait.png');
      }
      // Gestures outside a choice, the game held: each is one key for one frame's read.
      await page.evaluate('Module.kirake.holdAt = 0, true');
      const [cx, cy] = [portrait[0] + portrait[2] / 2, portrait[1] + portrait[3] / 2];
      const gesture = async (points, holdMs) => {
        await page.touch(points, holdMs || 50);
        const pulses = await page.evaluate('JSON.stringify(kirakeShell.pulses.splice(0))');
        return JSON.parse(pulses);
      };
      assert.deepStrictEqual(await gesture([[cx, cy], [cx, cy - 40], [cx, cy - 80]]), [0xC8, null], 'a swipe up is Up');
      assert.deepStrictEqual(await gesture([[cx, cy], [cx, cy + 80]]), [0xD0, null], 'a swipe down is Down');
      assert.deepStrictEqual(await gesture([[cx, cy]], 700), [0x3B, null], 'a long press is F1');
      assert.deepStrictEqual(await gesture([[cx, cy]]), [0x39, null], 'a tap is Space');
      // The player's own: a swipe down from the top edge opens the history (the wheel up); over an overlay a
      // swipe turns the wheel, a tap outside the panel closes it and one on it is Space; the strip's Skip and
      // Settings press S and F10; kept files hold any byte in the page's storage.
      const edge = portrait[1] + portrait[3] * 0.03;
      assert.deepStrictEqual(await gesture([[cx, edge], [cx, edge + 80]]), [0xF1, null], 'a swipe down from the top edge is the wheel up');
      await page.evaluate('kirakeShell.choice = Object.assign({}, kirakeShell.choice, { overlay: true }), true');
      assert.deepStrictEqual(await gesture([[cx, cy], [cx, cy - 80]]), [0xF2, null], 'over an overlay a swipe up is the wheel down');
      assert.deepStrictEqual(await gesture([[cx, cy], [cx, cy + 80]]), [0xF1, null], 'over an overlay a swipe down is the wheel up');
      assert.deepStrictEqual(await gesture([[cx, edge]]), [0xF3, null], 'a tap outside the panel');
      assert.deepStrictEqual(await gesture([[cx, cy]]), [0x39, null], 'a tap on the panel is Space (the offer to continue goes on)');
      await page.evaluate('kirakeShell.choice.overlay = false, true');
      await page.evaluate("document.getElementById('skip').click(), document.getElementById('settings').click(), true");
      assert.deepStrictEqual(JSON.parse(await page.evaluate('JSON.stringify(kirakeShell.pulses.splice(0))')), [0x1F, null, 0x44, null]);
      assert.strictEqual(await page.evaluate("document.getElementById('skip').getAttribute('aria-pressed')"), 'true');
      assert.deepStrictEqual(JSON.parse(await page.evaluate(`JSON.stringify((function (K) {
        var bytes = new Uint8Array([0, 255, 10, 13, 200]);
        return [K.keptWrite('kirake/state/test', bytes), K.keptRead('kirake/state/test', 5), Array.from(K.keptBytes),
                K.keptRead('kirake/state/test', 4), K.keptRead('kirake/state/none', 9), K.keptAside('kirake/state/test'),
                K.keptRead('kirake/state/test', 5), K.keptRead('kirake/state/test.bad', 5)];
      })(Module.kirake))`)), [true, 5, [0, 255, 10, 13, 200], -2, -1, true, -1, 5], 'kept files in the page\'s storage');
      await page.evaluate('Module.kirake.holdAt = undefined, true');
      if (phoneLayout) {
        await page.send('Emulation.setDeviceMetricsOverride', LANDSCAPE);
        await new Promise((r) => setTimeout(r, 300));
        const landscape = await box('screen');
        assert(landscape[3] === LANDSCAPE.height, 'landscape: the picture fills the height ' + landscape);
        await screenshot(page, 'landscape.png');
      }
      await page.key('KeyM');
      assert.strictEqual(await page.evaluate('localStorage.getItem("kirake.muted")'), '1');
      await page.reload();
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      assert.strictEqual(await page.evaluate('document.getElementById("sound").textContent'), 'Sound off');
      const [x, y] = await page.evaluate(`(function () { var b = document.getElementById('fullscreen').getBoundingClientRect(); return [b.left + b.width / 2, b.top + b.height / 2]; })()`);
      await page.touch([[x, y]]);
      await page.waitFor('!!document.fullscreenElement', 5000);
      assert.deepStrictEqual(page.problems, []);
    }, ['chromium', 'webkit']);

    await check('installable: a manifest, icons and a service worker Chromium accepts', async () => {
      await page.waitFor('navigator.serviceWorker.ready.then(function (r) { return !!r.active; })', 30000);
      const result = await page.send('Page.getInstallabilityErrors');
      assert.deepStrictEqual(result.installabilityErrors, []);
      const manifest = await page.send('Page.getAppManifest');
      assert.deepStrictEqual(manifest.errors, []);
    });

    await check('failures before the start are shown: another site\'s story, a policy without wasm; in another site\'s frame the game asks for a click', async () => {
      const noWasm = await browser.newPage();
      await noWasm.send('Page.navigate', { url: `http://127.0.0.1:${strict.address().port}/` });
      assert(/wasm-unsafe-eval/.test(await noWasm.waitFor(dialogText, 30000)), 'the dialog names the policy');
      const refused = await browser.newPage();
      await refused.send('Page.navigate', { url: base + '?data=' + encodeURIComponent(otherBase + 'story.kpak') });
      const shown = await refused.waitFor(dialogText, 30000);
      assert(/another site/.test(shown) && !(await refused.evaluate('!!(window.Module && Module.kirake && Module.kirake.framesPresented)')), shown);
      const host = await browser.newPage();
      await host.send('Page.navigate', { url: otherBase + 'host.html' });
      await host.waitFor('document.readyState === "complete" && frames.length === 1', 30000);
      const { frameTree } = await host.send('Page.getFrameTree');
      const frameId = frameTree.childFrames[0].frame.id;
      const { executionContextId } = await host.send('Page.createIsolatedWorld', { frameId });
      const inFrame = async (expression) => (await host.send('Runtime.evaluate', { expression, contextId: executionContextId, returnByValue: true })).result.value;
      const until = Date.now() + 30000;
      while (!(await inFrame('!document.getElementById("activate").hidden'))) {
        assert(Date.now() < until, 'the frame shows "Click or tap to play"');
        await new Promise((r) => setTimeout(r, 100));
      }
      const [fx, fy] = await host.evaluate(`(function () { var b = document.querySelector('iframe').getBoundingClientRect(); return [b.left + 2, b.top + 2]; })()`);
      const [x, y] = await inFrame(`(function () { var b = document.getElementById('activate').getBoundingClientRect(); return [b.left + b.width / 2, b.top + b.height / 2]; })()`);
      for (const type of ['mousePressed', 'mouseReleased']) await host.send('Input.dispatchMouseEvent', { type, x: fx + x, y: fy + y, button: 'left', clickCount: 1 });
      await new Promise((r) => setTimeout(r, 300));
      const after = await inFrame('[document.getElementById("activate").hidden, document.hasFocus()].join()');
      assert.strictEqual(after, 'true,true', 'the click gives the game the keys (hidden, focus)');
    });

    await check('a new build: the page says an update is ready; the next start has only the new cache', async () => {
      await page.send('Page.bringToFront');
      const worker = path.join(site, 'sw.js');
      fs.writeFileSync(worker, fs.readFileSync(worker, 'utf8').replace(/const VERSION = '[^']*'/, "const VERSION = 'next'"));
      await page.evaluate('navigator.serviceWorker.getRegistration().then(function (r) { return r.update(); }).then(function () { return true; })');
      await page.waitFor('!document.getElementById("update").hidden', 30000);
      await page.send('Page.reload');
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      assert.deepStrictEqual(await page.evaluate('caches.keys()'), ['kirake-next']);
    });

    await check('offline: with the server stopped the page reloads and plays', async () => {
      await new Promise((r) => { server.close(r); server.closeAllConnections(); });
      await page.send('Page.bringToFront');  // a tab in the background draws no frames
      await page.send('Page.reload');
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 60', 30000).catch(async (e) => {
        throw new Error(e.message + ': ' + await page.evaluate('JSON.stringify([document.readyState, location.href, window.kirakeShell && kirakeShell.failures])').catch((x) => x.message) + page.problems.join('; '));
      });
      assert.deepStrictEqual(await page.evaluate('kirakeShell.failures'), []);
    });
  } finally {
    await browser.close();
    server.close();
    other.close();
    strict.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  console.log(`---- ${engine} ${((Date.now() - started) / 1000).toFixed(0)} s`);
  if (failures.length) { console.log(`${failures.length} phone test(s) failed in ${engine}`); process.exit(1); }
  console.log(`all phone tests passed in ${engine}; screenshots in ` + screens);
}

main().catch((e) => { console.error(e); process.exit(1); });
