// The page's show: full screen, scene after scene; with "zoom into every
// scene" each is reached by a journey from the whole set, whose last frame is
// the scene's own picture as nimbrel-render draws it.
import { test, expect, openView, settled, canvasPixels, canvasSize, render, expectSamePixels } from '../fixtures.mjs';

const FIRST = 'T=MANDEL, Title=one, Cr=-0.65, Ci=0, W=2.6, I=300, MCF=ocean, DM=1';
// Two halvings below the whole set: three seconds of flight.
const SECOND = 'T=MANDEL, Title=two, Cr=-0.7453, Ci=0.1127, W=0.75, I=400, MCF=fire, DM=4';

test('the show with journeys zooms into the next scene and ends on its picture', async ({ page, sites }, testInfo) => {
  await openView(page, sites.url, FIRST);
  await page.locator('#open-scenes').setInputFiles({ name: 'two.mrp', mimeType: 'application/octet-stream',
    buffer: Buffer.from(`* two\r\n${FIRST}\r\n${SECOND}\r\n`) });
  await expect.poll(() => page.evaluate(() => location.hash)).toContain('W=2.6');
  await settled(page);
  await page.locator('#journeys').check();
  const before = await page.evaluate(() => [window.nimbrel.pictures, history.length]);
  await page.locator('#show').click();
  await expect(page.locator('body')).toHaveClass(/show/);

  // Frames of the flight, each a picture of its own, while the address
  // already names the scene.
  await expect.poll(() => page.evaluate(() => location.hash)).toContain('W=0.75');
  const frames = [];
  for (let i = 0; i < 3; ++i) {
    frames.push(Buffer.from((await canvasPixels(page)).data).toString('base64'));
    await page.waitForTimeout(400);
  }
  await settled(page);
  const [after, length] = await page.evaluate(() => [window.nimbrel.pictures, history.length]);
  expect(after - before[0], 'pictures sent in the flight').toBeGreaterThan(30);
  expect(new Set(frames).size, 'frames of the flight differ').toBeGreaterThan(1);
  expect(length, 'the show adds no entry to the history').toBe(before[1]);
  const { width, height } = await canvasSize(page);
  await expectSamePixels(testInfo, await canvasPixels(page), render(SECOND, width, height), 'the last frame');

  await page.keyboard.press('x');
  await expect(page.locator('body')).not.toHaveClass(/show/);
});
