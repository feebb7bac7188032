// The service worker that keeps the page working offline once it has loaded: every file of
// the site from the network when it answers (so a new version shows at once), else as kept.
'use strict';

const KEPT = 'vantrel-site';
const FILES = ['./', 'index.html', 'page.js', 'page.css', 'worker.js', 'vantrel.js', 'vantrel.wasm'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(KEPT).then((cache) => cache.addAll(FILES)));
});

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET' || new URL(event.request.url).origin !== location.origin) return;
  event.respondWith(fetch(event.request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      caches.open(KEPT).then((cache) => cache.put(event.request, copy));
    }
    return response;
  }).catch(() => caches.match(event.request).then((kept) => kept || Response.error())));
});
