// The web build in Debian's headless chromium: the page, the game as a
// player sees it, its timing, and what the page says when something is
// missing. ZEPHRIN_WEB_DIR names the folder to serve (the unpacked zip).
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { measureCadence } from './cadence.mjs';
import { decodePng, launchChromium, Page } from './cdp.mjs';
import { serve } from '../../tools/web/server.mjs';
import { BIRD, PIPE, SKY, stageMedia } from './stage.mjs';

const WEB_DIR = process.env.ZEPHRIN_WEB_DIR;
if (!WEB_DIR) {
  throw new Error('set ZEPHRIN_WEB_DIR to the folder of the web build');
}
const VERSION = process.env.ZEPHRIN_VERSION;  // the version the footer must show
const SCREENSHOT = process.env.ZEPHRIN_WEB_SCREENSHOT;  // where to save the page's picture
const CADENCE_SECONDS = Number(process.env.ZEPHRIN_WEB_CADENCE_SECONDS || 6);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

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
const FALL = fallFromStart();
const TICKS_TO_FALL_OUT = FALL.length - 1;  // 33

// A page in a fresh chromium with every console error and uncaught
// exception collected.
async function openPage(flags = []) {
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

async function load(page, url) {
  await page.send('Page.navigate', { url });
  await page.waitFor('document.readyState === "complete"');
}

const firstFrame = (page) => page.waitFor('window.zephrinFirstFrameMs', 30000, 'the first frame');
const ticks = (page) => page.evaluate('Module._zephrin_tick_count()');
const statusLine = (page) => page.evaluate(
  '({ text: document.getElementById("status").textContent, ' +
  'problem: document.getElementById("status").className === "problem" })');

// Waits until no world tick has run for half a second: the game is over.
async function waitForGameOver(page, timeoutMs = 15000) {
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

// The canvas's pixels, from a screenshot of the page.
async function canvasPixels(page) {
  const rect = await page.evaluate(
    '(() => { const r = document.getElementById("canvas").getBoundingClientRect(); ' +
    'return { x: r.x, y: r.y }; })()');
  const shot = decodePng(await page.screenshot());
  return {
    at(x, y) {
      const i = ((Math.round(rect.y) + y) * shot.width + Math.round(rect.x) + x) * 4;
      return [shot.rgba[i], shot.rgba[i + 1], shot.rgba[i + 2]];
    },
  };
}

const near = (pixel, colour, tolerance = 12) =>
  pixel.every((channel, i) => Math.abs(channel - colour[i]) <= tolerance);

// The centre of the red bird and how many pixels it covers.
function findBird(pixels) {
  let count = 0, sumX = 0, sumY = 0;
  for (let y = 0; y < 800; ++y) {
    for (let x = 250; x < 400; ++x) {
      if (near(pixels.at(x, y), BIRD, 40)) {
        ++count;
        sumX += x;
        sumY += y;
      }
    }
  }
  return { count, x: sumX / count, y: sumY / count };
}

// The runs of pipe-green rows in one column: [first row, last row] each.
function pipeRuns(pixels, x) {
  const runs = [];
  for (let y = 0; y < 800; ++y) {
    if (near(pixels.at(x, y), PIPE)) {
      if (runs.length && runs.at(-1)[1] === y - 1) {
        runs.at(-1)[1] = y;
      } else {
        runs.push([y, y]);
      }
    }
  }
  return runs;
}

describe('the page with the game\'s own art', () => {
  let server, browser, page, errors;
  before(async () => {
    server = await serve(WEB_DIR);
    ({ browser, page, errors } = await openPage());
    await load(page, server.url);
    const ms = await firstFrame(page);
    console.log(`# first frame ${ms.toFixed(0)} ms after navigation (fresh browser)`);
  });
  after(async () => {
    page?.close();
    await browser?.close();
    await server?.close();
  });

  it('has the title, an 800 x 800 canvas centred and focused, the keys under it, the version in the footer', async () => {
    const page_ = await page.evaluate(`(() => {
      const canvas = document.getElementById('canvas');
      const box = canvas.getBoundingClientRect();
      const status = document.getElementById('status').getBoundingClientRect();
      return { title: document.title, width: canvas.width, height: canvas.height,
               boxWidth: box.width, boxHeight: box.height,
               offCentre: box.x + box.width / 2 - innerWidth / 2,
               focused: document.activeElement === canvas, statusBelow: status.top >= box.bottom,
               keys: document.getElementById('status').textContent,
               footer: document.getElementById('version').textContent,
               footerClear: (() => {
                 const footer = document.getElementById('version').getBoundingClientRect();
                 return footer.width > 0 && (footer.left >= box.right || footer.top >= box.bottom);
               })() };
    })()`);
    assert.equal(page_.title, 'Zephrin');
    assert.deepEqual([page_.width, page_.height, page_.boxWidth, page_.boxHeight], [800, 800, 800, 800]);
    assert.ok(Math.abs(page_.offCentre) <= 1, `canvas off centre by ${page_.offCentre} px`);
    assert.ok(page_.focused, 'the canvas has the focus');
    assert.ok(page_.statusBelow, 'the line of keys is under the canvas');
    assert.match(page_.keys, /Space.*R/);
    assert.ok(page_.footerClear, 'the version is shown, clear of the canvas');
    if (VERSION) {
      assert.equal(page_.footer, `Zephrin ${VERSION}`);
    } else {
      assert.match(page_.footer, /^Zephrin \d+\.\d+\.\d+$/);
    }
  });

  it('holds the sound until a key is pressed, then plays it', async () => {
    const audio = 'Module.SDL2.audioContext.state';
    assert.equal(await page.evaluate(audio), 'suspended', 'browsers hold sound until the player acts');
    await page.press('r');
    await page.waitFor(`${audio} === "running"`, 5000, 'the audio context to run');
  });

  it('keeps space and r from scrolling a page too small for the game', async () => {
    await page.send('Emulation.setDeviceMetricsOverride',
                    { width: 900, height: 500, deviceScaleFactor: 1, mobile: false });
    try {
      const scrollable = await page.evaluate('document.documentElement.scrollHeight > innerHeight');
      assert.ok(scrollable, 'the page must be taller than the window for this test to mean anything');
      await page.press(' ', ' ', 'r', ' ');
      await sleep(200);
      assert.equal(await page.evaluate('scrollY'), 0);
    } finally {
      await page.send('Emulation.clearDeviceMetricsOverride');
    }
  });

  it('draws the game with its art', async () => {
    // One flap as the bird sinks past the middle, as the first pipes come in.
    const start = await ticks(page);
    await page.press('r');
    await page.waitFor(`Module._zephrin_tick_count() >= ${start + 21}`, 5000);
    await page.press(' ');
    await page.waitFor(`Module._zephrin_tick_count() >= ${start + 32}`, 5000);
    const shot = await page.screenshot();
    if (SCREENSHOT) {
      writeFileSync(SCREENSHOT, shot);
    }
    const pixels = await canvasPixels(page);
    const colours = new Set();
    for (let y = 0; y < 800; y += 8) {
      for (let x = 0; x < 800; x += 8) {
        colours.add(pixels.at(x, y).join());
      }
    }
    assert.ok(colours.size >= 64, `only ${colours.size} colours: the art is not drawn`);
  });

  it('logs no errors', () => {
    assert.deepEqual(errors, []);
  });
});

describe('the game, with plain-colour media', () => {
  let stageDir, server, browser, page, errors;
  before(async () => {
    stageDir = mkdtempSync(join(tmpdir(), 'zephrin-stage-'));
    const staged = stageMedia(stageDir);
    server = await serve(WEB_DIR, { replace: { 'zephrin.data': staged.data,
                                               'zephrin.data.js': staged.loader } });
    ({ browser, page, errors } = await openPage());
    await load(page, server.url);
    await firstFrame(page);
  });
  after(async () => {
    page?.close();
    await browser?.close();
    await server?.close();
    rmSync(stageDir, { recursive: true, force: true });
  });

  it('shows the sky and the bird where the game puts it', async () => {
    const before = await ticks(page);
    const pixels = await canvasPixels(page);
    const afterShot = await ticks(page);
    for (const [x, y] of [[5, 5], [795, 5], [5, 795], [100, 600], [600, 100]]) {
      assert.ok(near(pixels.at(x, y), SKY), `sky at ${x},${y}: ${pixels.at(x, y)}`);
    }
    // The bird's square is 50 px wide, its left edge at x = 300; it falls
    // from y = 400, so after n ticks its top is at FALL[n].
    const bird = findBird(pixels);
    assert.ok(bird.count > 2000, `the bird covers ${bird.count} pixels`);
    assert.ok(Math.abs(bird.x - 325) <= 1, `bird's centre at x = ${bird.x}`);
    const candidates = FALL.slice(Math.max(0, before - 1), afterShot + 1).map((top) => top + 25);
    assert.ok(candidates.some((y) => Math.abs(bird.y - y) <= 1.5),
              `bird's centre at y = ${bird.y}, after ${before}..${afterShot} ticks; ` +
              `the fall from y = 400 puts it at ${candidates.join(', ')}`);
  });

  it('brings the pipes in from the right, with a 120 px gap, and freezes on a fall', async () => {
    const ended = await waitForGameOver(page);
    assert.equal(ended, TICKS_TO_FALL_OUT, 'left alone, the bird falls out after 33 ticks');
    // The first pair starts at x = 1000 and moves 10 px a tick: at x = 670 now.
    const pixels = await canvasPixels(page);
    const runs = pipeRuns(pixels, 695);
    assert.equal(runs.length, 2, `pipe runs at x = 695: ${JSON.stringify(runs)}`);
    assert.equal(runs[0][0], 0, 'the top pipe hangs from the top');
    assert.equal(runs[1][1], 799, 'the bottom pipe stands on the bottom');
    assert.equal(runs[1][0] - runs[0][1] - 1, 120, 'the gap');
    for (const x of [665, 725]) {
      assert.deepEqual(pipeRuns(pixels, x), [], `no pipe at x = ${x}`);
    }
    assert.ok(findBird(pixels).count < 50, 'the bird is gone below the window');
  });

  it('starts a new game on r: the ticks run again and the bird is back', async () => {
    const frozen = await ticks(page);
    await sleep(300);
    assert.equal(await ticks(page), frozen, 'the game stays over');
    await page.press('r');
    await page.waitFor(`Module._zephrin_tick_count() > ${frozen}`, 3000, 'ticks after r');
    const bird = findBird(await canvasPixels(page));
    assert.ok(bird.count > 2000 && bird.y < 500, `the bird is back up: ${JSON.stringify(bird)}`);
    assert.equal(await waitForGameOver(page) - frozen, TICKS_TO_FALL_OUT, 'a whole new fall');
  });

  it('changes the bird\'s course on space', async () => {
    const frozen = await ticks(page);
    await page.press('r');
    await page.waitFor(`Module._zephrin_tick_count() >= ${frozen + 8}`, 3000);
    await page.press(' ');
    const lasted = await waitForGameOver(page) - frozen;
    // Without the jump it would fall out after 33 ticks.
    assert.ok(lasted >= TICKS_TO_FALL_OUT + 5, `the game lasted ${lasted} ticks`);
  });

  it('handles keys in the order they are pressed', async () => {
    // r then space: a new game that jumps at once, with -45 in place of -70,
    // falls out sooner (27 to 30 ticks); space then r: the reset wins and the
    // new game falls out after 33. The reset comes between the two readings.
    const since = {};
    for (const [name, keys] of [['r, space', ['r', ' ']], ['space, r', [' ', 'r']]]) {
      const frozen = await ticks(page);
      await page.press('r');
      await page.waitFor(`Module._zephrin_tick_count() >= ${frozen + 5}`, 3000);
      const before = await ticks(page);
      await page.press(...keys);
      const after = await ticks(page);
      const end = await waitForGameOver(page);
      since[name] = [end - after, end - before];
    }
    const report = JSON.stringify(since);
    assert.ok(since['r, space'][1] <= 30, `r, space: ${report}`);
    assert.ok(since['space, r'][0] <= 33 && 33 <= since['space, r'][1], `space, r: ${report}`);
  });

  it('ticks every 31 ms (median) and answers screenshots within a second (median)', async () => {
    const { intervals, shots, at, percentAt } = await measureCadence(page, CADENCE_SECONDS, 5000);
    console.log(`# tick intervals over ${intervals.length} ticks: median ${at(0.5)} ms, ` +
                `p90 ${at(0.9)}, p99 ${at(0.99)}, max ${intervals.at(-1)}, ` +
                `${percentAt(31)} % at 31 ms; ` +
                `screenshots ${shots.map((ms) => ms.toFixed(0)).join(', ')} ms`);
    assert.ok(intervals.length >= CADENCE_SECONDS * 20, `only ${intervals.length} ticks`);
    assert.ok(intervals[0] >= 31, `a tick came after ${intervals[0]} ms`);
    assert.ok(Math.abs(at(0.5) - 31) <= 1, `median tick interval ${at(0.5)} ms`);
    // A page that never went idle would keep a screenshot waiting for good.
    const typicalShot = [...shots].sort((a, b) => a - b)[shots.length >> 1];
    assert.ok(typicalShot < 1000, `screenshots took ${shots.map((ms) => ms.toFixed(0))} ms`);
  });

  it('logs no errors', () => {
    assert.deepEqual(errors, []);
  });
});

describe('the page when something is missing', () => {
  let server;
  before(async () => {
    server = await serve(WEB_DIR, { hide: ['zephrin.data', 'zephrin.wasm'] });
  });
  after(async () => {
    await server?.close();
  });

  async function statusIn(url, prepare = async () => {}) {
    const { browser, page } = await openPage();
    try {
      await prepare(page);
      await load(page, url);
      await page.waitFor('document.getElementById("status").className === "problem" || ' +
                         'window.zephrinFirstFrameMs', 15000, 'the page to start or give up');
      return await statusLine(page);
    } finally {
      page.close();
      await browser.close();
    }
  }

  it('says which file could not be fetched', async () => {
    const status = await statusIn(server.url);
    assert.ok(status.problem, JSON.stringify(status));
    assert.match(status.text, /zephrin\.(data|wasm).*404/);
  });

  it('says so when the browser has no WebAssembly', async () => {
    const full = await serve(WEB_DIR);
    try {
      // As in a browser that has none, or has it turned off.
      const status = await statusIn(full.url, (page) => page.send(
        'Page.addScriptToEvaluateOnNewDocument', { source: 'delete globalThis.WebAssembly;' }));
      assert.ok(status.problem, JSON.stringify(status));
      assert.match(status.text, /WebAssembly/);
    } finally {
      await full.close();
    }
  });

  it('plays without WebGL, drawing in software, and says so', async () => {
    const full = await serve(WEB_DIR);
    const { browser, page } = await openPage(['--disable-3d-apis']);
    try {
      await load(page, full.url);
      await firstFrame(page);
      assert.match((await statusLine(page)).text, /No WebGL/);
      await page.waitFor('Module._zephrin_tick_count() > 3', 5000, 'world ticks');
      const pixels = await canvasPixels(page);
      const colours = new Set();
      for (let y = 0; y < 800; y += 16) {
        for (let x = 0; x < 800; x += 16) {
          colours.add(pixels.at(x, y).join());
        }
      }
      assert.ok(colours.size >= 32, 'the art is drawn');
    } finally {
      page.close();
      await browser.close();
      await full.close();
    }
  });
});
