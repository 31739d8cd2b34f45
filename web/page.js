// One run of the game in the page (built into kirake.js; web/shell.js makes a run and, to play again, the
// next): options from the address, the canvas, the frame clock, sound's start, message boxes. The page's
// own parts (loading, keys and touch, the control strip, the dialog) are the shell's, window.kirakeShell.
//
// Address options:  ?data=URL        play the story in that folder (it holds index.json, written by the build)
//                   ?keys=SCRIPT     run headless on the virtual clock with this key script, lines split by ";"
//                   ?trace=1         headless: write the frame trace (read back as Module.kirake.trace())
//                   ?frames=N        stop after N frames;  ?headless=1  run headless without a script
//                   ?capture=LIST    headless: keep the canvas pixels of these frames ("0,10-20"; 100 at most)
//                   ?bench=N         headless benchmark: N frames, every one drawn; figures on the page
//                   ?lang=LANG       the story's text in LANG (data.LANG.txt), as --lang; without it the
//                                    browser's language (its first of navigator.languages), except headless
//                   ?continue=1      continue the game kept in the browser's storage, as --continue;
//                                    ?continue=0 starts afresh, as --afresh (without it a game with a
//                                    display asks, a headless one starts afresh and keeps its game)
//                   ?epoch=S, ?fault=SPEC, ?start=SCENE   as on the command line
var Module = typeof Module !== 'undefined' ? Module : {};
(function () {
  'use strict';
  var query = new URLSearchParams(window.location.search);
  var shell = window.kirakeShell;
  var K = {
    ended: false, exitCode: null, started: false, headless: false,
    messages: [], errors: [], captures: {}, captureSet: null, drawAll: false,
    firstFrameMs: null, loadStartMs: performance.now(), framesPresented: 0,
    keys: new Uint8Array(256), keyCodes: {}, events: [], eventWaiters: [],
    next: undefined, period: 1000 / 60,
    bench: null,
  };
  K.fixedEpoch = query.has('epoch') ? Math.max(0, parseInt(query.get('epoch'), 10) || 0) : -1;
  Module.kirake = K;

  function el(id) { return document.getElementById(id); }
  function say(text) { shell.say(text); }

  // Options: the program's own command line.
  var args = [];
  var headless = false;
  if (query.has('keys')) {
    headless = true;
    args.push('--keys', '/run/keys.txt');
  }
  if (query.get('trace') === '1') { headless = true; args.push('--trace', '/run/trace.jsonl'); }
  if (query.get('headless') === '1') headless = true;
  if (query.has('bench')) {
    headless = true;
    K.drawAll = true;
    K.bench = { frames: parseInt(query.get('bench'), 10) || 3000 };
    args.push('--frames', String(K.bench.frames));
  } else if (query.has('frames')) {
    args.push('--frames', query.get('frames'));
  }
  if (query.has('epoch')) args.push('--epoch', query.get('epoch'));
  if (query.has('start')) args.push('--start', query.get('start'));
  if (query.has('continue')) args.push(query.get('continue') === '1' ? '--continue' : '--afresh');
  if (query.get('lang')) args.push('--lang', query.get('lang'));
  query.getAll('fault').forEach(function (f) { headless = true; args.push('--fault', f); });
  // Captures: each frame kept is 1.2 MB of pixels, so a run keeps at most CAPTURES_MAX of them; a list
  // asking for more, or not a list of frames, is refused before the run starts.
  var CAPTURES_MAX = 100, refusal = null;
  if (query.has('capture')) {
    headless = true;
    K.captureSet = {};
    var items = query.get('capture').split(','), asked = 0;
    for (var n = 0; n < items.length && !refusal; ++n) {
      var range = /^(\d{1,9})(?:-(\d{1,9}))?$/.exec(items[n]);
      var first = range ? parseInt(range[1], 10) : 0, last = range && range[2] ? parseInt(range[2], 10) : first;
      if (!range || last < first)
        refusal = '?capture lists "' + items[n].slice(0, 40) + '", which is not a frame (N) nor a range of frames (N-M).';
      else if ((asked += last - first + 1) > CAPTURES_MAX)
        refusal = '?capture asks for more than ' + CAPTURES_MAX + ' frames (each kept is 1.2 MB of pixels).';
      for (var f = first; !refusal && f <= last; ++f) K.captureSet[f] = true;
    }
  }
  if (headless) args.unshift('--headless');
  // The story: the build's own (story/ beside the page) unless another is named.
  var dataUrl = query.get('data') || 'story/';
  args.push('--data', '/story');
  Module.arguments = args;

  Module.print = function (text) { console.log(text); };
  Module.printErr = function (text) { K.messages.push(text); console.warn(text); };

  // The story's files, loaded by the shell (perhaps still arriving), into the program's file system
  // before main runs.
  Module.preRun = Module.preRun || [];
  Module.preRun.push(function () {
    if (refusal) {  // main never runs
      addRunDependency('kirake-address');
      shell.failed('The address asks for what the page cannot do', refusal);
      return;
    }
    FS.mkdir('/run');
    if (query.has('keys')) FS.writeFile('/run/keys.txt', query.get('keys').split(';').join('\n') + '\n');
    FS.mkdir('/story');
    addRunDependency('kirake-story');
    // The names come checked by the shell (safe, shallow, none both a file and a folder): each folder is
    // made once; anything the file system still refuses is said, and main does not run.
    Promise.all([shell.story, K.takeTurn()]).then(function (story) {  // the files in a task of their own
      var files = story[0], made = {}, name = '';
      try {
        Object.keys(files).forEach(function (each) {
          name = each;
          var parts = name.split('/'), path = '/story';
          for (var i = 0; i + 1 < parts.length; ++i) {
            path += '/' + parts[i];
            if (made[path] !== true) { FS.mkdir(path); made[path] = true; }
          }
          FS.writeFile('/story/' + name, files[name]);
        });
      } catch (e) {
        shell.failed('The story could not be loaded', 'Its file ' + name + ' could not be made in the game\'s folder (' +
                     (e.code || e.message || e) + ').');
        return;
      }
      K.takeTurn().then(function () { removeRunDependency('kirake-story'); });  // then main, in a task of its own
    });
  });
  // The code, compiled once by the shell (at the same time as the story loads), for every run.
  Module.instantiateWasm = function (imports, receive) {
    WebAssembly.instantiate(shell.wasmModule, imports).then(function (instance) { receive(instance, shell.wasmModule); },
      function (error) { shell.failed('The game\'s code could not be started', String(error)); });
    return {};
  };

  // The canvas. The backend hands over its copy of the page (640 bytes a row) and the rows that changed
  // since the last frame drawn: a page that waits draws nothing, and a line typed converts only its rows.
  // `image` keeps the whole page converted, so a canvas that lost its pixels (its context lost and
  // restored) is drawn again from it.
  var canvas = null, context = null, image = null, rgba = null;
  function setUpCanvas() {
    canvas = el('screen');
    context = canvas.getContext('2d', { alpha: false, willReadFrequently: true });
    image = context.createImageData(640, 480);
    rgba = new Uint32Array(image.data.buffer);
    canvas.addEventListener('contextrestored', function () { context.putImageData(image, 0, 0); });
  }
  var lookup = new Uint32Array(256);
  var rested = false;  // the frame on the screen drew nothing
  K.present = function (pixels, palette, top, bottom) {
    K.framesPresented++;
    rested = top >= bottom;
    if (rested) return;
    if (!context) setUpCanvas();
    var heap = Module.HEAPU8;
    for (var i = 0; i < 256; ++i) {
      lookup[i] = palette ? (0xFF000000 | heap[palette + 4 * i + 2] << 16 | heap[palette + 4 * i + 1] << 8 |
                             heap[palette + 4 * i]) >>> 0 : 0xFF000000;
    }
    for (var o = top * 640, p = pixels + o, end = bottom * 640; o < end; ++o, ++p) rgba[o] = lookup[heap[p]];
    context.putImageData(image, 0, 0, 0, top, 640, bottom - top);
    if (K.firstFrameMs === null) {
      K.firstFrameMs = performance.now();
      if (K.headless) say('Running headless.'); else shell.firstFrame();
    }
  };

  // The frame clock: 60 game frames a second by the page's clock, half a period of slack, and after
  // falling four frames behind (a hidden tab, a slow machine) starting afresh rather than catching up.
  // A test may hold the game before it computes frame holdAt (K.presenting: the frame on the screen).
  K.frameDue = function (now) {
    if (K.holdAt !== undefined && K.presenting + 1 >= K.holdAt) { K.next = undefined; return false; }
    if (K.next === undefined || now - K.next > 4 * K.period) K.next = now;
    if (now >= K.next - K.period / 2) { K.next += K.period; return true; }
    return false;
  };
  // The program sleeps until wake() is called: at the animation frame the next game frame is due, or at
  // once when the page is hidden or left (K.wakeFrame: no animation frame comes then). After a frame that
  // drew nothing (a page waiting for a key) the page rests: a timer a quarter period before the frame is
  // due stands in for the animation frames, which would make the browser run its rendering steps sixty
  // times a second for nothing; a frame that draws is shown at the next display refresh all the same. One
  // wait is asked for at a time, and nothing is made anew a frame.
  var frameWake = null, tickAsked = false;
  function ask() {
    tickAsked = true;
    if (rested && K.next !== undefined && !document.hidden) setTimeout(timerTick, Math.max(0, K.next - K.period / 4 - performance.now()));
    else requestAnimationFrame(tick);
  }
  function timerTick() { tick(performance.now()); }
  function finishFrame() {
    var wake = frameWake;
    if (wake === null) return;
    frameWake = null;
    K.wakeFrame = null;
    K.lastTurnMs = performance.now();
    wake();
  }
  function tick(now) {
    tickAsked = false;
    if (frameWake === null) return;
    if (K.frameDue(now)) finishFrame(); else ask();
  }
  K.waitFrame = function (wake) {
    frameWake = wake;
    K.wakeFrame = finishFrame;
    if (!tickAsked) ask();
  };

  // Events and keys come from the shell (keyboard, touch, the tab's visibility).
  K.nextEvent = function () { return shell.nextEvent(); };
  K.waitEvent = function () { return shell.waitEvent(); };
  K.bindKey = function (code, key) { shell.bindKey(code, key); };
  K.keyState = function (state) { Module.HEAPU8.set(shell.readKeys(), state); };
  K.hideCursor = function () { el('screen').classList.add('playing'); };
  K.windowTitle = function (caption) { if (!K.headless) document.title = caption; };
  K.language = function () {
    var languages = navigator.languages;
    return String((languages && languages[0]) || navigator.language || '');
  };
  K.shown = function (count, index, top, lineHeight, over, overlay) {
    shell.shown({ count: count, index: index, top: top, lineHeight: lineHeight, over: !!over, overlay: !!overlay });
  };
  // Speech: the shell's live region, and its voice when voiced; a question's answers (kind 1) also go to
  // the shell's answer buttons.
  K.say = function (text, kind, voiced) { shell.speak(text, kind, !!voiced); };
  K.canSpeak = function () { return shell.canSpeak(); };

  // While the program loads, the page takes a turn now and then (the program asks; a message, not a
  // timer, so that it comes at once, in a hidden tab too).
  K.lastTurnMs = 0;
  var turns = null, turnWaiters = [];
  function turnTaken() {
    K.lastTurnMs = performance.now();
    var waiters = turnWaiters;
    turnWaiters = [];
    waiters.forEach(function (resume) { resume(); });
  }
  K.takeTurn = function () {
    if (!turns) {
      turns = new MessageChannel();
      turns.port1.onmessage = turnTaken;
    }
    return new Promise(function (resume) { turnWaiters.push(resume); turns.port2.postMessage(0); });
  };

  // Kept files in localStorage, base64 (any byte). The bytes read wait in K.keptBytes for kirake_kept_take.
  K.keptBytes = new Uint8Array(0);
  K.keptRead = function (key, maxBytes) {
    var text;
    try { text = localStorage.getItem(key); } catch (e) { K.keptWhy = 'no storage here (' + e.message + ')'; return -3; }
    if (text === null) return -1;
    if (Math.floor(text.length / 4) * 3 > maxBytes + 3) return -2;  // too large, whatever its padding
    var binary;
    try { binary = atob(text); } catch (e) { K.keptWhy = 'not base64'; return -3; }
    if (binary.length > maxBytes) return -2;
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    K.keptBytes = bytes;
    return bytes.length;
  };
  K.keptWrite = function (key, bytes) {
    var binary = '';
    for (var i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
    try { localStorage.setItem(key, btoa(binary)); return true; }  // one call: the old value or the new, whole
    catch (e) { K.keptWhy = e.name === 'QuotaExceededError' ? 'the storage is full' : e.message; return false; }
  };
  K.keptAside = function (key) {
    try {
      var text = localStorage.getItem(key);
      if (text === null) return false;
      localStorage.setItem(key + '.bad', text);
      localStorage.removeItem(key);
      return true;
    } catch (e) { return false; }
  };

  K.start = function (isHeadless) {
    K.started = true;
    K.headless = !!isHeadless;
    if (!K.headless) shell.playing(K);
  };

  K.stopped = function () {
    K.ended = true;
    if (K.bench) finishBench();
    if (!K.headless) shell.ended();
    else if (!K.bench) say('Headless run finished.');
  };
  K.trace = function () {
    try { return new TextDecoder().decode(FS.readFile('/run/trace.jsonl')); } catch (e) { return null; }
  };

  // Headless: draw the frames asked for (and now and then, to show progress); keep the captured ones. 0:
  // not drawn, 1: drawn where it changed, 2: drawn whole (the benchmark draws every frame).
  var lastDrawn = 0;
  K.wantsFrame = function (frame) {
    if (K.drawAll) return 2;
    if (K.captureSet && K.captureSet[frame]) return 1;
    var now = performance.now();
    if (now - lastDrawn > 100) { lastDrawn = now; return 1; }
    return 0;
  };
  K.headlessFrameShown = function (frame) {
    if (K.captureSet && K.captureSet[frame] && context) {
      K.captures[frame] = context.getImageData(0, 0, 640, 480).data;
    }
    return true;
  };
  // A captured frame as base64 RGB, for the test driver.
  K.captureRgb = function (frame) {
    var data = K.captures[frame];
    if (!data) return null;
    var rgb = '';
    for (var i = 0; i < data.length; i += 4) rgb += String.fromCharCode(data[i], data[i + 1], data[i + 2]);
    return btoa(rgb);
  };

  function showDialog(caption, text, done) { shell.showDialog(caption, text, done); }
  // The game's two boxes say little; the page says what went wrong in English, and adds what the program
  // last wrote about it (its standard error).
  var causes = {
    '\u30ed\u30fc\u30c9\u5931\u6557': 'The story text (data.txt) could not be read, so the game cannot start.',
    '\u4f55\u3067\u3058\u3083\u3042': 'The display could not be set up or was lost for good, so the game stops.',
  };
  K.messageBox = function (text, caption) {
    var said = K.messages.filter(function (m) { return !/^MessageBox:/.test(m); }).slice(-3).join('\n');
    var english = causes[text] || 'The game could not go on and stops here.';
    return new Promise(function (resolve) {
      showDialog(caption, text + '\n\n' + english + (said ? '\n\n' + said : ''), resolve);
    });
  };

  // The benchmark: composed frames a second (every frame drawn) and the time to the first frame.
  function finishBench() {
    var seconds = (performance.now() - K.bench.startMs) / 1000;
    K.bench.framesPerSecond = K.framesPresented / seconds;
    K.bench.firstFrameMs = K.firstFrameMs;  // since the page began loading
    K.bench.done = true;
    say('Benchmark: ' + K.framesPresented + ' frames composed and drawn in ' + seconds.toFixed(2) + ' s = ' +
        K.bench.framesPerSecond.toFixed(0) + ' frames/s; first frame ' + K.bench.firstFrameMs.toFixed(0) +
        ' ms after the page began loading.');
  }
  Module.onRuntimeInitialized = function () {
    K.runtimeReadyMs = performance.now();
    if (K.bench) K.bench.startMs = K.runtimeReadyMs;
  };

  // main has run to its first wait, or to its end: a game that never started says why.
  Module.postRun = Module.postRun || [];
  Module.postRun.push(function () {
    if (K.started) return;
    K.ended = true;
    shell.failed('The game did not start', K.messages.slice(-3).join('\n') || 'The game ended before it began.');
  });

})();
