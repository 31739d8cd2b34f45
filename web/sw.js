// The service worker: keeps this build's files for offline play. Each build has its own cache (named by
// the version below, a digest of the files); a new build's worker fills its cache, takes over, and removes
// the old one; the page in use keeps running with what it loaded, and the next start uses the new build.
'use strict';
const VERSION = '@VERSION@';
const FILES = @FILES@;
const CACHE = 'kirake-' + VERSION;

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(FILES.map((f) => new Request(f, { cache: 'reload' }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((names) => Promise.all(names.filter((n) => n.startsWith('kirake-') && n !== CACHE)
    .map((n) => caches.delete(n)))).then(() => self.clients.claim()));
});

// The build's own files from the cache (the page whatever its query); everything else from the network.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) return;
  const scope = new URL(self.registration.scope);
  const name = url.pathname.startsWith(scope.pathname) ? url.pathname.slice(scope.pathname.length) : null;
  const key = request.mode === 'navigate' && (name === '' || name === 'index.html') ? 'index.html' : name;
  if (key === null || FILES.indexOf(key) < 0) return;
  event.respondWith(caches.open(CACHE).then((cache) => cache.match(key)).then((cached) => cached || fetch(request)));
});
