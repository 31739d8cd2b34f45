// The page itself, as a host serves it and as any player meets it, in real headless Chromium (and where
// the engine's own words differ, in Firefox ESR and WebKitGTK too: engines.js, KIRAKE_ENGINES):
//   node page-test.js NATIVE_BUILD WEB_BUILD [NODE_MODULES]
// NODE_MODULES holds axe-core and Lighthouse as web/test/package-lock.json pins them.
// - Its own Content-Security-Policy holds with no header from the server: the game plays, and an inline
//   script is refused.
// - Hosted under a path of a site, the installed app's identity is that path (two games on one host are
//   two apps).
// - A damaged story file is named in the page's words, whatever the engine's own error, in every engine.
// - A hostile pack (a name both a file and a folder, twice, too deep or too long, too many files, too many
//   bytes declared or arriving) or story folder, too many captures, a long ?data= and an origin listed
//   with a path are refused in the page's words before the page has grown or hung; pack-story.js will not
//   write what the page refuses.
// - axe-core finds no violation while a question's answer buttons are open and while the dialog is.
// - Lighthouse (mobile): its performance, accessibility and best-practices scores are printed;
//   accessibility must be full.
'use strict';
const assert = require('assert');
const { execFile } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { launch } = require('./cdp');
const engines = require('./engines');
const { serve } = require('../serve');
const { pack } = require('../pack-story');

const nativeBuild = path.resolve(process.argv[2] || 'build');
const webBuild = path.resolve(process.argv[3] || 'build-web');
const nodeModules = path.resolve(process.argv[4] || path.join(nativeBuild, 'web-test-npm', 'node_modules'));
const CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-extensions', '--mute-audio'];

// Packed stories broken in the ways a download or a careless upload breaks them.
function damagedStories(dir) {
  const good = fs.readFileSync(path.join(webBuild, 'story.kpak'));
  const plain = zlib.gunzipSync(good);
  const head = plain.indexOf(10, plain.indexOf(10) + 1) + 1;
  const stories = {
    'cut.kpak': [good.subarray(0, good.length >> 1), 'its compressed data is broken'],
    'trailing.kpak': [Buffer.concat([good, Buffer.from('maintenance')]), 'its compressed data is broken'],
    'other.kpak': [zlib.gzipSync(Buffer.from('<!doctype html><title>Down for maintenance</title>\n')), 'it is not a packed story'],
    'short.kpak': [zlib.gzipSync(plain.subarray(0, head + 1000)), 'it ends before'],
    'long.kpak': [zlib.gzipSync(Buffer.concat([plain, Buffer.alloc(7)])), 'it has 7 bytes past its last file'],
    'header.kpak': [zlib.gzipSync(Buffer.from('KPAK1\n{"files": [\n')), 'its list of files cannot be read'],
  };
  for (const [name, [bytes]] of Object.entries(stories)) fs.writeFileSync(path.join(dir, name), bytes);
  return stories;
}

// Packed stories made to hurt the page: names it cannot make, or more than it keeps.
function hostileStories(dir) {
  const packed = (files, past) => zlib.gzipSync(Buffer.concat([Buffer.from('KPAK1\n' + JSON.stringify({ files }) + '\n'),
    Buffer.alloc(files.reduce((sum, f) => sum + f[1], 0) + (past || 0))]), { level: 1 });
  const stories = {
    'both.kpak': [packed([['a', 1], ['a/b', 1]]), 'it names a both as a file and as a folder'],
    'twice.kpak': [packed([['data.txt', 1], ['data.txt', 2]]), 'it names data.txt twice'],
    'deep.kpak': [packed([['a/'.repeat(16) + 'f', 1]]), 'it names a file 16 folders deep, more than 15'],
    'nested.kpak': [packed([['a/'.repeat(3000) + 'f', 1]]), 'it names a file of 6001 characters, more than 255'],
    'many.kpak': [packed(Array.from({ length: 4097 }, (_, i) => ['f' + i, 0])), 'it holds 4097 files, more than 4096'],
    'large.kpak': [zlib.gzipSync(Buffer.from('KPAK1\n{"files": [["a.wav", 1073741824]]}\n')), 'its files come to 1073741824 bytes, more than 128 MiB'],
    'zeros.kpak': [packed([['data.txt', 1]], 64 << 20), 'it has more than 1048576 bytes past its last file'],
  };
  for (const [name, [bytes]] of Object.entries(stories)) fs.writeFileSync(path.join(dir, name), bytes);
  fs.mkdirSync(path.join(dir, 'both'));  // a story folder whose index a server may well give
  fs.writeFileSync(path.join(dir, 'both', 'index.json'), JSON.stringify({ files: ['a', 'a/b'] }));
  return stories;
}

async function main() {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kirake-page-test-'));
  const broken = path.join(work, 'broken');
  fs.mkdirSync(broken);
  const stories = damagedStories(broken), hostile = hostileStories(broken);
  // No header of the server's own: the page's policy is the only one. data-origins.json as a check sets it.
  let origins = null;
  const server = await serve(webBuild, 0, { '/broken/': broken, '/games/kirake/': webBuild }, { headers: { 'Content-Security-Policy': null },
    answer: (name, request, response) => name === '/data-origins.json' && origins !== null &&
      (response.writeHead(200, { 'Content-Type': 'application/json', 'Cache-Control': 'no-store' }).end(JSON.stringify({ origins })), true) });
  const base = `http://127.0.0.1:${server.address().port}/`;
  const axeSource = fs.readFileSync(path.join(nodeModules, 'axe-core', 'axe.min.js'), 'utf8');
  const browser = await launch(process.env.KIRAKE_CHROMIUM);
  const failures = [];
  const check = async (name, body) => {
    try { await body(); console.log('ok   ' + name); } catch (e) { failures.push(name); console.log('FAIL ' + name + ': ' + e.message); }
  };
  const axe = async (page, what) => {
    await page.evaluate(axeSource + '\ntrue');
    const violations = await page.evaluate(`axe.run(document).then(function (r) {
      return r.violations.map(function (v) { return v.id + ': ' + v.nodes.map(function (n) { return n.target.join(' '); }).join(', '); }); })`);
    assert.deepStrictEqual(violations, [], `axe-core, ${what}:\n  ` + violations.join('\n  '));
  };
  const dialogText = `(function () { var d = document.getElementById('dialog'); return d.open && d.textContent; })()`;
  await check('pack-story.js refuses to write what the page refuses', async () => {
    const deep = path.join(work, 'deep', ...Array(16).fill('a')), large = path.join(work, 'large');
    fs.mkdirSync(deep, { recursive: true });
    fs.writeFileSync(path.join(deep, 'f'), 'x');
    fs.mkdirSync(large);
    fs.writeFileSync(path.join(large, 'a.wav'), '');
    fs.truncateSync(path.join(large, 'a.wav'), 129 << 20);  // sparse
    assert.throws(() => pack(path.join(work, 'deep')), /a\/a\/a.*\/f is longer than 255 characters or deeper than 15 folders: the page would refuse it/);
    assert.throws(() => pack(large), /135266304 bytes of files, more than 128 MiB: the page would refuse it/);
  });
  try {
    await check('the page\'s own policy holds with no header: the game plays, an inline script is refused; axe-core at a question', async () => {
      const page = await browser.newPage();
      const headers = [];
      await page.send('Network.enable');
      const seen = (m) => { if (m.method === 'Network.responseReceived' && m.params.type === 'Document') headers.push(m.params.response.headers); };
      browser.on(seen);
      await page.send('Page.navigate', { url: base + '?continue=0&start=choice' });
      await page.waitFor('window.Module && Module.kirake && kirakeShell.choice.count > 0', 30000);
      assert(headers.length && !Object.keys(headers[0]).some((h) => /content-security-policy/i.test(h)), 'no policy header was sent');
      assert.deepStrictEqual(await page.evaluate('kirakeShell.failures'), [], 'nothing the page needs was refused');
      const refused = await page.evaluate(`new Promise(function (done) {
        var s = document.createElement('script');
        s.textContent = 'window.inlineRan = true';
        document.head.appendChild(s);
        setTimeout(function () { done(!window.inlineRan && kirakeShell.failures.length === 1 && /script-src/.test(kirakeShell.failures[0])); }, 100);
      })`);
      assert(refused, 'an inline script is refused and reported');
      await axe(page, 'a question open');
      await page.close();
    });

    await check('hosted under a path, the app is that path\'s', async () => {
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + 'games/kirake/?continue=0' });
      await page.waitFor('window.Module && Module.kirake && Module.kirake.framesPresented > 0', 30000);
      const manifest = await page.send('Page.getAppManifest');
      assert.deepStrictEqual(manifest.errors, []);
      const { appId } = await page.send('Page.getAppId');
      assert.strictEqual(appId, base + 'games/kirake/');
      assert.deepStrictEqual(page.problems, []);
      await page.close();
    });

    await check('axe-core at the dialog of a damaged story', async () => {
      const page = await browser.newPage();
      await page.send('Page.navigate', { url: base + '?continue=0&data=broken/cut.kpak' });
      await page.waitFor(dialogText, 30000);
      await axe(page, 'the dialog open');
      await page.close();
    });

    await check('hostile packs and addresses are refused at once in the page\'s words, and shown short', async () => {
      const page = await browser.newPage();
      const shown = async (query) => {
        await page.send('Page.navigate', { url: base + query });
        return page.waitFor(dialogText, 15000);
      };
      for (const [name, [, why]] of Object.entries(hostile)) {
        const text = await shown(`?continue=0&data=broken/${name}`);
        assert(text.startsWith('The story is damagedThe story file is damaged: ' + why), `${name}: ${text.slice(0, 300)}`);
      }
      let text = await shown('?continue=0&data=broken/both/');
      assert(text.includes('The story\'s folder cannot be played: index.json names a both as a file and as a folder'), text);
      text = await shown('?capture=0-2499');
      assert(text.includes('?capture asks for more than 100 frames'), text);
      text = await shown('?data=' + 'x'.repeat(100000) + '.kpak');
      assert(text.includes('is 100005 characters long, more than 2048') && text.length < 400, text.slice(0, 300));
      // Another origin (localhost is not 127.0.0.1): listed with a path, named in the refusal; with a
      // slash, taken as the origin (the fetch is then the page's policy's to allow).
      const other = `http://localhost:${server.address().port}`;
      origins = [other + '/games/'];
      text = await shown(`?data=${other}/story.kpak`);
      assert(text.includes(`It lists ${other}/games/, but an origin is only scheme://host[:port], without a path: list ${other}.`), text);
      origins = [other + '/'];
      text = await shown(`?data=${other}/story.kpak`);
      assert(!text.includes('on another site'), text);
      origins = null;
      assert.deepStrictEqual(page.problems.filter((p) => !/Content Security Policy|Failed to fetch|connect-src/.test(p)), []);
      await page.close();
    });
  } finally {
    await browser.close();
  }

  for (const engine of engines.enginesToRun()) {
    await check(`${engine}: a damaged story file is named in the page's words`, async () => {
      const other = await engines.launch(engine);
      try {
        const page = await other.newPage();
        for (const [name, [, why]] of Object.entries(stories)) {
          await page.navigate(base + `?continue=0&data=broken/${name}`);
          const shown = await page.waitFor(dialogText, 30000);
          assert(shown.startsWith('The story is damagedThe story file is damaged: ' + why), `${name}: ${shown}`);
          assert(shown.includes(`(broken/${name})`), `${name}: the file is named`);
        }
        // (Firefox logs a broken stream's error itself, as an exception, though the page has handled it.)
        assert.deepStrictEqual(page.problems.filter((p) => !/^exception: Failed to read data from the ReadableStream/.test(p)), []);
      } finally {
        await other.close();
      }
    });
  }

  await check('Lighthouse, mobile: scores printed; accessibility full', async () => {
    const report = path.join(work, 'lighthouse.json');
    // (Not execFileSync: the server answering Lighthouse's browser runs in this process.)
    await new Promise((resolve, reject) => execFile(process.execPath, [path.join(nodeModules, 'lighthouse', 'cli', 'index.js'), base + '?continue=0',
      '--form-factor=mobile', '--only-categories=performance,accessibility,best-practices', '--output=json', `--output-path=${report}`, '--quiet',
      `--chrome-flags=${CHROMIUM_FLAGS.join(' ')}`], { env: Object.assign({}, process.env, { CHROME_PATH: process.env.KIRAKE_CHROMIUM || '/usr/bin/chromium' }) },
      (error, stdout, stderr) => (error ? reject(new Error('lighthouse: ' + error.message + stderr)) : resolve())));
    const result = JSON.parse(fs.readFileSync(report, 'utf8'));
    const score = (id) => result.categories[id].score;
    const metric = (id) => result.audits[id].displayValue;
    console.log(`     Lighthouse ${result.lighthouseVersion}: performance ${score('performance')}, accessibility ${score('accessibility')}, ` +
                `best practices ${score('best-practices')}; first contentful paint ${metric('first-contentful-paint')}, ` +
                `total blocking time ${metric('total-blocking-time')}, time to interactive ${metric('interactive')}`);
    const failed = Object.values(result.audits).filter((a) => a.score !== null && a.score < 1 && result.categories.accessibility.auditRefs.some((r) => r.id === a.id));
    assert.strictEqual(score('accessibility'), 1, 'accessibility audits: ' + failed.map((a) => a.id).join(', '));
  });
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
  if (failures.length) { console.log(`${failures.length} page test(s) failed`); process.exit(1); }
  console.log('all page tests passed');
}

main().catch((e) => { console.error(e); process.exit(1); });
