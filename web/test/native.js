// What the browser tests share: the native headless program's runs and captures, and comparing with them.
'use strict';
const assert = require('assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
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

function runNative(kirake, gamedata, script, frames, outDir, recording, options) {
  const keys = path.join(outDir, 'keys.txt');
  fs.mkdirSync(outDir, { recursive: true });
  fs.writeFileSync(keys, script.join('\n') + '\n');
  const args = ['--headless', '--data', gamedata, '--keys', keys, '--trace', path.join(outDir, 'trace.jsonl'),
                '--epoch', EPOCH, '--frames', '30000'];
  if (frames.length) args.push('--capture', frames.join(','), '--capture-dir', outDir);
  if (recording) args.push('--record-audio', recording);
  args.push(...(options || []));
  execFileSync(kirake, args, { stdio: ['ignore', 'ignore', 'pipe'] });
  return fs.readFileSync(path.join(outDir, 'trace.jsonl'), 'utf8');
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

// A trace line without the fields that say where the story stands: the built-in scenes' "chapter" and
// "step" (after "frame"), "firstAnswer" and "goodEnding" (after "pressed"); a story script's "scene" and
// "vars". What is left is the same for the built-in story and the default story's script.
function withoutStoryPosition(line) {
  return line.replace(/^(\{"frame":\d+,)("chapter":-?\d+,"step":-?\d+,|"scene":"[^"]*",)/, '$1')
    .replace(/("pressed":\d+,)("firstAnswer":-?\d+,"goodEnding":-?\d+,|"vars":\{[^}]*\},)/, '$1');
}

// The frames worth comparing, from a trace of the built-in story (it names the chapters): the title,
// whole messages as they wait for a key (text at 21), the first choice on the screen (text at 24), and
// the staff roll (20 and 40).
function captureFrames(trace) {
  const lines = trace.trim().split('\n').map((l) => JSON.parse(l));
  assert('chapter' in lines[0], 'frames are chosen on a trace of the built-in story (--builtin-story)');
  const frames = new Set([1, 120]);
  const waits = lines.filter((l, i) => i > 0 && l.message.wait === 1 && lines[i - 1].message.wait !== 1);
  waits.filter((l, i) => i % 3 === 0).slice(0, 7).forEach((l) => frames.add(l.frame));
  const choice = lines.filter((l) => l.chapter === 1 && l.step === 5);
  if (choice.length) frames.add(choice[choice.length - 1].frame - 1);
  const ending = lines.filter((l) => l.chapter === 5);
  if (ending.length) [300, Math.floor(ending.length / 2), ending.length - 10].forEach((i) => ending[i] && frames.add(ending[i].frame));
  return [...frames].filter((f) => f < lines.length - 1).sort((a, b) => a - b);
}

// The native program of a build: runNative(script, frames to capture, folder[, WAV file of its sound[,
// more options[, story folder]]]) gives its trace; the story is the default data's unless named, and
// plays its story script, as the page does, unless the options hold BUILTIN.
const BUILTIN = ['--builtin-story'];
function nativeRunner(nativeBuild) {
  const kirake = path.join(nativeBuild, 'src', 'kirake'), gamedata = path.join(nativeBuild, 'gamedata');
  return { EPOCH, BUILTIN, kirake, gamedata,
           runNative: (script, frames, outDir, recording, options, data) =>
             runNative(kirake, data || gamedata, script, frames, outDir, recording, options) };
}

module.exports = { readScript, decodePng, firstDifference, samePixels, captureFrames, withoutStoryPosition, nativeRunner, EPOCH };
