import { chromium } from 'playwright-core';

// Debian's chromium with a profile of its own (service workers, storage),
// quiet: no network of its own, no first-run pages.
export function launchChromium(profile, options = {}) {
  return chromium.launchPersistentContext(profile, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--no-first-run',
      '--disable-quic',
    ],
    viewport: { width: 1280, height: 900 },
    acceptDownloads: true,
    ...options,
  });
}
