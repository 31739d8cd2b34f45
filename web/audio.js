// The page's sound output: plays the samples that the game's mixer renders in WebAssembly (44100 Hz
// stereo 16-bit, one game frame at a time) through an AudioWorklet (audio-worklet.js). Browsers allow
// sound only after a user gesture, so nothing plays before start() is called from one; samples handed
// over before then are dropped (the game goes on mixing, so looping sounds are heard from then on) but for
// the last few frames' (LEAD), which fill the worklet's queue to its start the moment sound runs. The
// context and its worklet are made as the page loads (prepare()), held suspended, so that the first
// gesture only resumes them and the sound starts at once.
//
//   kirakeAudio.prepare()       the context and its worklet, suspended; idempotent
//   kirakeAudio.start()         from a key press, click or touch; idempotent
//   kirakeAudio.setVolume(v)    0 to 1;  kirakeAudio.setMuted(flag)
//   kirakeAudio.running         true once sound runs;  kirakeAudio.onrunning: called once, then
//   kirakeAudio.heardMs         performance.now() when the audio thread first played a sound that is not silence
//   kirakeAudio.queue(heap, start, length)  the game's side: one frame's interleaved Int16 samples,
//                               heap[start] onwards (the program's memory, copied out at once)
// A test may set window.kirakeAudioCapture to a function: it then sees every frame's samples.
(function () {
  'use strict';
  var RATE = 44100, SPARE_MOST = 32, LEAD = 4;  // 4 frames: more than the worklet waits for (60 ms)
  var context = null, node = null, gain = null;
  var prepared = false, wanted = false;
  var volume = 1, muted = false;
  var spare = [];  // buffers the audio thread has played and given back, for the next frames' samples
  var recent = [];  // the last LEAD frames' samples while sound waits to run
  var audio = { running: false, onrunning: null, loudest: 0, heardMs: null };
  window.kirakeAudio = audio;

  function applyGain() { if (gain) gain.gain.value = muted ? 0 : volume; }
  function check() {
    if (!context) return;
    // A browser that lets a page sound without a gesture still waits for one here.
    if (!wanted) { if (context.state === 'running') context.suspend().catch(function () {}); return; }
    if (audio.running || !node || context.state !== 'running') return;
    audio.running = true;
    for (var i = 0; i < recent.length; ++i) send(recent[i]);
    recent.length = 0;
    if (typeof audio.onrunning === 'function') audio.onrunning();
  }
  function fromWorklet(event) {
    var message = event.data;
    if (Array.isArray(message)) {
      for (var i = 0; i < message.length && spare.length < SPARE_MOST; ++i) spare.push(message[i]);
    } else if (message === 'heard' && audio.heardMs === null) {
      audio.heardMs = performance.now();
    }
  }
  function buffer(length) {
    while (spare.length) {
      var b = spare.pop();
      if (b.length === length) return b;  // one of another length is let go
    }
    return new Int16Array(length);
  }

  audio.prepare = function () {
    if (prepared) return;
    prepared = true;
    var AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (!AudioContextClass) return;
    var made;
    try { made = new AudioContextClass({ sampleRate: RATE, latencyHint: 'interactive' }); } catch (e) { return; }
    if (!made.audioWorklet || made.sampleRate !== RATE) { made.close().catch(function () {}); return; }  // no way to play the mixer's rate
    context = made;
    context.onstatechange = check;
    check();
    context.audioWorklet.addModule('audio-worklet.js').then(function () {
      node = new AudioWorkletNode(context, 'kirake-output', { numberOfInputs: 0, outputChannelCount: [2] });
      node.port.onmessage = fromWorklet;
      gain = context.createGain();
      applyGain();
      node.connect(gain);
      gain.connect(context.destination);
      check();
    }, function (error) { console.warn('kirake: no sound: ' + error); });
  };
  audio.start = function () {
    wanted = true;
    audio.prepare();
    if (context) context.resume().then(check, function () {});  // after a suspend still under way, too
  };
  audio.setVolume = function (v) { volume = Math.min(1, Math.max(0, Number(v) || 0)); applyGain(); };
  audio.setMuted = function (flag) { muted = !!flag; applyGain(); };

  function send(copy) {
    for (var i = 0; i < copy.length; ++i) if (Math.abs(copy[i]) > audio.loudest) audio.loudest = Math.abs(copy[i]);
    node.port.postMessage(copy, [copy.buffer]);
  }
  audio.queue = function (heap, start, length) {
    if (typeof window.kirakeAudioCapture === 'function') window.kirakeAudioCapture(heap.subarray(start, start + length));
    if (!node) return;
    var copy = !audio.running && recent.length === LEAD && recent[0].length === length ? recent.shift() : buffer(length);
    for (var i = 0; i < length; ++i) copy[i] = heap[start + i];  // out of the program's memory, which may move
    if (audio.running) send(copy);
    else { recent.push(copy); if (recent.length > LEAD) recent.shift(); }
  };
})();
