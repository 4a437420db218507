// The web page's tests: Debian's Chromium (its real binary, not the wrapper
// on the PATH, which adds flags of its own), headless, one page at a time on
// this small machine. The environment names what the tests use:
//   NIMBREL_SITE      the built site (default: build/web/site of the source)
//   NIMBREL_RENDER    nimbrel-render (default: build/release/nimbrel-render)
//   NIMBREL_CHROMIUM  the browser (default /usr/lib/chromium/chromium)
//   NIMBREL_WEB_OUT   where the tests leave their files (default: out/ here)
import { defineConfig } from '@playwright/test';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

export default defineConfig({
  testDir: path.join(here, 'cases'),
  outputDir: path.join(process.env.NIMBREL_WEB_OUT || path.join(here, 'out'), 'results'),
  workers: 1,
  fullyParallel: false,
  retries: 0,
  timeout: 60_000,
  expect: { timeout: 15_000 },
  reporter: [['list']],
  use: {
    headless: true,
    viewport: { width: 320, height: 240 },
    deviceScaleFactor: 1,
    // The service worker would cache the site and may make a plain server's
    // page cross-origin isolated; the tests choose the server's headers.
    serviceWorkers: 'block',
    launchOptions: {
      executablePath: process.env.NIMBREL_CHROMIUM || '/usr/lib/chromium/chromium',
      // Root in a container has no user namespaces for the sandbox.
      args: ['--no-sandbox', '--disable-gpu'],
    },
  },
});
