// The view follows the wheel and the drag into the address; the address, a
// reload and a kept line all give the picture nimbrel-render draws.
import { test, expect, openView, settled, canvasPixels, canvasSize, render, expectSamePixels, fieldsOf, lineOf, fragmentOf }
  from '../fixtures.mjs';
import { readFileSync } from 'node:fs';

// Room on the right of the page's panel for the pointer.
test.use({ viewport: { width: 640, height: 400 } });

const START = 'T=MANDEL, Cr=-0.65, Ci=0.1, W=2.6, I=400, MCF=ocean, DM=3';

// A point of the canvas near (fx, fy) of its size that no control covers, in
// canvas pixels and page coordinates.
async function canvasPoint(page, fx, fy) {
  return page.evaluate(([fx, fy]) => {
    const c = document.querySelector('#picture');
    const r = c.getBoundingClientRect();
    for (let step = 0; step < 40; ++step) {
      const x = Math.round(r.width * fx) + (step % 2 ? -1 : 1) * 3 * step;
      const y = Math.round(r.height * fy) + 2 * step;
      if (document.elementFromPoint(r.left + x + 0.25, r.top + y + 0.25) === c)
        return { x, y, pageX: r.left + x + 0.25, pageY: r.top + y + 0.25 };
    }
    return null;
  }, [fx, fy]);
}

async function viewChange(page, before) {
  await page.waitForFunction((h) => location.hash !== h, before);
  await settled(page);
  return fieldsOf(new URL(page.url()).hash);
}

// The picture, and figures that count it (the iterations of a view after the
// first are not compared with nimbrel-render's: the explorer's draw of a new
// view need not do the same work as a fresh engine's).
async function expectSameDraw(page, testInfo, pixels, expected, what) {
  await expectSamePixels(testInfo, pixels, expected, what);
  const iterations = (await page.evaluate(() => window.nimbrel.stats())).iterations;
  expect(Number.isSafeInteger(iterations) && iterations > 0, `${what}: iterations ${iterations}`).toBe(true);
}

function expectNear(actual, expected, tolerance, what) {
  expect(Math.abs(Number(actual) - expected), `${what} ${actual}, expected ${expected}`).toBeLessThanOrEqual(tolerance);
}

test('a wheel notch zooms in by 2 at the pointer, a drag moves; the address gives the same picture', async ({ page, sites }, testInfo) => {
  await openView(page, sites.url, START);
  const { width, height } = await canvasSize(page);
  const step = 2.6 / height;  // W is the view's height

  const p = await canvasPoint(page, 0.8, 0.3);
  expect(p, 'a point of the canvas free of controls').not.toBeNull();
  await page.mouse.move(p.pageX, p.pageY);
  let hash = new URL(page.url()).hash;
  await page.mouse.wheel(0, -100);
  const zoomed = await viewChange(page, hash);
  expectNear(zoomed.W, 1.3, 1e-12, 'W');
  expectNear(zoomed.Cr, -0.65 + (p.x - width / 2) * step / 2, step * 1e-6, 'Cr');
  expectNear(zoomed.Ci, 0.1 - (p.y - height / 2) * step / 2, step * 1e-6, 'Ci');
  expect([zoomed.T, zoomed.I, zoomed.MCF, zoomed.DM]).toEqual(['MANDEL', '400', 'ocean', '3']);
  const zoomedHash = new URL(page.url()).hash;
  const zoomedPixels = await canvasPixels(page);
  await expectSameDraw(page, testInfo, zoomedPixels, render(lineOf(zoomedHash), width, height), 'zoomed');

  // A drag of (40, 20) pixels moves the picture with the pointer.
  const q = await canvasPoint(page, 0.75, 0.6);
  await page.mouse.move(q.pageX, q.pageY);
  await page.mouse.down();
  await page.mouse.move(q.pageX + 20, q.pageY + 10, { steps: 3 });
  await page.mouse.move(q.pageX + 40, q.pageY + 20, { steps: 3 });
  await page.mouse.up();
  const moved = await viewChange(page, zoomedHash);
  const zstep = 1.3 / height;
  expectNear(moved.W, 1.3, 1e-12, 'W');
  expectNear(moved.Cr, Number(zoomed.Cr) - 40 * zstep, zstep * 1e-6, 'Cr');
  expectNear(moved.Ci, Number(zoomed.Ci) + 20 * zstep, zstep * 1e-6, 'Ci');
  const movedHash = new URL(page.url()).hash;
  const movedPixels = await canvasPixels(page);
  await expectSameDraw(page, testInfo, movedPixels, render(lineOf(movedHash), width, height), 'moved');

  // Back and forward step through the views.
  await page.goBack();
  await page.waitForFunction((h) => location.hash === h, zoomedHash);
  await settled(page);
  await expectSamePixels(testInfo, await canvasPixels(page), zoomedPixels, 'back');
  await page.goForward();
  await page.waitForFunction((h) => location.hash === h, movedHash);
  await settled(page);
  await expectSamePixels(testInfo, await canvasPixels(page), movedPixels, 'forward');

  // The address alone: a reload draws the same.
  await page.reload();
  await settled(page);
  expect(new URL(page.url()).hash).toBe(movedHash);
  await expectSamePixels(testInfo, await canvasPixels(page), movedPixels, 'reloaded');
});

test('two fingers moving apart zoom in by 2 between them', async ({ page, sites }) => {
  await openView(page, sites.url, START);
  const p = await canvasPoint(page, 0.8, 0.5);
  const hash = new URL(page.url()).hash;
  await page.evaluate(([x, y]) => {
    const c = document.querySelector('#picture');
    const touch = (type, id, cx) => c.dispatchEvent(new PointerEvent(type, {
      pointerId: id, pointerType: 'touch', isPrimary: id === 1, clientX: cx, clientY: y, bubbles: true }));
    touch('pointerdown', 1, x - 20);
    touch('pointerdown', 2, x + 20);
    touch('pointermove', 1, x - 40);
    touch('pointermove', 2, x + 40);
    touch('pointerup', 1, x - 40);
    touch('pointerup', 2, x + 40);
  }, [p.pageX, p.pageY]);
  const zoomed = await viewChange(page, hash);
  expectNear(zoomed.W, 1.3, 1e-12, 'W');
});

test('back after a reload: the view before it', async ({ page, sites }, testInfo) => {
  const a = 'T=MANDEL, Cr=-0.65, Ci=0.1, W=2.6, I=400, MCF=ocean, DM=3';
  await openView(page, sites.url, a);
  const pixels = await canvasPixels(page);
  await openView(page, sites.url, a.replace('Cr=-0.65', 'Cr=-0.5'));
  await page.reload();
  await settled(page);
  await page.goBack();
  await expect.poll(() => page.evaluate(() => location.hash), { timeout: 5000 }).toBe(`#${fragmentOf(a)}`);
  // The fault shows once the page has started again on the entry.
  await page.waitForTimeout(2000);
  await settled(page);
  expect(await page.evaluate(() => location.hash)).toBe(`#${fragmentOf(a)}`);
  await expectSamePixels(testInfo, await canvasPixels(page), pixels, 'back after a reload');
});

test('keep: the kept line draws the same in nimbrel-render, and the download holds it', async ({ page, sites }, testInfo) => {
  const line = 'T=JULIA, Cr=0.05, Ci=-0.1, W=1.5, Jr=-0.8, Ji=0.156, I=600, MCF=fire, DM=1';
  await openView(page, sites.url, line);
  const before = await page.evaluate(() => window.nimbrel.keptLines().length);
  await page.locator('#keep').click();
  await expect.poll(() => page.evaluate(() => window.nimbrel.keptLines().length)).toBe(before + 1);
  const kept = await page.evaluate(() => window.nimbrel.keptLines().at(-1));
  expect(kept).toMatch(/^T=JULIA,/);
  const { width, height } = await canvasSize(page);
  await expectSamePixels(testInfo, await canvasPixels(page), render(kept, width, height), 'kept');

  const download = page.waitForEvent('download');
  await page.locator('#download-kept').click();
  const file = readFileSync(await (await download).path());
  expect(file.toString('latin1')).toContain(`${kept}\r\n`);
  expect(file.toString('latin1').replace(/\r\n/g, '')).not.toMatch(/[\r\n]/);
});

// Isolated, the input reaches the worker through the shared ring while it
// draws, and the draw it stops ends by the module's exception: the slow view
// never completes, and the zoomed one is what its address gives afresh.
test('a wheel notch during a draw, isolated: the draw stops and the zoomed view is drawn', async ({ page, sites }, testInfo) => {
  test.setTimeout(180_000);  // two slow draws, one on a single worker
  const slow = 'T=MANDEL, Cr=-0.7453, Ci=0.1127, W=0.012, I=10000, MCF=fire, DM=3';
  await page.goto(`${sites.isolatedUrl}#${fragmentOf(slow)}`);
  await page.waitForFunction(() => window.nimbrel && window.nimbrel.isolated !== undefined && window.nimbrel.pictures > 1);
  const p = await canvasPoint(page, 0.7, 0.4);
  await page.mouse.move(p.pageX, p.pageY);
  await page.mouse.wheel(0, -100);
  await expect.poll(() => page.evaluate(() => location.hash)).toContain('W=0.006');
  await settled(page);
  expect(await page.evaluate(() => document.querySelector('#message').textContent)).toBe('');
  expect((await page.evaluate(() => window.nimbrel.stats())).pictures, 'pictures completed').toBe(1);
  const zoomed = await canvasPixels(page);
  await openView(page, sites.url, lineOf(new URL(page.url()).hash));
  await expectSamePixels(testInfo, await canvasPixels(page), zoomed, 'the zoomed view afresh');
});
