// kirake-export's web site in real headless Chromium:
//   node export-test.js NATIVE_BUILD WEB_BUILD [KIRAKE_EXPORT]
// (with KIRAKE_EXPORT, an installed tool, which finds its own web build: WEB_BUILD is then that one)
// The guide's hello world exported with the web build as its engine: the site plays it to its first
// ending as the native program plays the story folder (the trace, and the canvas at a few frames); a
// story changed and exported again gets a service worker of another version, and a returning player's
// browser, which kept the first story for offline play, keeps the new one.
'use strict';
const assert = require('assert');
const crypto = require('crypto');
const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { launch } = require('./engines');
const { readScript, decodePng, firstDifference, samePixels, nativeRunner, EPOCH } = require('./native');
const { serve } = require('../serve');

const nativeBuild = path.resolve(process.argv[2] || 'build');
const webBuild = path.resolve(process.argv[3] || 'build-web');
const { runNative, gamedata } = nativeRunner(nativeBuild);
const root = path.join(__dirname, '..', '..');
const tool = process.argv[4] ? path.resolve(process.argv[4]) : path.join(nativeBuild, 'tools', 'export', 'kirake-export');
const engine = process.argv[4] ? [] : ['--web-build', webBuild];
const version = (site) => /const VERSION = '([0-9a-f]{16})'/.exec(fs.readFileSync(path.join(site, 'sw.js'), 'utf8'))[1];

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-export-test-'));
  // The hello world as the guide has its author make it: its picture drawn over the default palette
  // and box, the default System.BMP beside it, and the source left in the project.
  const hello = path.join(work, 'hello');
  fs.mkdirSync(path.join(hello, 'bmp'), { recursive: true });
  fs.cpSync(path.join(root, 'tests', 'stories', 'hello', 'pictures'), path.join(hello, 'pictures'), { recursive: true });
  fs.copyFileSync(path.join(gamedata, 'bmp', 'System.BMP'), path.join(hello, 'bmp', 'System.BMP'));
  execFileSync(path.join(nativeBuild, 'tools', 'art', 'kirake-art'), ['-I', path.join(root, 'data', 'pictures'),
    path.join(hello, 'pictures', 'hello.pic'), path.join(hello, 'bmp', 'hello.BMP')], { stdio: ['ignore', 'ignore', 'inherit'] });
  for (const name of ['scenes.txt', 'data.txt']) fs.copyFileSync(path.join(root, 'tests', 'stories', 'hello', name), path.join(hello, name));
  const out = path.join(work, 'shared');
  const exportStory = () => execFileSync(tool, ['--only', 'web', ...engine, hello, out], { stdio: ['ignore', 'ignore', 'inherit'] });
  exportStory();
  const site = path.join(out, 'web');
  assert(!fs.readFileSync(path.join(site, 'story.kpak')).equals(fs.readFileSync(path.join(webBuild, 'story.kpak'))), 'the story replaced');

  const script = readScript(path.join(root, 'tests', 'stories', 'hello', 'keys-tea.txt'));
  const frames = [1, 60, 200, 399];
  const dir = path.join(work, 'native');
  const nativeTrace = runNative(script, frames, dir, null, ['--frames', '400'], hello);
  const server = await serve(site, 0, {});
  const base = `http://127.0.0.1:${server.address().port}/`;
  const browser = await launch('chromium');
  const sha256 = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
  const cachedStory = 'caches.match("story.kpak").then(function (r) { return r && r.arrayBuffer(); })' +
    '.then(function (b) { return b ? crypto.subtle.digest("SHA-256", b) : null; })' +
    '.then(function (d) { return d && Array.from(new Uint8Array(d), function (x) { return x.toString(16).padStart(2, "0"); }).join(""); })';
  try {
    const page = await browser.newPage();
    await page.navigate(`${base}?keys=${encodeURIComponent(script.join(';'))}` +
                        `&trace=1&epoch=${EPOCH}&frames=400&capture=${frames.join(',')}`);
    await page.waitFor('window.Module && Module.kirake && Module.kirake.ended', 60000);
    const webTrace = await page.evaluate('Module.kirake.trace()');
    assert.strictEqual(webTrace === nativeTrace, true, 'traces differ at ' + firstDifference(nativeTrace, webTrace || ''));
    assert(/"scene":"scenes.txt:/.test(webTrace), 'the site played the story\'s script');
    for (const frame of frames)
      samePixels(decodePng(path.join(dir, `frame-${String(frame).padStart(6, '0')}.png`)),
                 await page.evaluate(`Module.kirake.captureRgb(${frame})`), `frame ${frame}`);
    assert.deepStrictEqual(page.problems, []);
    await page.close();
    console.log(`ok   the exported site plays the story as native: ${nativeTrace.split('\n').length - 1} frames, ` +
                `${frames.length} frames pixel for pixel`);

    // A player's visit keeps the story for offline play; the story changed and exported again, the
    // player's next visit takes the new one.
    const visitor = await browser.newPage();
    await visitor.navigate(base + '?continue=0');
    const kept = (digest) => visitor.waitFor(`(${cachedStory}).then(function (d) { return d === "${digest}"; })`, 30000);
    await kept(sha256(path.join(site, 'story.kpak')));
    const first = version(site);
    exportStory();
    assert.strictEqual(version(site), first, 'the same story, the same service worker');
    fs.appendFileSync(path.join(hello, 'data.txt'), 'tx{more}One more line<!\n');
    exportStory();
    assert.notStrictEqual(version(site), first, 'a changed story, a new service worker');
    assert.notStrictEqual(version(site), version(webBuild));
    await visitor.reload();
    await kept(sha256(path.join(site, 'story.kpak')));
    assert.deepStrictEqual(await visitor.evaluate('caches.keys()'), ['kirake-' + version(site)]);
    console.log(`ok   exported again, a new service worker (${first}, then ${version(site)}): a returning player's ` +
                'browser keeps the new story');
  } finally {
    await browser.close();
    server.close();
  }
  fs.rmSync(work, { recursive: true, force: true });
}

main().catch((e) => { console.error('FAIL ' + (e.stack || e.message)); process.exit(1); });
