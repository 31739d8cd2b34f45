// The web build in real headless Chromium, compared with the native headless program.
//   node browser-test.js NATIVE_BUILD WEB_BUILD
// For every key script here (*.keys): the page runs it headless (?keys=...&trace=1&capture=...) and its
// trace, canvas pixels at the captured frames and mixed sound must equal the native program's trace,
// captures and --record-audio recording, sample for sample.
// Then the playable page: keys pressed through the DevTools protocol leave the title and answer the
// first choice (the canvas equals the native capture of the same frame), sound starts with the first
// key, and nothing is written to the console as an error. Prints the benchmark figures at the end.
'use strict';
const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { launch } = require('./cdp');
const { serve } = require('../serve');

const nativeBuild = path.resolve(process.argv[2] || 'build');
const webBuild = path.resolve(process.argv[3] || 'build-web');
const kirake = path.join(nativeBuild, 'src', 'kirake');
const gamedata = path.join(nativeBuild, 'gamedata');
const EPOCH = '946684800';

function readScript(file) {
  return fs.readFileSync(file, 'utf8').split('\n').map((line) => line.replace(/#.*/, '').trim()).filter(Boolean);
}

// A PNG as written by the program (8-bit RGB, any filter) to raw RGB bytes.
function decodePng(file) {
  const bytes = fs.readFileSync(file);
  let at = 8, width = 0, height = 0;
  const idat = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at), type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') { width = body.readUInt32BE(0); height = body.readUInt32BE(4); assert.strictEqual(body[8], 8); assert.strictEqual(body[9], 2); }
    if (type === 'IDAT') idat.push(body);
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * 3, out = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= 3 ? out[y * stride + x - 3] : 0, b = y > 0 ? out[(y - 1) * stride + x] : 0;
      const c = x >= 3 && y > 0 ? out[(y - 1) * stride + x - 3] : 0;
      let p;
      switch (filter) {
        case 0: p = 0; break;
        case 1: p = a; break;
        case 2: p = b; break;
        case 3: p = (a + b) >> 1; break;
        default: { const q = a + b - c, pa = Math.abs(q - a), pb = Math.abs(q - b), pc = Math.abs(q - c);
                   p = pa <= pb && pa <= pc ? a : pb <= pc ? b : c; }
      }
      out[y * stride + x] = (line[x] + p) & 0xFF;
    }
  }
  return out;
}

function runNative(script, frames, outDir, recording) {
  const keys = path.join(outDir, 'keys.txt');
  fs.writeFileSync(keys, script.join('\n') + '\n');
  const args = ['--headless', '--data', gamedata, '--keys', keys, '--trace', path.join(outDir, 'trace.jsonl'),
                '--epoch', EPOCH, '--frames', '30000'];
  if (frames.length) args.push('--capture', frames.join(','), '--capture-dir', outDir);
  if (recording) args.push('--record-audio', recording);
  execFileSync(kirake, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  return fs.readFileSync(path.join(outDir, 'trace.jsonl'), 'utf8');
}

// Sound as FNV-1a hashes of its bytes (16-bit little-endian, interleaved stereo), one per second of
// 44100 frames and one for the rest: the page's samples are hashed as they are made (the same function
// runs in the page), the native recording from its file.
function soundHasher() {
  const state = { frames: 0, hashes: [], hash: 0x811c9dc5 };
  const add = (samples) => {
    for (let i = 0; i < samples.length; ++i) {
      state.hash = Math.imul(state.hash ^ (samples[i] & 0xFF), 16777619) >>> 0;
      state.hash = Math.imul(state.hash ^ ((samples[i] >> 8) & 0xFF), 16777619) >>> 0;
      if ((i & 1) && ++state.frames % 44100 === 0) { state.hashes.push(state.hash); state.hash = 0x811c9dc5; }
    }
  };
  add.result = () => ({ frames: state.frames, hashes: state.hashes.concat([state.hash]) });
  return add;
}
function hashRecording(file) {
  const bytes = fs.readFileSync(file);
  const add = soundHasher();
  add(new Int16Array(bytes.buffer.slice(bytes.byteOffset + 44, bytes.byteOffset + bytes.length)));
  return add.result();
}

function firstDifference(a, b) {
  const la = a.split('\n'), lb = b.split('\n');
  for (let i = 0; i < Math.max(la.length, lb.length); ++i)
    if (la[i] !== lb[i]) return `line ${i + 1}:\n  native: ${la[i]}\n  web:    ${lb[i]}`;
  return 'none';
}

function samePixels(native, webBase64, what) {
  const web = Buffer.from(webBase64, 'base64');
  assert.strictEqual(web.length, native.length, what + ': size');
  let differing = 0;
  for (let i = 0; i < native.length; ++i) if (native[i] !== web[i]) ++differing;
  assert.strictEqual(differing, 0, `${what}: ${differing} of ${native.length} colour bytes differ`);
}

// The frames worth comparing: the title, whole messages as they wait for a key (text at 21), the first
// choice on the screen (text at 24), and the staff roll (20 and 40).
function captureFrames(trace) {
  const lines = trace.trim().split('\n').map((l) => JSON.parse(l));
  const frames = new Set([1, 120]);
  const waits = lines.filter((l, i) => i > 0 && l.message.wait === 1 && lines[i - 1].message.wait !== 1);
  waits.filter((l, i) => i % 3 === 0).slice(0, 7).forEach((l) => frames.add(l.frame));
  const choice = lines.filter((l) => l.chapter === 1 && l.step === 5);
  if (choice.length) frames.add(choice[choice.length - 1].frame - 1);
  const ending = lines.filter((l) => l.chapter === 5);
  if (ending.length) [300, Math.floor(ending.length / 2), ending.length - 10].forEach((i) => ending[i] && frames.add(ending[i].frame));
  return [...frames].filter((f) => f < lines.length - 1).sort((a, b) => a - b);
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-web-test-'));
  // A story without its text: the game's message box must come up as a dialog.
  const broken = path.join(work, 'broken');
  fs.mkdirSync(path.join(broken, 'bmp'), { recursive: true });
  fs.copyFileSync(path.join(gamedata, 'bmp', 'black.BMP'), path.join(broken, 'bmp', 'black.BMP'));
  execFileSync('sh', [path.join(__dirname, '..', 'story-index.sh'), broken]);
  const server = await serve(webBuild, 0, { '/broken/': broken });
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await launch(process.env.KIRAKE_CHROMIUM);
  const failures = [];
  const check = async (name, body) => {
    try { await body(); console.log('ok   ' + name); } catch (e) { failures.push(name); console.log('FAIL ' + name + ': ' + e.message); }
  };
  try {
    const scripts = fs.readdirSync(__dirname).filter((f) => f.endsWith('.keys')).sort();
    assert(scripts.length >= 2, 'two key scripts at least');
    for (const name of scripts) {
      if (process.env.KIRAKE_WEB_ONLY && !name.includes(process.env.KIRAKE_WEB_ONLY)) continue;
      await check(`${name}: trace and canvas equal the native program's`, async () => {
        const script = readScript(path.join(__dirname, name));
        const dir = fs.mkdtempSync(path.join(work, name + '-'));
        const firstTrace = runNative(script, [], dir);
        const frames = captureFrames(firstTrace);
        const nativeTrace = runNative(script, frames, dir, path.join(dir, 'sound.wav'));
        assert.strictEqual(nativeTrace, firstTrace, 'the native program repeats itself');
        const nativeSound = hashRecording(path.join(dir, 'sound.wav'));
        fs.rmSync(path.join(dir, 'sound.wav'));
        const page = await browser.newPage();
        await page.send('Page.addScriptToEvaluateOnNewDocument',
                        { source: `window.kirakeAudioCapture = (${soundHasher.toString()})();` });
        const query = `?keys=${encodeURIComponent(script.join(';'))}&trace=1&epoch=${EPOCH}&frames=30000&capture=${frames.join(',')}`;
        await page.send('Page.navigate', { url: base + query });
        await page.waitFor('window.Module && Module.kirake && Module.kirake.ended', 240000);
        const webTrace = await page.evaluate('Module.kirake.trace()');
        assert(nativeTrace.split('\n').length > 1000, 'a whole game');
        assert.strictEqual(webTrace === nativeTrace, true, 'traces differ at ' + firstDifference(nativeTrace, webTrace || ''));
        for (const frame of frames) {
          const pixels = await page.evaluate(`Module.kirake.captureRgb(${frame})`);
          assert(pixels, 'frame ' + frame + ' was captured');
          samePixels(decodePng(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`)), pixels, 'frame ' + frame);
        }
        const webSound = await page.evaluate('window.kirakeAudioCapture.result()');
        assert.strictEqual(webSound.frames, nativeSound.frames, 'as many samples as the native recording');
        const second = nativeSound.hashes.findIndex((h, i) => h !== webSound.hashes[i]);
        assert.strictEqual(second, -1, `the sound differs in second ${second}`);
        assert.deepStrictEqual(page.problems, []);
        console.log(`     ${nativeTrace.split('\n').length - 1} frames, ${frames.length} frames compared pixel for pixel, ` +
                    `${nativeSound.frames} sound frames sample for sample`);
      });
    }

    await check('playable page: real keys leave the title and answer the choice; sound starts', async () => {
      const script = readScript(path.join(__dirname, scripts[0]));
      // The script up to a little after the first answer (chapter 1 step 5 ends).
      const dir = fs.mkdtempSync(path.join(work, 'keys-'));
      const full = runNative(script, [], dir).trim().split('\n').map((l) => JSON.parse(l));
      const answered = full.find((l, i) => i > 0 && full[i - 1].chapter === 1 && l.chapter !== 1);
      assert(answered, 'the script answers the first choice');
      const titleLeft = full.find((l) => l.chapter !== 0 || l.step > 1);
      const target = answered.frame + 20;
      runNative(script, [titleLeft.frame + 5, target], dir);
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + '?' });
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      // The page's own pace first: game frames a second by the page's clock over two seconds.
      const pace = await page.evaluate(`new Promise(function (done) { var k = Module.kirake, f0 = k.presenting, t0 = performance.now();
        setTimeout(function () { done((k.presenting - f0) * 1000 / (performance.now() - t0)); }, 2000); })`);
      console.log(`     ${pace.toFixed(1)} game frames a second in the page`);
      assert(pace > 50 && pace < 62, 'about 60 game frames a second');
      await page.evaluate('Module.kirake.holdAt = 0, true');
      assert.strictEqual(await page.evaluate('kirakeAudio.running'), false, 'sound waits for the first key');
      // Frame by frame: the page shows frame n-1 and holds before frame n; keys go down, the frame runs.
      const codes = { left: ['ArrowLeft', 'ArrowLeft', 37], right: ['ArrowRight', 'ArrowRight', 39], up: ['ArrowUp', 'ArrowUp', 38],
        down: ['ArrowDown', 'ArrowDown', 40], z: ['KeyZ', 'z', 90], x: ['KeyX', 'x', 88], c: ['KeyC', 'c', 67], v: ['KeyV', 'v', 86],
        space: ['Space', ' ', 32], enter: ['Enter', 'Enter', 13], a: ['KeyA', 'a', 65] };
      const runTo = async (frame) => {  // lets the game compute frames up to frame - 1
        await page.evaluate(`Module.kirake.holdAt = ${frame}, true`);
        await page.waitFor(`Module.kirake.presenting + 1 >= ${frame}`, 30000);
      };
      const grab = async (frame) => {  // the canvas once frame is on the screen, against the native capture
        await runTo(frame + 1);
        const rgb = await page.evaluate(`(function () { var d = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data; var s = ''; for (var i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]); return btoa(s); })()`);
        samePixels(decodePng(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`)), rgb, 'frame ' + frame);
      };
      const checks = [titleLeft.frame + 5, target];
      let audioAfterFirstKey = null;
      for (const line of script) {
        const [frameText, verb, ...names] = line.split(/\s+/);
        const frame = parseInt(frameText, 10);
        if (frame > target || verb !== 'press') continue;
        while (checks.length && checks[0] < frame) await grab(checks.shift());
        await runTo(frame);
        for (const n of names) {
          const [code, key, keyCode] = codes[n];
          await page.send('Input.dispatchKeyEvent', { type: 'rawKeyDown', code, key, windowsVirtualKeyCode: keyCode });
        }
        if (audioAfterFirstKey === null) {
          await new Promise((r) => setTimeout(r, 200));
          audioAfterFirstKey = await page.evaluate('kirakeAudio.running');
        }
        await runTo(frame + 1);
        for (const n of names) {
          const [code, key, keyCode] = codes[n];
          await page.send('Input.dispatchKeyEvent', { type: 'keyUp', code, key, windowsVirtualKeyCode: keyCode });
        }
      }
      while (checks.length) await grab(checks.shift());
      assert.strictEqual(audioAfterFirstKey, true, 'sound runs after the first key');
      assert(await page.evaluate('kirakeAudio.loudest > 0'), 'the mixer\'s sound was played');
      assert.deepStrictEqual(page.problems, []);
      console.log(`     title left at frame ${titleLeft.frame}, first answer at frame ${answered.frame}`);
    });

    await check('a message box of the game is a dialog on the page with the cause in English', async () => {
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + '?data=broken/' });
      const shown = await page.waitFor(`(function () { var d = document.getElementById('dialog'); return d && d.open && d.textContent; })()`, 30000);
      assert(shown.includes('(data.txt) could not be read'), shown);
      await page.evaluate(`document.getElementById('dialog-ok').click(), true`);
      await page.waitFor('Module.kirake.ended', 10000);
      assert.deepStrictEqual(page.problems, []);
    });

    await check('a key script the program refuses is named on the page', async () => {
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + '?keys=' + encodeURIComponent('5 press nosuchkey') });
      const shown = await page.waitFor(`(function () { var d = document.getElementById('dialog'); return d && d.open && d.textContent; })()`, 30000);
      assert(shown.includes('unknown key "nosuchkey"'), shown);
    });

    await check('benchmark: composed frames a second, time to the first frame, size', async () => {
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + '?bench=3000' });
      const bench = await page.waitFor('Module.kirake && Module.kirake.bench && Module.kirake.bench.done && Module.kirake.bench', 120000);
      let bytes = 0;
      const walk = (d) => fs.readdirSync(d, { withFileTypes: true }).forEach((e) => {
        const p = path.join(d, e.name);
        if (e.isDirectory()) walk(p); else bytes += fs.statSync(p).size;
      });
      walk(webBuild);
      console.log(`     ${bench.framesPerSecond.toFixed(0)} composed frames/s, first frame ${bench.firstFrameMs.toFixed(0)} ms after load began, build ${(bytes / 1e6).toFixed(2)} MB`);
      assert(bytes < 8e6, 'the build stays under 8 MB');
      assert.deepStrictEqual(page.problems, []);
    });
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  if (failures.length) { console.log(`${failures.length} web test(s) failed`); process.exit(1); }
  console.log('all web tests passed');
}

main().catch((e) => { console.error(e); process.exit(1); });
