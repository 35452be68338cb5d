// What the page tests share: a fresh chromium with the page's errors
// collected, loading and starting the game, reading its ticks and its
// picture, and the game's own fall written out.
import assert from 'node:assert/strict';

import { decodePng, launchChromium, Page } from './cdp.mjs';

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The free fall of a new game (y = 400, velocity -70, gravity 15, a tick
// moving the bird by 0.4 of its velocity), tick by tick until it leaves the
// window: the game's own rules, written out.
function fallFromStart() {
  const ys = [400];
  let y = 400;
  let velocity = Math.fround(-70);
  while (y <= 800) {
    velocity = Math.fround(Math.fround(15) * 0.4 + velocity);
    y = Math.trunc(velocity * 0.4 + y);
    ys.push(y);
  }
  return ys;
}
export const FALL = fallFromStart();
export const TICKS_TO_FALL_OUT = FALL.length - 1;  // 33

// A page in a fresh chromium with every console error and uncaught
// exception collected.
export async function openPage(flags = []) {
  const browser = await launchChromium(flags);
  const page = await Page.open(browser);
  const errors = [];
  page.on((method, params) => {
    if (method === 'Runtime.consoleAPICalled' && params.type === 'error') {
      errors.push(params.args.map((arg) => arg.value ?? arg.description).join(' '));
    } else if (method === 'Runtime.exceptionThrown') {
      errors.push(params.exceptionDetails.exception?.description ?? params.exceptionDetails.text);
    } else if (method === 'Log.entryAdded' && params.entry.level === 'error') {
      errors.push(`${params.entry.text} ${params.entry.url ?? ''}`);
    }
  });
  await page.send('Runtime.enable');
  await page.send('Log.enable');
  await page.send('Page.enable');
  return { browser, page, errors };
}

export async function load(page, url) {
  await page.send('Page.navigate', { url });
  await page.waitFor('document.readyState === "complete"');
}

// Loads the page, waits until all of the game is there, and starts it with a
// key, as a player would; resolves at its first frame.
export async function loadAndStart(page, url) {
  await load(page, url);
  await page.waitFor('window.zephrinReadyMs', 30000, 'the game to load');
  await page.press('r');
  return firstFrame(page);
}

// A window of width x height CSS pixels at `scale` device pixels each; a
// phone's (`mobile`) takes touches.
export async function emulateScreen(page, { width, height, scale = 1, mobile = false }) {
  await page.send('Emulation.setDeviceMetricsOverride',
                  { width, height, deviceScaleFactor: scale, mobile });
  await page.send('Emulation.setTouchEmulationEnabled', { enabled: mobile, maxTouchPoints: 5 });
}

export const firstFrame = (page) => page.waitFor('window.zephrinFirstFrameMs', 30000, 'the first frame');
export const ticks = (page) => page.evaluate('Module._zephrin_tick_count()');
export const statusLine = (page) => page.evaluate(
  '({ text: document.getElementById("status").textContent, ' +
  'problem: document.getElementById("status").className === "problem" })');

// Waits until no world tick has run for half a second: the game is over.
export async function waitForGameOver(page, timeoutMs = 15000) {
  const deadline = Date.now() + timeoutMs;
  let count = await ticks(page);
  let still = Date.now();
  while (Date.now() - still < 500) {
    assert.ok(Date.now() < deadline, 'the game never ended');
    await sleep(50);
    const now = await ticks(page);
    if (now !== count) {
      count = now;
      still = Date.now();
    }
  }
  return count;
}

// The canvas's pixels, from a screenshot of the page; the canvas must be
// 800 x 800 pixels of the page at one pixel of the screen each.
export async function canvasPixels(page) {
  const rect = await page.evaluate(
    '(() => { const r = document.getElementById("canvas").getBoundingClientRect(); ' +
    'return { x: r.x, y: r.y, side: r.width, scale: devicePixelRatio }; })()');
  assert.deepEqual([rect.side, rect.scale], [800, 1], 'the canvas at 800 x 800 screen pixels');
  const shot = decodePng(await page.screenshot());
  return {
    at(x, y) {
      const i = ((Math.round(rect.y) + y) * shot.width + Math.round(rect.x) + x) * 4;
      return [shot.rgba[i], shot.rgba[i + 1], shot.rgba[i + 2]];
    },
  };
}

export const near = (pixel, colour, tolerance = 12) =>
  pixel.every((channel, i) => Math.abs(channel - colour[i]) <= tolerance);

