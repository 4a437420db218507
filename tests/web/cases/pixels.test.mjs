// The page of a view draws nimbrel-render's picture of the same scene line at
// the canvas's size, pixel for pixel, with or without cross-origin isolation.
import { existsSync } from 'node:fs';
import path from 'node:path';
import { test, expect, openView, canvasPixels, canvasSize, render, expectSamePixels, SITE } from '../fixtures.mjs';

// Each kind, powers 2 to 5, the integer draw modes 0 to 4, and shaded ones.
const VIEWS = [
  ['Mandelbrot, mode 0', 'T=MANDEL, Cr=-0.7453, Ci=0.1127, W=0.012, I=800, MCF=fire, DM=0'],
  ['Mandelbrot, mode 1', 'T=MANDEL, Cr=0.2925, Ci=0.0149, W=0.02, I=600, D=2, MCF=aurora, DM=1'],
  ['Mandelbrot, mode 2, power 5', 'T=MANDEL, Cr=0, Ci=0, W=2.9, Pow=5, I=300, MCF=ocean, DM=2'],
  ['Mandelbrot, mode 3', 'T=MANDEL, Cr=-0.65, Ci=0, W=2.6, I=400, MCF=ocean, DM=3'],
  ['Mandelbrot, mode 4, power 3', 'T=MANDEL, Cr=-0.1, Ci=0.8, W=0.5, Pow=3, I=500, MCF=copper, DM=4'],
  ['Julia, mode 0', 'T=JULIA, Cr=0, Ci=0, W=2.6, Jr=-0.123, Ji=0.745, I=500, MCF=ocean, DM=0'],
  ['Julia, mode 1, power 3', 'T=JULIA, Cr=0, Ci=0, W=3, Pow=3, Jr=-0.4, Ji=0.6, I=300, MCF=fire, DM=1'],
  ['Julia, mode 3', 'T=JULIA, Cr=0.1, Ci=-0.2, W=1.2, Jr=-0.8, Ji=0.156, I=600, D=3, MCF=jewel, DM=3'],
  // The shaded modes: smooth potentials through log, pow and cos.
  ['Mandelbrot, mode 5', 'T=MANDEL, Cr=-1.7687, Ci=0.0017, W=0.004, I=1000, MCF=copper, DM=5'],
  ['Mandelbrot, mode 6', 'T=MANDEL, Cr=-0.75, Ci=0, W=2.6, I=600, MCF=relief, DM=6, PB=3, RE=1, CO=1'],
  ['Julia, mode 7', 'T=JULIA, Cr=0, Ci=0, W=2.4, Jr=-0.8, Ji=0.156, I=600, MCF=relief, DM=7, PB=3, ER=50'],
  ['Julia, mode 8', 'T=JULIA, Cr=0, Ci=0, W=2.4, Jr=-0.8, Ji=0.156, I=600, MCF=relief, DM=8, PB=1'],
];

for (const [name, line] of VIEWS) {
  test(`${name}: the page draws nimbrel-render's picture`, async ({ page, sites }, testInfo) => {
    await openView(page, sites.url, line);
    await expect(page.locator('#message')).toHaveText(/^\s*$/);
    const { width, height } = await canvasSize(page);
    expect(width * height).toBeGreaterThan(0);
    const expected = render(line, width, height);
    await expectSamePixels(testInfo, await canvasPixels(page), expected, name);
    // The page's figures count the draw as nimbrel-render's do.
    expect((await page.evaluate(() => window.nimbrel.stats())).iterations, 'iterations').toBe(expected.iterations);
  });
}

// The module with threads, where the site has it, runs when the page is
// cross-origin isolated; either way the pixels are the same.
const threaded = existsSync(path.join(SITE, 'nimbrel-web-mt.wasm'));

test('cross-origin isolated or not: the same pixels', async ({ page, sites }, testInfo) => {
  for (const [name, line] of [VIEWS[3], VIEWS[7], VIEWS[10]]) {
    await openView(page, sites.url, line);
    expect(await page.evaluate(() => [window.crossOriginIsolated, window.nimbrel.isolated])).toEqual([false, false]);
    const single = await canvasPixels(page);
    await openView(page, sites.isolatedUrl, line);
    expect(await page.evaluate(() => [window.crossOriginIsolated, window.nimbrel.isolated])).toEqual([true, threaded]);
    const threads = (await page.evaluate(() => window.nimbrel.stats())).threads;
    testInfo.annotations.push({ type: 'threads', description: `${name}: ${threads} when isolated` });
    await expectSamePixels(testInfo, await canvasPixels(page), single, `${name} isolated`);
  }
});

// A scene file of the user's own, whose bytes reach the worker in a message
// of their own (never through the shared ring of the isolated page), opens on
// its first scene.
test('a scene file of your own: its first scene, isolated or not', async ({ page, sites }, testInfo) => {
  const line = VIEWS[1][1].replace('DM=1', 'DM=4');
  const titled = l => l.replace(/^(T=\w+), /, '$1, Title=mine, ');
  const file = Buffer.from(`* mine\r\n${titled(line)}\r\n${titled(VIEWS[5][1])}\r\n`);
  for (const site of ['url', 'isolatedUrl']) {
    await openView(page, sites[site], VIEWS[3][1]);
    await page.locator('#open-scenes').setInputFiles({ name: 'mine.mrp', mimeType: 'application/octet-stream', buffer: file });
    await expect.poll(() => page.evaluate(() => location.hash), { message: site }).toContain('DM=4');
    await page.evaluate(() => window.nimbrel.idle());
    const { width, height } = await canvasSize(page);
    await expectSamePixels(testInfo, await canvasPixels(page), render(line, width, height), `own file (${site})`);
  }
});
