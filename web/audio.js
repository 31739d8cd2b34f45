// The page's sound output: plays the samples that the game's mixer renders in WebAssembly (44100 Hz
// stereo 16-bit, one game frame at a time) through an AudioWorklet (audio-worklet.js). Browsers allow
// sound only after a user gesture, so nothing plays before start() is called from one; samples handed
// over before then are dropped (the game goes on mixing, so looping sounds are heard from then on).
//
//   kirakeAudio.start()         from a key press, click or touch; idempotent
//   kirakeAudio.setVolume(v)    0 to 1;  kirakeAudio.setMuted(flag)
//   kirakeAudio.running         true once sound runs;  kirakeAudio.onrunning: called once, then
//   kirakeAudio.queue(samples)  the game's side: one frame's interleaved Int16 samples
// A test may set window.kirakeAudioCapture to a function: it then sees every frame's samples.
(function () {
  'use strict';
  var RATE = 44100;
  var context = null, node = null, gain = null;
  var volume = 1, muted = false;
  var audio = { running: false, onrunning: null, loudest: 0 };
  window.kirakeAudio = audio;

  function applyGain() { if (gain) gain.gain.value = muted ? 0 : volume; }
  function check() {
    if (audio.running || !node || context.state !== 'running') return;
    audio.running = true;
    if (typeof audio.onrunning === 'function') audio.onrunning();
  }

  audio.start = function () {
    if (context) {
      if (context.state !== 'running') context.resume().then(check, function () {});
      return;
    }
    var AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (!AudioContextClass) return;
    try { context = new AudioContextClass({ sampleRate: RATE, latencyHint: 'interactive' }); } catch (e) { return; }
    if (!context.audioWorklet || context.sampleRate !== RATE) return;  // no way to play the mixer's rate
    context.onstatechange = check;
    context.audioWorklet.addModule('audio-worklet.js').then(function () {
      node = new AudioWorkletNode(context, 'kirake-output', { numberOfInputs: 0, outputChannelCount: [2] });
      gain = context.createGain();
      applyGain();
      node.connect(gain);
      gain.connect(context.destination);
      check();
    }, function (error) { console.warn('kirake: no sound: ' + error); });
    context.resume().then(check, function () {});
  };
  audio.setVolume = function (v) { volume = Math.min(1, Math.max(0, Number(v) || 0)); applyGain(); };
  audio.setMuted = function (flag) { muted = !!flag; applyGain(); };

  audio.queue = function (samples) {
    if (typeof window.kirakeAudioCapture === 'function') window.kirakeAudioCapture(samples);
    if (!audio.running) return;
    var copy = new Int16Array(samples);  // out of the program's memory, which may move
    for (var i = 0; i < copy.length; ++i) if (Math.abs(copy[i]) > audio.loudest) audio.loudest = Math.abs(copy[i]);
    node.port.postMessage(copy, [copy.buffer]);
  };
})();
