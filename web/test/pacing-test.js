// The page's frame clock on animation frames of any rate: 60 game frames a second, at most one game frame
// per animation frame above 60 Hz, no drift, and a fresh start (no catching up) after a pause.
//   node pacing-test.js
'use strict';
const assert = require('assert');
const fs = require('fs');
const path = require('path');
const vm = require('vm');

// page.js in a bare context: only its frame clock is used.
function pageClock() {
  const context = {
    window: { location: { search: '' }, addEventListener() {} },
    document: { addEventListener() {}, getElementById() { return null; } },
    URLSearchParams, performance: { now: () => 0 }, console,
  };
  vm.runInNewContext(fs.readFileSync(path.join(__dirname, '..', 'page.js'), 'utf8') + '\nthis.K = Module.kirake;', context);
  return context.K;
}

// Animation frames at `hz` (with a little jitter) for `seconds`; the game runs the frames that are due at
// each, as the backend does (it asks again after every game frame).
function run(hz, seconds, jitterMs) {
  const K = pageClock();
  const steps = [];
  let seed = 1;
  for (let n = 0; n < hz * seconds; ++n) {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    const now = 1000 + n * 1000 / hz + (seed / 2147483648 - 0.5) * jitterMs;
    let count = 0;
    while (K.frameDue(now) && count < 10) ++count;
    steps.push(count);
  }
  return steps;
}

const failures = [];
function check(name, body) {
  try { body(); console.log('ok   ' + name); } catch (e) { failures.push(name); console.log('FAIL ' + name + ': ' + e.message); }
}

for (const hz of [60, 75, 120, 144, 240]) {
  check(`${hz} Hz: 60 game frames a second, never two in one animation frame`, () => {
    const steps = run(hz, 20, 1.0);
    const total = steps.reduce((a, b) => a + b, 0);
    assert(Math.abs(total - 60 * 20) <= 2, `${total} game frames in 20 s`);
    assert(Math.max(...steps) <= 1, 'a double step');
  });
}
for (const hz of [30, 50]) {
  check(`${hz} Hz: still 60 game frames a second`, () => {
    const total = run(hz, 20, 1.0).reduce((a, b) => a + b, 0);
    assert(Math.abs(total - 60 * 20) <= 2, `${total} game frames in 20 s`);
  });
}
check('after a pause (a hidden tab) the clock starts afresh instead of catching up', () => {
  const K = pageClock();
  for (let t = 0; t < 1000; t += 1000 / 60) K.frameDue(t);
  let burst = 0;
  while (K.frameDue(6000) && burst < 100) ++burst;
  assert.strictEqual(burst, 1);
});
check('a test may hold the game before a frame', () => {
  const K = pageClock();
  K.presenting = 9;
  K.holdAt = 10;
  assert.strictEqual(K.frameDue(5000), false);
  K.holdAt = 11;
  assert.strictEqual(K.frameDue(5001), true);
});
if (failures.length) process.exit(1);
