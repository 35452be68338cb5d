// The web build in Debian's headless chromium: the page, the game as a
// player sees it, its timing, and what the page says when something is
// missing. ZEPHRIN_WEB_DIR names the folder to serve (the unpacked zip).
import { after, before, describe, it } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

import { serve } from '../../tools/web/server.mjs';
import { measureCadence } from './cadence.mjs';
import {
  canvasPixels, emulateScreen, FALL, firstFrame, load, loadAndStart, near, openPage, sleep,
  statusLine, ticks, TICKS_TO_FALL_OUT, waitForGameOver,
} from './play.mjs';
import { BIRD, PIPE, SKY, stageMedia } from './stage.mjs';

const WEB_DIR = process.env.ZEPHRIN_WEB_DIR;
if (!WEB_DIR) {
  throw new Error('set ZEPHRIN_WEB_DIR to the folder of the web build');
}
const VERSION = process.env.ZEPHRIN_VERSION;  // the version the footer must show
const SCREENSHOT = process.env.ZEPHRIN_WEB_SCREENSHOT;  // where to save the page's picture
const CADENCE_SECONDS = Number(process.env.ZEPHRIN_WEB_CADENCE_SECONDS || 6);

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

// A window in which the canvas comes out at 800 x 800 pixels, with the panel
// (13rem and the 8-pixel gap) beside it: the picture read pixel for pixel.
const GAME_SIZED = { width: 1016, height: 800 };

describe('the page with the game\'s own art', () => {
  let server, browser, page, errors;
  before(async () => {
    server = await serve(WEB_DIR);
    ({ browser, page, errors } = await openPage());
    await emulateScreen(page, GAME_SIZED);
    await load(page, server.url);
  });
  after(async () => {
    page?.close();
    await browser?.close();
    await server?.close();
  });

  it('shows the first picture, loads, and starts the game and its music only at the first key', async () => {
    const shown = await page.evaluate('(() => { const still = document.getElementById("still"); ' +
                                      'return still.complete && still.naturalWidth; })()');
    assert.equal(shown, 800, 'the first picture is shown while the game loads');
    await page.waitFor('window.zephrinReadyMs', 30000, 'the game to load');
    await sleep(500);
    assert.equal(await page.evaluate('window.zephrinFirstFrameMs === undefined && ' +
                                     'Module.SDL2 === undefined'), true,
                 'nothing runs and nothing sounds before the player acts');
    assert.match((await statusLine(page)).text, /press a key to play/);
    const key = await page.evaluate('performance.now()');
    await page.press('r');
    const ms = await firstFrame(page);
    console.log(`# first frame ${(ms - key).toFixed(0)} ms after the first key; ` +
                `the game was ready ${(await page.evaluate('zephrinReadyMs')).toFixed(0)} ms ` +
                'after navigation (fresh browser)');
    await page.waitFor('Module.SDL2.audioContext.state === "running"', 5000, 'the music to play');
    assert.ok(await ticks(page) <= 5, 'the first game began with the key');
  });

  it('has the title, the canvas focused, the keys and the restart control beside it, the version', async () => {
    const page_ = await page.evaluate(`(() => {
      const canvas = document.getElementById('canvas').getBoundingClientRect();
      const clear = (id) => { const box = document.getElementById(id).getBoundingClientRect();
        return box.width > 0 && (box.left >= canvas.right || box.top >= canvas.bottom); };
      return { title: document.title, focused: document.activeElement.id === 'canvas',
               keys: document.getElementById('status').textContent,
               restart: document.getElementById('restart').textContent,
               footer: document.getElementById('version').textContent,
               clear: ['status', 'restart', 'version'].every(clear) };
    })()`);
    assert.equal(page_.title, 'Zephrin');
    assert.ok(page_.focused, 'the canvas has the focus');
    assert.match(page_.keys, /Tap.*Space.*Restart.*R/);
    assert.equal(page_.restart, 'Restart');
    assert.ok(page_.clear, 'the panel is clear of the canvas');
    if (VERSION) {
      assert.equal(page_.footer, `Zephrin ${VERSION}`);
    } else {
      assert.match(page_.footer, /^Zephrin \d+\.\d+\.\d+$/);
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
    await emulateScreen(page, GAME_SIZED);
    await loadAndStart(page, server.url);
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
    // Left of the bird's column, where no pipe comes in the first two seconds.
    for (const [x, y] of [[5, 5], [250, 5], [5, 795], [100, 600], [200, 100]]) {
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
                         'window.zephrinReadyMs', 15000, 'the page to load or give up');
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
      await emulateScreen(page, GAME_SIZED);
      await loadAndStart(page, full.url);
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
