// The page's pack reader (web/shell.js: readPacked and what it calls, taken from the file as it stands) fuzzed
// in node, where its streams and gunzip are the browsers' own. Each input is a response body given in
// chunks of random sizes; the reader must either refuse it in the page's words ("The story file is
// damaged: ...") or give files within the limits, and never throw anything else or hang. A mutation fuzzer:
// packs are mutated unpacked (bytes, and the list of files as JSON) and mostly gzipped again, sometimes
// sent plain or with the compressed bytes mutated; an input whose outcome is new joins the corpus. As the
// fuzz build does for the game's readers, the total size limit is lowered (to 1 MiB) to keep runs short.
//   node fuzz/pack.js [--seconds N] [--corpus DIR] [--findings DIR] [SEED FILE|DIR...]
//   node fuzz/pack.js --replay FILE|DIR...      each input once (and the seeds made here); 1 on a finding
// The reader runs in a worker: one that makes no progress for 10 s is stopped and its input kept.
'use strict';
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');
const vm = require('vm');
const zlib = require('zlib');
const { Worker, isMainThread, parentPort, workerData } = require('worker_threads');

const SHELL = path.join(__dirname, '..', 'web', 'shell.js');
const MAX_LEN = 64 << 10;
const LOWERED_MAX_BYTES = 1 << 20;

// ---- The reader, as web/shell.js has it ----
function loadReader() {
  let source = fs.readFileSync(SHELL, 'utf8');
  const from = source.indexOf('  function damaged(why)'), to = source.indexOf('  function readLimited(');
  const limit = 'STORY_MAX_BYTES = 128 << 20';
  if (from < 0 || to < from || !source.includes(limit)) throw new Error('pack.js: web/shell.js no longer has the reader where this looks');
  const section = source.slice(from, to).replace(limit, 'STORY_MAX_BYTES = ' + LOWERED_MAX_BYTES);
  // Kept at its place in the file, so that coverage and stacks name shell.js's lines.
  const lineOffset = source.slice(0, from).split('\n').length - 1;
  const code = '(function (dataUrl, progress, showProgress) {\n' + section +
    '\nreturn { readPacked: readPacked, safeName: safeName, STORY_MAX_FILES: STORY_MAX_FILES, NAME_MAX_PARTS: NAME_MAX_PARTS };\n})';
  const reader = vm.runInThisContext(code, { filename: SHELL, lineOffset: lineOffset - 1 })('story.kpak', { story: [0, 0] }, () => {});
  reader.lineOf = (offset) => lineOffset + code.slice(0, offset).split('\n').length - 1;
  return reader;
}

// ---- One input ----
// Sent in chunks of sizes drawn from the seed; one input in eight claims a longer Content-Length than it
// sends (a download that broke off).
function respond(bytes, seed) {
  let at = 0, state = seed >>> 0 || 1;
  const claimed = bytes.length + (seed % 8 === 7 ? 1 + seed % 1000 : 0);
  const body = new ReadableStream({
    pull(controller) {
      if (at >= bytes.length) { controller.close(); return; }
      state ^= state << 13; state ^= state >>> 17; state ^= state << 5; state >>>= 0;
      const n = state & 1 ? bytes.length - at : 1 + (state >>> 1) % 5000;
      controller.enqueue(new Uint8Array(bytes.subarray(at, at + n)));
      at += n;
    },
  }, { highWaterMark: 0 });
  return { headers: { get: (name) => (name === 'Content-Length' ? String(claimed) : null) }, body };
}

// The outcome in words with the numbers left out ("refused: it names # twice"); throws on a finding.
async function runOne(reader, bytes, seed) {
  let files;
  try {
    files = await reader.readPacked(respond(bytes, seed));
  } catch (error) {
    const cut = seed % 8 === 7 && error instanceof Error && error.message.startsWith('the download broke off: ');
    if (cut) return 'broke off';
    if (error instanceof Error && error.damaged && error.message.startsWith('The story file is damaged: '))
      return 'refused:' + error.message.split(' (')[0].split(' ').map((w) => (/^[a-z]{1,11}$/.test(w) ? ' ' + w : ' #')).join('');
    throw new Error('threw other than the page\'s refusal: ' + (error && error.stack ? error.stack : String(error)));
  }
  const names = Object.keys(files);
  let total = 0;
  const folders = new Set();
  for (const name of names) {
    if (!reader.safeName(name) || name.split('/').length > reader.NAME_MAX_PARTS) throw new Error('kept the name ' + name.slice(0, 300));
    if (!(files[name] instanceof Uint8Array)) throw new Error('kept no bytes for ' + name);
    total += files[name].length;
    name.split('/').slice(0, -1).reduce((folder, part) => { folders.add(folder + part); return folder + part + '/'; }, '');
  }
  if (names.length > reader.STORY_MAX_FILES || total > LOWERED_MAX_BYTES) throw new Error(`kept ${names.length} files of ${total} bytes`);
  const both = names.find((name) => folders.has(name));
  if (both) throw new Error('kept ' + both + ' both as a file and as a folder');
  return 'read ' + Math.min(names.length, 3) + ' files';
}

// ---- Seeds: a small valid story, the damaged packs the page test makes, the hostile ones ----
function packed(files, body, past) {
  const head = Buffer.from('KPAK1\n' + JSON.stringify({ files }) + '\n');
  const bytes = body || Buffer.alloc(files.reduce((sum, f) => sum + (Number.isInteger(f[1]) ? f[1] : 0), 0));
  return Buffer.concat([head, bytes, Buffer.alloc(past || 0)]);
}
function madeSeeds() {
  const texts = [['data.txt', 'tx0Spring.<*A page.<!\n'], ['scenes.txt', 'say 0\nchoice x first-1 first-2\nroll credits\n'],
    ['bmp/stage1.BMP', 'BM' + '\0'.repeat(60)], ['End.wav', 'RIFF\0\0\0\0WAVE']];
  const good = packed(texts.map(([n, t]) => [n, Buffer.byteLength(t)]), Buffer.from(texts.map((t) => t[1]).join('')));
  const gz = (b) => zlib.gzipSync(b, { level: 1 });
  return {
    good: gz(good),
    plain: good,
    cut: gz(good).subarray(0, 40),
    trailing: Buffer.concat([gz(good), Buffer.from('maintenance')]),
    other: gz(Buffer.from('<!doctype html><title>Down for maintenance</title>\n')),
    short: gz(good.subarray(0, good.length - 5)),
    long: gz(Buffer.concat([good, Buffer.alloc(7)])),
    header: gz(Buffer.from('KPAK1\n{"files": [\n')),
    both: gz(packed([['a', 1], ['a/b', 1]])),
    twice: gz(packed([['data.txt', 1], ['data.txt', 2]])),
    deep: gz(packed([['a/'.repeat(16) + 'f', 1]])),
    nested: gz(packed([['a/'.repeat(3000) + 'f', 1]])),
    many: gz(packed(Array.from({ length: 4097 }, (_, i) => ['f' + i, 0]))),
    large: gz(Buffer.from('KPAK1\n{"files": [["a.wav", 1073741824]]}\n')),
    zeros: gz(packed([['data.txt', 1]], null, 2 << 20)),
    endless: gz(Buffer.from('KPAK1\n{"files": [' + ' '.repeat(1 << 20))),
  };
}

function readInputs(paths) {
  const files = [];
  for (const p of paths) {
    if (!fs.existsSync(p)) continue;
    if (fs.statSync(p).isDirectory()) for (const name of fs.readdirSync(p).sort()) files.push(path.join(p, name));
    else files.push(p);
  }
  return files.filter((f) => fs.statSync(f).isFile()).map((f) => [f, fs.readFileSync(f)]);
}

// ---- Mutations ----
let rngState = (Date.now() ^ (process.pid << 8)) >>> 0 || 1;
function rand(n) {
  rngState ^= rngState << 13; rngState ^= rngState >>> 17; rngState ^= rngState << 5; rngState >>>= 0;
  return rngState % n;
}
const pick = (list) => list[rand(list.length)];
const TOKENS = ['KPAK1\n', '{"files":', '[["a",1]]', '"a/b"', '/', '..', '\n', ']', '[', ',', '"', '-1', '1e9', '0', 'null', '{}'];
const NAMES = () => ['a', 'a/b', 'data.txt', '../x', 'a/../b', '', '.', 'a//b', '/a', 'a/', 'a b', '\u00e9', 'b'.repeat(256),
  'c/'.repeat(rand(40)) + 'f', 'x'.repeat(rand(300)), 5, null, ['a'], 'bmp/stage1.BMP', 'a/b/c'];
const LENGTHS = () => [0, 1, 2, -1, 1.5, 2 ** 31, 2 ** 53, LOWERED_MAX_BYTES, LOWERED_MAX_BYTES + 1, '3', null, rand(100)];

function mutateBytes(b) {
  const at = rand(b.length + 1);
  switch (rand(6)) {
    case 0: if (b.length) { b = Buffer.from(b); b[rand(b.length)] ^= 1 << rand(8); } return b;
    case 1: if (b.length) { b = Buffer.from(b); b[rand(b.length)] = pick([0, 10, 34, 47, 44, 45, 48, 57, 91, 93, 255, rand(256)]); } return b;
    case 2: return Buffer.concat([b.subarray(0, at), b.subarray(Math.min(b.length, at + 1 + rand(64)))]);
    case 3: return Buffer.concat([b.subarray(0, at), Buffer.from(pick(TOKENS)), b.subarray(at)]);
    case 4: { const from = rand(b.length + 1); return Buffer.concat([b.subarray(0, at), b.subarray(from, from + rand(256)), b.subarray(at)]); }
    default: return b.subarray(0, at);
  }
}
function mutateList(plain) {
  const end = plain.indexOf(10, 6);
  let head;
  try { head = JSON.parse(plain.subarray(6, end).toString()); } catch (e) { return mutateBytes(plain); }
  if (!head || !Array.isArray(head.files)) return mutateBytes(plain);
  const files = head.files, k = rand(files.length + 1);
  switch (rand(5)) {
    case 0: files.splice(k, 0, [pick(NAMES()), pick(LENGTHS())]); break;
    case 1: files.splice(k, 1); break;
    case 2: if (Array.isArray(files[k])) files[k][0] = rand(2) && typeof files[k][0] === 'string' ? files[k][0] + '/' + pick(['x', 'a', '..']) : pick(NAMES()); break;
    case 3: if (Array.isArray(files[k])) files[k][1] = pick(LENGTHS()); break;
    default: if (files.length) files.push(files[rand(files.length)]); break;
  }
  const body = plain.subarray(end + 1);
  const wanted = files.reduce((sum, f) => sum + (Array.isArray(f) && Number.isInteger(f[1]) && f[1] > 0 ? f[1] : 0), 0);
  const fitted = rand(3) ? Buffer.concat([body, Buffer.alloc(Math.max(0, Math.min(wanted, MAX_LEN) - body.length))]).subarray(0, wanted) : body;
  return packed(files, fitted);
}
// A new input from a unit of the corpus: { plain, mode } (0 gzipped, 1 sent as it is, 2 gzipped then
// its compressed bytes mutated).
function mutate(unit) {
  let plain = unit.plain;
  for (let n = 1 + rand(3); n > 0; --n) plain = rand(2) ? mutateList(plain) : mutateBytes(plain);
  plain = plain.subarray(0, MAX_LEN);
  const mode = rand(8) ? unit.mode : rand(3);
  if (mode === 1) return { plain, mode, bytes: plain };
  let bytes = zlib.gzipSync(plain, { level: 1 });
  if (mode === 2) bytes = mutateBytes(bytes);
  return { plain, mode, bytes };
}
// The unit an input is mutated from; null for one that unpacks to more than MAX_LEN (replayed only: each
// run of it would cost as much as hundreds of others).
function unitOf(bytes) {
  if (bytes[0] !== 0x1f || bytes[1] !== 0x8b) return { plain: bytes, mode: 1 };
  try {
    return { plain: zlib.gunzipSync(bytes, { maxOutputLength: MAX_LEN }), mode: 0 };
  } catch (error) {
    return error.code === 'ERR_BUFFER_TOO_LARGE' ? null : { plain: bytes, mode: 2 };
  }
}

// ---- The worker: the loop ----
async function work() {
  const { replay, seconds, corpusDir, seedPaths, shared } = workerData;
  const beat = new Int32Array(shared, 0, 2), current = new Uint8Array(shared, 8);
  const inspector = require('inspector');
  const session = new inspector.Session();
  session.connect();
  const post = (method, params) => new Promise((resolve, reject) =>
    session.post(method, params, (error, result) => (error ? reject(error) : resolve(result))));
  await post('Profiler.enable');
  await post('Profiler.startPreciseCoverage', { callCount: false, detailed: true });
  const reader = loadReader();
  const inputs = Object.entries(madeSeeds()).map(([name, bytes]) => ['made:' + name, bytes]).concat(readInputs(seedPaths));
  const run = async (bytes, seed) => {
    current.set(bytes.subarray(0, current.length));
    Atomics.store(beat, 1, Math.min(bytes.length, current.length));
    const outcome = await runOne(reader, bytes, seed);
    Atomics.add(beat, 0, 1);
    return outcome;
  };
  const seen = new Set(), corpus = [];
  let execs = 0;
  for (const [name, bytes] of inputs) {
    try {
      const outcome = await run(bytes, execs++);
      if (replay) parentPort.postMessage({ log: `replayed ${name} (${bytes.length} bytes): ${outcome}` });
      seen.add(outcome);
    } catch (error) {
      parentPort.postMessage({ finding: 'crash', why: error.message, input: bytes });
      return;
    }
    const unit = unitOf(bytes);
    if (unit) corpus.push(unit);
  }
  const start = Date.now();
  if (!replay) {
    while (Date.now() - start < seconds * 1000) {
      for (let i = 0; i < 200; ++i) {
        const input = mutate(pick(corpus));
        let outcome;
        try {
          outcome = await run(input.bytes, execs++);
        } catch (error) {
          parentPort.postMessage({ finding: 'crash', why: error.message, input: input.bytes });
          return;
        }
        if (!seen.has(outcome)) {
          seen.add(outcome);
          corpus.push(input);
          if (corpusDir) fs.writeFileSync(path.join(corpusDir, crypto.createHash('sha1').update(input.bytes).digest('hex')), input.bytes);
        }
      }
    }
  }
  // Block coverage of the reader's lines in shell.js.
  const { result } = await post('Profiler.takePreciseCoverage');
  const script = result.find((s) => s.url === SHELL || s.url.endsWith('/web/shell.js'));
  let blocks = 0, hit = 0;
  const missed = new Set();
  for (const fn of script ? script.functions : []) {
    for (const range of fn.ranges) {
      ++blocks;
      if (range.count > 0) ++hit; else missed.add(reader.lineOf(range.startOffset));
    }
  }
  const elapsed = (Date.now() - start) / 1000;
  parentPort.postMessage({ done: true, execs, elapsed, outcomes: seen.size, corpus: corpus.length, blocks, hit, missed: [...missed].sort((a, b) => a - b) });
}

// ---- The main thread: the watchdog ----
function main() {
  const args = process.argv.slice(2), seedPaths = [];
  let replay = false, seconds = 60, corpusDir = null, findings = 'pack-findings';
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === '--replay') replay = true;
    else if (args[i] === '--seconds') seconds = Number(args[++i]);
    else if (args[i] === '--corpus') corpusDir = args[++i];
    else if (args[i] === '--findings') findings = args[++i];
    else seedPaths.push(args[i]);
  }
  if (corpusDir) { fs.mkdirSync(corpusDir, { recursive: true }); seedPaths.push(corpusDir); }
  const shared = new SharedArrayBuffer(8 + MAX_LEN + (4 << 20));
  const beat = new Int32Array(shared, 0, 2);
  const worker = new Worker(__filename, { workerData: { replay, seconds, corpusDir, seedPaths, shared },
    resourceLimits: { maxOldGenerationSizeMb: 1024 } });
  const keep = (kind, why, input) => {
    fs.mkdirSync(findings, { recursive: true });
    const file = path.join(findings, kind + '-' + crypto.createHash('sha1').update(input).digest('hex'));
    fs.writeFileSync(file, input);
    console.error(`pack.js: ${kind}: ${why}\npack.js: input kept in ${file}`);
    process.exitCode = 1;
  };
  let last = -1, still = 0, done = false;
  const watch = setInterval(() => {
    const now = Atomics.load(beat, 0);
    still = now === last ? still + 1 : 0;
    last = now;
    if (still >= 10) {
      const input = Buffer.from(new Uint8Array(shared, 8, Atomics.load(beat, 1)));
      keep('timeout', 'no input finished for 10 s', input);
      clearInterval(watch);
      worker.terminate();
    }
  }, 1000);
  worker.on('message', (m) => {
    if (m.log) console.error(m.log);
    if (m.finding) keep(m.finding, m.why, Buffer.from(m.input));
    if (m.done) {
      done = true;
      console.error(`pack.js: ${m.execs} inputs in ${m.elapsed.toFixed(1)} s (${Math.round(m.execs / Math.max(m.elapsed, 0.001))} exec/s), ` +
                    `${m.outcomes} outcomes, corpus ${m.corpus}, reader's blocks covered ${m.hit}/${m.blocks}` +
                    (m.missed.length ? ` (not: shell.js lines ${m.missed.join(' ')})` : ''));
    }
  });
  worker.on('error', (error) => {
    const input = Buffer.from(new Uint8Array(shared, 8, Atomics.load(beat, 1)));
    keep(/memory/i.test(error.message) ? 'oom' : 'crash', error.message, input);
  });
  worker.on('exit', () => {
    clearInterval(watch);
    if (!done && !process.exitCode) { console.error('pack.js: the worker stopped early'); process.exitCode = 1; }
  });
}

if (isMainThread) main();
else work().catch((error) => { parentPort.postMessage({ finding: 'crash', why: 'pack.js itself: ' + error.stack, input: new Uint8Array(0) }); });
