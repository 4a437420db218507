// A bad address or a bad file gets a clear message on the page, and the
// picture before it stays.
import { test, expect, openView, settled, canvasPixels, expectSamePixels, message } from '../fixtures.mjs';

const GOOD = 'T=MANDEL, Cr=-0.7453, Ci=0.1127, W=0.012, I=800, MCF=fire, DM=3';
const BASE = 'T=MANDEL&Cr=-0.65&Ci=0&I=400&MCF=ocean&DM=3';

const BAD_FRAGMENTS = [
  ['letters for a number', 'T=MANDEL&Cr=minus.one&Ci=0&W=2.6&I=400&DM=3'],
  ['letters for the iterations', `${BASE}&W=2.6`.replace('I=400', 'I=four')],
  ['a width of 100,000 digits', `${BASE}&W=${'9'.repeat(100_000)}`],
  ['a negative width', `${BASE}&W=-2.6`],
  ['an unknown kind', 'T=SQUARE&Cr=0&Ci=0&W=2'],
];

// A new address, once the page has seen it, with the message of the one
// before cleared.
async function setHash(page, fragment) {
  await page.evaluate((f) => new Promise((done) => {
    document.querySelector('#message').textContent = '';
    window.addEventListener('hashchange', done, { once: true });
    location.hash = f;
  }), fragment);
}

// A clear message: some words of text, no leak of the script's values.
function expectClear(text, what) {
  expect(text, `${what}: a message`).toMatch(/\p{L}{3,}/u);
  expect(text.length, `${what}: a message of reasonable length`).toBeLessThan(400);
  expect(text, what).not.toMatch(/undefined|NaN|\[object|Error:|RuntimeError|abort\(/);
}

// Both modules: the one of one thread, and the one with threads that a
// cross-origin isolated page runs, whose exceptions are another kind.
for (const [where, site] of [['', 'url'], [' (isolated)', 'isolatedUrl']]) {

test(`a bad address keeps the picture and says why${where}`, async ({ page, sites }, testInfo) => {
  await openView(page, sites[site], GOOD);
  const picture = await canvasPixels(page);
  for (const [what, fragment] of BAD_FRAGMENTS) {
    await setHash(page, fragment);
    await expect.poll(() => message(page), { message: what }).not.toBe('');
    await settled(page);
    expectClear(await message(page), what);
    await expectSamePixels(testInfo, await canvasPixels(page), picture, what);
  }
  // A good view again clears the message.
  await setHash(page, 'T=MANDEL&Cr=-0.65&Ci=0&W=2.6&I=400&MCF=ocean&DM=3');
  await settled(page);
  await expect(page.locator('#message')).toHaveText(/^\s*$/);
});

test(`a bad scene file or palette keeps the picture and says why${where}`, async ({ page, sites }, testInfo) => {
  await openView(page, sites[site], GOOD);
  const picture = await canvasPixels(page);
  const files = [
    ['#open-scenes', 'a scene with letters for a number', 'bad.mrp', 'T=MANDEL, Title=bad, Cr=abc, Ci=0, W=2.6\r\n'],
    ['#open-scenes', 'a file of no scenes', 'empty.mrp', '* nothing but a comment\r\n'],
    ['#open-scenes', 'bytes of no text', 'noise.mrp', Buffer.from([0, 255, 129, 0, 13, 10, 0xfc, 0xfc])],
    ['#open-palette', 'a palette of no colours', 'bad.mcf', 'not a palette\r\n'],
  ];
  for (const [input, what, name, content] of files) {
    await page.evaluate(() => { document.querySelector('#message').textContent = ''; });
    await page.locator(input).setInputFiles({ name, mimeType: 'application/octet-stream', buffer: Buffer.from(content) });
    await expect.poll(() => message(page), { message: what }).not.toBe('');
    await settled(page);
    expectClear(await message(page), what);
    await expectSamePixels(testInfo, await canvasPixels(page), picture, what);
  }
});

}
