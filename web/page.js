// The page's side of the browser build: options from the address, the canvas, keys, the frame clock,
// sound's start, the dialog for message boxes, and the data of another story (?data=URL).
//
// Address options:  ?data=URL        play the story in that folder (it holds index.json, written by the build)
//                   ?keys=SCRIPT     run headless on the virtual clock with this key script, lines split by ";"
//                   ?trace=1         headless: write the frame trace (read back as Module.kirake.trace())
//                   ?frames=N        stop after N frames;  ?headless=1  run headless without a script
//                   ?capture=LIST    headless: keep the canvas pixels of these frames ("0,10-20")
//                   ?bench=N         headless benchmark: N frames, every one drawn; figures on the page
//                   ?epoch=S, ?fault=SPEC   as on the command line
var Module = typeof Module !== 'undefined' ? Module : {};
(function () {
  'use strict';
  var query = new URLSearchParams(window.location.search);
  var K = {
    ended: false, exitCode: null, started: false, headless: false,
    messages: [], errors: [], captures: {}, captureSet: null, drawAll: false,
    firstFrameMs: null, loadStartMs: performance.now(), framesPresented: 0,
    keys: new Uint8Array(256), keyCodes: {}, events: [], eventWaiters: [],
    next: undefined, period: 1000 / 60,
    bench: null,
  };
  Module.kirake = K;

  function el(id) { return document.getElementById(id); }
  function say(text) { var s = el('status'); if (s) s.textContent = text; }

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
  query.getAll('fault').forEach(function (f) { headless = true; args.push('--fault', f); });
  if (query.has('capture')) {
    headless = true;
    K.captureSet = {};
    query.get('capture').split(',').forEach(function (item) {
      var ends = item.split('-');
      var first = parseInt(ends[0], 10), last = parseInt(ends.length > 1 ? ends[1] : ends[0], 10);
      for (var f = first; f <= last && f - first < 100000; ++f) K.captureSet[f] = true;
    });
  }
  if (headless) args.unshift('--headless');
  // The story: the build's own (story/ beside the page) unless another is named.
  var dataUrl = query.get('data') || 'story/';
  args.push('--data', '/story');
  Module.arguments = args;

  Module.print = function (text) { console.log(text); };
  Module.printErr = function (text) { K.messages.push(text); console.warn(text); };

  Module.preRun = Module.preRun || [];
  Module.preRun.push(function () {
    FS.mkdir('/run');
    if (query.has('keys')) FS.writeFile('/run/keys.txt', query.get('keys').split(';').join('\n') + '\n');
    FS.mkdir('/story');
    addRunDependency('kirake-story');
    fetchStory(dataUrl).then(function () { K.storyLoadedMs = performance.now(); removeRunDependency('kirake-story'); }, function (error) {
      say('No story.');
      showDialog('The story could not be loaded', 'The story at ' + dataUrl + ' could not be loaded: ' +
                 error.message + '.', function () {});
    });
  });

  // Another story: a folder with index.json ({"files": ["name", ...]}) written by the build.
  function fetchStory(url) {
    var base = url.replace(/\/?$/, '/');
    function get(name) {
      return fetch(base + name).then(function (response) {
        if (!response.ok) throw new Error(name + ': HTTP ' + response.status);
        return response.arrayBuffer();
      });
    }
    return get('index.json').then(function (bytes) {
      var index = JSON.parse(new TextDecoder().decode(bytes));
      var files = Array.isArray(index.files) ? index.files : [];
      // Plain names in plain folders only: nothing outside the story's folder.
      var safe = files.filter(function (name) {
        return typeof name === 'string' && /^[A-Za-z0-9_.-]+(\/[A-Za-z0-9_.-]+)*$/.test(name) &&
               name.split('/').every(function (part) { return part !== '.' && part !== '..'; });
      });
      if (safe.length === 0) throw new Error('index.json names no files');
      return Promise.all(safe.map(function (name) {
        return get(name).then(function (data) {
          var parts = name.split('/'), path = '/story';
          for (var i = 0; i + 1 < parts.length; ++i) {
            path += '/' + parts[i];
            try { FS.mkdir(path); } catch (e) { /* already made */ }
          }
          FS.writeFile('/story/' + name, new Uint8Array(data));
        });
      }));
    });
  }

  // The canvas.
  var canvas = null, context = null, image = null, rgba = null;
  function setUpCanvas() {
    canvas = el('screen');
    context = canvas.getContext('2d', { alpha: false });
    image = context.createImageData(640, 480);
    rgba = new Uint32Array(image.data.buffer);
  }
  var lookup = new Uint32Array(256);
  K.present = function (pixels, pitch, palette) {
    if (!context) setUpCanvas();
    var heap = Module.HEAPU8;
    for (var i = 0; i < 256; ++i) {
      lookup[i] = palette ? (0xFF000000 | heap[palette + 4 * i + 2] << 16 | heap[palette + 4 * i + 1] << 8 |
                             heap[palette + 4 * i]) >>> 0 : 0xFF000000;
    }
    for (var y = 0, o = 0; y < 480; ++y) {
      var row = pixels + y * pitch;
      for (var x = 0; x < 640; ++x) rgba[o++] = lookup[heap[row + x]];
    }
    context.putImageData(image, 0, 0);
    K.framesPresented++;
    if (K.firstFrameMs === null) {
      K.firstFrameMs = performance.now();
      say(K.headless ? 'Running headless.' : 'Sound starts with your first key press or click.  ' +
          'Keys as on the desktop (arrows, Z, X, C, Space, Enter); Esc ends; Alt+Enter or the button: full screen.');
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
  K.waitFrame = function () {
    return new Promise(function (resolve) {
      function tick(now) { if (K.frameDue(now)) resolve(); else requestAnimationFrame(tick); }
      requestAnimationFrame(tick);
    });
  };

  // Events to the program.
  function post(event) {
    K.events.push(event);
    var waiters = K.eventWaiters;
    K.eventWaiters = [];
    waiters.forEach(function (wake) { wake(); });
  }
  K.nextEvent = function () { return K.events.length ? K.events.shift() : 0; };
  K.waitEvent = function () {
    if (K.events.length) return Promise.resolve();
    return new Promise(function (resolve) { K.eventWaiters.push(resolve); });
  };
  K.bindKey = function (code, key) { K.keyCodes[code] = key; };
  K.keyState = function (state) { Module.HEAPU8.set(K.keys, state); };
  K.hideCursor = function () { if (canvas || el('screen')) el('screen').style.cursor = 'none'; };

  K.start = function (isHeadless) {
    K.started = true;
    K.headless = !!isHeadless;
    if (K.headless) return;
    window.addEventListener('keydown', function (e) {
      startAudio();
      var dialog = el('dialog');
      if (dialog && dialog.open) return;  // the dialog's own keys
      if (e.altKey && e.code === 'Enter') { e.preventDefault(); toggleFullScreen(); return; }
      var key = K.keyCodes[e.code];
      if (key === undefined) return;
      e.preventDefault();  // arrows and space never scroll the page
      K.keys[key] = 0x80;
      if (e.code === 'Escape' && !e.repeat) post(1);
    });
    window.addEventListener('keyup', function (e) {
      var key = K.keyCodes[e.code];
      if (key === undefined) return;
      e.preventDefault();
      K.keys[key] = 0;
    });
    window.addEventListener('blur', function () { K.keys.fill(0); });
    document.addEventListener('visibilitychange', function () {
      K.keys.fill(0);
      post(document.hidden ? 3 : 2);
    });
    window.addEventListener('mousedown', startAudio);
    window.addEventListener('touchstart', startAudio);
  };

  K.stopped = function () {
    K.ended = true;
    if (K.bench) finishBench();
    if (!K.headless) say('The game has ended. Reload the page to play again.');
    else if (!K.bench) say('Headless run finished.');
  };
  K.trace = function () {
    try { return new TextDecoder().decode(FS.readFile('/run/trace.jsonl')); } catch (e) { return null; }
  };

  // Headless: draw the frames asked for (and now and then, to show progress); keep the captured ones.
  var lastDrawn = 0;
  K.wantsFrame = function (frame) {
    if (K.drawAll || (K.captureSet && K.captureSet[frame])) return true;
    var now = performance.now();
    if (now - lastDrawn > 100) { lastDrawn = now; return true; }
    return false;
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

  // Message boxes: a dialog in the page, answered with its button.
  function showDialog(caption, text, done) {
    var dialog = el('dialog');
    el('dialog-caption').textContent = caption;
    el('dialog-text').textContent = text;
    var button = el('dialog-ok');
    button.onclick = function () { dialog.close ? dialog.close() : dialog.removeAttribute('open'); done(); };
    if (dialog.showModal) dialog.showModal(); else dialog.setAttribute('open', '');
    button.focus();
  }
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

  function toggleFullScreen() {
    var stage = el('stage');
    if (document.fullscreenElement) document.exitFullscreen();
    else if (stage.requestFullscreen) stage.requestFullscreen();
  }
  K.toggleFullScreen = toggleFullScreen;

  // Sound: the game's mixer plays through audio.js, which the browser lets start with the first key
  // press or click.
  function startAudio() {
    if (!K.headless && window.kirakeAudio) window.kirakeAudio.start();
  }

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
    say('The game did not start.');
    showDialog('The game did not start', K.messages.slice(-3).join('\n') || 'The game ended before it began.',
               function () {});
  });

  window.addEventListener('error', function (e) { K.errors.push(String(e.message)); });
  window.addEventListener('DOMContentLoaded', function () {
    var button = el('fullscreen');
    if (button) button.addEventListener('click', function () { startAudio(); toggleFullScreen(); });
  });
})();
