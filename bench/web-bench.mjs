// The sample scenes at 1280x720 in Chromium beside nimbrel-render --stats on
// the same machine: seconds per scene and the ratio of the page to the native
// program, on one worker (a plain server) and on all cores (cross-origin
// isolated), each scene drawn a second time once the browser has optimised the
// module's code. Needs the built site (scripts/web), a release build and the web
// tests' packages (scripts/install-deps):
//   node bench/web-bench.mjs [MRPFILE] [WxH]
import { execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { mkdtempSync, readFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const source = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const require = createRequire(path.join(source, 'tests/web/package.json'));
const { chromium } = require('@playwright/test');
const { serve } = await import(path.join(source, 'tests/web/server.mjs'));

const mrp = process.argv[2] || path.join(source, 'samples/scenes.mrp');
const [width, height] = (process.argv[3] || '1280x720').split('x').map(Number);
const site = process.env.NIMBREL_SITE || path.join(source, 'build/web/site');
const renderer = process.env.NIMBREL_RENDER || path.join(source, 'build/release/nimbrel-render');

// The scene lines, as the page's fragments (the title and memo left out).
const lines = new TextDecoder('shift_jis').decode(readFileSync(mrp)).split(/\r?\n/)
  .filter((l) => /^T=(MANDEL|JULIA)\b/.test(l));
const fragments = lines.map((l) => l.split(/,\s*/).filter((p) => !/^(Title|Memo)=/.test(p))
  .map((p) => { const i = p.indexOf('='); return `${p.slice(0, i)}=${encodeURIComponent(p.slice(i + 1))}`; })
  .join('&'));

// Native: one run over the file, seconds from --stats.
const out = mkdtempSync(path.join(os.tmpdir(), 'web-bench-'));
const stats = execFileSync(renderer, ['--stats', '-s', `${width}x${height}`, '-o', out, mrp], { encoding: 'utf8' });
const native = [];
for (const m of stats.matchAll(/^scene (\d+): draw mode \d+, .* ([0-9.]+) s$/gm)) native[Number(m[1])] = Number(m[2]);
// And on one core, as the page's one worker.
const stats1 = execFileSync(renderer, ['--stats', '-s', `${width}x${height}`, '-o', out, mrp],
  { encoding: 'utf8', env: { ...process.env, NIMBREL_THREADS: '1' } });
let native1 = 0;
for (const m of stats1.matchAll(/^scene (\d+): draw mode \d+, .* ([0-9.]+) s$/gm)) native1 += Number(m[2]);

async function browserSeconds(isolate) {
  const server = await serve(site, { isolate });
  const browser = await chromium.launch({
    executablePath: process.env.NIMBREL_CHROMIUM || '/usr/lib/chromium/chromium',
    headless: true, args: ['--no-sandbox', '--disable-gpu'] });
  const page = await browser.newPage({ viewport: { width, height }, deviceScaleFactor: 1, serviceWorkers: 'block' });
  const start = Date.now();
  await page.goto(`${server.url}#${fragments[0]}`);
  await page.waitForFunction(() => window.nimbrel && window.nimbrel.ready);
  await page.evaluate(async () => { await window.nimbrel.ready; await window.nimbrel.idle(); });
  const firstPicture = (Date.now() - start) / 1000;
  // Each scene from a hash change, the first one last (the page shows it now),
  // with a view unlike every scene between two of them, so that each scene is
  // drawn afresh.
  async function drawAll() {
    const results = [];
    for (const i of [...fragments.keys()].slice(1).concat([0])) {
      results[i] = await page.evaluate(async (f) => {
        const t0 = performance.now();
        await new Promise((r) => { window.addEventListener('hashchange', r, { once: true }); location.hash = f; });
        await window.nimbrel.idle();
        return { wall: (performance.now() - t0) / 1000, stats: window.nimbrel.stats() };
      }, fragments[i]);
      await page.evaluate(() => new Promise((r) => {
        window.addEventListener('hashchange', r, { once: true });
        location.hash = 'T=MANDEL&Cr=0&Ci=0&W=4&I=20&DM=0';
      }).then(() => window.nimbrel.idle()));
    }
    return results;
  }
  // Once while the browser still runs the module's first, quickly compiled
  // code (cold), then again once it has optimised the hot functions (warm).
  const cold = (await drawAll()).reduce((sum, r) => sum + r.wall, 0);
  const results = await drawAll();
  const threads = await page.evaluate(() => window.nimbrel.stats().threads);
  await browser.close();
  await server.close();
  return { firstPicture, results, threads, cold };
}

const single = await browserSeconds(false);
const all = await browserSeconds(true);
const cpu = execFileSync('lscpu', { encoding: 'utf8' }).match(/^Model name:\s*(.*)$/m)?.[1] || 'unknown';
console.log(`${lines.length} scenes of ${path.basename(mrp)} at ${width}x${height} on ${cpu}, ${os.cpus().length} cores`);
console.log(`first picture on loading: ${single.firstPicture.toFixed(2)} s on one worker, ` +
  `${all.firstPicture.toFixed(2)} s on all cores (${all.threads} threads)`);
console.log(`the scenes in a page just loaded (cold): ${single.cold.toFixed(2)} s on one worker, ` +
  `${all.cold.toFixed(2)} s on all cores; once the browser has optimised the module (warm):`);
console.log('scene  native s  page 1 worker s  ratio  page all cores s  ratio  page ms (stats)');
let sums = [0, 0, 0];
lines.forEach((_, i) => {
  const n = native[i], a = single.results[i].wall, b = all.results[i].wall;
  sums = [sums[0] + n, sums[1] + a, sums[2] + b];
  console.log(`${String(i).padStart(5)}  ${n.toFixed(3).padStart(8)}  ${a.toFixed(3).padStart(15)}  ` +
    `${(a / n).toFixed(2).padStart(5)}  ${b.toFixed(3).padStart(16)}  ${(b / n).toFixed(2).padStart(5)}  ` +
    `${single.results[i].stats?.milliseconds ?? '-'} / ${all.results[i].stats?.milliseconds ?? '-'}`);
});
console.log(`  all  ${sums[0].toFixed(3).padStart(8)}  ${sums[1].toFixed(3).padStart(15)}  ` +
  `${(sums[1] / sums[0]).toFixed(2).padStart(5)}  ${sums[2].toFixed(3).padStart(16)}  ${(sums[2] / sums[0]).toFixed(2).padStart(5)}`);
console.log(`native on one core: ${native1.toFixed(3)} s in all; the page on one worker takes ${(sums[1] / native1).toFixed(2)} times that`);
