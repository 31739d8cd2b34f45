// A slow network link between the browser and a local server: a TCP relay that passes every byte on in
// order, each direction paced to the link's rate (one link shared by all connections, as a phone's is) and
// delayed by half the round trip; a new connection's first bytes wait one round trip more (its
// handshake). Unlike the browser's own network emulation it slows everything: the page's fetches, the
// service worker's, the worker script.
//   const relay = await link(serverPort, { roundTripMs: 20, bytesPerSecond: 1.5e6 });
//   ... http://127.0.0.1:${relay.port}/ ...; relay.bytes.down, relay.bytes.up, relay.connections; relay.close()
'use strict';
const net = require('net');

const SLICE = 4096;  // bytes paced at a time: 2.7 ms at 1.5 MB/s

function link(targetPort, options) {
  const halfTrip = options.roundTripMs / 2, msPerByte = 1000 / options.bytesPerSecond;
  const directions = { up: { free: 0 }, down: { free: 0 } };
  const bytes = { up: 0, down: 0 };
  const sockets = new Set();
  const relay = { port: 0, bytes, connections: 0 };

  // from -> to through one direction of the link: this connection's bytes in a queue of [due, bytes],
  // due times never decreasing, passed on in order by one timer.
  function pipe(from, to, direction, extraMs) {
    const line = directions[direction], queue = [];
    let last = 0, timer = null, ended = false;
    function drain() {
      timer = null;
      while (queue.length && queue[0][0] <= performance.now()) {
        const [, slice] = queue.shift();
        if (slice === null) to.end(); else if (!to.destroyed) to.write(slice);
      }
      if (queue.length) timer = setTimeout(drain, Math.max(0, queue[0][0] - performance.now()));
    }
    function push(due, slice) {
      queue.push([due, slice]);
      if (timer === null) timer = setTimeout(drain, Math.max(0, due - performance.now()));
    }
    from.on('data', (chunk) => {
      bytes[direction] += chunk.length;
      for (let at = 0; at < chunk.length; at += SLICE) {
        const slice = chunk.subarray(at, Math.min(chunk.length, at + SLICE));
        line.free = Math.max(performance.now(), line.free) + slice.length * msPerByte;
        last = Math.max(last, line.free + halfTrip + extraMs);
        extraMs = 0;
        push(last, slice);
      }
    });
    from.on('end', () => {
      if (ended) return;
      ended = true;
      push(Math.max(last, performance.now() + halfTrip), null);
    });
  }

  const server = net.createServer({ allowHalfOpen: true }, (client) => {
    relay.connections++;
    const upstream = net.connect({ port: targetPort, host: '127.0.0.1', allowHalfOpen: true });
    for (const s of [client, upstream]) {
      sockets.add(s);
      s.setNoDelay(true);
      s.on('error', () => { client.destroy(); upstream.destroy(); });
      s.on('close', () => sockets.delete(s));
    }
    pipe(client, upstream, 'up', options.roundTripMs);
    pipe(upstream, client, 'down', 0);
  });
  relay.close = () => {
    server.close();
    for (const s of sockets) s.destroy();
  };
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => { relay.port = server.address().port; resolve(relay); });
  });
}

module.exports = { link };
