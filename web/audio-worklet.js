// The audio thread's side of audio.js: a queue of the game's frames of samples (Int16, interleaved
// stereo, at the context's rate), played in order. It waits until about 60 ms are queued before it
// plays (the game hands over 16.7 ms a frame, on the page's clock), plays silence when the queue runs
// dry and waits again, and drops the oldest samples when more than 200 ms are queued, so that the
// delay stays short when the page's clock and the audio clock drift apart. The buffers played (or
// dropped) go back to the page a few at a time for its next frames, and the first block that is not
// silence is announced ("heard").
'use strict';
const START_FRAMES = 2646, MOST_FRAMES = 8820, GIVE_BACK = 8;

class KirakeOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.chunks = [];
    this.at = 0;  // samples of chunks[0] already played
    this.queued = 0;  // frames
    this.waiting = true;
    this.heard = false;
    this.played = [];  // buffers to give back, and their transfer list
    this.transfer = [];
    this.port.onmessage = (event) => {
      this.chunks.push(event.data);
      this.queued += event.data.length / 2;
      while (this.queued > MOST_FRAMES) this.drop();
    };
  }
  drop() {
    const chunk = this.chunks.shift();
    this.queued -= (chunk.length - this.at) / 2;
    this.at = 0;
    this.giveBack(chunk);
  }
  giveBack(chunk) {
    this.played.push(chunk);
    this.transfer.push(chunk.buffer);
    if (this.played.length < GIVE_BACK) return;
    this.port.postMessage(this.played, this.transfer);
    this.played.length = 0;
    this.transfer.length = 0;
  }
  process(inputs, outputs) {
    const left = outputs[0][0], right = outputs[0][1] || outputs[0][0];
    let i = 0, loud = 0;
    if (this.waiting && this.queued >= START_FRAMES) this.waiting = false;
    while (!this.waiting && i < left.length && this.chunks.length) {
      const chunk = this.chunks[0];
      for (; i < left.length && this.at < chunk.length; ++i, this.at += 2) {
        left[i] = chunk[this.at] / 32768;
        right[i] = chunk[this.at + 1] / 32768;
        loud |= chunk[this.at] | chunk[this.at + 1];
      }
      if (this.at >= chunk.length) { this.giveBack(this.chunks.shift()); this.at = 0; }
    }
    if (loud && !this.heard) {
      this.heard = true;
      this.port.postMessage('heard');
    }
    this.queued = Math.max(0, this.queued - i);
    if (i < left.length) this.waiting = true;
    for (; i < left.length; ++i) left[i] = right[i] = 0;
    return true;
  }
}
registerProcessor('kirake-output', KirakeOutput);
