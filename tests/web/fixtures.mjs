// What the web page's tests share: the two servers of the built site (plain,
// and cross-origin isolated), the page's test hooks, the canvas's pixels and
// nimbrel-render's picture of a scene line as the oracle.
import { test as base, expect } from '@playwright/test';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readdirSync, copyFileSync, writeFileSync, readFileSync } from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { PNG } from 'pngjs';
import { serve } from './server.mjs';

const source = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const SITE = process.env.NIMBREL_SITE || path.join(source, 'build/web/site');
export const RENDER = process.env.NIMBREL_RENDER || path.join(source, 'build/release/nimbrel-render');
const OUT = process.env.NIMBREL_WEB_OUT || path.join(source, 'tests/web/out');

// The page's palette set, the samples' and the gallery's, in one folder for
// nimbrel-render.
let palettes;
function paletteFolder() {
  if (palettes) return palettes;
  mkdirSync(OUT, { recursive: true });
  palettes = mkdtempSync(path.join(OUT, 'palettes-'));
  for (const set of ['samples', 'gallery']) {
    const dir = path.join(source, set, 'palettes');
    for (const name of readdirSync(dir)) copyFileSync(path.join(dir, name), path.join(palettes, name));
  }
  return palettes;
}

// "T=MANDEL, Cr=-0.75, W=2" <-> "T=MANDEL&Cr=-0.75&W=2" (values URL-encoded).
export function fragmentOf(line) {
  return line.split(/,\s*/).map((pair) => {
    const i = pair.indexOf('=');
    return `${pair.slice(0, i)}=${encodeURIComponent(pair.slice(i + 1))}`;
  }).join('&');
}
export function fieldsOf(fragment) {
  const fields = {};
  for (const pair of fragment.replace(/^#/, '').split('&')) {
    const i = pair.indexOf('=');
    fields[pair.slice(0, i)] = decodeURIComponent(pair.slice(i + 1));
  }
  return fields;
}
export function lineOf(fragment) {
  return Object.entries(fieldsOf(fragment)).map(([k, v]) => `${k}=${v}`).join(', ');
}

// nimbrel-render's picture of one scene line at W x H, as { width, height, data } (RGBA).
let renders = 0;
export function render(line, width, height) {
  const dir = mkdtempSync(path.join(OUT, `render-${process.pid}-${renders++}-`));
  const mrp = path.join(dir, 'scene.mrp');
  // A scene file's lines have titles; ASCII lines are the same in Shift-JIS.
  const titled = /(^|,\s*)Title=/.test(line) ? line : line.replace(/^(T=[A-Z]+)/, '$1, Title=view');
  writeFileSync(mrp, `${titled}\r\n`, 'latin1');
  const png = path.join(dir, 'scene.png');
  const stats = execFileSync(RENDER, ['--stats', '-p', paletteFolder(), '-s', `${width}x${height}`, '-i', '0', '-o', png,
    mrp], { stdio: ['ignore', 'pipe', 'pipe'], encoding: 'utf8' });
  const picture = PNG.sync.read(readFileSync(png));
  // The iterations of the draw, from --stats.
  picture.iterations = Number(stats.match(/kernel calls, (\d+) iterations/)?.[1]);
  return picture;
}

// The page's hooks: loaded, and the picture now requested complete.
export async function settled(page) {
  await page.waitForFunction(() => window.nimbrel && window.nimbrel.ready, null, { timeout: 30_000 });
  await page.evaluate(async () => {
    await window.nimbrel.ready;
    await window.nimbrel.idle();
  });
}

export async function openView(page, url, line) {
  await page.goto(`${url}#${fragmentOf(line)}`);
  await settled(page);
}

// The canvas's backing pixels, as { width, height, data } (RGBA).
export async function canvasPixels(page) {
  const dataUrl = await page.evaluate(() => document.querySelector('#picture').toDataURL('image/png'));
  return PNG.sync.read(Buffer.from(dataUrl.slice(dataUrl.indexOf(',') + 1), 'base64'));
}

export async function canvasSize(page) {
  return page.evaluate(() => {
    const c = document.querySelector('#picture');
    return { width: c.width, height: c.height };
  });
}

// The number of pixels that differ, and the first of them.
export function difference(a, b) {
  if (a.width !== b.width || a.height !== b.height)
    return { count: Infinity, text: `${a.width}x${a.height} against ${b.width}x${b.height}` };
  let count = 0;
  let first = '';
  for (let i = 0; i < a.data.length; i += 4) {
    if (a.data[i] !== b.data[i] || a.data[i + 1] !== b.data[i + 1] || a.data[i + 2] !== b.data[i + 2] ||
        a.data[i + 3] !== b.data[i + 3]) {
      if (!count) {
        const p = i / 4;
        const rgba = (d) => `(${d[i]},${d[i + 1]},${d[i + 2]},${d[i + 3]})`;
        first = `first at (${p % a.width},${Math.floor(p / a.width)}): ${rgba(a.data)} against ${rgba(b.data)}`;
      }
      ++count;
    }
  }
  return { count, text: count ? `${count} of ${a.width * a.height} pixels differ, ${first}` : 'the same' };
}

// Fails unless the two pictures are the same; keeps both as attachments.
export async function expectSamePixels(testInfo, actual, expected, what) {
  const d = difference(actual, expected);
  if (d.count) {
    await testInfo.attach(`${what}-page.png`, { body: PNG.sync.write(actual), contentType: 'image/png' });
    await testInfo.attach(`${what}-expected.png`, { body: PNG.sync.write(expected), contentType: 'image/png' });
  }
  expect(d.text, what).toBe('the same');
}

// The page's message, trimmed.
export async function message(page) {
  return ((await page.locator('#message').textContent()) || '').trim();
}

export const test = base.extend({
  // The built site served twice on the loopback address: url without, and
  // isolatedUrl with, the headers of cross-origin isolation.
  sites: [async ({}, use) => {
    const plain = await serve(SITE);
    const isolated = await serve(SITE, { isolate: true });
    await use({ url: plain.url, isolatedUrl: isolated.url });
    await plain.close();
    await isolated.close();
  }, { scope: 'worker' }],
});
export { expect };
