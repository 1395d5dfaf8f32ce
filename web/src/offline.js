// Registers the service worker (sw.js beside the page) on a page served from
// a host; a page opened from the disk has no service worker and needs none.
export function keepOffline() {
  if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol)) return;
  const script = new URL('sw.js', location.href);
  navigator.serviceWorker.register(script, { updateViaCache: 'none' }).catch(() => {
    // Without it the page still works; it only needs the network next time.
  });
}
