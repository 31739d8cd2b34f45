// The page around the game: it loads the code and the story at the same time (with a progress bar), turns
// keys and touches into the game's key presses, runs the control strip (full screen, sound, play again),
// shows failures in the page's dialog, and registers the service worker that lets the game play offline.
// Each run of the game (web/page.js inside kirake.js) asks it for keys, events and the story's files.
//
// The story: the build's own story.kpak beside the page, or ?data=URL: a .kpak file (web/pack-story.js) or
// a folder with index.json (web/story-index.sh). Only stories of this page's own origin are played, unless
// data-origins.json beside the page lists the other origin: {"origins": ["scheme://host[:port]", ...]}.
(function () {
  'use strict';
  var query = new URLSearchParams(window.location.search);
  var headless = ['keys', 'trace', 'headless', 'bench', 'capture', 'fault'].some(function (name) { return query.has(name); });
  function el(id) { return document.getElementById(id); }

  var S = window.kirakeShell = {
    storyFiles: null, wasmModule: null, run: null, runs: 0, over: false,
    keys: new Uint8Array(256), keyCodes: {}, pulses: [], events: [], eventWaiters: [],
    choice: { count: 0, index: 0, top: 0, lineHeight: 1 },
    failures: [], updateReady: false,
  };

  // The status line and the dialog.
  S.say = function (text) { el('status').textContent = text; };
  S.showDialog = function (caption, text, done) {
    var dialog = el('dialog');
    el('dialog-caption').textContent = caption;
    el('dialog-text').textContent = text;
    el('dialog-ok').onclick = function () { dialog.close(); if (done) done(); };
    if (!dialog.open) dialog.showModal();
    el('dialog-ok').focus();
  };
  // A failure before the game runs (or that stops it from starting): the dialog with the cause.
  S.failed = function (caption, cause) {
    S.failures.push(caption + ': ' + cause);
    el('progress').hidden = true;
    S.say(caption + '.');
    S.showDialog(caption, cause);
  };

  // Loading: the code and the story at once, both started before anything else on the page.
  function fetchOk(url, what) {
    return fetch(url).then(function (response) {
      if (!response.ok) throw new Error(what + ' (' + shortened(url) + '): HTTP ' + response.status + ' ' + response.statusText);
      return response;
    }, function (error) { throw new Error(what + ' (' + shortened(url) + ') could not be fetched: ' + error.message); });
  }
  var progress = { story: [0, 0] };
  function showProgress() {
    var bar = el('progress'), p = progress.story;
    if (p[1] > 0) { bar.max = p[1]; bar.value = Math.min(p[0], p[1]); } else bar.removeAttribute('value');
  }
  // A story file that arrived but cannot be read: said in the page's words (each engine has its own for a
  // broken compressed stream), with the story's address.
  function damaged(why) {
    var error = new Error('The story file is damaged: ' + why + ' (' + shortened(dataUrl) + ').');
    error.damaged = true;
    return error;
  }
  // What a story may hold here, checked before anything of it is kept. The game itself reads no file over
  // 16 MiB (its story text, a sound, the glyphs; a picture 8 MiB) and no script of more than 64 files; the
  // default story is 37 files, 4.7 MB unpacked, two levels deep. web/pack-story.js refuses to write what
  // is past these.
  var STORY_MAX_BYTES = 128 << 20, STORY_MAX_FILES = 4096, NAME_MAX_LENGTH = 255, NAME_MAX_PARTS = 16;
  var HEAD_MAX_BYTES = 1 << 20;  // the pack's two lines of head
  var ADDRESS_MAX_LENGTH = 2048;  // ?data=: longer than any address a server takes
  // Long text from outside (an address, a name) as the page shows it: its start and its end.
  function shortened(text) {
    text = String(text);
    return text.length <= 120 ? text : text.slice(0, 80) + '\u2026 (' + text.length + ' characters) \u2026' + text.slice(-20);
  }
  // Plain names in plain folders only: nothing outside the story's folder.
  function safeName(name) {
    return typeof name === 'string' && name.length <= NAME_MAX_LENGTH && /^[A-Za-z0-9_.-]+(\/[A-Za-z0-9_.-]+)*$/.test(name) &&
           name.split('/').every(function (part) { return part !== '.' && part !== '..'; });
  }
  // What is wrong with a story's list of names, or null: each a safe name, short and shallow enough, none
  // twice, none both a file and a folder (a and a/b).
  function namesProblem(names) {
    if (names.length > STORY_MAX_FILES) return 'it holds ' + names.length + ' files, more than ' + STORY_MAX_FILES;
    var files = Object.create(null), folders = Object.create(null);
    for (var i = 0; i < names.length; ++i) {
      var name = names[i];
      if (typeof name !== 'string') return 'its list of files cannot be read';
      if (name.length > NAME_MAX_LENGTH)
        return 'it names a file of ' + name.length + ' characters, more than ' + NAME_MAX_LENGTH + ' (' + shortened(name) + ')';
      if (!safeName(name)) return 'it names a file outside the story (' + shortened(name) + ')';
      var parts = name.split('/');
      if (parts.length > NAME_MAX_PARTS)
        return 'it names a file ' + (parts.length - 1) + ' folders deep, more than ' + (NAME_MAX_PARTS - 1) + ' (' + shortened(name) + ')';
      if (files[name]) return 'it names ' + name + ' twice';
      if (folders[name]) return 'it names ' + name + ' both as a file and as a folder';
      for (var k = 1, folder = parts[0]; k < parts.length; folder += '/' + parts[k++]) {
        if (files[folder]) return 'it names ' + folder + ' both as a file and as a folder';
        folders[folder] = true;
      }
      files[name] = true;
    }
    return null;
  }
  // A packed story: "KPAK1\n", a line of JSON {"files": [[name, length], ...]}, then the files' bytes in
  // that order; the whole gzip-compressed. It is unpacked while it arrives, counted into the progress bar:
  // its head is checked whole before any file is kept, the files' bytes go into one buffer of the length
  // the head gives, and it is refused (and its download stopped) as soon as it is past what is allowed.
  function readPacked(response) {
    var total = parseInt(response.headers.get('Content-Length') || '0', 10);
    var encoded = response.headers.get('Content-Encoding');
    progress.story = [0, encoded && encoded !== 'identity' ? 0 : total];
    var counted = response.body.pipeThrough(new TransformStream({
      transform: function (chunk, controller) {
        progress.story[0] += chunk.length;
        showProgress();
        controller.enqueue(chunk);
      },
    }));
    var reader = counted.getReader();
    // The first bytes say whether it is compressed (a server may have unpacked it already).
    return reader.read().then(function (part) {
      if (part.done) throw damaged('it is empty');
      // Compressed, it goes to the gunzip in slices of 4 KiB, each when the one before has been read: the
      // gunzip unpacks a whole slice at once (4 KiB of zeros are 4 MiB), so no more than that is unpacked
      // past the point where the pack is refused.
      var pending = part.value, compressed = pending[0] === 0x1f && pending[1] === 0x8b, slice = compressed ? 4096 : Infinity;
      var rest = new ReadableStream({
        pull: function (controller) {
          var give = function () { controller.enqueue(pending.subarray(0, slice)); pending = pending.subarray(slice); };
          if (pending.length) { give(); return undefined; }
          return reader.read().then(function (p) { if (p.done) controller.close(); else { pending = p.value; give(); } });
        },
        cancel: function (why) { return reader.cancel(why); },
      }, { highWaterMark: 0 });
      if (compressed) {
        if (typeof DecompressionStream === 'undefined') throw new Error('this browser cannot unpack gzip');
        rest = rest.pipeThrough(new DecompressionStream('gzip'));
      }
      return unpack(rest.getReader(), function (error) {
        // The whole file came and still could not be read: its compressed data is broken. A download
        // that broke off is the network's.
        if (total > 0 && progress.story[0] < total) return new Error('the download broke off: ' + error.message);
        return damaged('its compressed data is broken');
      });
    });
  }
  function unpack(source, broken) {
    var MAGIC = 'KPAK1\n', PAST_MAX = 1 << 20;
    var head = new Uint8Array(0), list = null, body = null, at = 0, past = 0;
    function refuse(error) {
      source.cancel().catch(function () { /* stopped all the same */ });
      throw error;
    }
    // The head, once its two lines are in: the list of files checked, the buffer for their bytes.
    function readHead(secondLine) {
      var header = null;
      try { header = JSON.parse(new TextDecoder().decode(head.subarray(MAGIC.length, secondLine))); } catch (e) { /* below */ }
      if (!header || !Array.isArray(header.files) || !header.files.every(Array.isArray))
        refuse(damaged('its list of files cannot be read'));
      var names = header.files.map(function (entry) { return entry[0]; });
      var problem = namesProblem(names), bytes = 0;
      if (problem) refuse(damaged(problem));
      header.files.forEach(function (entry) {
        if (!(Number.isInteger(entry[1]) && entry[1] >= 0)) refuse(damaged('its list of files gives ' + entry[0] + ' no length'));
        bytes += entry[1];
      });
      if (bytes > STORY_MAX_BYTES) refuse(damaged('its files come to ' + bytes + ' bytes, more than ' + (STORY_MAX_BYTES >> 20) + ' MiB'));
      list = header.files;
      body = new Uint8Array(bytes);
      return head.subarray(secondLine + 1);
    }
    function take(chunk) {
      if (!list) {
        var joined = new Uint8Array(head.length + chunk.length);
        joined.set(head);
        joined.set(chunk, head.length);
        head = joined;
        var start = new TextDecoder().decode(head.subarray(0, MAGIC.length));
        if (start !== MAGIC.slice(0, start.length)) refuse(damaged('it is not a packed story'));
        var secondLine = head.length > MAGIC.length ? head.indexOf(10, MAGIC.length) : -1;
        if (secondLine < 0) {
          if (head.length > HEAD_MAX_BYTES) refuse(damaged('its list of files is longer than ' + (HEAD_MAX_BYTES >> 20) + ' MiB'));
          return;
        }
        chunk = readHead(secondLine);
      }
      var kept = Math.min(chunk.length, body.length - at);
      body.set(chunk.subarray(0, kept), at);
      at += kept;
      past += chunk.length - kept;
      if (past > PAST_MAX) refuse(damaged('it has more than ' + PAST_MAX + ' bytes past its last file'));
    }
    function finish() {
      if (!list) throw damaged('it is not a packed story');
      if (past > 0) throw damaged('it has ' + past + ' bytes past its last file');
      var files = Object.create(null), offset = 0;
      list.forEach(function (entry) {
        if (offset + entry[1] > at) throw damaged('it ends before ' + entry[0]);
        files[entry[0]] = body.subarray(offset, offset + entry[1]);
        offset += entry[1];
      });
      return files;
    }
    function next() {
      return source.read().then(function (part) {
        if (part.done) return finish();
        take(part.value);
        return next();
      }, function (error) { throw broken(error); });
    }
    return next();
  }
  // A response's bytes, counted into count.bytes as they come; past limit the download is stopped and
  // tooMuch() is the error.
  function readLimited(response, count, limit, tooMuch) {
    var reader = response.body.getReader(), parts = [], length = 0;
    function more() {
      return reader.read().then(function (part) {
        if (part.done) return;
        count.bytes += part.value.length;
        length += part.value.length;
        if (count.bytes > limit) {
          reader.cancel().catch(function () { /* stopped all the same */ });
          throw tooMuch();
        }
        parts.push(part.value);
        return more();
      });
    }
    return more().then(function () {
      var bytes = new Uint8Array(length), at = 0;
      parts.forEach(function (p) { bytes.set(p, at); at += p.length; });
      return bytes;
    });
  }
  // A story folder with index.json ({"files": ["name", ...]}): its names checked as a pack's are, its
  // files together no larger.
  function loadFolder(url) {
    var base = url.replace(/\/?$/, '/');
    var folderError = function (why) { return new Error('The story\'s folder cannot be played: ' + why + ' (' + shortened(base) + ').'); };
    return fetchOk(base + 'index.json', 'The story\'s index').then(function (r) {
      return readLimited(r, { bytes: 0 }, HEAD_MAX_BYTES, function () { return folderError('its index.json is larger than 1 MiB'); });
    }).then(function (bytes) {
      var index = JSON.parse(new TextDecoder().decode(bytes));
      var names = (index && Array.isArray(index.files) ? index.files : []).filter(safeName);
      if (names.length === 0) throw new Error('index.json names no files');
      var problem = namesProblem(names);
      if (problem) throw folderError(problem.replace(/^it /, 'index.json '));
      var files = Object.create(null), done = 0, count = { bytes: 0 };
      var tooMuch = function () { return folderError('its files come to more than ' + (STORY_MAX_BYTES >> 20) + ' MiB'); };
      progress.story = [0, names.length];
      return Promise.all(names.map(function (name) {
        return fetchOk(base + name, 'A file of the story').then(function (r) { return readLimited(r, count, STORY_MAX_BYTES, tooMuch); }).then(function (b) {
          files[name] = b;
          progress.story[0] = ++done;
          showProgress();
        });
      })).then(function () { return files; });
    });
  }
  // Another origin's story only where data-origins.json allows it. An origin has no path: one listed
  // with a slash after it ("https://host/", the address of its root) is that origin; one listed with more
  // of an address is not taken for its origin (that would allow more than it says) but named in the refusal.
  function allowed(url) {
    var origin = new URL(url, window.location.href).origin;
    if (origin === window.location.origin) return Promise.resolve();
    var refusal = 'The story at ' + shortened(url) + ' is on another site (' + origin + '). This page plays only its own ' +
                  'stories, unless data-origins.json beside it lists that origin.';
    return fetch('data-origins.json').then(function (r) { return r.ok ? r.json() : {}; }).then(function (config) {
      var listed = config && Array.isArray(config.origins) ? config.origins.filter(function (o) { return typeof o === 'string'; }) : [];
      if (listed.indexOf(origin) >= 0 || listed.indexOf(origin + '/') >= 0) return;
      var near = listed.filter(function (o) { return o.slice(0, origin.length + 1) === origin + '/'; })[0];
      if (near) {
        refusal += ' It lists ' + shortened(near) + ', but an origin is only scheme://host[:port], without a path: list ' + origin + '.';
      }
      throw new Error(refusal);
    }, function () { throw new Error(refusal); });
  }
  // The story's address: a long one is refused before it is used (or shown whole).
  var dataUrl = query.get('data') || 'story.kpak';
  var storyLoaded = new Promise(function (resolve) {
    if (dataUrl.length > ADDRESS_MAX_LENGTH) {
      throw new Error('The story\'s address (?data=) is ' + dataUrl.length + ' characters long, more than ' + ADDRESS_MAX_LENGTH +
                      ': ' + shortened(dataUrl) + '.');
    }
    try { new URL(dataUrl, window.location.href); } catch (e) {
      throw new Error('The story\'s address (?data=) cannot be read: ' + shortened(dataUrl) + '.');
    }
    resolve(allowed(dataUrl));
  }).then(function () {
    if (/\.kpak$/i.test(new URL(dataUrl, window.location.href).pathname)) {
      return fetchOk(dataUrl, 'The story').then(readPacked);
    }
    return loadFolder(dataUrl);
  }).then(function (files) { S.storyFiles = files;
    S.storyLoadedMs = performance.now();
    el('progress').hidden = true;
    return files;
  });
  // What each run waits for before main: the story (a failure is shown once, below).
  S.story = storyLoaded.catch(function () { return new Promise(function () {}); });

  var wasmCompiled = fetchOk('kirake.wasm', 'The game\'s code').then(function (response) {
    if (WebAssembly.compileStreaming && /wasm/.test(response.headers.get('Content-Type') || ''))
      return WebAssembly.compileStreaming(response);
    return response.arrayBuffer().then(function (bytes) { return WebAssembly.compile(bytes); });
  }).then(function (module) { S.wasmModule = module; S.wasmCompiledMs = performance.now(); });

  function codeLoaded() {
    return new Promise(function (resolve, reject) {  // kirake.js is deferred: it has run by DOMContentLoaded
      function check() {
        if (typeof createKirake === 'function') resolve(); else reject(new Error('kirake.js could not be loaded'));
      }
      if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', check); else check();
    });
  }

  function startRun() {
    S.runs++;
    S.over = false;
    S.pulses = [];
    S.events = [];
    S.keys.fill(0);
    S.choice.count = 0;
    el('again').hidden = true;
    var options = {};
    window.Module = options;  // the run the tests look at: Module.kirake
    createKirake(options).catch(function (error) { S.failed('The game did not start', String(error)); });
  }

  storyLoaded.catch(function (e) { S.failed(e.damaged ? 'The story is damaged' : 'The story could not be loaded', e.message); });
  Promise.all([
    wasmCompiled.catch(function (e) {
      throw { caption: 'The game\'s code could not be loaded', cause: e.message +
        (/CompileError|unsafe-eval|Content Security/i.test(String(e)) ? ' (the site\'s Content Security Policy must allow ' +
         '\'wasm-unsafe-eval\' in script-src)' : '') };
    }),
    codeLoaded().catch(function (e) { throw { caption: 'The game\'s code could not be loaded', cause: e.message }; }),
  ]).then(function () {
    S.codeLoadedMs = performance.now();
    startRun();
  }, function (problem) { S.failed(problem.caption || 'The game could not be loaded', problem.cause || String(problem)); });
  window.addEventListener('securitypolicyviolation', function (e) {
    S.failures.push('blocked by the Content Security Policy: ' + e.violatedDirective + ' ' + e.blockedURI);
  });

  // Keys: the game reads the keys down at each frame; a touch (or a click on the picture) becomes a press
  // held for exactly one frame's read and let go at the next, queued in order ("pulses").
  S.bindKey = function (code, key) { S.keyCodes[code] = key; };
  var keyNumber = function (code) { return S.keyCodes[code]; };
  var frameKeys = new Uint8Array(256);
  S.readKeys = function () {
    frameKeys.set(S.keys);
    var pulse = S.pulses.shift();
    if (pulse !== undefined && pulse !== null) frameKeys[pulse] = 0x80;
    return frameKeys;
  };
  function press(code) {
    var key = keyNumber(code);
    if (key === undefined) return;
    S.pulses.push(key, null);  // down for one read, up for the next: every tap is a new press
  }
  S.nextEvent = function () { return S.events.length ? S.events.shift() : 0; };
  S.waitEvent = function () {
    if (S.events.length) return Promise.resolve();
    return new Promise(function (resolve) { S.eventWaiters.push(resolve); });
  };
  function post(event) {
    S.events.push(event);
    var waiters = S.eventWaiters;
    S.eventWaiters = [];
    waiters.forEach(function (wake) { wake(); });
  }

  // Sound: the game's mixer through window.kirakeAudio (web/audio.js).
  var audio = window.kirakeAudio;
  var settings = { muted: false, volume: 1 };
  try {
    settings.muted = localStorage.getItem('kirake.muted') === '1';
    var v = parseFloat(localStorage.getItem('kirake.volume'));
    if (v >= 0 && v <= 1) settings.volume = v;
  } catch (e) { /* no storage: the defaults */ }
  function remember() {
    try {
      localStorage.setItem('kirake.muted', settings.muted ? '1' : '0');
      localStorage.setItem('kirake.volume', String(settings.volume));
    } catch (e) { /* not kept */ }
  }
  function showSound() {
    var button = el('sound');
    button.textContent = settings.muted ? 'Sound off' : 'Sound on';
    button.setAttribute('aria-pressed', settings.muted ? 'false' : 'true');
    el('volume').value = String(Math.round(settings.volume * 100));
  }
  function setMuted(flag) {
    settings.muted = flag;
    audio.setMuted(flag);
    remember();
    showSound();
  }
  function startSound() {
    if (headless) return;
    audio.setVolume(settings.volume);
    audio.setMuted(settings.muted);
    audio.start();
  }
  audio.onrunning = function () { if (!S.over) S.say(''); S.soundRunning = true; };
  // The sound's context and worklet made now, while the page waits for its downloads (making them takes
  // the page's thread for a while), so that the first key only resumes them.
  if (!headless) audio.prepare();
  showSound();
  // A button pressed by touch or the mouse gives the keys back to the game (Space would press it again);
  // pressed from the keyboard it keeps the focus.
  function back(e) { if (e.detail > 0) el('screen').focus(); }
  el('sound').addEventListener('click', function (e) { startSound(); setMuted(!settings.muted); back(e); });
  el('volume').addEventListener('input', function () {
    settings.volume = Math.max(0, Math.min(1, parseInt(el('volume').value, 10) / 100));
    audio.setVolume(settings.volume);
    if (settings.muted && settings.volume > 0) setMuted(false); else remember();
  });

  // Full screen: the whole page (picture and strip).
  function toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().catch(function (e) { S.say('Full screen was refused: ' + e.message); });
    }
  }
  S.toggleFullScreen = toggleFullScreen;
  el('fullscreen').addEventListener('click', function (e) { startSound(); toggleFullScreen(); back(e); });
  el('again').addEventListener('click', function (e) { startSound(); playAgain(); el('screen').focus(); });
  // Skip (a toggle, as S) and the settings (as F10), for players without those keys.
  el('skip').addEventListener('click', function (e) {
    var on = el('skip').getAttribute('aria-pressed') !== 'true';
    el('skip').setAttribute('aria-pressed', on ? 'true' : 'false');
    press('KeyS');
    back(e);
  });
  el('settings').addEventListener('click', function (e) { press('F10'); back(e); });

  // The game's runs.
  S.playing = function (run) {
    S.run = run;
    S.say(S.soundRunning ? '' : 'Sound starts with your first tap or key. Swipe: up, down; long press: F1; M: sound.');
  };
  S.firstFrame = function () { S.firstFrameMs = performance.now(); };
  // Speech: every text the game gives goes to the live region, which screen readers read; voiced (the
  // game's self-voicing on) the browser says it too, cutting off what it was saying.
  S.canSpeak = function () { return 'speechSynthesis' in window && typeof SpeechSynthesisUtterance === 'function'; };
  S.speak = function (text, kind, voiced) {
    if (kind === 1) S.answerTexts = text.split('\n');  // a question opens: its answers, a line each
    el('speech').textContent = text;
    if (!voiced || !S.canSpeak()) return;
    try {
      window.speechSynthesis.cancel();
      window.speechSynthesis.speak(new SpeechSynthesisUtterance(text));
    } catch (e) { /* no voice: the live region has it */ }
  };
  S.shown = function (state) {
    S.choice = state;
    showAnswers(state);
    if (state.over && !S.over) offerAgain();
  };
  // An open question's answers as buttons of the strip too: targets as large as a finger (the answer
  // lines of the picture are 24 of its 480 rows), and named for screen readers. A button chooses its
  // answer: the cursor goes there and confirms.
  var answerButtons = [];
  function showAnswers(state) {
    var group = el('answers'), open = state.count > 0 && !state.overlay;
    group.hidden = !open;
    el('strip').classList.toggle('choosing', open);
    if (!open) return;
    var texts = S.answerTexts && S.answerTexts.length === state.count ? S.answerTexts : [];
    while (answerButtons.length < state.count) {
      var button = document.createElement('button');
      button.type = 'button';
      button.className = 'answer';
      button.addEventListener('click', chooseAnswer.bind(null, answerButtons.length));
      answerButtons.push(button);
    }
    answerButtons.forEach(function (b, i) {
      if (i >= state.count) { if (b.parentNode) group.removeChild(b); return; }
      var text = texts[i] || 'Answer ' + (i + 1);
      if (b.textContent !== text) b.textContent = text;
      if (i === state.index) b.setAttribute('aria-current', 'true'); else b.removeAttribute('aria-current');
      if (b.parentNode !== group) group.appendChild(b);
    });
  }
  function chooseAnswer(i, e) {
    if (S.choice.count <= i || S.choice.overlay) return;
    startSound();
    moveTo(i);
    press('Space');
    back(e);
  }
  // The presses that take the cursor to line (the shorter way round), as the game will have it.
  function moveTo(line) {
    var c = S.choice, down = (line - c.index + c.count) % c.count, up = c.count - down;
    for (var i = 0; i < Math.min(down, up); ++i) press(down <= up ? 'ArrowDown' : 'ArrowUp');
    c.index = line;
  }
  function offerAgain() {
    S.over = true;
    el('again').hidden = false;
    if (!(el('dialog').open)) el('again').focus();
  }
  S.ended = function () {
    offerAgain();
    S.say('The game has ended.');
  };
  function playAgain() {
    if (!S.wasmModule || !S.storyFiles) return;
    S.story = Promise.resolve(S.storyFiles);
    var run = S.run;
    if (run && !run.ended) post(4);  // the last page: the game closes as at Esc, then starts afresh
    var wait = function () {
      if (S.run && !S.run.ended) { setTimeout(wait, 20); return; }
      S.run = null;
      startRun();
    };
    wait();
  }
  S.playAgain = playAgain;

  if (headless) return;

  window.addEventListener('keydown', function (e) {
    startSound();
    if (el('dialog').open) return;  // the dialog's own keys
    if (e.altKey && e.code === 'Enter') { e.preventDefault(); toggleFullScreen(); return; }
    if (e.code === 'KeyM' && !e.repeat && !e.ctrlKey && !e.metaKey && !e.altKey) { setMuted(!settings.muted); return; }
    if (document.activeElement && document.activeElement.tagName === 'BUTTON' &&
        (e.code === 'Enter' || e.code === 'Space') && document.activeElement.id !== 'activate') return;  // the button's
    var key = keyNumber(e.code);
    if (key === undefined) return;
    e.preventDefault();  // arrows and space never scroll the page
    S.keys[key] = 0x80;
    if (e.code === 'Escape' && !e.repeat) post(1);
  });
  window.addEventListener('keyup', function (e) {
    var key = keyNumber(e.code);
    if (key === undefined) return;
    e.preventDefault();
    S.keys[key] = 0;
  });
  window.addEventListener('blur', function () { S.keys.fill(0); });
  // The page hidden or left may be the end of it: the game keeps what the player would lose first. No
  // animation frame comes to a hidden page, so the game's wait for one ends now.
  function suspend() {
    post(5);
    if (S.run && S.run.wakeFrame) S.run.wakeFrame();
  }
  document.addEventListener('visibilitychange', function () {
    S.keys.fill(0);
    if (document.hidden) suspend();
    post(document.hidden ? 3 : 2);
  });
  window.addEventListener('pagehide', suspend);

  // Touch and the mouse on the picture: a tap is Space, or on an answer line of an open choice it moves the
  // cursor there (and on the highlighted line confirms); a vertical swipe is Up or Down; a long press is F1.
  var stage = el('stage'), canvas = el('screen');
  var LONG_PRESS_MS = 500, SWIPE_PX = 30;
  var PANEL = [32, 24, 608, 456], TOP_EDGE = 60;  // the overlay's panel on the page; the top edge's rows
  var gesture = null;
  function pageY(clientY) {  // the game's page row under a point of the canvas (object-fit: contain)
    var box = canvas.getBoundingClientRect();
    var scale = Math.min(box.width / 640, box.height / 480);
    var top = box.top + (box.height - 480 * scale) / 2;
    return (clientY - top) / scale;
  }
  function pageX(clientX) {
    var box = canvas.getBoundingClientRect();
    var scale = Math.min(box.width / 640, box.height / 480);
    return (clientX - box.left - (box.width - 640 * scale) / 2) / scale;
  }
  // Outside a question a tap is Space. In one, each answer's band is its line across the picture, the
  // first's reaching half a line higher and the last's half a line lower: a tap on the highlighted answer
  // confirms it, on another moves the cursor there, and anywhere else does nothing (a tap beside the
  // lines must not decide the route).
  function tap(clientY) {
    var c = S.choice;
    if (!(c.count > 0)) { press('Space'); return; }
    var at = (pageY(clientY) - c.top) / c.lineHeight;
    if (at < -0.5 || at >= c.count + 0.5) return;
    var line = Math.max(0, Math.min(c.count - 1, Math.floor(at)));
    if (line === c.index) press('Space'); else moveTo(line);
  }
  stage.addEventListener('pointerdown', function (e) {
    if (e.button !== 0 || el('dialog').open || e.target !== canvas) return;
    e.preventDefault();
    startSound();
    if (stage.setPointerCapture) try { stage.setPointerCapture(e.pointerId); } catch (err) { /* synthetic */ }
    var g = gesture = { id: e.pointerId, x: e.clientX, y: e.clientY, long: false };
    g.timer = setTimeout(function () {
      if (gesture === g && Math.abs(g.dy || 0) < SWIPE_PX && Math.abs(g.dx || 0) < SWIPE_PX) { g.long = true; press('F1'); }
    }, LONG_PRESS_MS);
  });
  stage.addEventListener('pointermove', function (e) {
    if (!gesture || gesture.id !== e.pointerId) return;
    e.preventDefault();
    gesture.dx = e.clientX - gesture.x;
    gesture.dy = e.clientY - gesture.y;
  });
  function endGesture(e, cancelled) {
    var g = gesture;
    if (!g || g.id !== e.pointerId) return;
    gesture = null;
    clearTimeout(g.timer);
    if (cancelled || g.long) return;
    var dx = e.clientX - g.x, dy = e.clientY - g.y;
    var swipe = Math.abs(dy) >= SWIPE_PX && Math.abs(dy) > Math.abs(dx), overlay = S.choice && S.choice.overlay;
    // Over the player's overlay (the history, the settings, the offer to continue) a swipe turns the
    // wheel (down: back in the history), a tap outside the panel closes it and a tap on it is Space (the
    // offer continues, the settings change the chosen line); a swipe down from the picture's top edge
    // opens the history. Everything else is the game's.
    if (overlay && swipe) press(dy > 0 ? 'WheelUp' : 'WheelDown');
    else if (overlay && Math.abs(dx) < SWIPE_PX) {
      var x = pageX(g.x), y = pageY(g.y);
      press(x < PANEL[0] || x >= PANEL[2] || y < PANEL[1] || y >= PANEL[3] ? 'TapOutside' : 'Space');
    } else if (swipe && dy > 0 && pageY(g.y) < TOP_EDGE) press('WheelUp');
    else if (swipe) press(dy < 0 ? 'ArrowUp' : 'ArrowDown');
    else if (Math.abs(dx) < SWIPE_PX) tap(g.y);
  }
  // The wheel over the picture: one press of the wheel's key a notch (trackpads send many small steps).
  var wheelRest = 0;
  stage.addEventListener('wheel', function (e) {
    if (e.target !== canvas) return;
    e.preventDefault();
    wheelRest += e.deltaMode === 0 ? e.deltaY / 100 : e.deltaY;
    while (wheelRest <= -1) { press('WheelUp'); wheelRest += 1; }
    while (wheelRest >= 1) { press('WheelDown'); wheelRest -= 1; }
  }, { passive: false });
  stage.addEventListener('pointerup', function (e) { e.preventDefault(); endGesture(e, false); });
  stage.addEventListener('pointercancel', function (e) { endGesture(e, true); });
  // No zooming, scrolling, selecting or context menu from touches anywhere on the page.
  ['touchstart', 'touchmove', 'touchend'].forEach(function (type) {
    stage.addEventListener(type, function (e) { if (e.cancelable) e.preventDefault(); }, { passive: false });
  });
  document.addEventListener('dblclick', function (e) { e.preventDefault(); });
  document.addEventListener('contextmenu', function (e) { if (stage.contains(e.target)) e.preventDefault(); });

  // In a frame of another page the keys reach the game only once the frame has the focus: say so.
  var framed = false;
  try { framed = window.top !== window.self; } catch (e) { framed = true; }
  if (framed) {
    var activate = el('activate');
    var showActivate = function () { activate.hidden = document.hasFocus(); };
    activate.addEventListener('click', function () { window.focus(); canvas.focus(); startSound(); activate.hidden = true; });
    window.addEventListener('focus', showActivate);
    window.addEventListener('blur', function () { activate.hidden = false; });
    showActivate();
  }

  // The service worker keeps the build for offline play; a new build's worker says when it is ready. It is
  // registered once the page's own downloads (the story, the code) are done, as their resource timing
  // entries say (before the page has used the bytes): its install then takes them from the HTTP cache
  // instead of competing with them for the network and downloading them again.
  if ('serviceWorker' in navigator && /^https?:$/.test(window.location.protocol)) {
    var settled = function (promise) { return promise.then(function () {}, function () {}); };
    var fetched = function (url, promise) {
      return Promise.race([settled(promise), new Promise(function (resolve) {
        try {
          var href = new URL(url, window.location.href).href;
          new PerformanceObserver(function (list, observer) {
            if (list.getEntries().some(function (e) { return e.name === href; })) { observer.disconnect(); resolve(); }
          }).observe({ type: 'resource', buffered: true });
        } catch (e) { /* then the promise says when */ }
      })]);
    };
    Promise.all([fetched(dataUrl, storyLoaded), fetched('kirake.wasm', wasmCompiled), settled(codeLoaded())]).then(function () {
      return navigator.serviceWorker.register('sw.js');
    }).then(function (registration) {
      registration.addEventListener('updatefound', function () {
        var worker = registration.installing;
        if (!worker || !navigator.serviceWorker.controller) return;  // the first visit: nothing to replace
        worker.addEventListener('statechange', function () {
          if (worker.state !== 'activated') return;
          S.updateReady = true;
          el('update').hidden = false;
        });
      });
    }, function (error) { S.failures.push('service worker: ' + error.message); });
  }
})();
