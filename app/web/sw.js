// The service worker: keeps every file of the game in one cache named after
// this build, so that after the first visit the game plays offline. A new
// build has a new name and so a new worker, which fetches all of its files
// before it takes over and then deletes the caches of older builds: a page
// never mixes the files of two builds.
'use strict';

const CACHE = '@CACHE_NAME@';
const FILES = ['./', @CACHED_FILES@];

self.addEventListener('install', (event) => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    // Past any HTTP cache, which may still hold an older build's files.
    await cache.addAll(FILES.map((file) => new Request(file, { cache: 'no-cache' })));
    await self.skipWaiting();
  })());
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name !== CACHE && name.startsWith('zephrin-')) {
        await caches.delete(name);
      }
    }
    await self.clients.claim();
  })());
});

// The game's files from the cache, anything else from the network.
self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') {
    return;
  }
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    const kept = await cache.match(event.request, { ignoreSearch: true, ignoreVary: true });
    return kept ?? fetch(event.request);
  })());
});
