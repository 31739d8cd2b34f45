// The web build in real browsers (Chromium, Firefox ESR, WebKitGTK: engines.js), compared with the native
// headless program.
//   node browser-test.js NATIVE_BUILD WEB_BUILD      (KIRAKE_ENGINES=chromium,firefox,webkit by default)
// For every key script here (*.keys), a whole game: the page plays the default data's story script
// headless (?keys=...&trace=1&capture=...), and its trace, canvas pixels at the captured frames and mixed
// sound must equal the native program's trace, captures and --record-audio recording on the same data,
// sample for sample, and the native --builtin-story's, the trace but for where the story stands. The
// script split into included files and packed gives the built-in scenes from ?start= places.
// The test stories (tests/stories: four-answers, and the guide's hello world drawn here from its sources),
// packed, give the native trace, sound and frames to each of their key scripts' staff rolls.
// The UTF-8 test story (the native build's tests/utf8-story), packed with its glyphs baked, gives the native
// trace and frames from the start of a route to its first message typed out. The default story in Spanish,
// by ?lang=es headless and by the browser's language in play, shows what the native --lang es shows.
// Then the playable page: keys pressed through the engine's driver leave the title and answer the first
// choice (the canvas equals the native capture of the same frame), sound starts with the first key, and
// nothing is written to the console as an error. Prints the benchmark figures at the end.
// Every engine runs every check, the one after the other, and the time each took is printed; only the
// browser's own language in play is Chromium's alone (the DevTools protocol sets it for one page).
'use strict';
const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { launch, enginesToRun } = require('./engines');
const { readScript, decodePng, firstDifference, samePixels, captureFrames, withoutStoryPosition, nativeRunner } = require('./native');
const { serve } = require('../serve');
const { pack } = require('../pack-story');

const nativeBuild = path.resolve(process.argv[2] || 'build');
const webBuild = path.resolve(process.argv[3] || 'build-web');
const gamedata = path.join(nativeBuild, 'gamedata');
const { EPOCH, BUILTIN, runNative } = nativeRunner(nativeBuild);

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

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-web-test-'));
  // A story without its text: the game's message box must come up as a dialog.
  const broken = path.join(work, 'broken');
  fs.mkdirSync(path.join(broken, 'bmp'), { recursive: true });
  fs.copyFileSync(path.join(gamedata, 'bmp', 'black.BMP'), path.join(broken, 'bmp', 'black.BMP'));
  execFileSync('sh', [path.join(__dirname, '..', 'story-index.sh'), broken]);
  const utf8 = path.join(work, 'utf8');
  fs.mkdirSync(utf8);
  const glyphTool = path.join(nativeBuild, 'tools', 'glyphs', 'kirake-glyphs');
  execFileSync(process.execPath, [path.join(__dirname, '..', 'pack-story.js'), '--glyphs', glyphTool, path.join(nativeBuild, 'tests', 'utf8-story'),
    path.join(utf8, 'story.kpak')], { stdio: ['ignore', 'ignore', 'inherit'] });
  const packed = path.join(work, 'packed');  // stories the checks pack
  fs.mkdirSync(packed);
  // The test stories (tests/stories), packed: four-answers as the native build makes it, and the guide's
  // hello world drawn here as the guide has its author draw it (its picture by kirake-art over the default
  // data's palette and box, the default data's System.BMP beside it).
  const stories = path.join(__dirname, '..', '..', 'tests', 'stories');
  const hello = path.join(work, 'hello');
  fs.mkdirSync(path.join(hello, 'bmp'), { recursive: true });
  fs.copyFileSync(path.join(gamedata, 'bmp', 'System.BMP'), path.join(hello, 'bmp', 'System.BMP'));
  execFileSync(path.join(nativeBuild, 'tools', 'art', 'kirake-art'), ['-I', path.join(__dirname, '..', '..', 'data', 'pictures'),
    path.join(stories, 'hello', 'pictures', 'hello.pic'), path.join(hello, 'bmp', 'hello.BMP')], { stdio: ['ignore', 'ignore', 'inherit'] });
  for (const name of ['scenes.txt', 'data.txt']) fs.copyFileSync(path.join(stories, 'hello', name), path.join(hello, name));
  const storyFolders = [['four-answers', path.join(nativeBuild, 'tests', 'four-answers')], ['hello', hello]];
  for (const [story, folder] of storyFolders) fs.writeFileSync(path.join(packed, story + '.kpak'), pack(folder, glyphTool));
  const server = await serve(webBuild, 0, { '/broken/': broken, '/utf8/': utf8, '/packed/': packed });
  const base = `http://127.0.0.1:${server.address().port}/`;
  const failures = [];
  const times = [];
  let browser = null;
  const check = async (name, body) => {
    const what = `${browser.name}: ${name}`;
    try { await body(); console.log('ok   ' + what); } catch (e) { failures.push(what); console.log('FAIL ' + what + ': ' + e.message); }
  };
  // A headless run of the page (QUERY: its address options): its trace, the canvas at FRAMES (RGB,
  // base64) and its mixed sound hashed a second at a time.
  const playOnPage = async (query, frames, timeoutMs) => {
    const page = await browser.newPage();
    try {
      await page.addInitScript(`window.kirakeAudioCapture = (${soundHasher.toString()})();`);
      await page.navigate(base + query + `&capture=${frames.join(',')}`);
      await page.waitFor('window.Module && Module.kirake && Module.kirake.ended', timeoutMs);
      const run = { trace: await page.evaluate('Module.kirake.trace()'), pixels: {} };
      for (const frame of frames) {
        run.pixels[frame] = await page.evaluate(`Module.kirake.captureRgb(${frame})`);
        assert(run.pixels[frame], 'frame ' + frame + ' was captured');
      }
      run.sound = await page.evaluate('window.kirakeAudioCapture.result()');
      assert.deepStrictEqual(page.problems, []);
      return run;
    } finally {
      await page.close();
    }
  };
  // The page's run against a native run's folder (trace.jsonl, the captures, sound.wav): the same trace but
  // where the story stands, the same pixels and the same sound.
  const sameStory = (dir, web, frames, what) => {
    const native = fs.readFileSync(path.join(dir, 'trace.jsonl'), 'utf8').split('\n').map(withoutStoryPosition);
    const lines = web.trace.split('\n').map(withoutStoryPosition);
    assert.strictEqual(lines.length, native.length, `${what}: as many frames`);
    const line = native.findIndex((l, i) => l !== lines[i]);
    assert.strictEqual(line, -1, `${what}: traces differ but for the story's position at ` +
                       firstDifference(native.join('\n'), lines.join('\n')));
    for (const frame of frames)
      samePixels(decodePng(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`)), web.pixels[frame], `${what}: frame ${frame}`);
    const sound = hashRecording(path.join(dir, 'sound.wav'));
    assert.strictEqual(web.sound.frames, sound.frames, `${what}: as many sound samples`);
    const second = sound.hashes.findIndex((h, i) => h !== web.sound.hashes[i]);
    assert.strictEqual(second, -1, `${what}: the sound differs in second ${second}`);
  };
  const scripts = fs.readdirSync(__dirname).filter((f) => f.endsWith('.keys')).sort();
  assert(scripts.length >= 2, 'two key scripts at least');
  const checks = async () => {
    for (const name of scripts) {
      if (process.env.KIRAKE_WEB_ONLY && !name.includes(process.env.KIRAKE_WEB_ONLY)) continue;
      await check(`${name}: trace and canvas equal the native program's, and the built-in story's`, async () => {
        const script = readScript(path.join(__dirname, name));
        // The built-in story chooses the frames (its trace names the chapters) and is the reference the
        // default data's script must give again; the native script run is what the page must give byte
        // for byte. The native runs are made once for every engine.
        const dir = path.join(work, name), builtin = path.join(dir, 'builtin'), native = path.join(dir, 'script');
        if (!fs.existsSync(path.join(native, 'trace.jsonl'))) {
          const firstTrace = runNative(script, [], builtin, null, BUILTIN);
          const builtinTrace = runNative(script, captureFrames(firstTrace), builtin, path.join(builtin, 'sound.wav'), BUILTIN);
          assert.strictEqual(builtinTrace, firstTrace, 'the native program repeats itself');
          runNative(script, captureFrames(firstTrace), native, path.join(native, 'sound.wav'));
        }
        const frames = captureFrames(fs.readFileSync(path.join(builtin, 'trace.jsonl'), 'utf8'));
        const nativeTrace = fs.readFileSync(path.join(native, 'trace.jsonl'), 'utf8');
        assert(nativeTrace.startsWith('{"frame":0,"scene":'), 'the default data plays its story script');
        const web = await playOnPage(`?keys=${encodeURIComponent(script.join(';'))}&trace=1&epoch=${EPOCH}&frames=30000`, frames, 240000);
        assert(nativeTrace.split('\n').length > 1000, 'a whole game');
        assert.strictEqual(web.trace === nativeTrace, true, 'traces differ at ' + firstDifference(nativeTrace, web.trace || ''));
        sameStory(builtin, web, frames, 'the built-in story');
        sameStory(native, web, frames, 'the native script');
        console.log(`     ${nativeTrace.split('\n').length - 1} frames, ${frames.length} frames compared pixel for pixel, ` +
                    `${web.sound.frames} sound frames sample for sample, with the native script and the built-in story`);
      });
    }

    await check('the default data\'s script split by include and packed: ?start= places give the built-in scenes', async () => {
      // The script's lines in two files of a folder beside it, read in place by include.
      const split = path.join(work, 'split');
      fs.rmSync(split, { recursive: true, force: true });
      fs.cpSync(gamedata, split, { recursive: true });
      const lines = fs.readFileSync(path.join(gamedata, 'scenes.txt'), 'utf8').split('\n');
      const half = lines.findIndex((l, i) => i > lines.length / 2 && /^scene /.test(l.trim()));
      assert(half > 0, 'a scene in the second half of scenes.txt');
      fs.mkdirSync(path.join(split, 'parts'));
      fs.writeFileSync(path.join(split, 'parts', 'first.txt'), lines.slice(0, half).join('\n') + '\n');
      fs.writeFileSync(path.join(split, 'parts', 'second.txt'), lines.slice(half).join('\n'));
      fs.writeFileSync(path.join(split, 'scenes.txt'), '# The default story in two parts.\ninclude parts/first.txt\ninclude parts/second.txt\n');
      execFileSync(process.execPath, [path.join(__dirname, '..', 'pack-story.js'), '--glyphs', glyphTool, split, path.join(packed, 'split.kpak')],
                   { stdio: ['ignore', 'ignore', 'inherit'] });
      const keys = readScript(path.join(__dirname, '..', '..', 'tests', 'keys-every-second.txt'));
      // The built-in scene and the same place of the script: a route's first frames, a route's question,
      // an ending and a staff roll; long enough for the ending's Space and the roll's first lines.
      const places = [['choice', 'choice'], ['route:fuuya', 'route:fuuya'], ['route-choice:heren', 'route-choice:heren'],
                      ['ending:miss:heren', 'heren-miss/ending'], ['roll:match:hiyori', 'hiyori-match/roll']];
      const frames = [0, 1, 60, 299, 699];
      for (const [scene, place] of places) {
        const dir = path.join(work, 'start-' + scene.replace(/[:/]/g, '-'));
        const builtinTrace = runNative(keys, frames, dir, path.join(dir, 'sound.wav'), [...BUILTIN, '--start', scene, '--frames', '700']);
        const web = await playOnPage(`?data=packed/split.kpak&keys=${encodeURIComponent(keys.join(';'))}&trace=1&epoch=${EPOCH}` +
                                     `&frames=700&start=${encodeURIComponent(place)}`, frames, 60000);
        assert(/^\{"frame":0,"scene":"parts\//.test(web.trace), `${place}: the page played the included files`);
        assert.strictEqual(web.trace.split('\n').length, 701, `${place}: 700 frames`);
        assert.strictEqual(builtinTrace.split('\n').length, 701, `${scene}: 700 frames`);
        sameStory(dir, web, frames, `${place} against the built-in ${scene}`);
      }
      console.log(`     ${places.length} places, 700 frames and ${frames.length} captures each, and their sound`);
    });

    await check('a UTF-8 story with its baked glyphs: trace and canvas equal the native program\'s', async () => {
      const dir = fs.mkdtempSync(path.join(work, 'utf8-run-'));
      const frames = [20, 60, 100, 139];
      execFileSync(path.join(nativeBuild, 'src', 'kirake'), ['--headless', '--data', path.join(nativeBuild, 'tests', 'utf8-story'),
        '--start', 'route:hiyori', '--frames', '140', '--epoch', EPOCH, '--trace', path.join(dir, 'trace.jsonl'),
        '--capture', frames.join(','), '--capture-dir', dir], { stdio: ['ignore', 'ignore', 'pipe'] });
      const nativeTrace = fs.readFileSync(path.join(dir, 'trace.jsonl'), 'utf8');
      const page = await browser.newPage();
      await page.navigate(base + `?data=utf8/story.kpak&headless=1&trace=1&start=route:hiyori&frames=140&epoch=${EPOCH}&capture=${frames.join(',')}`);
      await page.waitFor('window.Module && Module.kirake && Module.kirake.ended', 60000);
      const webTrace = await page.evaluate('Module.kirake.trace()');
      assert.strictEqual(webTrace === nativeTrace, true, 'traces differ at ' + firstDifference(nativeTrace, webTrace || ''));
      for (const frame of frames) {
        const pixels = await page.evaluate(`Module.kirake.captureRgb(${frame})`);
        assert(pixels, 'frame ' + frame + ' was captured');
        samePixels(decodePng(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`)), pixels, 'frame ' + frame);
      }
      assert.deepStrictEqual(page.problems, []);
      await page.close();
    });

    // The test stories to each ending's staff roll by their key scripts: the page gives the native trace
    // byte for byte and the sound sample for sample, and the native pixels where the speaker's name stands
    // above the box, where the choice is open before its answer, and on the staff roll at rest.
    for (const [story, folder] of storyFolders) {
      const keyScripts = fs.readdirSync(path.join(stories, story)).filter((f) => /^keys-.+\.txt$/.test(f)).sort();
      for (const keys of keyScripts) {
        await check(`${story}, ${keys}: to the staff roll, trace, frames and sound equal the native program's`, async () => {
          const script = readScript(path.join(stories, story, keys));
          const frameOf = (line) => parseInt(line, 10);
          const answer = script.find((l) => /\spress space$/.test(l));
          assert(answer, 'the key script answers a choice with space');
          // The staff roll is at rest some 1,200 frames after the last key: the run ends 200 frames later.
          const total = Math.max(...script.map(frameOf)) + 1400, rest = total - 1, earlier = total - 101;
          const scenes = fs.readFileSync(path.join(folder, 'scenes.txt'), 'utf8').split('\n');
          const placeOf = (pattern) => { const i = scenes.findIndex((l) => pattern.test(l)); return i < 0 ? null : `scenes.txt:${i + 1}`; };
          const dir = path.join(work, `${story}-${keys}`);
          fs.rmSync(dir, { recursive: true, force: true });
          const options = ['--frames', String(total)];
          const played = runNative(script, [], dir, null, options, folder).trim().split('\n').map((l) => JSON.parse(l));
          assert.strictEqual(played.length, total, `${total} frames`);
          const choice = frameOf(answer) - 1;
          assert.strictEqual(played[choice].scene, placeOf(/^\s*choice /), `frame ${choice}: the first choice is open`);
          const roll = scenes[parseInt(played[rest].scene.split(':')[1], 10) - 1];
          assert(/^\s*roll /.test(roll), `the story ends on a staff roll, not at ${played[rest].scene}`);
          const frames = [choice, earlier, rest];
          const said = placeOf(/^\s*say \S+ by /);  // a speaker's name: the first frame its message waits whole
          if (said) {
            const named = played.find((l) => l.scene === said && l.message.wait === 1);
            assert(named, `the message of ${said} waits for a key`);
            frames.push(named.frame);
          }
          frames.sort((a, b) => a - b);
          const nativeTrace = runNative(script, frames, dir, path.join(dir, 'sound.wav'), options, folder);
          const capture = (frame) => fs.readFileSync(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`));
          assert(capture(earlier).equals(capture(rest)), 'the staff roll has come to rest');
          const web = await playOnPage(`?data=packed/${story}.kpak&keys=${encodeURIComponent(script.join(';'))}&trace=1&epoch=${EPOCH}` +
                                       `&frames=${total}`, frames, 60000);
          assert.strictEqual(web.trace === nativeTrace, true, 'traces differ at ' + firstDifference(nativeTrace, web.trace || ''));
          sameStory(dir, web, frames, `${story}, ${keys}`);
          console.log(`     ${total} frames to ${played[rest].scene}, frames ${frames.join(', ')} pixel for pixel, ${web.sound.frames} sound frames`);
        });
      }
    }

    await check('the story in Spanish: ?lang=es, and the browser\'s language in play, equal the native --lang es', async () => {
      const dir = fs.mkdtempSync(path.join(work, 'lang-'));
      const frames = [139];  // the first page of the first message, waiting for a key
      execFileSync(path.join(nativeBuild, 'src', 'kirake'), ['--headless', '--data', gamedata, '--lang', 'es',
        '--start', 'opening', '--frames', '140', '--epoch', EPOCH, '--trace', path.join(dir, 'trace.jsonl'),
        '--capture', frames.join(','), '--capture-dir', dir], { stdio: ['ignore', 'ignore', 'pipe'] });
      const nativeTrace = fs.readFileSync(path.join(dir, 'trace.jsonl'), 'utf8');
      const native = decodePng(path.join(dir, 'frame-000139.png'));
      const headless = await browser.newPage();
      await headless.navigate(base + `?lang=es&headless=1&trace=1&start=opening&frames=140&epoch=${EPOCH}&capture=139`);
      await headless.waitFor('window.Module && Module.kirake && Module.kirake.ended', 60000);
      const webTrace = await headless.evaluate('Module.kirake.trace()');
      assert.strictEqual(webTrace === nativeTrace, true, 'traces differ at ' + firstDifference(nativeTrace, webTrace || ''));
      samePixels(native, await headless.evaluate('Module.kirake.captureRgb(139)'), '?lang=es, frame 139');
      assert.deepStrictEqual(headless.problems, []);
      await headless.close();
      // Played, the page follows the browser's language: set for one page through the DevTools protocol,
      // which only Chromium has (the others' language is a preference of the whole browser).
      if (browser.name !== 'chromium') return;
      const page = await browser.newPage();
      await page.send('Emulation.setUserAgentOverride', { userAgent: 'kirake-test', acceptLanguage: 'es-ES,en' });
      await page.send('Page.navigate', { url: base + `?start=opening&epoch=${EPOCH}` });
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      await page.evaluate('Module.kirake.holdAt = 140, true');
      await page.waitFor('Module.kirake.presenting + 1 >= 140', 30000);
      const shown = await page.evaluate(`(function () { var d = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data; var s = ''; for (var i = 0; i < d.length; i += 4) s += String.fromCharCode(d[i], d[i + 1], d[i + 2]); return btoa(s); })()`);
      samePixels(native, shown, 'the browser in Spanish, frame 139');
      assert.deepStrictEqual(page.problems, []);
    });

    await check('playable page: real keys leave the title and answer the choice; sound starts', async () => {
      const script = readScript(path.join(__dirname, scripts[0]));
      // The script up to a little after the first answer (chapter 1 step 5 ends).
      const dir = fs.mkdtempSync(path.join(work, 'keys-'));
      const full = runNative(script, [], dir, null, BUILTIN).trim().split('\n').map((l) => JSON.parse(l));
      const answered = full.find((l, i) => i > 0 && full[i - 1].chapter === 1 && l.chapter !== 1);
      assert(answered, 'the script answers the first choice');
      const titleLeft = full.find((l) => l.chapter !== 0 || l.step > 1);
      const target = answered.frame + 20;
      runNative(script, [titleLeft.frame + 5, target], dir, null, BUILTIN);
      const page = await browser.newPage();
      // Afresh: the runs before kept their game in this browser, and the page would offer it first.
      await page.navigate(base + '?continue=0');
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      // The page's own pace first: game frames a second by the page's clock over two seconds.
      const pace = await page.evaluate(`new Promise(function (done) { var k = Module.kirake, f0 = k.presenting, t0 = performance.now();
        setTimeout(function () { done((k.presenting - f0) * 1000 / (performance.now() - t0)); }, 2000); })`);
      console.log(`     ${pace.toFixed(1)} game frames a second in the page`);
      assert(pace > 50 && pace < 62, 'about 60 game frames a second');
      await page.evaluate('Module.kirake.holdAt = 0, true');
      assert.strictEqual(await page.evaluate('kirakeAudio.running'), false, 'sound waits for the first key');
      // Frame by frame: the page shows frame n-1 and holds before frame n; keys go down, the frame runs.
      const codes = { left: 'ArrowLeft', right: 'ArrowRight', up: 'ArrowUp', down: 'ArrowDown', z: 'KeyZ', x: 'KeyX', c: 'KeyC',
        v: 'KeyV', space: 'Space', enter: 'Enter', a: 'KeyA' };
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
      let audioAfterFirstKey = null, soundAfter = 0;
      for (const line of script) {
        const [frameText, verb, ...names] = line.split(/\s+/);
        const frame = parseInt(frameText, 10);
        if (frame > target || verb !== 'press') continue;
        while (checks.length && checks[0] < frame) await grab(checks.shift());
        await runTo(frame);
        for (const n of names) await page.keyDown(codes[n]);
        if (audioAfterFirstKey === null) {  // Firefox's worklet takes about a second to start
          const pressed = Date.now();
          audioAfterFirstKey = await page.waitFor('kirakeAudio.running', 5000).catch(() => false);
          soundAfter = Date.now() - pressed;
        }
        await runTo(frame + 1);
        for (const n of names) await page.keyUp(codes[n]);
      }
      while (checks.length) await grab(checks.shift());
      assert.strictEqual(audioAfterFirstKey, true, 'sound runs after the first key');
      assert(!/Sound starts/.test(await page.evaluate('document.getElementById("status").textContent')), 'the hint goes once sound runs');
      assert(await page.evaluate('kirakeAudio.loudest > 0'), 'the mixer\'s sound was played');
      assert.deepStrictEqual(page.problems, []);
      console.log(`     title left at frame ${titleLeft.frame}, first answer at frame ${answered.frame}, sound ${soundAfter} ms after the first key`);
      await page.close();
    });

    await check('a message box of the game is a dialog on the page with the cause in English', async () => {
      const page = await browser.newPage();
      await page.navigate(base + '?data=broken/');
      const shown = await page.waitFor(`(function () { var d = document.getElementById('dialog'); return d && d.open && d.textContent; })()`, 30000);
      assert(shown.includes('(data.txt) could not be read'), shown);
      await page.evaluate(`document.getElementById('dialog-ok').click(), true`);
      await page.waitFor('Module.kirake.ended', 10000);
      assert.deepStrictEqual(page.problems, []);
      await page.close();
    });

    await check('a key script the program refuses is named on the page', async () => {
      const page = await browser.newPage();
      await page.navigate(base + '?keys=' + encodeURIComponent('5 press nosuchkey'));
      const shown = await page.waitFor(`(function () { var d = document.getElementById('dialog'); return d && d.open && d.textContent; })()`, 30000);
      assert(shown.includes('unknown key "nosuchkey"'), shown);
      await page.close();
    });

    await check('benchmark: composed frames a second, time to the first frame, size', async () => {
      const page = await browser.newPage();
      await page.navigate(base + '?bench=3000');
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
  };
  try {
    for (const engine of enginesToRun()) {
      const started = Date.now(), failed = failures.length;
      try {
        browser = await launch(engine);
      } catch (e) {
        failures.push(engine);
        console.log(`FAIL ${engine}: the browser did not start: ${e.message}`);
        continue;
      }
      try { await checks(); } finally { await browser.close(); }
      times.push(`${engine} ${((Date.now() - started) / 1000).toFixed(0)} s${failures.length > failed ? ` (${failures.length - failed} failed)` : ''}`);
      console.log(`---- ${times[times.length - 1]}`);
    }
  } finally {
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
  console.log('time by engine: ' + times.join(', '));
  if (failures.length) { console.log(`${failures.length} web test(s) failed`); process.exit(1); }
  console.log('all web tests passed');
}

main().catch((e) => { console.error(e); process.exit(1); });
