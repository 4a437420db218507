// The service worker: the folder works offline once it has been loaded, and
// on a static host that sends no isolation headers it adds them, so that the
// page may use all cores.
'use strict';
const CACHE = 'nimbrel-@VERSION@';
const FILES = @FILES@;

self.addEventListener('install', event => {
  event.waitUntil(caches.open(CACHE).then(cache => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', event => {
  event.waitUntil(caches.keys()
    .then(keys => Promise.all(keys.filter(k => k.startsWith('nimbrel-') && k !== CACHE).map(k => caches.delete(k))))
    .then(() => self.clients.claim()));
});

function isolated(response) {
  if (!response || response.status === 0 || response.type === 'opaque') return response;
  const headers = new Headers(response.headers);
  headers.set('Cross-Origin-Opener-Policy', 'same-origin');
  headers.set('Cross-Origin-Embedder-Policy', 'require-corp');
  headers.set('Cross-Origin-Resource-Policy', 'same-origin');
  return new Response(response.body, {status: response.status, statusText: response.statusText, headers});
}

self.addEventListener('fetch', event => {
  const url = new URL(event.request.url);
  if (event.request.method !== 'GET' || url.origin !== self.location.origin) return;
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    const path = url.pathname.endsWith('/') ? url.pathname + 'index.html' : url.pathname;
    const cached = await cache.match(path, {ignoreSearch: true});
    if (cached) return isolated(cached);
    try {
      return isolated(await fetch(event.request));
    } catch (error) {
      return new Response('offline', {status: 503});
    }
  })());
});
