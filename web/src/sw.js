// The site's service worker: after one visit from a host, the page opens and
// runs with the network off.
//
// Each build puts its files under a folder of their own, v/<version>/, the
// version being a hash of their contents, and its index.html names that
// folder. A page is therefore made of one build's files only: a cached
// index.html brings its own build's files from the cache, and a fresh one
// from the network names the new folder. Pages always come from the
// network when it answers, so a new build is what the next visit shows.
// The install keeps all of a build's files but those a visit loads only
// when it needs them (the full engine): each of those is kept when it
// is first fetched.
/* global SITE_VERSION, SITE_FILES */
const kCachePrefix = 'mirvo-site-';
const kCache = `${kCachePrefix}${SITE_VERSION}`;
const kPage = new URL('./', self.registration.scope).href;
const kBuild = new URL(`v/${SITE_VERSION}/`, kPage).href;

self.addEventListener('install', (event) => {
  // All of this build's files, or none: addAll fails as a whole.
  const requests = SITE_FILES.map((file) => new Request(new URL(file, kPage), { cache: 'reload' }));
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(requests)));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(
    (async () => {
      for (const name of await caches.keys()) {
        if (name.startsWith(kCachePrefix) && name !== kCache) await caches.delete(name);
      }
      await self.clients.claim();
    })(),
  );
});

async function openPage(request) {
  try {
    return await fetch(request);
  } catch (error) {
    const cached = await caches.match(kPage, { cacheName: kCache });
    if (cached) return cached;
    throw error;
  }
}

self.addEventListener('fetch', (event) => {
  const { request } = event;
  if (request.method !== 'GET' || !request.url.startsWith(kPage)) return;
  if (request.mode === 'navigate') {
    event.respondWith(openPage(request));
    return;
  }
  // A build's files never change under their name: any cache's copy is it.
  event.respondWith(caches.match(request).then((cached) => cached ?? fetchAndKeep(request)));
});

// A file of this build not kept yet is kept once fetched.
async function fetchAndKeep(request) {
  const response = await fetch(request);
  if (response.ok && request.url.startsWith(kBuild)) {
    const cache = await caches.open(kCache);
    await cache.put(request, response.clone());
  }
  return response;
}
