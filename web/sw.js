// The service worker: keeps this build's files for offline play. Each build has its own cache (named by
// the version below, a digest of the files); a new build's worker fills its cache, takes over, and removes
// the old one; the page in use keeps running with what it loaded, and the next start uses the new build.
//
// The cache holds only the build's own bytes: make-site.js writes each file's SHA-256 below, and a
// response is kept only when its bytes have that digest. Filling the cache asks the HTTP cache first (the
// page has just loaded most files: they come back revalidated, not downloaded again); what does not match
// (a proxy's error page, a half-updated server) is fetched once more past the HTTP cache, and a file that
// still does not match fails the install, which the next visit tries again.
// The host's own configuration (data-origins.json) is not the build's: it comes from the network whenever
// the network answers, and from the copy kept then only offline.
'use strict';
const VERSION = '@VERSION@';
const DIGESTS = @DIGESTS@;  // file name -> SHA-256 of its bytes, in hex
const CONFIG = ['data-origins.json'];
const CACHE = 'kirake-' + VERSION;
const FILES = Object.keys(DIGESTS);

function hex(buffer) {
  return Array.from(new Uint8Array(buffer), (b) => b.toString(16).padStart(2, '0')).join('');
}

// The response for a build file if its bytes are the build's, else null.
function verified(name, response) {
  if (!response || response.status !== 200) return Promise.resolve(null);
  return response.clone().arrayBuffer().then((bytes) => crypto.subtle.digest('SHA-256', bytes))
    .then((digest) => (hex(digest) === DIGESTS[name] ? response : null));
}

function fetchVerified(name, url, mode) {
  return fetch(new Request(url, { cache: mode })).then((response) => verified(name, response), () => null);
}

// A file from the HTTP cache (the page itself: at the address the page was opened with), else anew.
function keep(cache, name, pageUrl) {
  return fetchVerified(name, name === 'index.html' && pageUrl ? pageUrl : name, 'default')
    .then((response) => response || fetchVerified(name, name, 'reload'))
    .then((response) => {
      if (!response) throw new Error(name + ': the server did not send this build\'s file');
      return cache.put(name, response);
    });
}

// The address of a page of this scope that has opened the page itself (index.html, maybe with a query).
function pageUrl() {
  const scope = self.registration.scope;
  return self.clients.matchAll({ type: 'window', includeUncontrolled: true }).then((windows) => {
    const page = windows.map((w) => new URL(w.url)).find((u) => u.origin + u.pathname === scope || u.origin + u.pathname === scope + 'index.html');
    return page ? page.origin + page.pathname + page.search : null;
  });
}

self.addEventListener('install', (event) => {
  event.waitUntil(Promise.all([caches.open(CACHE), pageUrl()])
    .then(([cache, page]) => Promise.all(FILES.map((name) => keep(cache, name, page))))
    .catch((error) => caches.delete(CACHE).then(() => { throw error; }))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys().then((names) => Promise.all(names.filter((n) => n.startsWith('kirake-') && n !== CACHE)
    .map((n) => caches.delete(n)))).then(() => self.clients.claim()));
});

// The configuration: the network's answer (kept for offline), the kept copy only when there is none.
function networkFirst(request, name) {
  return fetch(request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      caches.open(CACHE).then((cache) => cache.put(name, copy)).catch(() => {});
    }
    return response;
  }, (error) => caches.open(CACHE).then((cache) => cache.match(name)).then((kept) => {
    if (kept) return kept;
    throw error;
  }));
}

// The build's own files from the cache (the page whatever its query), the configuration network first;
// everything else from the network. Nothing fetched here goes into the cache unchecked.
self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) return;
  const scope = new URL(self.registration.scope);
  const name = url.pathname.startsWith(scope.pathname) ? url.pathname.slice(scope.pathname.length) : null;
  if (name !== null && CONFIG.indexOf(name) >= 0) {
    event.respondWith(networkFirst(request, name));
    return;
  }
  const key = request.mode === 'navigate' && (name === '' || name === 'index.html') ? 'index.html' : name;
  if (key === null || !Object.prototype.hasOwnProperty.call(DIGESTS, key)) return;
  event.respondWith(caches.open(CACHE).then((cache) => cache.match(key)).then((cached) => cached || fetch(request)));
});
